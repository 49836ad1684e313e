#include <gtest/gtest.h>

#include <algorithm>

#include "http/IdAuthentication.h"
#include "http/IdCookieManager.h"
#include "http/IdHeaderValues.h"

namespace {

TEST(Coders, Base64AndMD5KnownValues) {
  EXPECT_EQ(EncodeBase64(""), "");
  EXPECT_EQ(EncodeBase64("f"), "Zg==");
  EXPECT_EQ(EncodeBase64("fo"), "Zm8=");
  EXPECT_EQ(EncodeBase64("foo"), "Zm9v");
  EXPECT_EQ(MD5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(MD5Hex("The quick brown fox jumps over the lazy dog"),
            "9e107d9d372bb6826bd81d3542a419d6");
  // Two blocks of padding.
  EXPECT_EQ(MD5Hex(std::string(56, 'a')), "3b0c8ac703f828b04c6c197006d17218");
}

TEST(AuthRegistry, FindsSchemesWithoutRegardToCase) {
  EXPECT_TRUE(FindAuthClass("basic"));
  EXPECT_TRUE(FindAuthClass("DIGEST"));
  EXPECT_TRUE(FindAuthClass("Negotiate"));
  EXPECT_FALSE(FindAuthClass("Bearer"));
  // The Windows schemes decline at once.
  EXPECT_EQ(FindAuthClass("NTLM")()->Next(), TIdAuthWhatsNext::wnFail);
}

TEST(BasicAuth, AsksWithoutCredentialsAndGivesUpOnRefusedOnes) {
  TIdBasicAuthentication a;
  a.Params.Add("Basic realm=\"Tramela\"");
  EXPECT_EQ(a.Realm(), "Tramela");
  EXPECT_EQ(a.Next(), TIdAuthWhatsNext::wnAskTheProgram);
  a.Reset();
  a.Username = "u";
  a.Password = "p";
  EXPECT_EQ(a.Next(), TIdAuthWhatsNext::wnDoRequest);
  EXPECT_EQ(a.Authentication(), "Basic dTpw");
  // Sent once and refused: the program is asked for new ones, which are then sent.
  EXPECT_EQ(a.Next(), TIdAuthWhatsNext::wnAskTheProgram);
  a.Password = "q";
  EXPECT_EQ(a.Next(), TIdAuthWhatsNext::wnDoRequest);
  EXPECT_EQ(a.Authentication(), "Basic dTpx");
  // Asking is bounded.
  EXPECT_EQ(a.Next(), TIdAuthWhatsNext::wnAskTheProgram);
  EXPECT_EQ(a.Next(), TIdAuthWhatsNext::wnDoRequest);
  EXPECT_EQ(a.Next(), TIdAuthWhatsNext::wnAskTheProgram);
  EXPECT_EQ(a.Next(), TIdAuthWhatsNext::wnDoRequest);
  EXPECT_EQ(a.Next(), TIdAuthWhatsNext::wnFail);
}

TEST(DigestAuth, ComputesTheResponseOfTheRfcExample) {
  TIdDigestAuthentication a;
  a.Params.Add("Basic realm=\"x\"");
  a.Params.Add(
      "Digest realm=\"testrealm@host.com\", qop=\"auth,auth-int\", "
      "nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", "
      "opaque=\"5ccc069c403ebaf9f0171e9517f40e41\"");
  a.Username = "Mufasa";
  a.Password = "Circle Of Life";
  a.ClientNonce = "0a4f113b";
  ASSERT_EQ(a.Next(), TIdAuthWhatsNext::wnDoRequest);
  a.SetRequest("GET", "/dir/index.html");
  const std::string value = a.Authentication();
  EXPECT_NE(value.find("response=\"6629fae49393a05397450978507c4ef1\""), std::string::npos)
      << value;
  EXPECT_NE(value.find("nc=00000001"), std::string::npos);
  EXPECT_NE(value.find("opaque=\"5ccc069c403ebaf9f0171e9517f40e41\""), std::string::npos);
  // The nonce count grows for the same nonce.
  EXPECT_NE(a.Authentication().find("nc=00000002"), std::string::npos);
}

TEST(DigestAuth, FailsWithoutNonce) {
  TIdDigestAuthentication a;
  a.Params.Add("Digest realm=\"r\"");
  a.Username = "u";
  EXPECT_EQ(a.Next(), TIdAuthWhatsNext::wnFail);
}

// A clock the tests move by hand.
TDateTime gNow = 45000;
TDateTime TestNow() { return gNow; }

class Cookies : public testing::Test {
 protected:
  Cookies() { Store.NowGMT = TestNow; }
  std::string For(const char* url) {
    return Store.CookieHeaderFor(TIdURI(url), TIdURI(url).Scheme == "https");
  }
  void Set(const char* cookie, const char* url) { Store.AddServerCookie(cookie, TIdURI(url)); }
  TIdCookieManager Store;
};

TEST_F(Cookies, HostOnlyUnlessADomainIsGiven) {
  Set("a=1", "http://www.example.com/");
  Set("b=2; Domain=.example.com", "http://www.example.com/");
  EXPECT_EQ(For("http://www.example.com/"), "a=1; b=2");
  EXPECT_EQ(For("http://sub.example.com/"), "b=2");
  EXPECT_EQ(For("http://example.org/"), "");
  EXPECT_EQ(For("http://badexample.com/"), "");
}

TEST_F(Cookies, RefusesDomainsTheServerDoesNotBelongTo) {
  Set("a=1; Domain=other.com", "http://www.example.com/");
  Set("b=1; Domain=1.1", "http://127.0.1.1/");
  EXPECT_EQ(Store.CookieCount(), 0);
}

TEST_F(Cookies, PathMatchingAndOrder) {
  Set("root=1; Path=/", "http://h/a/b/c.html");
  Set("dflt=2", "http://h/a/b/c.html");  // default path /a/b
  Set("deep=3; Path=/a/b/c", "http://h/");
  EXPECT_EQ(For("http://h/a/b/c/d"), "deep=3; dflt=2; root=1");
  EXPECT_EQ(For("http://h/a/bc"), "root=1");
  EXPECT_EQ(For("http://h/a/b"), "dflt=2; root=1");
}

TEST_F(Cookies, SecureOnlyOverHttps) {
  Set("s=1; Secure", "https://h/");
  EXPECT_EQ(For("http://h/"), "");
  EXPECT_EQ(For("https://h/"), "s=1");
}

TEST_F(Cookies, ExpiryReplacementAndDeletion) {
  Set("a=1; Max-Age=60", "http://h/");
  Set("b=1; Expires=Sun, 06 Nov 1994 08:49:37 GMT", "http://h/");  // already past
  EXPECT_EQ(For("http://h/"), "a=1");
  Set("a=2", "http://h/");
  EXPECT_EQ(For("http://h/"), "a=2");
  Set("a=3; Max-Age=60", "http://h/");
  gNow += 61.0 / 86400;
  EXPECT_EQ(For("http://h/"), "");
  EXPECT_EQ(Store.CookieCount(), 0);
  Set("c=1", "http://h/");
  Set("c=x; Max-Age=0", "http://h/");
  EXPECT_EQ(Store.CookieCount(), 0);
}

TEST_F(Cookies, IgnoresMalformedValuesAndAddsOneLine) {
  Set("novalue", "http://h/");
  Set("=x", "http://h/");
  Set("ok = v ; HttpOnly", "http://h/");
  TIdHeaderList lines;
  Store.GenerateClientCookies(TIdURI("http://h/x"), false, lines);
  EXPECT_EQ(lines.Text(), "Cookie: ok=v\r\n");
  Store.GenerateClientCookies(TIdURI("http://other/x"), false, lines);
  EXPECT_EQ(lines.Count(), 1);
}

// A server must not fill memory with cookies or crowd out other domains' ones.
TEST_F(Cookies, FiftyPerDomainThreeThousandInAllOldestGoFirst) {
  const auto setOn = [this](const std::string& host, int i) {
    Store.AddServerCookie("c" + std::to_string(i) + "=1", TIdURI("http://" + host + "/"));
  };
  for (int i = 0; i < 55; ++i) setOn("h", i);
  EXPECT_EQ(Store.CookieCount(), 50);
  EXPECT_EQ(For("http://h/").substr(0, 12), "c5=1; c6=1; ");  // c0 to c4 were the oldest
  for (int d = 0; d < 60; ++d) {
    for (int i = 0; i < 50; ++i) setOn("d" + std::to_string(d), i);
  }
  EXPECT_EQ(Store.CookieCount(), 3000);
  EXPECT_EQ(For("http://h/"), "");  // the oldest domain went first
  const auto all = Store.Cookies();
  EXPECT_EQ(
      std::count_if(all.begin(), all.end(), [](const TIdCookie& c) { return c.Domain == "d0"; }),
      50);
}

TEST_F(Cookies, ACookieOfMoreThan4096BytesIsIgnored) {
  const std::string largest = "a=" + std::string(4094 - 8, 'v') + "; Path=/";
  Set(largest.c_str(), "http://h/");
  Set(("b=" + std::string(4095, 'v')).c_str(), "http://h/");
  ASSERT_EQ(Store.CookieCount(), 1);
  EXPECT_EQ(Store.Cookies()[0].Name, "a");
}

}  // namespace
