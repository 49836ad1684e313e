#include "rtl/Strings.h"

#include <algorithm>
#include <stdexcept>

#include "rtl/Exceptions.h"
#include "rtl/Text.h"

int TStrings::Add(std::string value) {
  const int index = Count();
  Insert(index, std::move(value));
  return index;
}

void TStrings::AddStrings(const TStrings& other) {
  BeginUpdate();
  for (int i = 0; i < other.Count(); ++i) Add(other.Get(i));
  EndUpdate();
}

void TStrings::Assign(const TStrings& other) {
  if (&other == this) return;
  BeginUpdate();
  Clear();
  for (int i = 0; i < other.Count(); ++i) Add(other.Get(i));
  EndUpdate();
}

int TStrings::IndexOf(std::string_view value) const {
  for (int i = 0; i < Count(); ++i) {
    if (SameText(Get(i), value)) return i;
  }
  return -1;
}

std::string TStrings::Names(int index) const {
  const std::string& line = Get(index);
  const auto sep = line.find(NameValueSeparator);
  return sep == std::string::npos ? std::string() : line.substr(0, sep);
}

std::string TStrings::ValueFromIndex(int index) const {
  const std::string& line = Get(index);
  const auto sep = line.find(NameValueSeparator);
  return sep == std::string::npos ? std::string() : line.substr(sep + 1);
}

int TStrings::IndexOfName(std::string_view name) const {
  for (int i = 0; i < Count(); ++i) {
    const std::string& line = Get(i);
    const auto sep = line.find(NameValueSeparator);
    if (sep != std::string::npos && SameText(std::string_view(line).substr(0, sep), name)) return i;
  }
  return -1;
}

std::string TStrings::Values(std::string_view name) const {
  const int i = IndexOfName(name);
  return i < 0 ? std::string() : ValueFromIndex(i);
}

void TStrings::SetValue(std::string_view name, std::string_view value) {
  const int i = IndexOfName(name);
  std::string line = std::string(name) + NameValueSeparator + std::string(value);
  if (value.empty()) {
    if (i >= 0) Delete(i);
  } else if (i < 0) {
    Add(std::move(line));
  } else {
    Put(i, std::move(line));
  }
}

std::string TStrings::Text() const {
  std::string out;
  for (int i = 0; i < Count(); ++i) {
    out += Get(i);
    out += "\r\n";
  }
  return out;
}

void TStrings::SetText(std::string_view text) {
  BeginUpdate();
  Clear();
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = start;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
    Add(std::string(text.substr(start, end - start)));
    if (end < text.size() && text[end] == '\r') ++end;
    if (end < text.size() && text[end] == '\n') ++end;
    start = end;
  }
  EndUpdate();
}

std::vector<std::string> TStrings::ToVector() const {
  std::vector<std::string> out;
  out.reserve(static_cast<std::size_t>(Count()));
  for (int i = 0; i < Count(); ++i) out.push_back(Get(i));
  return out;
}

void TStrings::EndUpdate() {
  if (FUpdateCount > 0 && --FUpdateCount == 0) Changed();
}

void TStringList::CheckIndex(int index, bool allowEnd) const {
  const int limit = allowEnd ? Count() : Count() - 1;
  if (index < 0 || index > limit) {
    throw EStringListError(Format("List index out of bounds (%d)", {index}));
  }
}

const std::string& TStringList::Get(int index) const {
  CheckIndex(index, false);
  return FLines[static_cast<std::size_t>(index)];
}

void TStringList::Put(int index, std::string value) {
  CheckIndex(index, false);
  FLines[static_cast<std::size_t>(index)] = std::move(value);
  Changed();
}

void TStringList::Insert(int index, std::string value) {
  CheckIndex(index, true);
  FLines.insert(FLines.begin() + index, std::move(value));
  Changed();
}

void TStringList::Delete(int index) {
  CheckIndex(index, false);
  FLines.erase(FLines.begin() + index);
  Changed();
}

void TStringList::Clear() {
  if (FLines.empty()) return;
  FLines.clear();
  Changed();
}

void TStringList::Changed() {
  if (UpdateCount() == 0 && OnChange) OnChange(this);
}

int TCollectionItem::Index() const {
  const auto& items = FCollection->FItems;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i].get() == this) return static_cast<int>(i);
  }
  return -1;
}

TCollectionItem& TCollection::Items(int index) const {
  if (index < 0 || index >= Count())
    throw EListError(Format("List index out of bounds (%d)", {index}));
  return *FItems[static_cast<std::size_t>(index)];
}

void TCollection::Delete(int index) {
  if (index < 0 || index >= Count())
    throw EListError(Format("List index out of bounds (%d)", {index}));
  FItems.erase(FItems.begin() + index);
}
