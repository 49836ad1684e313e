// Header lines; see IdHeaderList.h.
#include "http/IdHeaderList.h"

#include "rtl/Text.h"

namespace {

bool IsContinuation(const std::string& line) {
  return !line.empty() && (line[0] == ' ' || line[0] == '\t');
}

}  // namespace

TIdHeaderList::TIdHeaderList(TIdHeaderQuotingType quoting)
    // HTTP header values are never folded on write.
    : FoldWidth(quoting == TIdHeaderQuotingType::QuoteHTTP ? INT_MAX : 78), QuotingType(quoting) {}

std::string TIdHeaderList::LineName(std::string_view line) {
  const std::size_t colon = line.find(':');
  return colon == std::string_view::npos ? std::string() : std::string(line.substr(0, colon));
}

int TIdHeaderList::IndexOfHeader(std::string_view name) const {
  for (int i = 0; i < Count(); ++i) {
    if (SameText(LineName(Get(i)), name)) return i;
  }
  return -1;
}

int TIdHeaderList::EndOfHeader(int index) const {
  int next = index + 1;
  while (next < Count() && IsContinuation(Get(next))) ++next;
  return next;
}

std::string TIdHeaderList::ValueAt(int index) const {
  const std::string& line = Get(index);
  const std::size_t colon = line.find(':');
  std::string value = colon == std::string::npos ? std::string() : TrimLeft(line.substr(colon + 1));
  if (UnfoldOnRead) {
    const int end = EndOfHeader(index);
    for (int i = index + 1; i < end; ++i) value = Trim(value) + " " + Trim(Get(i));
  }
  return Trim(value);
}

std::string TIdHeaderList::ValueOf(std::string_view name) const {
  const int index = IndexOfHeader(name);
  return index < 0 ? std::string() : ValueAt(index);
}

void TIdHeaderList::PutValue(std::string_view name, std::string_view value) {
  const int index = IndexOfHeader(name);
  if (value.empty()) {
    if (index < 0) return;
    BeginUpdate();
    for (int end = EndOfHeader(index); end > index; --end) Delete(index);
    EndUpdate();
    return;
  }
  std::string line = TrimRight(std::string(name) + NameValueSeparator + std::string(value));
  if (index < 0) {
    Add(std::move(line));
    return;
  }
  BeginUpdate();
  for (int end = EndOfHeader(index); end > index + 1; --end) Delete(index + 1);
  Put(index, std::move(line));
  EndUpdate();
}

void TIdHeaderList::AppendValue(std::string_view name, std::string_view value) {
  if (!name.empty() && !value.empty())
    Add(std::string(name) + NameValueSeparator + std::string(value));
}

void TIdHeaderList::Collect(std::string_view name, TStrings& list) const {
  for (int i = 0; i < Count(); ++i) {
    if (SameText(LineName(Get(i)), name)) list.Add(ValueAt(i));
  }
}
