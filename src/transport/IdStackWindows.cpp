// Winsock 2 behind the stack's WS* primitives. Nothing links against
// ws2_32: the module is loaded on the first stack creation, each entry point
// is looked up by name on its first call, and the address-info functions come
// from WS2_32.DLL, Wship6.dll or a built-in IPv4-only emulation. Every module
// comes from the system folder: Wship6.dll and IdnDL.dll are not on current
// Windows, and a search by bare name would end in the program's folder.
#include "transport/IdStackWindows.h"

#include <winsock2.h>
#include <windows.h>
#include <ws2tcpip.h>

#include <cstring>
#include <mutex>

#include "rtl/Exceptions.h"
#include "rtl/FileSystem.h"
#include "rtl/SystemLibrary.h"
#include "rtl/Text.h"
#include "rtl/Win32Text.h"

namespace {

constexpr char kWship6[] = "Wship6.dll";
constexpr char kNormaliz[] = "Normaliz.dll";
constexpr char kIdnDL[] = "IdnDL.dll";
constexpr char kIphlpapi[] = "iphlpapi.dll";
constexpr DWORD kStatusHostUnreachable = 0xC000023D;

using TGetAddrInfo = int(WSAAPI*)(const char*, const char*, const addrinfo*, addrinfo**);
using TGetNameInfo = int(WSAAPI*)(const sockaddr*, socklen_t, char*, DWORD, char*, DWORD, int);
using TFreeAddrInfo = void(WSAAPI*)(addrinfo*);
using TIdnToAscii = int(WINAPI*)(DWORD, LPCWSTR, int, LPWSTR, int);

// One slot per Winsock entry point: empty until its first call binds it.
struct TWinsockApi {
  decltype(&::WSAStartup) WSAStartup = nullptr;
  decltype(&::WSACleanup) WSACleanup = nullptr;
  decltype(&::WSAGetLastError) WSAGetLastError = nullptr;
  decltype(&::socket) socket = nullptr;
  decltype(&::WSASocketA) WSASocketA = nullptr;
  decltype(&::bind) bind = nullptr;
  decltype(&::connect) connect = nullptr;
  decltype(&::recv) recv = nullptr;
  decltype(&::send) send = nullptr;
  decltype(&::shutdown) shutdown = nullptr;
  decltype(&::closesocket) closesocket = nullptr;
  decltype(&::select) select = nullptr;
  decltype(&::getsockopt) getsockopt = nullptr;
  decltype(&::setsockopt) setsockopt = nullptr;
  decltype(&::getsockname) getsockname = nullptr;
  decltype(&::getpeername) getpeername = nullptr;
  decltype(&::gethostbyname) gethostbyname = nullptr;
  decltype(&::gethostbyaddr) gethostbyaddr = nullptr;
  decltype(&::getservbyname) getservbyname = nullptr;
  decltype(&::getservbyport) getservbyport = nullptr;
};

// The socket library's process-wide state: loaded once by the first stack,
// unloaded at program end. Guarded by its own lock for load and unload.
struct TLibraryState {
  std::recursive_mutex Lock;
  std::string LibraryName = "WS2_32.DLL";
  HMODULE Winsock = nullptr;
  TWinsockApi Api;
  TGetAddrInfo GetAddrInfo = nullptr;
  TGetNameInfo GetNameInfo = nullptr;
  TFreeAddrInfo FreeAddrInfo = nullptr;
  bool BuiltInAddressInfo = false;
  HMODULE Wship6 = nullptr;
  HMODULE Normaliz = nullptr;
  TIdnToAscii IdnToAscii = nullptr;
  FARPROC IdnToUnicode = nullptr;
  HMODULE IdnDL = nullptr;
  HMODULE Iphlpapi = nullptr;
  bool Started = false;
};

TLibraryState& Library() {
  static TLibraryState state;
  return state;
}

void ReleaseModule(HMODULE& module) {
  if (module != nullptr) ::FreeLibrary(module);
  module = nullptr;
}

FARPROC BindSocketFunction(const char* name) {
  HMODULE module = Library().Winsock;
  if (module == nullptr)
    throw EIdWinsockStubError(WSANOTINITIALISED, Format(kMsgWinsockCallError, {name}));
  FARPROC proc = ::GetProcAddress(module, name);
  if (proc == nullptr) throw EIdWinsockStubError(WSAEINVAL, Format(kMsgWinsockCallError, {name}));
  return proc;
}

// The entry point in slot, bound on its first call; binding twice stores the same pointer.
template <class F>
F Ws(F TWinsockApi::*slot, const char* name) {
  F& fn = Library().Api.*slot;
  if (fn == nullptr) fn = reinterpret_cast<F>(reinterpret_cast<void*>(BindSocketFunction(name)));
  return fn;
}

// ---------------------------------------------------------------- built-in address info

// IPv4 only: a numeric address, else the legacy host lookup; a service from
// the services database. Failures carry the platform function's codes.
int WSAAPI BuiltInGetAddrInfo(const char* node, const char* service, const addrinfo* hints,
                              addrinfo** result) {
  *result = nullptr;
  if (hints != nullptr && hints->ai_family != AF_UNSPEC && hints->ai_family != AF_INET)
    return WSAEAFNOSUPPORT;
  if (node == nullptr && service == nullptr) return WSAHOST_NOT_FOUND;
  u_short port = 0;
  if (service != nullptr && *service != 0) {
    std::int64_t number = 0;
    if (TryStrToInt64(service, number) && number >= 0 && number <= 0xFFFF) {
      port = static_cast<u_short>(((number & 0xFF) << 8) | ((number >> 8) & 0xFF));
    } else {
      const int type = hints != nullptr ? hints->ai_socktype : SOCK_STREAM;
      const servent* entry = Ws(&TWinsockApi::getservbyname, "getservbyname")(
          service, type == SOCK_DGRAM ? "udp" : "tcp");
      if (entry == nullptr) return WSATYPE_NOT_FOUND;
      port = static_cast<u_short>(entry->s_port);
    }
  }
  in_addr address{};
  if (node == nullptr || *node == 0) {
    address.s_addr = 0;
  } else if (TIdStack::IsIPv4Literal(node)) {
    std::string_view text(node);
    std::uint8_t bytes[4]{};
    for (auto& b : bytes) {
      const std::size_t dot = text.find('.');
      b = static_cast<std::uint8_t>(StrToInt(Trim(text.substr(0, dot))));
      text = dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
    }
    std::memcpy(&address, bytes, 4);
  } else {
    const hostent* host = Ws(&TWinsockApi::gethostbyname, "gethostbyname")(node);
    if (host == nullptr) return Ws(&TWinsockApi::WSAGetLastError, "WSAGetLastError")();
    if (host->h_addrtype != AF_INET || host->h_addr_list[0] == nullptr) return WSANO_DATA;
    std::memcpy(&address, host->h_addr_list[0], 4);
  }
  // The C interface hands the result to freeaddrinfo, which frees it again.
  auto* entry = new addrinfo{};
  auto* in = new sockaddr_in{};
  in->sin_family = AF_INET;
  in->sin_port = port;
  in->sin_addr = address;
  entry->ai_family = AF_INET;
  entry->ai_socktype = hints != nullptr ? hints->ai_socktype : SOCK_STREAM;
  entry->ai_protocol = hints != nullptr ? hints->ai_protocol : 0;
  entry->ai_addrlen = sizeof(sockaddr_in);
  entry->ai_addr = reinterpret_cast<sockaddr*>(in);
  *result = entry;
  return 0;
}

void WSAAPI BuiltInFreeAddrInfo(addrinfo* info) {
  while (info != nullptr) {
    addrinfo* next = info->ai_next;
    delete reinterpret_cast<sockaddr_in*>(info->ai_addr);
    delete[] info->ai_canonname;
    delete info;
    info = next;
  }
}

int WSAAPI BuiltInGetNameInfo(const sockaddr* address, socklen_t length, char* host,
                              DWORD hostLength, char* service, DWORD serviceLength, int flags) {
  if (address == nullptr || length < static_cast<socklen_t>(sizeof(sockaddr_in)) ||
      address->sa_family != AF_INET) {
    return WSAEAFNOSUPPORT;
  }
  const auto* in = reinterpret_cast<const sockaddr_in*>(address);
  const auto copy = [](const std::string& text, char* target, DWORD size) {
    if (text.size() + 1 > size) return false;
    std::memcpy(target, text.c_str(), text.size() + 1);
    return true;
  };
  if (host != nullptr && hostLength > 0) {
    const hostent* entry = nullptr;
    if ((flags & NI_NUMERICHOST) == 0) {
      entry = Ws(&TWinsockApi::gethostbyaddr, "gethostbyaddr")(
          reinterpret_cast<const char*>(&in->sin_addr), 4, AF_INET);
    }
    const auto* b = reinterpret_cast<const std::uint8_t*>(&in->sin_addr);
    const std::string text = entry != nullptr ? std::string(entry->h_name)
                                              : Format("%d.%d.%d.%d", {b[0], b[1], b[2], b[3]});
    if (entry == nullptr && (flags & NI_NAMEREQD) != 0) return WSAHOST_NOT_FOUND;
    if (!copy(text, host, hostLength)) return WSAEFAULT;
  }
  if (service != nullptr && serviceLength > 0) {
    const servent* entry = nullptr;
    if ((flags & NI_NUMERICSERV) == 0) {
      entry = Ws(&TWinsockApi::getservbyport, "getservbyport")(
          in->sin_port, (flags & NI_DGRAM) != 0 ? "udp" : "tcp");
    }
    const int port = ((in->sin_port & 0xFF) << 8) | ((in->sin_port >> 8) & 0xFF);
    if (!copy(entry != nullptr ? std::string(entry->s_name) : IntToStr(port), service,
              serviceLength))
      return WSAEFAULT;
  }
  return 0;
}

void InstallBuiltInAddressInfo(TLibraryState& lib) {
  ReleaseModule(lib.Wship6);
  lib.GetAddrInfo = &BuiltInGetAddrInfo;
  lib.GetNameInfo = &BuiltInGetNameInfo;
  lib.FreeAddrInfo = &BuiltInFreeAddrInfo;
  lib.BuiltInAddressInfo = true;
}

void LoadNameConversion(TLibraryState& lib) {
  // Each missing module or function is simply absent.
  if (lib.Normaliz == nullptr) lib.Normaliz = LoadSystemLibrary(kNormaliz);
  lib.IdnToAscii = SystemProc<TIdnToAscii>(lib.Normaliz, "IdnToAscii");
  lib.IdnToUnicode = SystemProc<FARPROC>(lib.Normaliz, "IdnToUnicode");
  if (lib.IdnDL == nullptr) lib.IdnDL = LoadSystemLibrary(kIdnDL);
}

bool OlderThanWindows8() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (::GetVersionExA(&info) == 0) return false;
  return info.dwMajorVersion < 6 || (info.dwMajorVersion == 6 && info.dwMinorVersion < 2);
}

// The ASCII-compatible form of an internationalised name; pure ASCII stays as it is.
std::string IdnToAsciiName(const std::string& host) {
  const TIdnToAscii convert = Library().IdnToAscii;
  const std::wstring wide = AnsiToWide(host);
  const int asciiLength = convert(0, wide.c_str(), -1, nullptr, 0);
  if (asciiLength <= 0) throw EOSError(SysErrorMessage(::GetLastError()), ::GetLastError());
  std::wstring ascii(static_cast<std::size_t>(asciiLength), L'\0');
  if (convert(0, wide.c_str(), -1, ascii.data(), asciiLength) <= 0) {
    throw EOSError(SysErrorMessage(::GetLastError()), ::GetLastError());
  }
  std::string out;
  for (const wchar_t c : ascii) {
    if (c == 0) break;
    out.push_back(static_cast<char>(c));
  }
  return out;
}

SOCKET AsSocket(TIdStackSocketHandle socket) { return static_cast<SOCKET>(socket); }

// Unloads the library at program end, once. Touching the state first makes
// it outlive this object, so the unload never meets a destroyed lock.
struct TUnloadAtExit {
  TUnloadAtExit() { Library(); }
  ~TUnloadAtExit() { UnloadSocketLibrary(); }
} gUnloadAtExit;

}  // namespace

// ---------------------------------------------------------------- loading

void SetSocketLibraryName(std::string name) {
  std::lock_guard guard(Library().Lock);
  Library().LibraryName = std::move(name);
}

bool SocketLibraryStarted() {
  std::lock_guard guard(Library().Lock);
  return Library().Started;
}

void LoadSocketLibrary() {
  TLibraryState& lib = Library();
  std::lock_guard guard(lib.Lock);
  if (lib.Winsock != nullptr) return;
  DWORD error = 0;
  lib.Winsock = LoadSystemLibrary(lib.LibraryName.c_str());
  if (lib.Winsock != nullptr) {
    WSADATA data{};
    const int rc = Ws(&TWinsockApi::WSAStartup, "WSAStartup")(0x0202, &data);
    if (rc == 0) return;
    error = static_cast<DWORD>(rc);
    ReleaseModule(lib.Winsock);
    lib.Api = TWinsockApi{};
  } else {
    error = ::GetLastError();
  }
  throw EIdWinsockStubError(error, Format(kMsgWinsockLoadError, {lib.LibraryName}));
}

void LoadAddressInfoFunctions() {
  LoadSocketLibrary();
  TLibraryState& lib = Library();
  std::lock_guard guard(lib.Lock);
  if (lib.GetAddrInfo != nullptr) return;
  HMODULE module = lib.Winsock;
  if (SystemProc<TGetAddrInfo>(module, "getaddrinfo") == nullptr) {
    if (lib.Wship6 == nullptr) lib.Wship6 = LoadSystemLibrary(kWship6);
    module = lib.Wship6;
  }
  const auto getAddrInfo = SystemProc<TGetAddrInfo>(module, "getaddrinfo");
  const auto getNameInfo = SystemProc<TGetNameInfo>(module, "getnameinfo");
  const auto freeAddrInfo = SystemProc<TFreeAddrInfo>(module, "freeaddrinfo");
  if (getAddrInfo == nullptr || getNameInfo == nullptr || freeAddrInfo == nullptr) {
    InstallBuiltInAddressInfo(lib);
    return;
  }
  lib.GetAddrInfo = getAddrInfo;
  lib.GetNameInfo = getNameInfo;
  lib.FreeAddrInfo = freeAddrInfo;
  lib.BuiltInAddressInfo = false;
}

void UseBuiltInAddressInfo() {
  std::lock_guard guard(Library().Lock);
  InstallBuiltInAddressInfo(Library());
}

bool UsingBuiltInAddressInfo() {
  std::lock_guard guard(Library().Lock);
  return Library().BuiltInAddressInfo;
}

void UnloadSocketLibrary() {
  TLibraryState& lib = Library();
  std::lock_guard guard(lib.Lock);
  ReleaseModule(lib.Wship6);
  lib.GetAddrInfo = nullptr;
  lib.GetNameInfo = nullptr;
  lib.FreeAddrInfo = nullptr;
  lib.BuiltInAddressInfo = false;
  if (lib.Winsock != nullptr) {
    if (lib.Api.WSACleanup != nullptr || ::GetProcAddress(lib.Winsock, "WSACleanup") != nullptr) {
      Ws(&TWinsockApi::WSACleanup, "WSACleanup")();
    }
    ReleaseModule(lib.Winsock);
  }
  lib.Api = TWinsockApi{};
  ReleaseModule(lib.Iphlpapi);
  lib.IdnToAscii = nullptr;
  lib.IdnToUnicode = nullptr;
  ReleaseModule(lib.Normaliz);
  ReleaseModule(lib.IdnDL);
  lib.Started = false;
}

// ---------------------------------------------------------------- stack operations

namespace {

// getsockname or getpeername into the Winsock-layout area.
int ReadAddress(decltype(&::getsockname) call, TIdStackSocketHandle socket, TIdSockAddr& addr) {
  int length = TIdSockAddr::kSize;
  return call(AsSocket(socket), reinterpret_cast<sockaddr*>(addr.Bytes.data()), &length);
}

class TIdStackWindows final : public TIdStackBSDBase {
 public:
  // Loads and starts the socket library once per process; any failure is
  // raised as EIdStackInitializationFailed with the cause's message.
  TIdStackWindows() {
    TLibraryState& lib = Library();
    std::lock_guard guard(lib.Lock);
    if (lib.Started) return;
    try {
      LoadSocketLibrary();
      LoadAddressInfoFunctions();
      LoadNameConversion(lib);
      if (lib.Iphlpapi == nullptr) lib.Iphlpapi = LoadSystemLibrary(kIphlpapi);
      lib.Started = true;
    } catch (const Exception& e) {
      throw EIdStackInitializationFailed(e.Message());
    }
  }

  int LastSocketError() override {
    const int code = Ws(&TWinsockApi::WSAGetLastError, "WSAGetLastError")();
    return static_cast<DWORD>(code) == kStatusHostUnreachable ? kWsaeHostUnreach : code;
  }

  std::string LookupHost(const std::string& host, TIdIPVersion version) override {
    if (version != Id_IPv4 && version != Id_IPv6) throw EIdIPVersionUnsupported();
    TLibraryState& lib = Library();
    std::string name = host;
    if (lib.IdnToAscii != nullptr && lib.IdnToUnicode != nullptr && OlderThanWindows8())
      name = IdnToAsciiName(host);
    addrinfo hints{};
    hints.ai_family = version == Id_IPv4 ? AF_INET : AF_INET6;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    const int rc = lib.GetAddrInfo(name.c_str(), nullptr, &hints, &result);
    // Winsock's resolver (and the built-in one) already answers with Winsock
    // codes; the BSD table would turn its 8 (out of memory) into "Host not found.".
    if (rc != 0) ThrowSocketError(rc);
    // Released on every path, the read-back below included.
    std::unique_ptr<addrinfo, TFreeAddrInfo> owner(result, lib.FreeAddrInfo);
    TIdSockAddr addr;
    std::memcpy(addr.Bytes.data(), result->ai_addr,
                std::min<std::size_t>(result->ai_addrlen, TIdSockAddr::kSize));
    return ReadSockAddr(addr).IP;
  }

  TIdStackSocketHandle CreateSocket(int socketType, int protocol, TIdIPVersion version,
                                    bool overlapped) override {
    const int family = version == Id_IPv4 ? AF_INET : version == Id_IPv6 ? AF_INET6 : -1;
    if (family < 0) throw EIdIPVersionUnsupported();
    const SOCKET s = overlapped ? Ws(&TWinsockApi::WSASocketA, "WSASocketA")(
                                      family, socketType, protocol, nullptr, 0, WSA_FLAG_OVERLAPPED)
                                : Ws(&TWinsockApi::socket, "socket")(family, socketType, protocol);
    if (s == INVALID_SOCKET) ThrowSocketError(LastSocketError());
    return static_cast<TIdStackSocketHandle>(s);
  }

  int SelectRead(const TIdSocketList& list, int timeout) override {
    fd_set readSet{};
    for (const auto h : list.Handles()) {
      if (readSet.fd_count < FD_SETSIZE) readSet.fd_array[readSet.fd_count++] = AsSocket(h);
    }
    timeval limit{};
    limit.tv_sec = timeout / 1000;
    limit.tv_usec = (timeout % 1000) * 1000;
    const int rc = Ws(&TWinsockApi::select, "select")(0, &readSet, nullptr, nullptr,
                                                      timeout < 0 ? nullptr : &limit);
    return VerifySocketResult(rc);
  }

 protected:
  int WSBind(TIdStackSocketHandle socket, const TIdSockAddr& addr, int length) override {
    return Ws(&TWinsockApi::bind, "bind")(
        AsSocket(socket), reinterpret_cast<const sockaddr*>(addr.Bytes.data()), length);
  }

  int WSConnect(TIdStackSocketHandle socket, const TIdSockAddr& addr, int length) override {
    return Ws(&TWinsockApi::connect, "connect")(
        AsSocket(socket), reinterpret_cast<const sockaddr*>(addr.Bytes.data()), length);
  }

  int WSRecv(TIdStackSocketHandle socket, void* buffer, int length) override {
    return Ws(&TWinsockApi::recv, "recv")(AsSocket(socket), static_cast<char*>(buffer), length, 0);
  }

  int WSSend(TIdStackSocketHandle socket, const void* buffer, int length) override {
    return Ws(&TWinsockApi::send, "send")(AsSocket(socket), static_cast<const char*>(buffer),
                                          length, 0);
  }

  int WSShutdown(TIdStackSocketHandle socket, int how) override {
    return Ws(&TWinsockApi::shutdown, "shutdown")(AsSocket(socket), how);
  }

  int WSCloseSocket(TIdStackSocketHandle socket) override {
    return Ws(&TWinsockApi::closesocket, "closesocket")(AsSocket(socket));
  }

  int WSGetSockOpt(TIdStackSocketHandle socket, int level, int optionName, int& value) override {
    int length = sizeof value;
    return Ws(&TWinsockApi::getsockopt, "getsockopt")(AsSocket(socket), level, optionName,
                                                      reinterpret_cast<char*>(&value), &length);
  }

  int WSSetSockOpt(TIdStackSocketHandle socket, int level, int optionName, int value) override {
    return Ws(&TWinsockApi::setsockopt, "setsockopt")(
        AsSocket(socket), level, optionName, reinterpret_cast<const char*>(&value), sizeof value);
  }

  int WSGetSockName(TIdStackSocketHandle socket, TIdSockAddr& addr) override {
    return ReadAddress(Ws(&TWinsockApi::getsockname, "getsockname"), socket, addr);
  }

  int WSGetPeerName(TIdStackSocketHandle socket, TIdSockAddr& addr) override {
    return ReadAddress(Ws(&TWinsockApi::getpeername, "getpeername"), socket, addr);
  }
};

}  // namespace

std::unique_ptr<TIdStack> CreatePlatformStack() { return std::make_unique<TIdStackWindows>(); }
