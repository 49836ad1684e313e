// The client against a scripted peer on 127.0.0.1: refused statuses and their
// pages, redirects, authentication retries and cookies.
#include <gtest/gtest.h>

#include "HttpTestClient.h"

namespace {

using namespace httptest;

TEST(HttpProtocolErrors, NotFoundCarriesStatusLineAndPage) {
  TScriptedServer server(
      {Reply("HTTP/1.1 404 Not Found\r\nContent-Type: text/html; charset=utf-8\r\n"
             "Content-Length: 13\r\n\r\n<p>\xC5\xA1"
             "e ni</p>")});
  auto client = MakeClient();
  TMemoryStream stream;
  const auto e = ExpectProtocolError([&] { client->Get(server.Url("/x"), &stream); });
  EXPECT_EQ(e.Message(), "HTTP/1.1 404 Not Found");
  EXPECT_EQ(e.ReplyCode(), 404);
  EXPECT_EQ(e.ErrorBody(),
            "<p>\x9A"
            "e ni</p>");
  EXPECT_EQ(stream.Size(), 0);
}

// An error page only explains its status: a server that sends a huge or endless
// one gets the status line raised with at most the page's first 64 KiB kept.
TEST(HttpProtocolErrors, HugeErrorPageIsCutAndTheConnectionDropped) {
  const std::string page(2 * 1024 * 1024, 'x');
  for (const std::string head : {"HTTP/1.1 404 Not Found\r\nContent-Length: 1073741824\r\n\r\n",
                                 "HTTP/1.1 404 Not Found\r\nConnection: close\r\n\r\n"}) {
    TScriptedServer server({Reply(head + page)});
    auto client = MakeClient();
    TMemoryStream stream;
    const auto e = ExpectProtocolError([&] { client->Get(server.Url("/x"), &stream); });
    EXPECT_EQ(e.Message(), "HTTP/1.1 404 Not Found");
    EXPECT_GT(e.ErrorBody().size(), 0u) << head;
    EXPECT_LE(e.ErrorBody().size(), 64u * 1024) << head;
  }
}

TEST(HttpProtocolErrors, AcceptedCodeReturnsNormally) {
  TExchange x("HTTP/1.1 404 Not Found\r\nContent-Length: 4\r\n\r\ngone");
  x.Client->Get(x.Server.Url("/x"), &x.Stream, {404});
  EXPECT_EQ(x.Stream.Size(), 0);
}

TEST(HttpProtocolErrors, NotModifiedWithLengthIsNotAwaited) {
  // The announced bytes never come: reading them would run into the read limit.
  TExchange x("HTTP/1.1 304 Not Modified\r\nContent-Length: 50\r\n\r\n");
  const auto e = ExpectProtocolError([&] { x.Client->Get(x.Server.Url("/"), &x.Stream); });
  EXPECT_EQ(e.ReplyCode(), 304);
}

TEST(HttpProtocolErrors, StatusLineWithoutNumber) {
  TExchange x("HTTP/1.1 OK fine\r\nContent-Length: 0\r\n\r\n");
  const auto e = ExpectProtocolError([&] { x.Client->Get(x.Server.Url("/"), &x.Stream); });
  EXPECT_EQ(e.Message(), "HTTP/1.1 OK fine");
  EXPECT_EQ(e.ReplyCode(), -1);
}

TEST(HttpProtocolErrors, XmlErrorBodyDecodedByItsDeclaration) {
  const std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><e>\xC4\x8D</e>";
  TScriptedServer server(
      {Reply("HTTP/1.1 500 Oops\r\nContent-Type: application/problem+xml\r\nContent-Length: " +
             std::to_string(xml.size()) + "\r\n\r\n" + xml)});
  auto client = MakeClient();
  TMemoryStream stream;
  const auto e = ExpectProtocolError([&] { client->Get(server.Url("/"), &stream); });
  EXPECT_EQ(e.ErrorBody(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?><e>\xE8</e>");
}

TEST(HttpProtocolErrors, ServerClosingBeforeStatusLine) {
  TScriptedServer server({[](TPeerConnection& c) {
    c.ReadHead();
    c.CloseSend();
    c.WaitForClientClose();
  }});
  auto client = MakeClient();
  TMemoryStream stream;
  testsupport::ExpectThrowMessage<EIdConnClosedGracefully>(
      [&] { client->Get(server.Url("/"), &stream); }, "Connection Closed Gracefully.");
}

TEST(HttpProtocolErrors, RefusedSchemesBeforeAnythingIsSent) {
  auto client = MakeClient();
  TMemoryStream stream;
  testsupport::ExpectThrowMessage<EIdUnknownProtocol>(
      [&] { client->Get("ftp://127.0.0.1/x", &stream); }, "Unknown Protocol");
  testsupport::ExpectThrowMessage<EIdUnknownProtocol>(
      [&] { client->Get("Download/x.zip", &stream); }, "Unknown Protocol");
  auto other = MakeClient();
  testsupport::ExpectThrowMessage<EIdIOHandlerPropInvalid>(
      [&] { other->Get("https://127.0.0.1:1/x", &stream); }, "IOHandler value is not valid");
}

TEST(HttpProtocolErrors, ConnectionRefusedCarriesTheSocketError) {
  const std::uint16_t port = testpeer::ClosedPort();
  auto client = MakeClient();
  TMemoryStream stream;
  try {
    client->Get("http://127.0.0.1:" + std::to_string(port) + "/", &stream);
    ADD_FAILURE() << "connected to a closed port";
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.SocketErrorCode(), 10061);
  }
}

TEST(HttpRedirects, DefaultClientRefusesAndDoesNotFollow) {
  TExchange x("HTTP/1.1 302 Found\r\nLocation: /elsewhere\r\nContent-Length: 5\r\n\r\nmoved");
  const auto e = ExpectProtocolError([&] { x.Client->Get(x.Server.Url("/"), &x.Stream); });
  EXPECT_EQ(e.Message(), "HTTP/1.1 302 Found");
  EXPECT_EQ(e.ErrorBody(), "moved");
  x.Client->Disconnect();
  x.Server.Stop();
  EXPECT_EQ(x.Server.Requests().size(), 1u);
  EXPECT_EQ(x.Stream.Size(), 0);
}

TEST(HttpRedirects, FollowedWithGetIntoTheSameStreamCutBack) {
  TScriptedServer server(
      {ReplyAll({"HTTP/1.1 302 Found\r\nLocation: /b/c?d=1\r\nContent-Length: 3\r\n\r\nxyz",
                 "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"})});
  auto client = MakeClient();
  client->HandleRedirects = true;
  TMemoryStream stream;
  stream.WriteBuffer("keep", 4);
  client->Get(server.Url("/a"), &stream);
  client->Disconnect();
  server.Stop();
  EXPECT_EQ(Text(stream), "keepok");
  ASSERT_EQ(server.Requests().size(), 2u);
  EXPECT_EQ(server.Requests()[1].substr(0, 20), "GET /b/c?d=1 HTTP/1.");
}

TEST(HttpRedirects, WithoutBodyAfterClose) {
  // No length and no body, and the server closes: nothing is waited for.
  TScriptedServer server({Reply("HTTP/1.1 301 Moved\r\nLocation: /x\r\n\r\n", true),
                          Reply("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\n!")});
  auto client = MakeClient();
  client->HandleRedirects = true;
  TMemoryStream stream;
  client->Get(server.Url("/"), &stream);
  EXPECT_EQ(Text(stream), "!");
}

TEST(HttpRedirects, MissingLocationRaisesEvenWhenFollowing) {
  TExchange x("HTTP/1.1 301 Moved Permanently\r\nContent-Length: 0\r\n\r\n");
  x.Client->HandleRedirects = true;
  EXPECT_EQ(ExpectProtocolError([&] { x.Client->Get(x.Server.Url("/"), &x.Stream); }).ReplyCode(),
            301);
}

TEST(HttpRedirects, LimitReachedIsAnErrorNotAnEmptySuccess) {
  std::vector<std::string> answers(
      15, "HTTP/1.1 302 Found\r\nLocation: /again\r\nContent-Length: 1\r\n\r\nr");
  TScriptedServer server({ReplyAll(answers)});
  auto client = MakeClient();
  client->HandleRedirects = true;
  TMemoryStream stream;
  const auto e = ExpectProtocolError([&] { client->Get(server.Url("/"), &stream); });
  EXPECT_EQ(e.ReplyCode(), 302);
  EXPECT_EQ(client->RedirectsTaken(), 15);
  client->Disconnect();
  server.Stop();
  EXPECT_EQ(server.Requests().size(), 15u);
  EXPECT_EQ(stream.Size(), 0);
}

TEST(HttpRedirects, HandlerMayApproveWithoutFollowing) {
  TScriptedServer server(
      {Reply("HTTP/1.1 307 Temporary\r\nLocation: /x\r\nContent-Length: 0\r\n\r\n")});
  auto client = MakeClient();
  std::string seen;
  client->OnRedirect = [&seen](TObject*, std::string& location, std::string&, int, bool& handled) {
    seen = location;
    location = "/changed";
    handled = true;
  };
  TMemoryStream stream;
  client->Get(server.Url("/"), &stream);
  EXPECT_EQ(seen, "/x");
  EXPECT_EQ(client->Response().Location, "/changed");
}

TEST(HttpAuthentication, BasicChallengeWithoutCredentialsRaisesAfterOneRequest) {
  TExchange x(
      "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"r\"\r\n"
      "Content-Length: 4\r\n\r\ndeny");
  const auto e = ExpectProtocolError([&] { x.Client->Get(x.Server.Url("/"), &x.Stream); });
  EXPECT_EQ(e.Message(), "HTTP/1.1 401 Unauthorized");
  x.Client->Disconnect();
  x.Server.Stop();
  EXPECT_EQ(x.Server.Requests().size(), 1u);
  EXPECT_EQ(x.Server.ExtraConnections(), 0);
  EXPECT_NE(dynamic_cast<TIdBasicAuthentication*>(x.Client->Request().Authenticator.get()),
            nullptr);
}

TEST(HttpAuthentication, CredentialsWithoutInProcessRetryAreStillAnError) {
  TExchange x(
      "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"r\"\r\n"
      "Content-Length: 4\r\n\r\ndeny");
  x.Client->Request().Username = "u";
  x.Client->Request().Password = "p";
  EXPECT_EQ(ExpectProtocolError([&] { x.Client->Get(x.Server.Url("/"), &x.Stream); }).ReplyCode(),
            401);
  EXPECT_EQ(x.Stream.Size(), 0);
}

TEST(HttpAuthentication, BasicRetryOnANewConnectionAfterClose) {
  // The server closes after its challenge; the answer goes out on a new connection.
  TScriptedServer server({Reply("HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic "
                                "realm=\"r\"\r\nConnection: close\r\n"
                                "Content-Length: 0\r\n\r\n",
                                true),
                          Reply("HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nsecret")});
  auto client = MakeClient();
  client->HTTPOptions.Include(hoInProcessAuth);
  TMemoryStream stream;
  client->Get("http://user:pw@127.0.0.1:" + std::to_string(server.Port()) + "/p", &stream);
  client->Disconnect();
  server.Stop();
  EXPECT_EQ(Text(stream), "secret");
  ASSERT_EQ(server.Requests().size(), 2u);
  EXPECT_EQ(server.Requests()[0].find("Authorization"), std::string::npos);
  EXPECT_NE(server.Requests()[1].find("\r\nAuthorization: Basic dXNlcjpwdw==\r\n"),
            std::string::npos);
  // Done with all its steps, the authenticator goes with the connection.
  EXPECT_EQ(client->Request().Authenticator, nullptr);
}

TEST(HttpAuthentication, HandlerSuppliesCredentialsWhenAsked) {
  const std::string deny =
      "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"r\"\r\nContent-Length: "
      "0\r\n\r\n";
  TScriptedServer server({ReplyAll({deny, "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nin"})});
  auto client = MakeClient();
  client->HTTPOptions.Include(hoInProcessAuth);
  int asked = 0;
  client->OnAuthorization = [&asked](TObject*, TIdAuthentication& auth, bool& handled) {
    ++asked;
    auth.Username = "who";
    auth.Password = "me";
    handled = true;
  };
  TMemoryStream stream;
  client->Get(server.Url("/"), &stream);
  client->Disconnect();
  server.Stop();
  EXPECT_EQ(Text(stream), "in");
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(client->Request().Username, "who");
  ASSERT_EQ(server.Requests().size(), 2u);
  EXPECT_NE(server.Requests()[1].find("Authorization: Basic d2hvOm1l\r\n"), std::string::npos);
}

TEST(HttpAuthentication, WrongPasswordEndsWithTheChallengeNotALoop) {
  const std::string deny =
      "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"r\"\r\nContent-Length: "
      "0\r\n\r\n";
  TScriptedServer server({ReplyAll({deny, deny, deny, deny, deny})});
  auto client = MakeClient();
  client->HTTPOptions.Include(hoInProcessAuth);
  client->Request().Username = "u";
  client->Request().Password = "bad";
  TMemoryStream stream;
  EXPECT_EQ(ExpectProtocolError([&] { client->Get(server.Url("/"), &stream); }).ReplyCode(), 401);
  client->Disconnect();
  server.Stop();
  EXPECT_EQ(server.Requests().size(), 2u);
}

TEST(HttpCookies, SetCookieIsSentOnTheNextRequest) {
  TScriptedServer server(
      {ReplyAll({"HTTP/1.1 200 OK\r\nSet-Cookie: s=1; Path=/\r\nContent-Length: 0\r\n\r\n",
                 "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"})});
  auto client = MakeClient();
  TMemoryStream stream;
  client->Get(server.Url("/a"), &stream);
  ASSERT_NE(client->CookieManager(), nullptr);
  EXPECT_TRUE(client->OwnsCookieManager());
  client->Get(server.Url("/b"), &stream);
  client->Disconnect();
  server.Stop();
  ASSERT_EQ(server.Requests().size(), 2u);
  EXPECT_EQ(server.Requests()[0].find("Cookie"), std::string::npos);
  EXPECT_NE(server.Requests()[1].find("\r\nCookie: s=1\r\n"), std::string::npos);
}

TEST(HttpCookies, AnAttachedStoreIsForgottenWhenFreed) {
  auto client = MakeClient();
  auto store = std::make_unique<TIdCookieManager>();
  client->SetCookieManager(store.get());
  EXPECT_FALSE(client->OwnsCookieManager());
  store.reset();
  EXPECT_EQ(client->CookieManager(), nullptr);
}

}  // namespace
