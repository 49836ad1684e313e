#include "transport/IdIOHandlerStack.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>

#include "rtl/AbandonableCall.h"
#include "rtl/Exceptions.h"
#include "rtl/Threads.h"

namespace {

constexpr int kConnectPollStep = 125;  // ms between looks at a timed connect

// Runs one connect and records how it failed, if it did.
class TIdConnectThread : public TThread {
 public:
  explicit TIdConnectThread(TIdSocketHandle& handle) : FHandle(handle) {}
  ~TIdConnectThread() override { WaitFor(); }

  bool Failed() const { return FFailed; }
  const std::string& Message() const { return FMessage; }
  int SocketErrorCode() const { return FSocketErrorCode; }

  // Waits up to ms for the end of the run; answers whether it has ended.
  bool WaitEnded(int ms) {
    std::unique_lock lock(FMutex);
    if (ms < 0) {
      FEndedSignal.wait(lock, [this] { return FEnded; });
    } else {
      FEndedSignal.wait_for(lock, std::chrono::milliseconds(ms), [this] { return FEnded; });
    }
    return FEnded;
  }
  bool Ended() {
    std::lock_guard lock(FMutex);
    return FEnded;
  }

 protected:
  void Execute() override {
    try {
      FHandle.ConnectPeer();
    } catch (const EIdSocketError& e) {
      Record(e.Message(), e.SocketErrorCode() == kWsaeBadF || e.SocketErrorCode() == kWsaeNotSock
                              ? 0
                              : e.SocketErrorCode());
    } catch (const Exception& e) {
      Record(e.Message(), 0);
    } catch (const std::exception& e) {
      Record(e.what(), 0);
    }
  }
  void DoTerminate() override {
    std::lock_guard lock(FMutex);
    FEnded = true;
    FEndedSignal.notify_all();
  }

 private:
  void Record(const std::string& message, int code) {
    FFailed = true;
    FMessage = message;
    FSocketErrorCode = code;
  }

  TIdSocketHandle& FHandle;
  bool FFailed = false;
  std::string FMessage;
  int FSocketErrorCode = 0;
  std::mutex FMutex;
  std::condition_variable FEndedSignal;
  bool FEnded = false;
};

}  // namespace

TIdIOHandlerStack::TIdIOHandlerStack(TComponent* owner) : TIdIOHandlerSocket(owner) {}

void TIdIOHandlerStack::ConnectToPeer() {
  TIdIOHandlerSocket::ConnectToPeer();
  const std::string& host = Host();
  std::string ip;
  switch (IPVersion()) {
    case Id_IPv4:
      ip = TIdStack::IsIPv4Literal(host) ? host : ResolveHost(host, Id_IPv4);
      break;
    case Id_IPv6:
      ip = TIdStack::IPv6Canonical(host);
      if (ip.empty()) ip = ResolveHost(host, Id_IPv6);
      break;
  }
  SocketHandle()->SetPeer(ip, static_cast<std::uint16_t>(Port()), IPVersion());
  ReportStatus(hsConnecting, {SocketHandle()->TargetIP()});
  if (ConnectTimeout() != 0) {
    ConnectWithTimeout(ConnectTimeout());
  } else if (AbortFlag() != nullptr) {
    // Only the connect thread's wait can be stopped from outside.
    ConnectWithTimeout(IdTimeoutInfinite);
  } else {
    SocketHandle()->ConnectPeer();
  }
}

std::string TIdIOHandlerStack::ResolveHost(const std::string& host, TIdIPVersion version) {
  ReportStatus(hsResolving, {host});
  // The thread holds its own count on the stack: abandoned, it still finds it.
  auto lookUp = [host, version] {
    const TIdStackUse use;
    return CurrentStack().ResolveHostName(host, version);
  };
  std::string ip;
  switch (RunAbandonable(std::move(lookUp), AbortFlag(), LookupTimeout(), ip)) {
    case TCallOutcome::Done:
      return ip;
    case TCallOutcome::Stopped:
      throw EAbort();
    case TCallOutcome::TimedOut:
      break;
  }
  TIdStack::ThrowSocketError(kWsaHostNotFound);
}

void TIdIOHandlerStack::ConnectWithTimeout(int timeout) {
  if (timeout == -1) timeout = IdTimeoutInfinite;
  auto thread = std::make_unique<TIdConnectThread>(*SocketHandle());
  thread->Start();
  const auto aborted = [this] { return AbortFlag() != nullptr && AbortFlag()->load(); };
  if (timeout < 0 && AbortFlag() == nullptr) {
    thread->WaitEnded(-1);
  } else {
    // Steps of 125 ms; a step ends early when the connect has finished.
    while (timeout != 0 && !thread->Ended() && !aborted()) {
      const int step = timeout < 0 ? kConnectPollStep : std::min(timeout, kConnectPollStep);
      thread->WaitEnded(step);
      if (timeout > 0) timeout -= step;
    }
  }
  if (!thread->Ended()) {
    thread->Terminate();
    // Releasing the socket makes the blocked connect return with an error.
    Close();
    thread->WaitFor();
    if (aborted()) throw EAbort();
    throw EIdConnectTimeout();
  }
  thread->WaitFor();
  if (thread->Failed()) {
    if (thread->SocketErrorCode() != 0)
      throw EIdSocketError(thread->SocketErrorCode(), thread->Message());
    throw EIdConnectException(thread->Message());
  }
}

bool TIdIOHandlerStack::Connected() {
  FillInput(false, 0, false);
  return (SourceIsAvailable() && TIdIOHandler::Connected()) || InBuffer().Size() > 0;
}

bool TIdIOHandlerStack::WaitReadable(int timeout) {
  if (SocketHandle() == nullptr) throw EIdConnClosedGracefully();
  return SocketHandle()->WaitReadable(timeout);
}

int TIdIOHandlerStack::ReadDataFromSource(std::uint8_t* buffer, int length) {
  return SocketHandle()->Receive(buffer, length);
}

int TIdIOHandlerStack::WriteDataToTarget(const TIdBytes& buffer, int offset, int length) {
  return SocketHandle()->Send(buffer, length, offset);
}
