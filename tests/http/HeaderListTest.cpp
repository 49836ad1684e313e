#include <gtest/gtest.h>

#include <memory>

#include "http/IdHeaderList.h"

namespace {

std::unique_ptr<TIdHeaderList> Lines(std::vector<std::string> lines) {
  auto list = std::make_unique<TIdHeaderList>();
  for (auto& l : lines) list->Add(std::move(l));
  return list;
}

TEST(HeaderList, FindsNamesWithoutRegardToCase) {
  const auto hOwner = Lines({"Server: x", "content-length:  12  ", "NoColon"});
  const auto& h = *hOwner;
  EXPECT_EQ(h.IndexOfHeader("Content-Length"), 1);
  EXPECT_EQ(h.ValueOf("CONTENT-LENGTH"), "12");
  EXPECT_EQ(h.IndexOfHeader("Missing"), -1);
  EXPECT_EQ(h.ValueOf("Missing"), "");
  // A line without ":" has an empty name, so it never answers for a name.
  EXPECT_EQ(h.IndexOfHeader("NoColon"), -1);
}

TEST(HeaderList, UnfoldsContinuationLinesWithOneSpace) {
  auto owned = Lines({"X-Long: first  ", "   second", "\tthird", "Next: n"});
  TIdHeaderList& h = *owned;
  EXPECT_EQ(h.ValueOf("X-Long"), "first second third");
  h.UnfoldOnRead = false;
  EXPECT_EQ(h.ValueOf("X-Long"), "first");
}

TEST(HeaderList, PutValueReplacesInPlaceWithContinuations) {
  auto owned = Lines({"A: 1", "Host: old", " folded", "B: 2"});
  TIdHeaderList& h = *owned;
  h.PutValue("host", "new  ");
  EXPECT_EQ(h.Text(), "A: 1\r\nhost: new\r\nB: 2\r\n");
  h.PutValue("C", "3");
  EXPECT_EQ(h[3], "C: 3");
  h.PutValue("A", "");
  EXPECT_EQ(h.Text(), "host: new\r\nB: 2\r\nC: 3\r\n");
}

TEST(HeaderList, AppendAndCollectKeepEveryLine) {
  TIdHeaderList h;
  h.AppendValue("Set-Cookie", "a=1");
  h.AppendValue("Set-Cookie", "b=2");
  h.AppendValue("Set-Cookie", "");
  h.AppendValue("", "x");
  EXPECT_EQ(h.Count(), 2);
  TStringList values;
  h.Collect("set-cookie", values);
  EXPECT_EQ(values.ToVector(), (std::vector<std::string>{"a=1", "b=2"}));
}

}  // namespace
