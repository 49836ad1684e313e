// A tiny socket layer for the tests' scripted peers on 127.0.0.1; the
// platform half is chosen by CMake (TestSocketPosix.cpp, TestSocketWindows.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace testsocket {

using THandle = std::intptr_t;
inline constexpr THandle kInvalid = -1;

// Listens on 127.0.0.1 on a free port; answers the handle and sets port.
THandle ListenLocal(std::uint16_t& port);
// Waits up to timeoutMs for a connection; kInvalid when none came.
THandle Accept(THandle listener, int timeoutMs);
// Receives up to size bytes, waiting up to timeoutMs: the count, 0 at the
// peer's close, -1 on time-out or error.
int Receive(THandle socket, char* buffer, int size, int timeoutMs);
// Sends all bytes; false when the peer is gone.
bool SendAll(THandle socket, std::string_view bytes);
void ShutdownSend(THandle socket);
// Closes so that the peer sees a reset rather than an orderly close.
void Abort(THandle socket);
void Close(THandle socket);

}  // namespace testsocket
