// The client against a scripted peer on 127.0.0.1: what goes on the wire and
// how each kind of answer ends up in the caller's stream.
#include <gtest/gtest.h>

#include "HttpTestClient.h"

namespace {

using namespace httptest;

TEST(HttpRequestWire, FreshClientSendsExactlySixLines) {
  TExchange x("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
  x.Client->Get(x.Server.Url("/Download/TramelaCoreServer.zip"), &x.Stream);
  x.Client->Disconnect();
  x.Server.Stop();
  ASSERT_EQ(x.Server.Requests().size(), 1u);
  EXPECT_EQ(x.Server.Requests()[0],
            "GET /Download/TramelaCoreServer.zip HTTP/1.1\r\n"
            "Host: 127.0.0.1:" +
                std::to_string(x.Server.Port()) +
                "\r\n"
                "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8\r\n"
                "Accept-Encoding: identity\r\n"
                "User-Agent: Mozilla/3.0 (compatible; Tramela Setup)\r\n"
                "\r\n");
  EXPECT_EQ(Text(x.Stream), "ok");
}

TEST(HttpRequestWire, Http10AddsKeepAliveBeforeHost) {
  TExchange x("HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n");
  x.Client->ProtocolVersion = pv1_0;
  x.Client->Get(x.Server.Url("/a b?q=\xE8"), &x.Stream);
  x.Server.Stop();
  ASSERT_EQ(x.Server.Requests().size(), 1u);
  const std::string head = x.Server.Requests()[0];
  // The target goes out unencoded; a byte above 127 becomes "?" on the wire.
  EXPECT_EQ(head.substr(0, head.find("\r\n")), "GET /a b?q=? HTTP/1.0");
  EXPECT_NE(head.find("\r\nConnection: keep-alive\r\nHost: "), std::string::npos) << head;
  // Under 1.0 without keep-alive in the answer the client closed.
  EXPECT_FALSE(x.Client->Connected());
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
  TExchange x("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
  x.Client->Get(x.Server.Url("/"), &x.Stream);
  EXPECT_EQ(x.Stream.Size(), 0);
  EXPECT_TRUE(x.Client->Connected());
}

TEST(HttpResponseBody, ContinueThenOk) {
  TExchange x("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello");
  x.Client->Get(x.Server.Url("/"), &x.Stream);
  EXPECT_EQ(Text(x.Stream), "hello");
  EXPECT_EQ(x.Client->Response().StatusCode(), 200);
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
  TExchange x("HTTP/1.1 204 No Content\r\n\r\n");
  x.Client->Get(x.Server.Url("/"), &x.Stream);
  EXPECT_EQ(x.Stream.Size(), 0);
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
  TExchange x("HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 1\r\n\r\nx");
  x.Client->Get(x.Server.Url("/"), &x.Stream);
  EXPECT_FALSE(x.Client->Connected());
}

TEST(HttpResponseHeaders, EndlessHeaderBlockIsRefused) {
  std::string answer = "HTTP/1.1 200 OK\r\n";
  for (int i = 0; i < 300; ++i) answer += "X-" + std::to_string(i) + ": v\r\n";
  TScriptedServer server({Reply(answer + "\r\n", true)});
  auto client = MakeClient();
  TMemoryStream stream;
  EXPECT_THROW(client->Get(server.Url("/"), &stream), EIdHTTPHeaderTooLarge);
}

}  // namespace
