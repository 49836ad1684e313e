// A transfer that stalls, and one that is stopped from another thread: the read
// time-out ends the first, the abort flag the second; the work events tell a
// progress display what to expect.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "HttpTestClient.h"
#include "ScriptedServer.h"
#include "TestSupport.h"
#include "http/IdHTTP.h"
#include "rtl/Threads.h"

namespace {

using httptest::Text;

using testsupport::ExpectThrowMessage;

// Sends the head and the first part of an announced body, then nothing until
// the client goes (at most 10 s).
TScriptedServer::TScript StallAfter(std::string part, int announced) {
  return [part = std::move(part), announced](TPeerConnection& c) {
    c.ReadHead();
    c.Send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(announced) + "\r\n\r\n" + part);
    c.WaitForClientClose();
  };
}

TEST(HttpLiveness, SilentServerEndsTheBodyWithReadTimeOutKeepingWhatCame) {
  TScriptedServer server({StallAfter("first", 1000)});
  TIdHTTP http;
  http.SetReadTimeout(300);
  TMemoryStream body;
  ExpectThrowMessage<EIdReadTimeout>([&] { http.Get(server.Url("/p.zip"), &body); },
                                     "Read timed out.");
  EXPECT_EQ(Text(body), "first");
}

TEST(HttpLiveness, SilentServerBeforeTheStatusLineTimesOutToo) {
  TScriptedServer server({[](TPeerConnection& c) {
    c.ReadHead();
    c.WaitForClientClose();
  }});
  TIdHTTP http;
  http.SetReadTimeout(300);
  TMemoryStream body;
  ExpectThrowMessage<EIdReadTimeout>([&] { http.Get(server.Url("/p.zip"), &body); },
                                     "Read timed out.");
}

TEST(HttpLiveness, AbortFlagEndsAWaitForDataThatNeverComes) {
  TScriptedServer server({StallAfter("first", 1000)});
  std::atomic<bool> abort{false};
  TIdHTTP http;  // no read time-out: only the flag can end the wait
  http.SetAbortFlag(&abort);
  std::atomic<bool> started{false};
  http.OnWork = [&](TObject*, TWorkMode, std::int64_t) { started = true; };
  std::thread stopper([&] {
    while (!started.load()) SleepMs(5);
    abort = true;
  });
  TMemoryStream body;
  const std::uint32_t begin = GetTickCount32();
  EXPECT_THROW(http.Get(server.Url("/p.zip"), &body), EAbort);
  stopper.join();
  // Far below the peer's own 10 s: the wait did not run to the peer's close.
  EXPECT_LT(GetTickCount32() - begin, 5000u);
  EXPECT_EQ(Text(body), "first");
}

TEST(HttpLiveness, AbortFlagSetBeforehandEndsTheRequestAtOnce) {
  TScriptedServer server({});  // accepts nothing: an answer would never come
  std::atomic<bool> abort{true};
  TIdHTTP http;
  http.SetAbortFlag(&abort);
  TMemoryStream body;
  const std::uint32_t begin = GetTickCount32();
  EXPECT_THROW(http.Get(server.Url("/p.zip"), &body), EAbort);
  EXPECT_LT(GetTickCount32() - begin, 5000u);
  EXPECT_EQ(body.Size(), 0);
}

struct TWorkRecord {
  std::vector<std::int64_t> Begins;
  std::int64_t Last = 0;
  int Ends = 0;
};

// A GET from the server with every read work event recorded.
TWorkRecord GetRecordingWork(TScriptedServer& server) {
  TWorkRecord record;
  TIdHTTP http;
  http.SetReadTimeout(10000);
  http.OnWorkBegin = [&record](TObject*, TWorkMode mode, std::int64_t max) {
    if (mode == wmRead) record.Begins.push_back(max);
  };
  http.OnWork = [&record](TObject*, TWorkMode mode, std::int64_t count) {
    if (mode == wmRead) record.Last = count;
  };
  http.OnWorkEnd = [&record](TObject*, TWorkMode mode) {
    if (mode == wmRead) ++record.Ends;
  };
  TMemoryStream body;
  http.Get(server.Url("/p.zip"), &body);
  return record;
}

TEST(HttpWorkEvents, CountedBodyAnnouncesItsLengthAndCountsEveryByte) {
  const std::string payload(70000, 'x');
  TScriptedServer server({[&](TPeerConnection& c) {
    c.ReadHead();
    c.Send("HTTP/1.1 200 OK\r\nContent-Length: 70000\r\n\r\n" + payload.substr(0, 100));
    c.Send(payload.substr(100));
    c.WaitForClientClose();
  }});
  const TWorkRecord record = GetRecordingWork(server);
  EXPECT_EQ(record.Begins, std::vector<std::int64_t>{70000});
  EXPECT_EQ(record.Last, 70000);  // the bytes that came with the head count too
  EXPECT_EQ(record.Ends, 1);
}

TEST(HttpWorkEvents, BodyUntilCloseAnnouncesNoLength) {
  TScriptedServer server({[](TPeerConnection& c) {
    c.ReadHead();
    c.Send("HTTP/1.0 200 OK\r\n\r\n0123456789");
    c.CloseSend();
    c.WaitForClientClose();
  }});
  const TWorkRecord record = GetRecordingWork(server);
  EXPECT_EQ(record.Begins, std::vector<std::int64_t>{0});
  EXPECT_EQ(record.Last, 10);
}

}  // namespace
