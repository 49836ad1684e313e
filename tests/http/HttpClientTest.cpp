// The client against a scripted peer on 127.0.0.1: what goes on the wire and
// how each kind of answer ends up in the caller's stream or an exception.
#include <gtest/gtest.h>

#include <memory>

#include "ScriptedServer.h"
#include "TestSupport.h"
#include "http/IdHTTP.h"

namespace {

using TScript = TScriptedServer::TScript;

// A default client, but with a read limit so that a broken case fails rather than hangs.
std::unique_ptr<TIdHTTP> MakeClient() {
  auto client = std::make_unique<TIdHTTP>();
  client->SetReadTimeout(10000);
  return client;
}

std::string Text(const TMemoryStream& s) {
  return std::string(reinterpret_cast<const char*>(s.Bytes().data()), s.Bytes().size());
}

// Reads one request, sends the answer and, with close, ends the connection.
TScript Reply(std::string answer, bool close = false) {
  return [answer = std::move(answer), close](TPeerConnection& c) {
    c.ReadHead();
    c.Send(answer);
    if (close) {
      c.CloseSend();
      c.WaitForClientClose();
    } else {
      c.WaitForClientClose();
    }
  };
}

// Answers each request of one connection in turn.
TScript ReplyAll(std::vector<std::string> answers) {
  return [answers = std::move(answers)](TPeerConnection& c) {
    for (const std::string& a : answers) {
      if (c.ReadHead().empty()) return;
      c.Send(a);
    }
    c.WaitForClientClose();
  };
}

EIdHTTPProtocolException ExpectProtocolError(const std::function<void()>& f) {
  try {
    f();
  } catch (const EIdHTTPProtocolException& e) {
    return e;
  } catch (const std::exception& e) {
    ADD_FAILURE() << "expected EIdHTTPProtocolException, got " << ClassNameOf(e) << ": "
                  << e.what();
    return EIdHTTPProtocolException(0, "", "");
  }
  ADD_FAILURE() << "expected EIdHTTPProtocolException, nothing was raised";
  return EIdHTTPProtocolException(0, "", "");
}

TEST(HttpRequestWire, FreshClientSendsExactlySixLines) {
  TScriptedServer server({Reply("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok")});
  auto client = MakeClient();
  TMemoryStream stream;
  client->Get(server.Url("/Download/TramelaCoreServer.zip"), &stream);
  client->Disconnect();
  server.Stop();
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0],
            "GET /Download/TramelaCoreServer.zip HTTP/1.1\r\n"
            "Host: 127.0.0.1:" +
                std::to_string(server.Port()) +
                "\r\n"
                "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8\r\n"
                "Accept-Encoding: identity\r\n"
                "User-Agent: Mozilla/3.0 (compatible; Tramela Setup)\r\n"
                "\r\n");
  EXPECT_EQ(Text(stream), "ok");
}

TEST(HttpRequestWire, Http10AddsKeepAliveBeforeHost) {
  TScriptedServer server({Reply("HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n")});
  auto client = MakeClient();
  client->ProtocolVersion = pv1_0;
  TMemoryStream stream;
  client->Get(server.Url("/a b?q=\xE8"), &stream);
  server.Stop();
  ASSERT_EQ(server.Requests().size(), 1u);
  const std::string head = server.Requests()[0];
  // The target goes out unencoded; a byte above 127 becomes "?" on the wire.
  EXPECT_EQ(head.substr(0, head.find("\r\n")), "GET /a b?q=? HTTP/1.0");
  EXPECT_NE(head.find("\r\nConnection: keep-alive\r\nHost: "), std::string::npos) << head;
  // Under 1.0 without keep-alive in the answer the client closed.
  EXPECT_FALSE(client->Connected());
}

TEST(HttpRequestWire, KeptConnectionIsReusedAndStrayBytesDropped) {
  // Two bytes more than announced arrive with the first answer.
  TScriptedServer server({ReplyAll({"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n0123456789XY",
                                    "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabc"})});
  auto client = MakeClient();
  client->Request().CustomHeaders.Add("Host: replaced");
  TMemoryStream first;
  TMemoryStream second;
  client->Get(server.Url("/one"), &first);
  client->Get(server.Url("/two"), &second);
  client->Disconnect();
  server.Stop();
  EXPECT_EQ(Text(first), "0123456789");
  EXPECT_EQ(Text(second), "abc");
  EXPECT_EQ(server.Accepted(), 1);
  ASSERT_EQ(server.Requests().size(), 2u);
  const std::string head = server.Requests()[1];
  EXPECT_NE(head.find("\r\nHost: 127.0.0.1:"), std::string::npos);
  EXPECT_EQ(head.find("replaced"), std::string::npos);
  EXPECT_NE(head.find("Accept-Encoding: identity\r\n"), std::string::npos);
  EXPECT_EQ(head.find("identity, identity"), std::string::npos);
}

TEST(HttpRequestWire, IdleConnectionResetByThePeerIsReplaced) {
  TScriptedServer server({[](TPeerConnection& c) {
                            c.ReadHead();
                            c.Send("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\na");
                            c.Abort();
                          },
                          Reply("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nb")});
  auto client = MakeClient();
  TMemoryStream first;
  TMemoryStream second;
  client->Get(server.Url("/"), &first);
  ASSERT_TRUE(server.WaitForScripts(1));
  client->Get(server.Url("/"), &second);
  EXPECT_EQ(Text(first) + Text(second), "ab");
}

TEST(HttpRequestWire, AnotherPortClosesTheOldConnection) {
  TScriptedServer a({Reply("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\na")});
  TScriptedServer b({Reply("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nb")});
  auto client = MakeClient();
  TMemoryStream s1;
  TMemoryStream s2;
  client->Get(a.Url("/"), &s1);
  client->Get(b.Url("/"), &s2);
  a.Stop();  // returns only once the client closed its first connection
  client->Disconnect();
  b.Stop();
  EXPECT_EQ(Text(s1) + Text(s2), "ab");
}

TEST(HttpRequestWire, ProxyGetsTheAbsoluteTargetAndItsOwnCredentials) {
  TScriptedServer proxy(
      {Reply("HTTP/1.0 200 OK\r\nProxy-Connection: keep-alive\r\nContent-Length: 1\r\n\r\np")});
  auto client = MakeClient();
  client->ProtocolVersion = pv1_0;
  client->ProxyParams.ProxyServer = "127.0.0.1";
  client->ProxyParams.ProxyPort = proxy.Port();
  client->ProxyParams.BasicAuthentication = true;
  client->ProxyParams.ProxyUsername = "pu";
  client->ProxyParams.ProxyPassword = "pp";
  TMemoryStream stream;
  client->Get("http://origin.example:81/a?b", &stream);
  EXPECT_TRUE(client->Connected());  // kept by Proxy-Connection under 1.0
  client->Disconnect();
  proxy.Stop();
  ASSERT_EQ(proxy.Requests().size(), 1u);
  const std::string head = proxy.Requests()[0];
  EXPECT_EQ(head.substr(0, head.find("\r\n")), "GET http://origin.example:81/a?b HTTP/1.0");
  EXPECT_NE(head.find("\r\nProxy-Connection: keep-alive\r\nHost: origin.example:81\r\n"),
            std::string::npos)
      << head;
  EXPECT_NE(head.find("\r\nProxy-Authorization: Basic cHU6cHA=\r\n"), std::string::npos) << head;
  EXPECT_EQ(Text(stream), "p");
}

TEST(HttpRequestWire, ProxyTunnelIsOpenedWithConnectFirst) {
  TScriptedServer proxy({ReplyAll({"HTTP/1.1 200 Connection established\r\n\r\n",
                                   "HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nt"})});
  auto client = MakeClient();
  client->ProxyParams.ProxyServer = "127.0.0.1";
  client->ProxyParams.ProxyPort = proxy.Port();
  client->HTTPOptions.Include(hoNonSSLProxyUseConnectVerb);
  TMemoryStream stream;
  client->Get("http://origin.example:81/a", &stream);
  client->Disconnect();
  proxy.Stop();
  EXPECT_EQ(Text(stream), "t");
  ASSERT_EQ(proxy.Requests().size(), 2u);
  const std::string connect = proxy.Requests()[0];
  EXPECT_EQ(connect.substr(0, connect.find("\r\n")), "CONNECT origin.example:81 HTTP/1.1");
  EXPECT_NE(connect.find("\r\nPragma: no-cache\r\n"), std::string::npos) << connect;
  EXPECT_NE(connect.find("\r\nProxy-Connection: keep-alive\r\nHost: origin.example:81\r\n"),
            std::string::npos)
      << connect;
  EXPECT_EQ(proxy.Accepted(), 1);
}

TEST(HttpRequestWire, HeadersHandlerMayStopTheRequest) {
  TScriptedServer server({Reply("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello"),
                          Reply("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok")});
  auto client = MakeClient();
  std::string seen;
  client->OnHeadersAvailable = [&seen](TObject*, TIdHeaderList& headers, bool& continueRequest) {
    seen = headers.ValueOf("Content-Length");
    continueRequest = false;
  };
  TMemoryStream stream;
  client->Get(server.Url("/"), &stream);
  EXPECT_EQ(seen, "5");
  EXPECT_EQ(stream.Size(), 0);
  // The body was never read: the next request goes out on a new connection.
  client->OnHeadersAvailable = nullptr;
  client->Get(server.Url("/"), &stream);
  EXPECT_EQ(Text(stream), "ok");
  client->Disconnect();
  server.Stop();
  EXPECT_EQ(server.Accepted(), 2);
}

// Turns "deflate" bodies upside down, to see that decoding is routed through it.
class TReversingCompressor : public TIdZLibCompressorBase {
 public:
  using TIdZLibCompressorBase::TIdZLibCompressorBase;
  bool IsReady() const override { return true; }
  void DecompressDeflateStream(TStream& source, TStream& target) override {
    std::string bytes(static_cast<std::size_t>(source.Size()), '\0');
    source.ReadBuffer(bytes.data(), source.Size());
    target.WriteBuffer(std::string(bytes.rbegin(), bytes.rend()).data(), source.Size());
  }
  void DecompressGZipStream(TStream&, TStream&) override {
    ADD_FAILURE() << "gzip was not announced";
  }
};

TEST(HttpResponseBody, AnnouncedEncodingGoesThroughTheCompressor) {
  TScriptedServer server(
      {Reply("HTTP/1.1 200 OK\r\nContent-Encoding: deflate\r\nContent-Length: 3\r\n\r\ncba")});
  auto client = MakeClient();
  TReversingCompressor compressor;
  client->SetCompressor(&compressor);
  TMemoryStream stream;
  client->Get(server.Url("/"), &stream);
  client->SetCompressor(nullptr);
  client->Disconnect();
  server.Stop();
  EXPECT_EQ(Text(stream), "abc");
  EXPECT_NE(server.Requests()[0].find("\r\nAccept-Encoding: deflate, gzip, identity\r\n"),
            std::string::npos);
}

TEST(HttpResponseBody, ZeroLengthIsNotAwaited) {
  TScriptedServer server({Reply("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n")});
  auto client = MakeClient();
  TMemoryStream stream;
  client->Get(server.Url("/"), &stream);
  EXPECT_EQ(stream.Size(), 0);
  EXPECT_TRUE(client->Connected());
}

TEST(HttpResponseBody, ContinueThenOk) {
  TScriptedServer server(
      {Reply("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello")});
  auto client = MakeClient();
  TMemoryStream stream;
  client->Get(server.Url("/"), &stream);
  EXPECT_EQ(Text(stream), "hello");
  EXPECT_EQ(client->Response().StatusCode(), 200);
}

TEST(HttpResponseBody, ChunkedWithExtensionsAndTrailer) {
  TScriptedServer server(
      {Reply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
             "5;ext=1\r\nhello\r\nA\r\n, chunked!\r\n0\r\nX-Trailer: yes\r\n\r\n")});
  auto client = MakeClient();
  TMemoryStream stream;
  client->Get(server.Url("/"), &stream);
  EXPECT_EQ(Text(stream), "hello, chunked!");
  EXPECT_EQ(client->Response().HeaderLines.ValueOf("X-Trailer"), "yes");
}

TEST(HttpResponseBody, BrokenChunkSizeIsAnError) {
  TScriptedServer server(
      {Reply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\nzz\r\n", true)});
  auto client = MakeClient();
  TMemoryStream stream;
  testsupport::ExpectThrowMessage<EIdException>([&] { client->Get(server.Url("/"), &stream); },
                                                "Invalid chunk size line \"zz\".");
  EXPECT_EQ(Text(stream), "hello");
  EXPECT_FALSE(client->Connected());
}

TEST(HttpResponseBody, ChunkedCutShortRaises) {
  TScriptedServer server(
      {Reply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nA\r\nhello", true)});
  auto client = MakeClient();
  TMemoryStream stream;
  EXPECT_THROW(client->Get(server.Url("/"), &stream), EIdConnClosedGracefully);
}

TEST(HttpResponseBody, CloseAfterSixOfTenBytesFailsKeepingThem) {
  TScriptedServer server({Reply("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n123456", true)});
  auto client = MakeClient();
  TMemoryStream stream;
  testsupport::ExpectThrowMessage<EIdHTTPIncompleteBody>(
      [&] { client->Get(server.Url("/"), &stream); },
      "Connection closed after 6 of 10 bytes of the response body.");
  EXPECT_EQ(Text(stream), "123456");
}

TEST(HttpResponseBody, Http10BodyReadUntilClose) {
  TScriptedServer server({Reply("HTTP/1.0 200 OK\r\nServer: old\r\n\r\nuntil the end", true)});
  auto client = MakeClient();
  TMemoryStream stream;
  client->Get(server.Url("/"), &stream);
  EXPECT_EQ(Text(stream), "until the end");
  EXPECT_FALSE(client->Connected());
}

TEST(HttpResponseBody, Http10AnswerWithoutKeepAliveIsNotReused) {
  TScriptedServer server(
      {Reply("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok"),
       Reply("HTTP/1.0 200 OK\r\nConnection: keep-alive\r\nContent-Length: 2\r\n\r\nok")});
  auto client = MakeClient();
  TMemoryStream stream;
  client->Get(server.Url("/"), &stream);
  EXPECT_FALSE(client->Connected());
  client->Get(server.Url("/"), &stream);
  EXPECT_TRUE(client->Connected());
}

TEST(HttpResponseBody, NoContentLeavesStreamEmpty) {
  TScriptedServer server({Reply("HTTP/1.1 204 No Content\r\n\r\n")});
  auto client = MakeClient();
  TMemoryStream stream;
  client->Get(server.Url("/"), &stream);
  EXPECT_EQ(stream.Size(), 0);
}

TEST(HttpResponseBody, MultipartEndsAtTheClosingBoundary) {
  const std::string body = "--xyz\r\nContent-Type: text/plain\r\n\r\npart\r\n--xyz--";
  TScriptedServer server({ReplyAll(
      {"HTTP/1.1 200 OK\r\nContent-Type: multipart/mixed; boundary=\"xyz\"\r\n\r\n" + body + "\r\n",
       "HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\n!"})});
  auto client = MakeClient();
  TMemoryStream stream;
  TMemoryStream next;
  client->Get(server.Url("/"), &stream);
  client->Get(server.Url("/"), &next);
  client->Disconnect();
  EXPECT_EQ(Text(stream), body);
  EXPECT_EQ(Text(next), "!");
}

TEST(HttpResponseHeaders, FoldedValuesHighBytesAndMetaCharset) {
  TScriptedServer server(
      {Reply("HTTP/1.1 200 OK\r\nX-Folded: one\r\n  two\r\nX-High: a\xE8\xFF"
             "b\r\nContent-Type: text/html\r\n"
             "Content-Length: 86\r\n\r\n"
             "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
             "charset=utf-8\"></head>")});
  auto client = MakeClient();
  TMemoryStream stream;
  client->Get(server.Url("/"), &stream);
  const TIdHTTPResponse& r = client->Response();
  EXPECT_EQ(r.HeaderLines.ValueOf("X-Folded"), "one two");
  EXPECT_EQ(r.HeaderLines.ValueOf("X-High"), "a??b");
  EXPECT_EQ(r.CharSet, "utf-8");
  EXPECT_EQ(stream.Size(), 86);
}

TEST(HttpResponseHeaders, ConnectionCloseDisconnectsAtTheEnd) {
  TScriptedServer server(
      {Reply("HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 1\r\n\r\nx")});
  auto client = MakeClient();
  TMemoryStream stream;
  client->Get(server.Url("/"), &stream);
  EXPECT_FALSE(client->Connected());
}

TEST(HttpResponseHeaders, EndlessHeaderBlockIsRefused) {
  std::string answer = "HTTP/1.1 200 OK\r\n";
  for (int i = 0; i < 300; ++i) answer += "X-" + std::to_string(i) + ": v\r\n";
  TScriptedServer server({Reply(answer + "\r\n", true)});
  auto client = MakeClient();
  TMemoryStream stream;
  EXPECT_THROW(client->Get(server.Url("/"), &stream), EIdHTTPHeaderTooLarge);
}

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
  TScriptedServer server({Reply("HTTP/1.1 404 Not Found\r\nContent-Length: 4\r\n\r\ngone")});
  auto client = MakeClient();
  TMemoryStream stream;
  client->Get(server.Url("/x"), &stream, {404});
  EXPECT_EQ(stream.Size(), 0);
}

TEST(HttpProtocolErrors, NotModifiedWithLengthIsNotAwaited) {
  // The announced bytes never come: reading them would run into the read limit.
  TScriptedServer server({Reply("HTTP/1.1 304 Not Modified\r\nContent-Length: 50\r\n\r\n")});
  auto client = MakeClient();
  TMemoryStream stream;
  const auto e = ExpectProtocolError([&] { client->Get(server.Url("/"), &stream); });
  EXPECT_EQ(e.ReplyCode(), 304);
}

TEST(HttpProtocolErrors, StatusLineWithoutNumber) {
  TScriptedServer server({Reply("HTTP/1.1 OK fine\r\nContent-Length: 0\r\n\r\n")});
  auto client = MakeClient();
  TMemoryStream stream;
  const auto e = ExpectProtocolError([&] { client->Get(server.Url("/"), &stream); });
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
  TScriptedServer server(
      {Reply("HTTP/1.1 302 Found\r\nLocation: /elsewhere\r\nContent-Length: 5\r\n\r\nmoved")});
  auto client = MakeClient();
  TMemoryStream stream;
  const auto e = ExpectProtocolError([&] { client->Get(server.Url("/"), &stream); });
  EXPECT_EQ(e.Message(), "HTTP/1.1 302 Found");
  EXPECT_EQ(e.ErrorBody(), "moved");
  client->Disconnect();
  server.Stop();
  EXPECT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(stream.Size(), 0);
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
  TScriptedServer server({Reply("HTTP/1.1 301 Moved Permanently\r\nContent-Length: 0\r\n\r\n")});
  auto client = MakeClient();
  client->HandleRedirects = true;
  TMemoryStream stream;
  EXPECT_EQ(ExpectProtocolError([&] { client->Get(server.Url("/"), &stream); }).ReplyCode(), 301);
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
  TScriptedServer server(
      {Reply("HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"r\"\r\n"
             "Content-Length: 4\r\n\r\ndeny")});
  auto client = MakeClient();
  TMemoryStream stream;
  const auto e = ExpectProtocolError([&] { client->Get(server.Url("/"), &stream); });
  EXPECT_EQ(e.Message(), "HTTP/1.1 401 Unauthorized");
  client->Disconnect();
  server.Stop();
  EXPECT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.ExtraConnections(), 0);
  EXPECT_NE(dynamic_cast<TIdBasicAuthentication*>(client->Request().Authenticator.get()), nullptr);
}

TEST(HttpAuthentication, CredentialsWithoutInProcessRetryAreStillAnError) {
  TScriptedServer server(
      {Reply("HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"r\"\r\n"
             "Content-Length: 4\r\n\r\ndeny")});
  auto client = MakeClient();
  client->Request().Username = "u";
  client->Request().Password = "p";
  TMemoryStream stream;
  EXPECT_EQ(ExpectProtocolError([&] { client->Get(server.Url("/"), &stream); }).ReplyCode(), 401);
  EXPECT_EQ(stream.Size(), 0);
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

// ---- Hostile framing: where a body ends must never be guessed

struct TBadFraming {
  const char* Lines;
  const char* Message;
};

class HttpBadFraming : public ::testing::TestWithParam<TBadFraming> {};

// Read as "no length" (or as a number) these would end the body somewhere else
// than the server meant: the rest of the answer would be taken for the next one.
TEST_P(HttpBadFraming, IsAnErrorNotAGuess) {
  TScriptedServer server(
      {Reply(std::string("HTTP/1.1 200 OK\r\n") + GetParam().Lines + "\r\n\r\nhello", true)});
  auto client = MakeClient();
  TMemoryStream stream;
  testsupport::ExpectThrowMessage<EIdHTTPBadResponse>(
      [&] { client->Get(server.Url("/"), &stream); }, GetParam().Message);
  EXPECT_EQ(stream.Size(), 0);
  EXPECT_FALSE(client->IOHandler()->IsOpen());  // never reused
}

INSTANTIATE_TEST_SUITE_P(
    Values, HttpBadFraming,
    ::testing::Values(TBadFraming{"Content-Length: +5", "Invalid Content-Length \"+5\"."},
                      TBadFraming{"Content-Length: -5", "Invalid Content-Length \"-5\"."},
                      TBadFraming{"Content-Length: 5 0", "Invalid Content-Length \"5 0\"."},
                      TBadFraming{"Content-Length: 5, 5", "Invalid Content-Length \"5, 5\"."},
                      TBadFraming{"Content-Length: 0x5", "Invalid Content-Length \"0x5\"."},
                      TBadFraming{"Content-Length:", "Invalid Content-Length \"\"."},
                      TBadFraming{"Content-Length: 18446744073709551621",
                                  "Invalid Content-Length \"18446744073709551621\"."},
                      TBadFraming{"Content-Length: 5\r\nContent-Length: 6",
                                  "Conflicting Content-Length values \"5\" and \"6\"."},
                      TBadFraming{"Transfer-Encoding: chunked\r\nTransfer-Encoding: Chunked",
                                  "Invalid Transfer-Encoding \"chunked, chunked\"."}));

TEST(HttpFraming, TransferCodingOverridesLengthAndTheConnectionIsNotReused) {
  TScriptedServer server(
      {Reply("HTTP/1.1 200 OK\r\nContent-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\n"
             "5\r\nhello\r\n0\r\n\r\n"),
       Reply("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\n!")});
  auto client = MakeClient();
  TMemoryStream stream;
  client->Get(server.Url("/"), &stream);
  EXPECT_EQ(Text(stream), "hello");
  EXPECT_EQ(client->Response().ContentLength, -1);  // not the installer's announced length
  EXPECT_FALSE(client->Connected());
  TMemoryStream next;
  client->Get(server.Url("/"), &next);
  EXPECT_EQ(Text(next), "!");
  EXPECT_EQ(server.Accepted(), 2);
}

struct TCoding {
  const char* Lines;
  const char* Body;
};

class HttpBodyEnd : public ::testing::TestWithParam<TCoding> {};

// Only a final "chunked" is chunked; any other coding ends the body at the close.
// Repeated Content-Length lines that agree are one length.
TEST_P(HttpBodyEnd, BodyEndsWhereTheHeadersSay) {
  const std::string raw = "5\r\nhello\r\n0\r\n\r\n";
  TScriptedServer server(
      {Reply(std::string("HTTP/1.1 200 OK\r\n") + GetParam().Lines + "\r\n\r\n" + raw, true)});
  auto client = MakeClient();
  TMemoryStream stream;
  client->Get(server.Url("/"), &stream);
  const bool untilClose = GetParam().Body == nullptr;
  EXPECT_EQ(Text(stream), untilClose ? raw : GetParam().Body);
  if (untilClose) {
    EXPECT_FALSE(client->Connected());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Codings, HttpBodyEnd,
    ::testing::Values(TCoding{"Transfer-Encoding: chunked, gzip", nullptr},
                      TCoding{"Transfer-Encoding: xchunked", nullptr},
                      TCoding{"Transfer-Encoding: chunked-not\r\nContent-Length: 5", nullptr},
                      TCoding{"Transfer-Encoding: gzip\r\nTransfer-Encoding: CHUNKED", "hello"},
                      TCoding{"Content-Length: 5\r\ncontent-length: 005", "5\r\nhe"}));

TEST(HttpFraming, ChunkDataMustEndWithCRLF) {
  // The size says 3 but 5 bytes follow: read on, "lo" would be dropped as the line end.
  TScriptedServer server(
      {Reply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nhello\r\n0\r\n\r\n")});
  auto client = MakeClient();
  TMemoryStream stream;
  testsupport::ExpectThrowMessage<EIdHTTPBadResponse>(
      [&] { client->Get(server.Url("/"), &stream); },
      "Chunk data of 3 bytes is not followed by CRLF.");
  EXPECT_FALSE(client->IOHandler()->IsOpen());
}

std::string Interim(int count, const std::string& line) {
  std::string answers;
  for (int i = 0; i < count; ++i) answers += line + "\r\nLink: </a.css>; rel=preload\r\n\r\n";
  return answers + "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
}

TEST(HttpFraming, SixteenInterimAnswersAreSkippedNotMore) {
  TScriptedServer server({Reply(Interim(16, "HTTP/1.1 103 Early Hints")),
                          Reply(Interim(17, "HTTP/1.1 100 Continue"), true)});
  auto client = MakeClient();
  TMemoryStream stream;
  client->Get(server.Url("/"), &stream);
  EXPECT_EQ(Text(stream), "ok");
  client->Disconnect();
  testsupport::ExpectThrowMessage<EIdHTTPBadResponse>(
      [&] { client->Get(server.Url("/"), &stream); },
      "More than 16 interim (1xx) responses to one request.");
}

TEST(HttpFraming, SwitchingProtocolsIsRefused) {
  TScriptedServer server({Reply(
      "HTTP/1.1 101 Switching Protocols\r\nUpgrade: x\r\n\r\nHTTP/1.1 200 OK\r\n\r\n", true)});
  auto client = MakeClient();
  TMemoryStream stream;
  EXPECT_EQ(ExpectProtocolError([&] { client->Get(server.Url("/"), &stream); }).ReplyCode(), 101);
}

TEST(HttpFraming, MetaTagsNeverChangeTheFraming) {
  const std::string page =
      "<html><head><meta http-equiv=\"Content-Length\" content=\"1\">"
      "<meta http-equiv=\"Transfer-Encoding\" content=\"chunked\">"
      "<meta http-equiv=\"Content-Encoding\" content=\"gzip\">"
      "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\"></head>";
  const std::string answer = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                             std::to_string(page.size()) + "\r\n\r\n" + page;
  TScriptedServer server({ReplyAll({answer, "HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\n!"})});
  auto client = MakeClient();
  TMemoryStream stream;
  client->Get(server.Url("/"), &stream);
  const TIdHTTPResponse& r = client->Response();
  EXPECT_EQ(r.ContentLength, static_cast<std::int64_t>(page.size()));
  EXPECT_EQ(r.TransferEncoding, "");
  EXPECT_EQ(r.ContentEncoding, "");
  EXPECT_EQ(r.CharSet, "utf-8");  // what a page may say about itself still counts
  TMemoryStream next;
  client->Get(server.Url("/"), &next);  // the kept connection is still in step
  client->Disconnect();
  EXPECT_EQ(Text(next), "!");
}

TEST(HttpFraming, AtMostAHundredMetaTagsAreRead) {
  std::string page = "<html><head>";
  for (int i = 0; i < 150; ++i)
    page += "<meta http-equiv=\"X-" + std::to_string(i) + "\" content=\"v\">";
  page += "</head>";
  TScriptedServer server({Reply("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                                std::to_string(page.size()) + "\r\n\r\n" + page)});
  auto client = MakeClient();
  TMemoryStream stream;
  client->Get(server.Url("/"), &stream);
  EXPECT_EQ(client->Response().MetaEquiv.HeaderLines.Count(), 100);
  EXPECT_EQ(client->Response().HeaderLines.ValueOf("X-99"), "v");
  EXPECT_EQ(client->Response().HeaderLines.ValueOf("X-100"), "");
  EXPECT_EQ(stream.Size(), static_cast<std::int64_t>(page.size()));
}

class HttpEndlessLine : public ::testing::TestWithParam<const char*> {};

// A line that never reaches its LF fails at the line limit instead of growing the
// input buffer towards 2 GiB.
TEST_P(HttpEndlessLine, FailsAtTheLineLimit) {
  TScriptedServer server({Reply(GetParam() + std::string(100000, 'a'))});
  auto client = MakeClient();
  TMemoryStream stream;
  testsupport::ExpectThrowMessage<EIdReadLnMaxLineLengthExceeded>(
      [&] { client->Get(server.Url("/"), &stream); }, "Max line length exceeded.");
  EXPECT_FALSE(client->IOHandler()->IsOpen());
}

INSTANTIATE_TEST_SUITE_P(
    Lines, HttpEndlessLine,
    ::testing::Values("", "HTTP/1.1 200 OK\r\nX-Long: ",
                      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n",
                      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n0\r\nX-Trailer: "));

}  // namespace
