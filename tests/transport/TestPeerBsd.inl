// The test peers' edge written once over the BSD socket calls, which Winsock
// shares. Each platform source (TestPeerPosix.cpp, TestPeerWindows.cpp)
// includes its socket headers, defines TPlatform with what differs, and then
// includes this file; nothing else includes it.

namespace testpeer::edge {
namespace {

using TNative = TPlatform::TNative;

TNative Native(THandle socket) { return static_cast<TNative>(socket); }

sockaddr_in Loopback(std::uint16_t port) {
  sockaddr_in in{};
  in.sin_family = AF_INET;
  in.sin_port = htons(port);
  in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return in;
}

}  // namespace

THandle OpenStream() {
  TPlatform::StartOnce();
  const TNative s = ::socket(AF_INET, SOCK_STREAM | TPlatform::kSocketFlags, 0);
  return s == TPlatform::kInvalidNative ? kInvalid : static_cast<THandle>(s);
}

bool BindLoopback(THandle socket, std::uint16_t port) {
  const sockaddr_in in = Loopback(port);
  return ::bind(Native(socket), reinterpret_cast<const sockaddr*>(&in), sizeof in) == 0;
}

bool Listen(THandle socket, int backlog) { return ::listen(Native(socket), backlog) == 0; }

std::uint16_t LocalPort(THandle socket) {
  sockaddr_in in{};
  TPlatform::TLength length = sizeof in;
  if (::getsockname(Native(socket), reinterpret_cast<sockaddr*>(&in), &length) != 0) return 0;
  return ntohs(in.sin_port);
}

bool ConnectLoopback(THandle socket, std::uint16_t port) {
  const sockaddr_in in = Loopback(port);
  return ::connect(Native(socket), reinterpret_cast<const sockaddr*>(&in), sizeof in) == 0;
}

THandle AcceptOne(THandle listener) {
  const TNative s = ::accept(Native(listener), nullptr, nullptr);
  return s == TPlatform::kInvalidNative ? kInvalid : static_cast<THandle>(s);
}

bool WaitReadable(THandle socket, int timeoutMs) {
  return TPlatform::WaitReadable(Native(socket), timeoutMs);
}

int SendSome(THandle socket, const char* data, std::size_t size) {
  // The flags keep a client that went away from ending the test with SIGPIPE.
  return static_cast<int>(
      ::send(Native(socket), data, TPlatform::Length(size), TPlatform::kSendFlags));
}

int ReceiveSome(THandle socket, char* data, std::size_t size) {
  return static_cast<int>(::recv(Native(socket), data, TPlatform::Length(size), 0));
}

void ShutdownSend(THandle socket) { ::shutdown(Native(socket), TPlatform::kShutSend); }

void ResetOnClose(THandle socket) {
  const linger l{1, 0};
  ::setsockopt(Native(socket), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l);
}

void CloseSocket(THandle socket) { TPlatform::Close(Native(socket)); }

bool RunningUnderWine() { return TPlatform::UnderWine(); }

}  // namespace testpeer::edge
