// A download over a network that fails: breaks resumed by range or fetched
// again whole, answers to a range that continue nothing, a bound on the tries,
// a link too slow to count, and a name look-up that never answers.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "HttpTestClient.h"
#include "ScriptedServer.h"
#include "TestPeer.h"
#include "TestSupport.h"
#include "http/IdHTTPResume.h"
#include "rtl/Threads.h"

namespace {

using httptest::Text;
using httptest::TScript;

const std::string kFile = [] {
  std::string s;
  for (int i = 0; i < 1000; ++i) s.push_back(static_cast<char>('a' + i % 26));
  return s;
}();
constexpr std::int64_t kCut = 400;  // 40 %

std::string Head(const std::string& status, std::int64_t length, const std::string& extra = "") {
  return "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(length) + "\r\n" + extra +
         "\r\n";
}

// The first answer breaks off after cut bytes: reset, or closed early.
TScript CutAfter(std::int64_t cut, const std::string& extra, bool reset) {
  return [cut, extra, reset](TPeerConnection& c) {
    c.ReadHead();
    c.Send(Head("200 OK", static_cast<std::int64_t>(kFile.size()), extra) + kFile.substr(0, cut));
    if (reset) {
      SleepMs(50);
      c.Abort();
      return;
    }
    c.CloseSend();
    c.WaitForClientClose();
  };
}

TScript Answer(std::string bytes) { return httptest::Reply(std::move(bytes), true); }

std::string Partial(std::int64_t from, std::int64_t to, std::int64_t total) {
  return Head("206 Partial Content", to - from + 1,
              "Content-Range: bytes " + std::to_string(from) + "-" + std::to_string(to) + "/" +
                  std::to_string(total) + "\r\n") +
         kFile.substr(static_cast<std::size_t>(from), static_cast<std::size_t>(to - from + 1));
}

struct TTries {
  std::vector<std::string> Lines;
  TIdRetryEvent Event() {
    return [this](std::int64_t n, std::int64_t m, int k, int most) {
      Lines.push_back(std::to_string(n) + "/" + std::to_string(m) + " " + std::to_string(k) + "/" +
                      std::to_string(most));
    };
  }
};

TIdRetryOptions Quick(std::int64_t expected) {
  TIdRetryOptions options;
  options.ExpectedSize = expected;
  options.WaitsMs = {5, 5, 5, 5};
  return options;
}

std::string HeaderOf(const std::string& head, const std::string& name) {
  const std::size_t at = head.find("\r\n" + name + ": ");
  if (at == std::string::npos) return "<none>";
  const std::size_t start = at + name.size() + 4;
  return head.substr(start, head.find("\r\n", start) - start);
}

TEST(HttpResume, BrokenBodyGoesOnByRangeOrStartsOverAsTheServerAnswers) {
  const struct {
    const char* Name;
    std::string FirstExtra;  // validators of the first answer
    bool Reset;
    std::string Second;  // the answer to the second request
    std::string IfRange;
  } cases[] = {
      {"cut at 40 %, served by range", "ETag: \"v1\"\r\n", false, Partial(kCut, 999, 1000),
       "\"v1\""},
      {"reset, only Last-Modified", "Last-Modified: Tue, 01 Dec 2026 10:00:00 GMT\r\n", true,
       Partial(kCut, 999, 1000), "Tue, 01 Dec 2026 10:00:00 GMT"},
      {"no validator: no If-Range", "", false, Partial(kCut, 999, 1000), "<none>"},
      // A server that ignores Range, or whose file changed (If-Range fails): 200 again.
      {"range ignored", "ETag: \"v1\"\r\n", false, Head("200 OK", 1000, "ETag: \"v2\"\r\n") + kFile,
       "\"v1\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TScriptedServer server({CutAfter(kCut, c.FirstExtra, c.Reset), Answer(c.Second)});
    const auto http = httptest::MakeClient();
    TIdLimitedMemoryStream body(1000);
    TTries tries;
    GetWithRetries(*http, server.Url("/p.zip"), body, Quick(1000), tries.Event());
    EXPECT_EQ(Text(body), kFile);
    EXPECT_EQ(tries.Lines, std::vector<std::string>{"400/1000 1/4"});
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(HeaderOf(requests[0], "Range"), "<none>");
    EXPECT_EQ(HeaderOf(requests[1], "Range"), "bytes=400-");
    EXPECT_EQ(HeaderOf(requests[1], "If-Range"), c.IfRange);
    // Apart from its range, a later request is the first one again.
    std::string second = requests[1];
    for (const char* name : {"Range", "If-Range"}) {
      const std::size_t at = second.find(std::string("\r\n") + name + ": ");
      if (at != std::string::npos) second.erase(at, second.find("\r\n", at + 2) - at);
    }
    EXPECT_EQ(second, requests[0]);
  }
}

TEST(HttpResume, PartialAnswerThatContinuesNothingFailsWithoutAnotherTry) {
  for (const std::string& second :
       {Partial(300, 999, 1000), Partial(kCut, 999, 2000), Partial(kCut, 500, 1000)}) {
    TScriptedServer server({CutAfter(kCut, "ETag: \"v1\"\r\n", false), Answer(second)});
    const auto http = httptest::MakeClient();
    TIdLimitedMemoryStream body(2000);
    TTries tries;
    EXPECT_THROW(GetWithRetries(*http, server.Url("/p.zip"), body, Quick(1000), tries.Event()),
                 EIdHTTPRangeMismatch);
    EXPECT_EQ(server.Requests().size(), 2u);
    EXPECT_EQ(tries.Lines.size(), 1u);
  }
}

TEST(HttpResume, FileOfUnknownSizeIsFetchedAgainWhole) {
  TScriptedServer server(
      {CutAfter(kCut, "ETag: \"v1\"\r\n", false), Answer(Head("200 OK", 1000) + kFile)});
  const auto http = httptest::MakeClient();
  TIdLimitedMemoryStream body(4096);
  TTries tries;
  GetWithRetries(*http, server.Url("/p.sig"), body, Quick(-1), tries.Event());
  EXPECT_EQ(Text(body), kFile);
  EXPECT_EQ(HeaderOf(server.Requests()[1], "Range"), "<none>");
  EXPECT_EQ(tries.Lines, std::vector<std::string>{"400/1000 1/4"});
}

TEST(HttpResume, FiveBreaksInARowFailAfterFourFurtherTries) {
  std::vector<TScript> scripts;
  for (int i = 0; i < 5; ++i) {
    // Each try brings 100 bytes more, then breaks.
    scripts.push_back([i](TPeerConnection& c) {
      c.ReadHead();
      const std::int64_t from = i * 100;
      const std::string head =
          i == 0 ? Head("200 OK", 1000)
                 : Head("206 Partial Content", 1000 - from,
                        "Content-Range: bytes " + std::to_string(from) + "-999/1000\r\n");
      c.Send(head + kFile.substr(static_cast<std::size_t>(from), 100));
      c.CloseSend();
      c.WaitForClientClose();
    });
  }
  TScriptedServer server(std::move(scripts));
  const auto http = httptest::MakeClient();
  TIdLimitedMemoryStream body(1000);
  TTries tries;
  EXPECT_THROW(GetWithRetries(*http, server.Url("/p.zip"), body, Quick(1000), tries.Event()),
               EIdHTTPIncompleteBody);
  EXPECT_EQ(tries.Lines, (std::vector<std::string>{"100/1000 1/4", "200/1000 2/4", "300/1000 3/4",
                                                   "400/1000 4/4"}));
  EXPECT_EQ(body.Size(), 500);  // what came stays; the caller's size check decides
  server.Stop();
  EXPECT_EQ(server.ExtraConnections(), 0);
}

TEST(HttpResume, RefusedConnectCountsAsATryAndRefusedStatusDoesNot) {
  std::uint16_t closedPort = 0;
  {
    testpeer::TListener listener;
    closedPort = listener.Port();
  }
  const auto http = httptest::MakeClient();
  TIdLimitedMemoryStream body(1000);
  TTries tries;
  try {
    GetWithRetries(*http, "http://127.0.0.1:" + std::to_string(closedPort) + "/p.zip", body,
                   Quick(1000), tries.Event());
    ADD_FAILURE() << "a refused connect succeeded";
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.SocketErrorCode(), kWsaeConnRefused);
  }
  EXPECT_EQ(tries.Lines.size(), 4u);

  TScriptedServer server({Answer(Head("503 Service Unavailable", 0))});
  TTries none;
  EXPECT_THROW(GetWithRetries(*http, server.Url("/p.zip"), body, Quick(1000), none.Event()),
               EIdHTTPProtocolException);
  EXPECT_TRUE(none.Lines.empty());
}

TEST(HttpResume, AbortFlagEndsAWaitBetweenTriesAtOnce) {
  std::uint16_t closedPort = 0;
  {
    testpeer::TListener listener;
    closedPort = listener.Port();
  }
  std::atomic<bool> abort{false};
  const auto http = httptest::MakeClient();
  http->SetAbortFlag(&abort);
  TIdRetryOptions options = Quick(1000);
  options.WaitsMs = {10000};
  TIdLimitedMemoryStream body(1000);
  TTries tries;
  std::thread stopper([&] {
    SleepMs(200);
    abort = true;
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_THROW(GetWithRetries(*http, "http://127.0.0.1:" + std::to_string(closedPort) + "/p.zip",
                              body, options, tries.Event()),
               EAbort);
  stopper.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  EXPECT_EQ(tries.Lines.size(), 1u);
}

TEST(HttpResume, DripBreaksAtTheSlowLinkRuleAndTheRestComesByRange) {
  TScriptedServer server({[](TPeerConnection& c) {
                            c.ReadHead();
                            c.Send(Head("200 OK", 1000, "ETag: \"v1\"\r\n") + kFile.substr(0, 10));
                            // One byte now and then, never enough for the window.
                            for (std::size_t i = 0; i < 20; ++i) {
                              c.Send(kFile.substr(10 + i, 1));
                              SleepMs(50);
                            }
                            c.WaitForClientClose();
                          },
                          [](TPeerConnection& c) {
                            const std::string head = c.ReadHead();
                            const std::int64_t from = std::stoll(HeaderOf(head, "Range").substr(6));
                            c.Send(Partial(from, 999, 1000));
                            c.CloseSend();
                            c.WaitForClientClose();
                          }});
  const auto http = httptest::MakeClient();
  TIdLimitedMemoryStream body(1000);
  TIdRetryOptions options = Quick(1000);
  options.SlowLinkBytes = 100;
  options.SlowLinkWindowMs = 300;
  TTries tries;
  GetWithRetries(*http, server.Url("/p.zip"), body, options, tries.Event());
  EXPECT_EQ(Text(body), kFile);
  ASSERT_EQ(tries.Lines.size(), 1u);
}

TEST(HttpResume, SlowLinkGuardCountsEveryWindowOfTheBody) {
  using namespace std::chrono_literals;
  const TIdSlowLinkGuard::TClock::time_point t0{};
  TIdSlowLinkGuard guard(1024, 60000);
  guard.Start(t0);
  guard.Moved(2000, t0 + 10s);
  guard.Moved(2500, t0 + 65s);  // 10 s to 65 s: 500 bytes, but the window 5..65 held 2000
  EXPECT_THROW(guard.Moved(2600, t0 + 71s), EIdSlowTransfer);  // 11..71: 500 bytes
  TIdSlowLinkGuard fast(1024, 60000);
  fast.Start(t0);
  for (int s = 1; s < 200; ++s) fast.Moved(s * 1100LL, t0 + std::chrono::seconds(s * 50));
}

}  // namespace
