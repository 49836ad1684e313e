// The probe's platform edge: Winsock 1.1 calls or their BSD counterparts.
// Numbers (families, types, codes) are Winsock's on both sides of it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace socketsedge {

inline constexpr int kAfInet = 2;
inline constexpr int kSockStream = 1;
inline constexpr int kSdBoth = 2;

std::intptr_t Socket(int family, int type, int protocol);  // -1 on failure
int SetNonBlocking(std::intptr_t socket);
// IPv4 address and port, both in network order.
int Connect(std::intptr_t socket, std::uint32_t address, std::uint16_t port);
int Shutdown(std::intptr_t socket, int how);
int CloseSocket(std::intptr_t socket);
int LastError();
// inet_addr: the address in network order, or none when the text is not one.
std::optional<std::uint32_t> InetAddr(const std::string& text);
// The raw result of inet_addr, also for text that is not an address.
std::uint32_t InetAddrRaw(const std::string& text);
// The first IPv4 address of a name, as dotted text.
std::optional<std::string> GetHostByName(const std::string& name);
// A service's port in host order.
std::optional<std::uint16_t> GetServByName(const std::string& name);

}  // namespace socketsedge
