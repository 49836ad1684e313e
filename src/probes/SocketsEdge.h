// The probe's platform edge: Winsock 1.1 calls or their BSD counterparts,
// behind one interface whose platform half (SocketsWindows.cpp or
// SocketsPosix.cpp) CMake picks. Numbers (families, types, codes) are
// Winsock's on both sides of it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "rtl/Component.h"

class TSocketsEdge : public TObject {
 public:
  static constexpr int kAfInet = 2;
  static constexpr int kSockStream = 1;
  static constexpr int kSdBoth = 2;

  virtual std::intptr_t Socket(int family, int type, int protocol) = 0;  // -1 on failure
  virtual int SetNonBlocking(std::intptr_t socket) = 0;
  // IPv4 address and port, both in network order.
  virtual int Connect(std::intptr_t socket, std::uint32_t address, std::uint16_t port) = 0;
  virtual int Shutdown(std::intptr_t socket, int how) = 0;
  virtual int CloseSocket(std::intptr_t socket) = 0;
  virtual int LastError() = 0;
  // inet_addr: the address in network order, or none when the text is not one.
  virtual std::optional<std::uint32_t> InetAddr(const std::string& text) = 0;
  // The raw result of inet_addr, also for text that is not an address.
  virtual std::uint32_t InetAddrRaw(const std::string& text) = 0;
  // The first IPv4 address of a name, as dotted text.
  virtual std::optional<std::string> GetHostByName(const std::string& name) = 0;
  // A service's port in host order.
  virtual std::optional<std::uint16_t> GetServByName(const std::string& name) = 0;
};

// The platform's edge, made on its first use: on Windows that starts Winsock
// 1.1 and raises ESocketError to the caller when it cannot.
TSocketsEdge& PlatformSocketsEdge();
