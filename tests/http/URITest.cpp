#include <gtest/gtest.h>

#include "TestSupport.h"
#include "http/IdURI.h"

namespace {

// Every field of a parse, so that a change in one split shows in all the others.
struct TParseCase {
  const char* Why;
  const char* Url;
  // What the parse gives, field by field.
  const char *Scheme, *Username, *Password, *Host, *Port;
  const char *Path, *Resource, *Query, *Fragment, *PathAndQuery;
  TIdIPVersion IPVersion;
};

class URIParse : public testing::TestWithParam<TParseCase> {};

TEST_P(URIParse, SplitsIntoItsFields) {
  const TParseCase& c = GetParam();
  const TIdURI u(c.Url);
  EXPECT_EQ(u.Scheme, c.Scheme) << c.Why;
  EXPECT_EQ(u.Username, c.Username) << c.Why;
  EXPECT_EQ(u.Password, c.Password) << c.Why;
  EXPECT_EQ(u.Host, c.Host) << c.Why;
  EXPECT_EQ(u.Port, c.Port) << c.Why;
  EXPECT_EQ(u.Path, c.Path) << c.Why;
  EXPECT_EQ(u.Resource, c.Resource) << c.Why;
  EXPECT_EQ(u.Query, c.Query) << c.Why;
  EXPECT_EQ(u.Fragment, c.Fragment) << c.Why;
  EXPECT_EQ(u.PathAndQuery(), c.PathAndQuery) << c.Why;
  EXPECT_EQ(u.IPVersion, c.IPVersion) << c.Why;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, URIParse,
    testing::Values(
        TParseCase{"the installer's URL", "http://dist.example/Download/TramelaCoreServer.zip",
                   "http", "", "", "dist.example", "", "/Download/", "TramelaCoreServer.zip", "",
                   "", "/Download/TramelaCoreServer.zip", Id_IPv4},
        TParseCase{"a host without a path has the root path", "http://host", "http", "", "", "host",
                   "", "/", "", "", "", "/", Id_IPv4},
        TParseCase{"the fragment is split off and never sent", "http://h/a/b?x=1#top", "http", "",
                   "", "h", "", "/a/", "b", "x=1", "top", "/a/b?x=1", Id_IPv4},
        TParseCase{"\"?\" is looked for first: a \"#\" before it stays in the path",
                   "http://h/a#b?c", "http", "", "", "h", "", "/", "a#b", "c", "", "/a#b?c",
                   Id_IPv4},
        TParseCase{"user information splits at the last @ and the first colon",
                   "http://us:er:p@w@host:81/", "http", "us", "er:p@w", "host", "81", "/", "", "",
                   "", "/", Id_IPv4},
        TParseCase{"without a user name the password is dropped too", "http://:pw@host/", "http",
                   "", "", "host", "", "/", "", "", "", "/", Id_IPv4},
        TParseCase{"a bracketed IPv6 literal", "http://[::1]:8080/x", "http", "", "", "::1", "8080",
                   "/", "x", "", "", "/x", Id_IPv6},
        TParseCase{"backslashes before the query become slashes", "http://host\\dir\\f.zip?a\\b",
                   "http", "", "", "host", "", "/dir/", "f.zip", "a\\b", "", "/dir/f.zip?a\\b",
                   Id_IPv4},
        TParseCase{"a relative URL keeps the host empty", "Download/x.zip", "", "", "", "", "",
                   "Download/", "x.zip", "", "", "Download/x.zip", Id_IPv4}));

TEST(URIReparse, ClearsEarlierFields) {
  TIdURI u("http://u:p@[::1]:1/a?q#f");
  u.Parse("x");
  EXPECT_EQ(u.Host, "");
  EXPECT_EQ(u.Query, "");
  EXPECT_EQ(u.Username, "");
  EXPECT_EQ(u.IPVersion, TIdIPVersion::Id_IPv4);
  EXPECT_EQ(u.Resource, "x");
}

TEST(URICompose, OmitsUsualPortComparedAsText) {
  EXPECT_EQ(TIdURI("HTTP://h:80/a").Compose(false, false), "HTTP://h/a");
  EXPECT_EQ(TIdURI("http://h:080/a").Compose(false, false), "http://h:080/a");
  EXPECT_EQ(TIdURI("ftp://h:21/a").Compose(false, false), "ftp://h/a");
  EXPECT_EQ(TIdURI("gopher://h:70/a").Compose(false, false), "gopher://h:70/a");
}

TEST(URICompose, IPv6LiteralKeepsItsBrackets) {
  EXPECT_EQ(TIdURI("http://[::1]:8080/x").Compose(false, false), "http://[::1]:8080/x");
}

TEST(URICompose, UserInfoAndFragmentOnlyWhenAsked) {
  TIdURI u("http://me:pw@h/a#f");
  EXPECT_EQ(u.Compose(true, true), "http://me:pw@h/a#f");
  EXPECT_EQ(u.URI(), "http://h/a");
  EXPECT_EQ(u.URLText, "http://me:pw@h/a#f");
}

TEST(URICompose, RefusesMissingSchemeOrHost) {
  testsupport::ExpectThrowMessage<EIdURIException>(
      [] { (void)TIdURI("a/b").Compose(false, false); }, "Protocol field is empty");
  testsupport::ExpectThrowMessage<EIdURIException>(
      [] { (void)TIdURI("http:///a").Compose(false, false); }, "Host field is empty");
}

struct MergeCase {
  const char* Base;
  const char* New;
  const char* Result;
};

class URIMergePath : public testing::TestWithParam<MergeCase> {};

TEST_P(URIMergePath, Combines) {
  EXPECT_EQ(MergePath(GetParam().Base, GetParam().New), GetParam().Result);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, URIMergePath,
    testing::Values(MergeCase{"/a/b/", "../c", "/a/c"}, MergeCase{"/Download/", "", "/Download/"},
                    MergeCase{"", "/Download/", "/Download/"},
                    MergeCase{"/a/", "Download/", "/a/Download/"}, MergeCase{"/a", "b", "/a/b"},
                    MergeCase{"/a//", "b//c/", "/a/b/c/"}, MergeCase{"/a/", "./b", "/a/./b"},
                    MergeCase{"/", "../../x", "/x"}, MergeCase{"/a/b/", "..", "/a"}));

}  // namespace
