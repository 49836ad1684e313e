// The socket stack: one process-wide object over the system's sockets. The
// platform edge is the set of WS* primitives, filled in by IdStackWindows.cpp
// (Winsock 2 loaded at run time) or IdStackPosix.cpp (BSD sockets).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "rtl/Component.h"
#include "rtl/Threads.h"
#include "transport/IdException.h"
#include "transport/IdTransportDefs.h"
#include "transport/IdWinsockCodes.h"

using TIdStackSocketHandle = std::intptr_t;
inline constexpr TIdStackSocketHandle kInvalidSocket = -1;
inline constexpr int kSocketError = -1;

using TIdCriticalSection = TCriticalSection;

// A set of at most 64 sockets (the size of Winsock's fd_set), with its own lock.
class TIdSocketList {
 public:
  static constexpr int kMaxCount = 64;
  // Raises EIdStackSetSizeExceeded for a 65th handle; a handle already held is not added twice.
  void Add(TIdStackSocketHandle handle);
  void Remove(TIdStackSocketHandle handle);
  void Clear();
  int Count() const;
  bool Contains(TIdStackSocketHandle handle) const;
  std::vector<TIdStackSocketHandle> Handles() const;  // a copy taken under the lock

 private:
  mutable TIdCriticalSection FLock;
  std::vector<TIdStackSocketHandle> FHandles;
};

// A socket address in Winsock's layout: family (16 bits, Winsock number),
// port in network order, then the address. Cleared before every use.
struct TIdSockAddr {
  static constexpr int kSize = 128;
  std::array<std::uint8_t, kSize> Bytes{};
  int Family() const { return Bytes[0] | (Bytes[1] << 8); }
};

class TIdStack : public TObject {
 public:
  // Dotted-quad test: four parts of 0..255, one trailing dot allowed.
  static bool IsIPv4Literal(std::string_view text);
  // The canonical eight-group form of an IPv6 literal, or "" when text is not one.
  static std::string IPv6Canonical(std::string_view text);
  static bool IsIPv6Literal(std::string_view text) { return !IPv6Canonical(text).empty(); }
  // 16 address bytes of an IPv6 literal; raises EIdInvalidIPv6Address.
  static std::array<std::uint8_t, 16> IPv6ToBytes(std::string_view text);

  std::string ResolveHostName(const std::string& host, TIdIPVersion version);
  virtual std::string LookupHost(const std::string& host, TIdIPVersion version) = 0;

  virtual TIdStackSocketHandle CreateSocket(int socketType, int protocol, TIdIPVersion version,
                                            bool overlapped) = 0;
  virtual void BindSocket(TIdStackSocketHandle socket, const std::string& ip, std::uint16_t port,
                          TIdIPVersion version) = 0;
  virtual void ConnectSocket(TIdStackSocketHandle socket, const std::string& ip, std::uint16_t port,
                             TIdIPVersion version) = 0;
  // 0 means the peer closed its side.
  virtual int ReceiveBytes(TIdStackSocketHandle socket, TIdBytes& buffer) = 0;
  // The same into caller memory; by default through ReceiveBytes and a copy.
  virtual int ReceiveBuffer(TIdStackSocketHandle socket, void* buffer, int length);
  // Sends the bytes after offset, at most count of them when count is not negative.
  virtual int SendBytes(TIdStackSocketHandle socket, const TIdBytes& buffer, int count,
                        int offset) = 0;
  // Never raises.
  virtual void ShutdownAndClose(TIdStackSocketHandle socket) noexcept = 0;
  virtual int GetSocketOption(TIdStackSocketHandle socket, int level, int optionName) = 0;
  virtual void SetSocketOption(TIdStackSocketHandle socket, int level, int optionName,
                               int value) = 0;
  struct TAddress {
    std::string IP;
    std::uint16_t Port = 0;
    TIdIPVersion IPVersion = Id_IPv4;
  };
  virtual TAddress GetSocketName(TIdStackSocketHandle socket) = 0;
  virtual TAddress GetPeerName(TIdStackSocketHandle socket) = 0;
  // select on the read side: timeout in ms, -2 for no limit; answers the ready
  // count, raising through VerifySocketResult on failure.
  virtual int SelectRead(const TIdSocketList& list, int timeout) = 0;

  // The Winsock code of the socket call that just failed.
  virtual int LastSocketError() = 0;
  int VerifySocketResult(int result);
  [[noreturn]] static void ThrowSocketError(int code);
  static std::string SocketErrorText(int code);
  // BSD resolver code -> Winsock code (codes outside the table pass unchanged;
  // EAI_SYSTEM yields 0, meaning: raise the system's last error instead).
  static int MapResolverError(int resolverCode);
};

// Shared logic over the BSD socket calls: the address area, the byte-order
// and parsing rules. Subclasses supply the WS* primitives.
class TIdStackBSDBase : public TIdStack {
 public:
  void BindSocket(TIdStackSocketHandle socket, const std::string& ip, std::uint16_t port,
                  TIdIPVersion version) override;
  void ConnectSocket(TIdStackSocketHandle socket, const std::string& ip, std::uint16_t port,
                     TIdIPVersion version) override;
  int ReceiveBytes(TIdStackSocketHandle socket, TIdBytes& buffer) override;
  int ReceiveBuffer(TIdStackSocketHandle socket, void* buffer, int length) override;
  int SendBytes(TIdStackSocketHandle socket, const TIdBytes& buffer, int count,
                int offset) override;
  void ShutdownAndClose(TIdStackSocketHandle socket) noexcept override;
  int GetSocketOption(TIdStackSocketHandle socket, int level, int optionName) override;
  void SetSocketOption(TIdStackSocketHandle socket, int level, int optionName, int value) override;
  TAddress GetSocketName(TIdStackSocketHandle socket) override;
  TAddress GetPeerName(TIdStackSocketHandle socket) override;

  // The cleared area filled for version, ip ("" = any) and port; answers its length.
  static int FillSockAddr(TIdSockAddr& addr, const std::string& ip, std::uint16_t port,
                          TIdIPVersion version);
  static TAddress ReadSockAddr(const TIdSockAddr& addr);

 protected:
  // Primitives: each answers the system call's result (-1 on failure, code in
  // LastSocketError). Addresses are in Winsock layout and numbering.
  virtual int WSBind(TIdStackSocketHandle socket, const TIdSockAddr& addr, int length) = 0;
  virtual int WSConnect(TIdStackSocketHandle socket, const TIdSockAddr& addr, int length) = 0;
  virtual int WSRecv(TIdStackSocketHandle socket, void* buffer, int length) = 0;
  virtual int WSSend(TIdStackSocketHandle socket, const void* buffer, int length) = 0;
  virtual int WSShutdown(TIdStackSocketHandle socket, int how) = 0;
  virtual int WSCloseSocket(TIdStackSocketHandle socket) = 0;
  virtual int WSGetSockOpt(TIdStackSocketHandle socket, int level, int optionName, int& value) = 0;
  virtual int WSSetSockOpt(TIdStackSocketHandle socket, int level, int optionName, int value) = 0;
  virtual int WSGetSockName(TIdStackSocketHandle socket, TIdSockAddr& addr) = 0;
  virtual int WSGetPeerName(TIdStackSocketHandle socket, TIdSockAddr& addr) = 0;
};

// The concrete stack class: a factory registered at start-up (the platform's
// stack), replaceable by tests. Null means none is registered.
using TIdStackClass = std::unique_ptr<TIdStack> (*)();
std::unique_ptr<TIdStack> CreatePlatformStack();
TIdStackClass StackClass();
void SetStackClass(TIdStackClass stackClass);

// The usage-counted process-wide stack. AcquireStack creates it on first use
// (raising what the creation raised, count unchanged); ReleaseStack frees it
// with the last user.
void AcquireStack();
void ReleaseStack();
// The active stack. Callers hold a count, so it exists while they live;
// asking without one raises EIdStackError.
TIdStack& CurrentStack();
TIdStack* ActiveStack();
int StackUsageCount();

// Holds one count on the stack for its lifetime.
class TIdStackUse {
 public:
  TIdStackUse() { AcquireStack(); }
  TIdStackUse(const TIdStackUse&) = delete;
  TIdStackUse& operator=(const TIdStackUse&) = delete;
  ~TIdStackUse() { ReleaseStack(); }
};
