// How the client turns the URL of each request into target, Host value and
// port, merged into its current location; nothing here touches the network.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "http/IdHTTP.h"

namespace {

class PrepareTarget : public testing::Test {
 protected:
  // Prepares a request for url as the request loop does, and answers the request.
  TIdHTTPRequest& Prepare(const std::string& url, const std::string& verb = "GET") {
    TIdHTTPRequest& r = Client.Request();
    r.Target = url;
    r.Verb = verb;
    Client.PrepareTarget(r);
    return r;
  }
  TIdHTTP Client;
};

TEST_F(PrepareTarget, InstallersURLOnAFreshClient) {
  const TIdHTTPRequest& r = Prepare("http://dist.example/Download/TramelaCoreServer.zip");
  EXPECT_EQ(r.Target, "/Download/TramelaCoreServer.zip");
  EXPECT_EQ(r.Host, "dist.example");
  EXPECT_EQ(Client.CurrentURI().Port, "80");
  EXPECT_EQ(r.ContentLength, -1);
}

TEST_F(PrepareTarget, HostValueComparesThePortAsText) {
  EXPECT_EQ(Prepare("http://h:8080/").Host, "h:8080");
  EXPECT_EQ(Prepare("http://h:80/").Host, "h");
  EXPECT_EQ(Prepare("http://h:080/").Host, "h:080");
  EXPECT_EQ(Prepare("HTTP://h/").Host, "h");
  EXPECT_EQ(Client.CurrentURI().Scheme, "HTTP");
  EXPECT_EQ(Prepare("https://h/").Host, "h");
  EXPECT_EQ(Client.CurrentURI().Port, "443");
  EXPECT_EQ(Prepare("ftp://h:21/x").Host, "h:21");
}

TEST_F(PrepareTarget, UnknownProtocolWithoutPort) {
  testsupport::ExpectThrowMessage<EIdUnknownProtocol>([this] { Prepare("ftp://h/x"); },
                                                      "Unknown Protocol");
  TIdHTTP fresh;
  fresh.Request().Target = "Download/x.zip";
  testsupport::ExpectThrowMessage<EIdUnknownProtocol>(
      [&fresh] { fresh.PrepareTarget(fresh.Request()); }, "Unknown Protocol");
}

TEST_F(PrepareTarget, RelativeURLResolvesAgainstTheLastRequest) {
  Prepare("http://h:8080/a/");
  const TIdHTTPRequest& r = Prepare("Download/x.zip");
  EXPECT_EQ(r.Target, "/a/Download/x.zip");
  EXPECT_EQ(r.Host, "h:8080");
  EXPECT_EQ(Prepare("../up?q=1#frag").Target, "/a/up?q=1");
}

TEST_F(PrepareTarget, CredentialsFromTheURLPersist) {
  Prepare("http://user:pw@h/a");
  EXPECT_EQ(Client.Request().Username, "user");
  EXPECT_EQ(Client.Request().Password, "pw");
  Prepare("http://h/b");
  EXPECT_EQ(Client.CurrentURI().Username, "user");
  Prepare("http://:x@h/c");
  EXPECT_EQ(Client.Request().Password, "pw");
}

TEST_F(PrepareTarget, BracketedAddressAndBackslashes) {
  const TIdHTTPRequest& r = Prepare("http://[::1]:8080/x");
  EXPECT_EQ(r.IPVersion, Id_IPv6);
  EXPECT_EQ(r.Host, "[::1]:8080");
  EXPECT_EQ(Prepare("http://host\\dir\\f.zip").Target, "/dir/f.zip");
  EXPECT_EQ(Client.Request().IPVersion, Id_IPv4);
}

TEST_F(PrepareTarget, OptionsStarAndMethodsThatNeedHttp11) {
  EXPECT_EQ(Prepare("http://h/*", "OPTIONS").Target, "*");
  Client.ProtocolVersion = pv1_0;
  testsupport::ExpectThrowMessage<EIdException>([this] { Prepare("http://h/x", "put"); },
                                                "Request method requires HTTP version 1.1");
  EXPECT_EQ(Prepare("http://h/x").Target, "/x");
}

TEST_F(PrepareTarget, BodyLengthFromTheSendStream) {
  TMemoryStream body;
  body.WriteBuffer("abc", 3);
  Client.Request().SendStream = &body;
  EXPECT_EQ(Prepare("http://h/x", "POST").ContentLength, 3);
}

}  // namespace
