// Real peers for the transport, HTTP and probe tests: listeners on 127.0.0.1
// (port 0, so the system picks a free one) run by a thread of the test
// process, each wait bounded. The platform edge is TestPeerEdge.h.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

namespace testpeer {

inline constexpr int kWaitMs = 10000;  // the longest any peer waits for anything

// A connected socket of the peer's side. Move-only; closed by the destructor.
class TSocket {
 public:
  TSocket() = default;
  explicit TSocket(std::intptr_t fd) : FFd(fd) {}
  TSocket(TSocket&& other) noexcept : FFd(other.FFd) { other.FFd = -1; }
  TSocket& operator=(TSocket&& other) noexcept;
  TSocket(const TSocket&) = delete;
  TSocket& operator=(const TSocket&) = delete;
  ~TSocket() { Close(); }

  bool Valid() const { return FFd != -1; }
  std::intptr_t Handle() const { return FFd; }
  // Gives up ownership: the caller closes the handle.
  std::intptr_t Release() {
    const std::intptr_t fd = FFd;
    FFd = -1;
    return fd;
  }
  // Sends all bytes; false when the other side is gone first.
  bool Send(std::string_view bytes);
  // Up to size bytes as soon as any arrive: the count, 0 when the other side
  // closed, -1 after timeoutMs or on an error.
  int ReceiveSome(char* buffer, int size, int timeoutMs = kWaitMs);
  // Up to max bytes as soon as any arrive; "" on close or after timeoutMs.
  std::string Receive(int max = 65536, int timeoutMs = kWaitMs);
  // Exactly count bytes, or fewer when the connection ends or the time runs out.
  std::string ReceiveExactly(int count, int timeoutMs = kWaitMs);
  // Reads until the other side closes; answers what arrived.
  std::string ReceiveUntilClosed(int timeoutMs = kWaitMs);
  void ShutdownWrite();
  // Closes with a reset (linger 0) instead of an orderly close.
  void Reset();
  void Close();

 private:
  std::intptr_t FFd = -1;
};

class TListener {
 public:
  explicit TListener(int backlog = 16);
  TListener(const TListener&) = delete;
  TListener& operator=(const TListener&) = delete;
  ~TListener();
  std::uint16_t Port() const { return FPort; }
  // An invalid socket when nobody connects in time.
  TSocket Accept(int timeoutMs = kWaitMs);
  void Close();

 private:
  std::intptr_t FFd = -1;
  std::uint16_t FPort = 0;
};

// A listener whose thread accepts `connections` clients one after another and
// runs script on each. The destructor waits for the thread (every wait in it is bounded).
class TPeer {
 public:
  using TScript = std::function<void(TSocket&)>;
  explicit TPeer(TScript script, int connections = 1);
  TPeer(const TPeer&) = delete;
  TPeer& operator=(const TPeer&) = delete;
  ~TPeer();
  std::uint16_t Port() const { return FListener.Port(); }
  // Blocks until the peer thread has run its scripts.
  void Join();

 private:
  TListener FListener;
  std::thread FThread;
};

// Whether the Windows build runs under Wine, whose recv reports a connection
// reset by the peer as an orderly close (0) rather than WSAECONNRESET.
bool RunningUnderWine();

// A local port that nobody listens on.
std::uint16_t ClosedPort();

// A listening port whose accept queue is full, so a new connect gets no
// answer at all: listen with backlog 0, one filler connection never accepted.
class TUnansweredTarget {
 public:
  TUnansweredTarget();
  std::uint16_t Port() const { return FListener.Port(); }

 private:
  TListener FListener{0};
  TSocket FFiller;
};

// Holds a local port bound on 127.0.0.1 (no listen) for as long as it lives.
class TPortHolder {
 public:
  explicit TPortHolder(std::uint16_t port);
  TPortHolder(const TPortHolder&) = delete;
  TPortHolder& operator=(const TPortHolder&) = delete;
  ~TPortHolder();
  bool Held() const { return FFd != -1; }

 private:
  std::intptr_t FFd = -1;
};

}  // namespace testpeer
