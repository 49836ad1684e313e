// Faults injected at the stack's edge: a stack that wraps the platform's and
// takes at most a few bytes per send, or fails receives on demand.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "TestPeer.h"
#include "TestSupport.h"
#include "rtl/Threads.h"
#include "transport/IdTCPClient.h"

namespace {

struct TFaults {
  std::atomic<int> MaxSend{-1};  // bytes per send, -1 = no limit
  std::atomic<int> Sends{0};
  std::atomic<int> FailReceiveWith{0};  // a Winsock code, 0 = none
  std::atomic<int> LargestReceive{0};   // the most bytes one receive asked for
  // A resolver that never answers: look-ups wait until the test lets them go.
  std::mutex LookupLock;
  std::condition_variable LookupReleased;
  bool HangLookups = false;  // guarded by LookupLock
  void ReleaseLookups() {
    const std::lock_guard lock(LookupLock);
    HangLookups = false;
    LookupReleased.notify_all();
  }
};

TFaults& Faults() {
  static TFaults faults;
  return faults;
}

class TFaultStack : public TIdStack {
 public:
  TFaultStack() : FInner(CreatePlatformStack()) {}

  std::string LookupHost(const std::string& host, TIdIPVersion version) override {
    std::unique_lock lock(Faults().LookupLock);
    if (Faults().HangLookups) {
      Faults().LookupReleased.wait(lock, [] { return !Faults().HangLookups; });
      ThrowSocketError(kWsaHostNotFound);
    }
    lock.unlock();
    return FInner->LookupHost(host, version);
  }
  TIdStackSocketHandle CreateSocket(int type, int protocol, TIdIPVersion version,
                                    bool overlapped) override {
    return FInner->CreateSocket(type, protocol, version, overlapped);
  }
  void BindSocket(TIdStackSocketHandle s, const std::string& ip, std::uint16_t port,
                  TIdIPVersion v) override {
    FInner->BindSocket(s, ip, port, v);
  }
  void ConnectSocket(TIdStackSocketHandle s, const std::string& ip, std::uint16_t port,
                     TIdIPVersion v) override {
    FInner->ConnectSocket(s, ip, port, v);
  }
  int ReceiveBytes(TIdStackSocketHandle s, TIdBytes& buffer) override {
    if (const int code = Faults().FailReceiveWith.load()) ThrowSocketError(code);
    const int asked = static_cast<int>(buffer.size());
    if (asked > Faults().LargestReceive.load()) Faults().LargestReceive = asked;
    return FInner->ReceiveBytes(s, buffer);
  }
  int SendBytes(TIdStackSocketHandle s, const TIdBytes& buffer, int count, int offset) override {
    ++Faults().Sends;
    const int limit = Faults().MaxSend.load();
    if (limit >= 0 && (count < 0 || count > limit)) count = limit;
    return FInner->SendBytes(s, buffer, count, offset);
  }
  void ShutdownAndClose(TIdStackSocketHandle s) noexcept override { FInner->ShutdownAndClose(s); }
  int GetSocketOption(TIdStackSocketHandle s, int level, int name) override {
    return FInner->GetSocketOption(s, level, name);
  }
  void SetSocketOption(TIdStackSocketHandle s, int level, int name, int value) override {
    FInner->SetSocketOption(s, level, name, value);
  }
  TAddress GetSocketName(TIdStackSocketHandle s) override { return FInner->GetSocketName(s); }
  TAddress GetPeerName(TIdStackSocketHandle s) override { return FInner->GetPeerName(s); }
  int SelectRead(const TIdSocketList& list, int timeout) override {
    return FInner->SelectRead(list, timeout);
  }
  int LastSocketError() override { return FInner->LastSocketError(); }

 private:
  std::unique_ptr<TIdStack> FInner;
};

std::unique_ptr<TIdStack> CreateFaultStack() { return std::make_unique<TFaultStack>(); }

// Registers the fault stack for one test; no stack may be alive around it.
class IdFaultStack : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(StackUsageCount(), 0);
    FSaved = StackClass();
    SetStackClass(&CreateFaultStack);
    Faults().MaxSend = -1;
    Faults().Sends = 0;
    Faults().FailReceiveWith = 0;
    Faults().LargestReceive = 0;
  }
  void TearDown() override { SetStackClass(FSaved); }

  TIdStackClass FSaved = nullptr;
};

TEST_F(IdFaultStack, PartialSendsAreRepeatedUntilEveryByteIsOut) {
  std::string received;
  testpeer::TPeer peer([&](testpeer::TSocket& s) { received = s.ReceiveExactly(26); });
  TIdTCPClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(peer.Port());
  client.Connect();
  std::int64_t written = 0;
  client.OnWork = [&](TObject*, TWorkMode mode, std::int64_t count) {
    if (mode == wmWrite) written = count;
  };
  Faults().MaxSend = 3;
  client.WorkStart(wmWrite, 26);
  client.IOHandler()->Write("abcdefghijklmnopqrstuvwxyz");
  client.WorkEnd(wmWrite);
  peer.Join();
  EXPECT_EQ(received, "abcdefghijklmnopqrstuvwxyz");
  EXPECT_EQ(Faults().Sends.load(), 9);  // 8 sends of 3 and one of 2
  EXPECT_EQ(written, 26);
}

// Under Wine every receive is a round trip to the wine server: a body is asked
// for in pieces of a megabyte, not RecvBufferSize at a time.
TEST_F(IdFaultStack, BodyIsAskedOfTheSocketInLargePieces) {
  const std::string body(3 << 20, 'b');
  testpeer::TPeer peer([&](testpeer::TSocket& s) { s.Send(body); });
  TIdTCPClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(peer.Port());
  client.Connect();
  TMemoryStream stream;
  client.IOHandler()->ReadToStream(stream, static_cast<std::int64_t>(body.size()));
  peer.Join();
  EXPECT_EQ(stream.Size(), static_cast<std::int64_t>(body.size()));
  EXPECT_EQ(Faults().LargestReceive.load(), kStreamPieceSize);
  // A line is still read a receive buffer at a time.
  EXPECT_EQ(client.IOHandler()->RecvBufferSize(), kRecvBufferSizeDefault);
}

TEST_F(IdFaultStack, ReceiveFailureRaisesAtOnceAndLeavesTheConnectionOpen) {
  testpeer::TPeer peer([](testpeer::TSocket& s) {
    s.Send("line\n");
    s.ReceiveUntilClosed();
  });
  TIdTCPClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(peer.Port());
  client.Connect();
  Faults().FailReceiveWith = 10053;
  try {
    client.IOHandler()->ReadLine();
    FAIL() << "nothing raised";
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.SocketErrorCode(), 10053);
    EXPECT_EQ(e.Message(), "Socket Error # 10053\r\nSoftware caused connection abort.");
  }
  EXPECT_TRUE(client.IOHandler()->IsOpen());
  Faults().FailReceiveWith = 0;
  EXPECT_EQ(client.IOHandler()->ReadLine(), "line");
  client.Disconnect();
}

// The look-up runs on a thread the connect may leave: the abort flag and the
// look-up limit end the wait though the resolver never answers.
TEST_F(IdFaultStack, LookUpThatNeverAnswersEndsByTheAbortFlagOrTheLimit) {
  {
    const std::lock_guard lock(Faults().LookupLock);
    Faults().HangLookups = true;
  }
  std::atomic<bool> abort{false};
  {
    TIdTCPClient client;
    client.SetHost("hangs.example");
    client.SetPort(80);
    client.SetAbortFlag(&abort);
    std::thread stopper([&] {
      SleepMs(200);
      abort = true;
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(client.Connect(), EAbort);
    stopper.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));

    abort = false;
    client.SetLookupTimeout(200);
    try {
      client.Connect();
      ADD_FAILURE() << "a look-up past its limit connected";
    } catch (const EIdSocketError& e) {
      EXPECT_EQ(e.SocketErrorCode(), kWsaHostNotFound);
    }
  }
  // The abandoned look-ups still hold the stack; once answered they let it go.
  Faults().ReleaseLookups();
  for (int i = 0; i < 200 && StackUsageCount() > 0; ++i) SleepMs(10);
  EXPECT_EQ(StackUsageCount(), 0);
}

}  // namespace
