// BSD sockets behind the stack's WS* primitives. Addresses arrive in Winsock
// layout and numbering and are translated here; errno values and resolver
// failures leave here as Winsock codes.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "transport/IdStack.h"

namespace {

// A getaddrinfo failure (the platform's EAI_* value) -> the BSD resolver number
// of the code table; EAI_SYSTEM stays 11.
int BsdResolverCode(int platformCode) {
  switch (platformCode) {
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
      return 7;  // no address of that family: reported like EAI_NODATA
#endif
    case EAI_AGAIN:
      return 2;
    case EAI_BADFLAGS:
      return 3;
    case EAI_FAIL:
      return 4;
    case EAI_FAMILY:
      return 5;
    case EAI_MEMORY:
      return 6;
#if defined(EAI_NODATA) && EAI_NODATA != EAI_NONAME
    case EAI_NODATA:
      return 7;
#endif
    case EAI_NONAME:
      return 8;
    case EAI_SERVICE:
      return 9;
    case EAI_SOCKTYPE:
      return 10;
    case EAI_SYSTEM:
      return 11;
    default:
      return platformCode;
  }
}

int NativeFamily(int winsockFamily) {
  if (winsockFamily == kAfInet) return AF_INET;
  if (winsockFamily == kAfInet6) return AF_INET6;
  return -1;
}

// Winsock option levels and names -> the platform's.
bool NativeOption(int level, int optionName, int& nativeLevel, int& nativeName) {
  if (level == kSolSocket) {
    nativeLevel = SOL_SOCKET;
    switch (optionName) {
      case kSoType:
        nativeName = SO_TYPE;
        return true;
      case kSoReuseAddr:
        nativeName = SO_REUSEADDR;
        return true;
      case kSoBroadcast:
        nativeName = SO_BROADCAST;
        return true;
      default:
        return false;
    }
  }
  if (level == kIpProtoTcp && optionName == kTcpNoDelay) {
    nativeLevel = IPPROTO_TCP;
    nativeName = TCP_NODELAY;
    return true;
  }
  return false;
}

// The Winsock-layout area as a native socket address.
socklen_t ToNative(const TIdSockAddr& addr, sockaddr_storage& out) {
  std::memset(&out, 0, sizeof out);
  const auto& b = addr.Bytes;
  if (addr.Family() == kAfInet) {
    auto& in = reinterpret_cast<sockaddr_in&>(out);
    in.sin_family = AF_INET;
    std::memcpy(&in.sin_port, &b[2], 2);
    std::memcpy(&in.sin_addr, &b[4], 4);
    return sizeof(sockaddr_in);
  }
  if (addr.Family() == kAfInet6) {
    auto& in6 = reinterpret_cast<sockaddr_in6&>(out);
    in6.sin6_family = AF_INET6;
    std::memcpy(&in6.sin6_port, &b[2], 2);
    std::memcpy(&in6.sin6_addr, &b[8], 16);
    return sizeof(sockaddr_in6);
  }
  out.ss_family = static_cast<sa_family_t>(addr.Family());
  return sizeof(sockaddr);
}

void FromNative(const sockaddr_storage& in, TIdSockAddr& addr) {
  addr.Bytes.fill(0);
  auto& b = addr.Bytes;
  int family = in.ss_family;
  if (in.ss_family == AF_INET) {
    const auto& v4 = reinterpret_cast<const sockaddr_in&>(in);
    family = kAfInet;
    std::memcpy(&b[2], &v4.sin_port, 2);
    std::memcpy(&b[4], &v4.sin_addr, 4);
  } else if (in.ss_family == AF_INET6) {
    const auto& v6 = reinterpret_cast<const sockaddr_in6&>(in);
    family = kAfInet6;
    std::memcpy(&b[2], &v6.sin6_port, 2);
    std::memcpy(&b[8], &v6.sin6_addr, 16);
  }
  b[0] = static_cast<std::uint8_t>(family & 0xFF);
  b[1] = static_cast<std::uint8_t>(family >> 8);
}

int AsFd(TIdStackSocketHandle socket) { return static_cast<int>(socket); }

// getsockname or getpeername into the Winsock-layout area.
int ReadAddress(int (*call)(int, sockaddr*, socklen_t*), TIdStackSocketHandle socket,
                TIdSockAddr& addr) {
  sockaddr_storage native{};
  socklen_t length = sizeof native;
  if (call(AsFd(socket), reinterpret_cast<sockaddr*>(&native), &length) != 0) return kSocketError;
  FromNative(native, addr);
  return 0;
}

class TIdStackPosix final : public TIdStackBSDBase {
 public:
  int LastSocketError() override { return WinsockCodeOfErrno(errno); }

  std::string LookupHost(const std::string& host, TIdIPVersion version) override {
    if (version != Id_IPv4 && version != Id_IPv6) throw EIdIPVersionUnsupported();
    addrinfo hints{};
    hints.ai_family = version == Id_IPv4 ? AF_INET : AF_INET6;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    const int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &result);
    if (rc != 0) {
      const int saved = errno;
      const int code = MapResolverError(BsdResolverCode(rc));
      ThrowSocketError(code != 0 ? code : WinsockCodeOfErrno(saved));
    }
    // Released on every path, the read-back below included.
    std::unique_ptr<addrinfo, void (*)(addrinfo*)> owner(result, ::freeaddrinfo);
    sockaddr_storage storage{};
    std::memcpy(&storage, result->ai_addr,
                std::min<std::size_t>(result->ai_addrlen, sizeof storage));
    TIdSockAddr addr;
    FromNative(storage, addr);
    return ReadSockAddr(addr).IP;
  }

  TIdStackSocketHandle CreateSocket(
      int socketType, int protocol, TIdIPVersion version,
      bool /*overlapped: every socket here can be waited on*/) override {
    const int family = version == Id_IPv4 ? AF_INET : version == Id_IPv6 ? AF_INET6 : -1;
    if (family < 0) throw EIdIPVersionUnsupported();
    const int type = socketType == kSockStream ? SOCK_STREAM : socketType;
    const int fd = ::socket(family, type | SOCK_CLOEXEC, protocol);
    if (fd < 0) ThrowSocketError(LastSocketError());
#ifdef SO_NOSIGPIPE
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on);
#endif
    return fd;
  }

  int SelectRead(const TIdSocketList& list, int timeout) override {
    // poll stands in for select: the same answer without select's descriptor limit.
    const auto handles = list.Handles();
    std::vector<pollfd> fds;
    fds.reserve(handles.size());
    for (const auto h : handles) fds.push_back(pollfd{AsFd(h), POLLIN, 0});
    int rc;
    do {
      rc = ::poll(fds.data(), fds.size(), timeout < 0 ? -1 : timeout);
    } while (rc < 0 && errno == EINTR);
    return VerifySocketResult(rc < 0 ? kSocketError : rc);
  }

 protected:
  int WSBind(TIdStackSocketHandle socket, const TIdSockAddr& addr, int /*length*/) override {
    sockaddr_storage native;
    const socklen_t length = ToNative(addr, native);
    return ::bind(AsFd(socket), reinterpret_cast<const sockaddr*>(&native), length) == 0
               ? 0
               : kSocketError;
  }

  int WSConnect(TIdStackSocketHandle socket, const TIdSockAddr& addr, int /*length*/) override {
    sockaddr_storage native;
    const socklen_t length = ToNative(addr, native);
    if (NativeFamily(addr.Family()) < 0) {
      errno = EAFNOSUPPORT;
      return kSocketError;
    }
    // Not retried on EINTR: a second connect would only report EALREADY.
    return ::connect(AsFd(socket), reinterpret_cast<const sockaddr*>(&native), length) == 0
               ? 0
               : kSocketError;
  }

  int WSRecv(TIdStackSocketHandle socket, void* buffer, int length) override {
    ssize_t n;
    do {
      n = ::recv(AsFd(socket), buffer, static_cast<std::size_t>(length), 0);
    } while (n < 0 && errno == EINTR);
    return n < 0 ? kSocketError : static_cast<int>(n);
  }

  int WSSend(TIdStackSocketHandle socket, const void* buffer, int length) override {
    // MSG_NOSIGNAL: a peer that went away is an error code, not a signal that ends the program.
    ssize_t n;
    do {
      n = ::send(AsFd(socket), buffer, static_cast<std::size_t>(length), MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    return n < 0 ? kSocketError : static_cast<int>(n);
  }

  int WSShutdown(TIdStackSocketHandle socket, int how) override {
    const int nativeHow = how == 0 ? SHUT_RD : how == 1 ? SHUT_WR : SHUT_RDWR;
    return ::shutdown(AsFd(socket), nativeHow) == 0 ? 0 : kSocketError;
  }

  int WSCloseSocket(TIdStackSocketHandle socket) override {
    return ::close(AsFd(socket)) == 0 ? 0 : kSocketError;
  }

  int WSGetSockOpt(TIdStackSocketHandle socket, int level, int optionName, int& value) override {
    int nativeLevel = 0;
    int nativeName = 0;
    if (!NativeOption(level, optionName, nativeLevel, nativeName)) {
      errno = ENOPROTOOPT;
      return kSocketError;
    }
    socklen_t length = sizeof value;
    if (::getsockopt(AsFd(socket), nativeLevel, nativeName, &value, &length) != 0)
      return kSocketError;
    if (nativeLevel == SOL_SOCKET && nativeName == SO_TYPE)
      value = value == SOCK_STREAM ? kSockStream : value;
    return 0;
  }

  int WSSetSockOpt(TIdStackSocketHandle socket, int level, int optionName, int value) override {
    int nativeLevel = 0;
    int nativeName = 0;
    if (!NativeOption(level, optionName, nativeLevel, nativeName)) {
      errno = ENOPROTOOPT;
      return kSocketError;
    }
    return ::setsockopt(AsFd(socket), nativeLevel, nativeName, &value, sizeof value) == 0
               ? 0
               : kSocketError;
  }

  int WSGetSockName(TIdStackSocketHandle socket, TIdSockAddr& addr) override {
    return ReadAddress(::getsockname, socket, addr);
  }

  int WSGetPeerName(TIdStackSocketHandle socket, TIdSockAddr& addr) override {
    return ReadAddress(::getpeername, socket, addr);
  }
};

}  // namespace

std::unique_ptr<TIdStack> CreatePlatformStack() { return std::make_unique<TIdStackPosix>(); }
