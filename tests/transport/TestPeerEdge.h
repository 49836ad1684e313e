// The test peers' platform edge: the few raw socket calls the peers make, on
// 127.0.0.1 only. TestPeerPosix.cpp or TestPeerWindows.cpp, picked by CMake.
#pragma once

#include <cstddef>
#include <cstdint>

namespace testpeer::edge {

using THandle = std::intptr_t;
inline constexpr THandle kInvalid = -1;

// A TCP socket; the platform's socket library is started on the first call.
THandle OpenStream();
bool BindLoopback(THandle socket, std::uint16_t port);
bool Listen(THandle socket, int backlog);
std::uint16_t LocalPort(THandle socket);
bool ConnectLoopback(THandle socket, std::uint16_t port);
THandle AcceptOne(THandle listener);
bool WaitReadable(THandle socket, int timeoutMs);
// Each answers the bytes moved, -1 on failure; a send never raises a signal.
int SendSome(THandle socket, const char* data, std::size_t size);
int ReceiveSome(THandle socket, char* data, std::size_t size);
void ShutdownSend(THandle socket);
// The next close sends a reset (linger 0) instead of an orderly close.
void ResetOnClose(THandle socket);
void CloseSocket(THandle socket);
bool RunningUnderWine();

}  // namespace testpeer::edge
