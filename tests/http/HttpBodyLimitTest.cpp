// The caller's cap on a GET's body against a scripted peer: an announced
// length past the cap is refused before the body, a body that runs past it ends
// the transfer at once, and a body at the cap passes.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "ScriptedServer.h"
#include "TestSupport.h"
#include "http/IdHTTPBodyLimit.h"
#include "rtl/ScopeExit.h"

namespace {

using testsupport::ExpectThrowMessage;
using TScript = TScriptedServer::TScript;

// The size of the package signature file's cap.
constexpr std::int64_t kSigCap = 4096;

// Sends head and body, then holds the connection open without ending the
// body: a client that waited for more would sit until its read limit.
TScript SendAndHold(std::string bytes) {
  return [bytes = std::move(bytes)](TPeerConnection& c) {
    c.ReadHead();
    c.Send(bytes);
    c.WaitForClientClose();
  };
}

std::string Chunked(const std::string& body, std::size_t piece) {
  std::string out;
  char size[32];
  for (std::size_t at = 0; at < body.size(); at += piece) {
    const std::string part = body.substr(at, piece);
    std::snprintf(size, sizeof size, "%zx\r\n", part.size());
    out += size + part + "\r\n";
  }
  return out;
}

struct TLimitedGet {
  explicit TLimitedGet(std::int64_t limit) : Body(limit) { Client.SetReadTimeout(8000); }
  void Get(TScriptedServer& server) {
    const auto start = std::chrono::steady_clock::now();
    const auto timed = ScopeExit([&] {
      Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    });
    GetLimited(Client, server.Url("/Download/TramelaCoreServer.zip.sig"), Body);
  }
  TIdHTTP Client;
  TIdLimitedMemoryStream Body;
  double Seconds = 0;
};

TEST(HttpBodyLimit, AnnouncedLengthPastTheCapIsRefusedBeforeTheBody) {
  TScriptedServer server({SendAndHold("HTTP/1.1 200 OK\r\nContent-Length: 4097\r\n\r\n")});
  TLimitedGet get(kSigCap);
  ExpectThrowMessage<EIdHTTPBodyTooLarge>(
      [&] { get.Get(server); }, "The server announces 4097 bytes; at most 4096 are accepted.");
  EXPECT_EQ(get.Body.Size(), 0);
  EXPECT_LT(get.Seconds, 5.0);           // refused at the headers, not at the read limit
  EXPECT_FALSE(get.Client.Connected());  // the rest of that answer is never read
  EXPECT_EQ(get.Client.OnHeadersAvailable, nullptr);
}

TEST(HttpBodyLimit, ChunkedBodyStopsAsSoonAsItRunsPastTheCap) {
  const std::string body(kSigCap + 1, 's');
  TScriptedServer server(
      {SendAndHold("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + Chunked(body, 1000))});
  TLimitedGet get(kSigCap);
  ExpectThrowMessage<EIdHTTPBodyTooLarge>([&] { get.Get(server); },
                                          "The response body runs past 4096 bytes.");
  EXPECT_LE(get.Body.Size(), kSigCap);
  EXPECT_LT(get.Seconds, 5.0);
}

TEST(HttpBodyLimit, BodyUntilCloseStopsAsSoonAsItRunsPastTheCap) {
  TScriptedServer server({SendAndHold("HTTP/1.1 200 OK\r\n\r\n" + std::string(200, 'x'))});
  TLimitedGet get(150);
  ExpectThrowMessage<EIdHTTPBodyTooLarge>([&] { get.Get(server); },
                                          "The response body runs past 150 bytes.");
  EXPECT_LE(get.Body.Size(), 150);
  EXPECT_LT(get.Seconds, 5.0);
}

TEST(HttpBodyLimit, BodyOfExactlyTheCapPassesInEveryFraming) {
  const std::string body(kSigCap, 'k');
  const std::string answers[] = {
      "HTTP/1.1 200 OK\r\nContent-Length: 4096\r\n\r\n" + body,
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + Chunked(body, 1500) + "0\r\n\r\n",
  };
  for (const std::string& answer : answers) {
    TScriptedServer server({[answer](TPeerConnection& c) {
      c.ReadHead();
      c.Send(answer);
      c.CloseSend();
      c.WaitForClientClose();
    }});
    TLimitedGet get(kSigCap);
    get.Get(server);
    EXPECT_EQ(get.Body.Size(), kSigCap);
  }
}

TEST(HttpBodyLimit, ErrorPageLongerThanTheCapIsReportedByItsStatusLine) {
  TScriptedServer server({SendAndHold("HTTP/1.1 404 Not Found\r\nContent-Length: 9000\r\n\r\n" +
                                      std::string(9000, 'e'))});
  TLimitedGet get(kSigCap);
  ExpectThrowMessage<EIdHTTPProtocolException>([&] { get.Get(server); }, "HTTP/1.1 404 Not Found");
}

TEST(HttpBodyLimit, RequestOnTheWireIsUnchanged) {
  TScriptedServer limited({SendAndHold("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok")});
  TScriptedServer plain({SendAndHold("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok")});
  TLimitedGet get(2);
  get.Get(limited);
  TIdHTTP client;
  TMemoryStream body;
  client.Get(plain.Url("/Download/TramelaCoreServer.zip.sig"), &body);
  get.Client.Disconnect();
  client.Disconnect();
  limited.Stop();
  plain.Stop();
  ASSERT_EQ(limited.Requests().size(), 1u);
  ASSERT_EQ(plain.Requests().size(), 1u);
  const auto withoutHost = [](std::string head) {
    const auto at = head.find("Host: ");
    return head.erase(at, head.find("\r\n", at) - at);
  };
  EXPECT_EQ(withoutHost(limited.Requests()[0]), withoutHost(plain.Requests()[0]));
}

}  // namespace
