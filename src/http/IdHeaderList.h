// Ordered header lines ("Name: value"), shared by request and response. Lines
// stay as received; folding is undone only when a value is read.
#pragma once

#include <climits>
#include <string>
#include <string_view>

#include "rtl/Strings.h"

enum class TIdHeaderQuotingType { QuotePlain, QuoteRFC822, QuoteMIME, QuoteHTTP };

class TIdHeaderList : public TStringList {
 public:
  explicit TIdHeaderList(TIdHeaderQuotingType quoting = TIdHeaderQuotingType::QuoteHTTP);

  // Index of the first line whose name matches (any case), or -1.
  int IndexOfHeader(std::string_view name) const;
  // Value of the first line of that name, unfolded and trimmed, or empty.
  std::string ValueOf(std::string_view name) const;
  // Replaces the first line of that name (and its continuation lines) in place,
  // or appends one; an empty value deletes the line.
  void PutValue(std::string_view name, std::string_view value);
  // Appends "name: value" when both are non-empty.
  void AppendValue(std::string_view name, std::string_view value);
  // Adds the value of every line of that name, in order, to list.
  void Collect(std::string_view name, TStrings& list) const;

  // The name of a line: its text before the first ":" (empty without one).
  static std::string LineName(std::string_view line);

  std::string NameValueSeparator = ": ";
  bool UnfoldOnRead = true;
  bool FoldOnWrite = true;
  int FoldWidth;
  TIdHeaderQuotingType QuotingType;

 private:
  std::string ValueAt(int index) const;
  // Index just past the continuation lines that follow the line at index.
  int EndOfHeader(int index) const;
};
