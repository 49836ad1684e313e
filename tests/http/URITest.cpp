#include <gtest/gtest.h>

#include "TestSupport.h"
#include "http/IdURI.h"

namespace {

TEST(URIParse, SplitsTheInstallersURL) {
  const TIdURI u("http://dist.example/Download/TramelaCoreServer.zip");
  EXPECT_EQ(u.Scheme, "http");
  EXPECT_EQ(u.Host, "dist.example");
  EXPECT_EQ(u.Port, "");
  EXPECT_EQ(u.Path, "/Download/");
  EXPECT_EQ(u.Resource, "TramelaCoreServer.zip");
  EXPECT_EQ(u.PathAndQuery(), "/Download/TramelaCoreServer.zip");
}

TEST(URIParse, HostWithoutPathGivesRootPath) {
  const TIdURI u("http://host");
  EXPECT_EQ(u.Path, "/");
  EXPECT_EQ(u.Resource, "");
  EXPECT_EQ(u.PathAndQuery(), "/");
}

TEST(URIParse, QueryAndFragmentAreSplitAndFragmentNeverSent) {
  const TIdURI u("http://h/a/b?x=1#top");
  EXPECT_EQ(u.Query, "x=1");
  EXPECT_EQ(u.Fragment, "top");
  EXPECT_EQ(u.PathAndQuery(), "/a/b?x=1");
  // "?" is looked for first: a "#" before it stays in the path.
  const TIdURI v("http://h/a#b?c");
  EXPECT_EQ(v.Resource, "a#b");
  EXPECT_EQ(v.Query, "c");
}

TEST(URIParse, UserInformationSplitsAtLastAtAndFirstColon) {
  const TIdURI u("http://us:er:p@w@host:81/");
  EXPECT_EQ(u.Username, "us");
  EXPECT_EQ(u.Password, "er:p@w");
  EXPECT_EQ(u.Host, "host");
  EXPECT_EQ(u.Port, "81");
  // Without a user name the password is dropped too.
  const TIdURI v("http://:pw@host/");
  EXPECT_EQ(v.Username, "");
  EXPECT_EQ(v.Password, "");
}

TEST(URIParse, BracketedIPv6Literal) {
  const TIdURI u("http://[::1]:8080/x");
  EXPECT_EQ(u.Host, "::1");
  EXPECT_EQ(u.Port, "8080");
  EXPECT_EQ(u.IPVersion, TIdIPVersion::Id_IPv6);
  EXPECT_EQ(u.Compose(false, false), "http://[::1]:8080/x");
}

TEST(URIParse, BackslashesBeforeQueryBecomeSlashes) {
  const TIdURI u("http://host\\dir\\f.zip?a\\b");
  EXPECT_EQ(u.Host, "host");
  EXPECT_EQ(u.PathAndQuery(), "/dir/f.zip?a\\b");
}

TEST(URIParse, RelativeURLKeepsHostEmpty) {
  const TIdURI u("Download/x.zip");
  EXPECT_EQ(u.Scheme, "");
  EXPECT_EQ(u.Host, "");
  EXPECT_EQ(u.Path, "Download/");
  EXPECT_EQ(u.Resource, "x.zip");
}

TEST(URIParse, ReparseClearsEarlierFields) {
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

TEST(URICompose, UserInfoAndFragmentOnlyWhenAsked) {
  TIdURI u("http://me:pw@h/a#f");
  EXPECT_EQ(u.Compose(true, true), "http://me:pw@h/a#f");
  EXPECT_EQ(u.URI(), "http://h/a");
  EXPECT_EQ(u.URLText, "http://me:pw@h/a#f");
}

TEST(URICompose, RefusesMissingSchemeOrHost) {
  testsupport::ExpectThrowMessage<EIdURIException>([] { (void)TIdURI("a/b").Compose(false, false); },
                                                   "Protocol field is empty");
  testsupport::ExpectThrowMessage<EIdURIException>([] { (void)TIdURI("http:///a").Compose(false, false); },
                                                   "Host field is empty");
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

INSTANTIATE_TEST_SUITE_P(Cases, URIMergePath,
                         testing::Values(MergeCase{"/a/b/", "../c", "/a/c"}, MergeCase{"/Download/", "", "/Download/"},
                                         MergeCase{"", "/Download/", "/Download/"}, MergeCase{"/a/", "Download/", "/a/Download/"},
                                         MergeCase{"/a", "b", "/a/b"}, MergeCase{"/a//", "b//c/", "/a/b/c/"},
                                         MergeCase{"/a/", "./b", "/a/./b"}, MergeCase{"/", "../../x", "/x"},
                                         MergeCase{"/a/b/", "..", "/a"}));

}  // namespace
