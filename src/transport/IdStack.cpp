// The stack's portable half: lifetime and usage count, literal parsing,
// name resolution rules, error texts and the Winsock-layout address area.
#include "transport/IdStack.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "rtl/FileSystem.h"
#include "rtl/Text.h"

EIdWinsockStubError::EIdWinsockStubError(std::uint32_t code, std::string title)
    : EIdException(title), FWinsockError(code), FTitle(std::move(title)) {
  if (code != 0) {
    FWinsockReason = SysErrorMessage(code);
    // Some systems have no text for Winsock's codes; the code itself must not be lost.
    if (FWinsockReason.empty()) FWinsockReason = Format("error code %u", {code});
    SetMessage(FTitle + ": " + FWinsockReason);
  }
}

// ---------------------------------------------------------------- socket list

void TIdSocketList::Add(TIdStackSocketHandle handle) {
  std::lock_guard guard(FLock);
  if (std::find(FHandles.begin(), FHandles.end(), handle) != FHandles.end()) return;
  if (static_cast<int>(FHandles.size()) >= kMaxCount) throw EIdStackSetSizeExceeded();
  FHandles.push_back(handle);
}

void TIdSocketList::Remove(TIdStackSocketHandle handle) {
  std::lock_guard guard(FLock);
  FHandles.erase(std::remove(FHandles.begin(), FHandles.end(), handle), FHandles.end());
}

void TIdSocketList::Clear() {
  std::lock_guard guard(FLock);
  FHandles.clear();
}

int TIdSocketList::Count() const {
  std::lock_guard guard(FLock);
  return static_cast<int>(FHandles.size());
}

bool TIdSocketList::Contains(TIdStackSocketHandle handle) const {
  std::lock_guard guard(FLock);
  return std::find(FHandles.begin(), FHandles.end(), handle) != FHandles.end();
}

std::vector<TIdStackSocketHandle> TIdSocketList::Handles() const {
  std::lock_guard guard(FLock);
  return FHandles;
}

// ---------------------------------------------------------------- lifetime

namespace {

// The one process-wide stack and its usage count, guarded together by one lock:
// transport objects on any thread acquire and release it.
struct TStackState {
  TIdCriticalSection Lock;
  TIdStackClass Class = &CreatePlatformStack;
  std::unique_ptr<TIdStack> Active;
  int UsageCount = 0;
};

TStackState& StackState() {
  static TStackState state;
  return state;
}

}  // namespace

TIdStackClass StackClass() {
  std::lock_guard guard(StackState().Lock);
  return StackState().Class;
}

void SetStackClass(TIdStackClass stackClass) {
  std::lock_guard guard(StackState().Lock);
  StackState().Class = stackClass;
}

void AcquireStack() {
  TStackState& state = StackState();
  std::lock_guard guard(state.Lock);
  if (state.UsageCount == 0) {
    if (state.Active) throw EIdException(kMsgStackAlreadyCreated);
    if (state.Class == nullptr) throw EIdException(kMsgStackClassUndefined);
    state.Active = state.Class();
  }
  ++state.UsageCount;
}

void ReleaseStack() {
  TStackState& state = StackState();
  std::lock_guard guard(state.Lock);
  if (state.UsageCount > 0) {
    --state.UsageCount;
    if (state.UsageCount == 0) state.Active.reset();
  }
}

TIdStack* ActiveStack() {
  std::lock_guard guard(StackState().Lock);
  return StackState().Active.get();
}

TIdStack& CurrentStack() {
  TIdStack* stack = ActiveStack();
  // Every transport object holds a count; reaching here without one is a programming error.
  if (stack == nullptr) throw EIdStackError("No socket stack is active.");
  return *stack;
}

int StackUsageCount() {
  std::lock_guard guard(StackState().Lock);
  return StackState().UsageCount;
}

// ---------------------------------------------------------------- literals

namespace {

// The text up to the first '.', removed from text together with the dot.
std::string_view Fetch(std::string_view& text) {
  const std::size_t dot = text.find('.');
  std::string_view part = text.substr(0, dot);
  text = dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
  return part;
}

int IPv4Part(std::string_view part) {
  std::int64_t value = -1;
  if (!TryStrToInt64(Trim(part), value)) return -1;
  return value < 0 || value > 255 ? -1 : static_cast<int>(value);
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool ParseHexGroup(std::string_view group, std::uint16_t& value) {
  if (group.empty() || group.size() > 4) return false;
  unsigned v = 0;
  for (const char c : group) {
    if (!IsHexDigit(c)) return false;
    v = v * 16 + static_cast<unsigned>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
  }
  value = static_cast<std::uint16_t>(v);
  return true;
}

bool ParseDecimalByte(std::string_view part, std::uint16_t& value) {
  if (part.empty() || part.size() > 3) return false;
  unsigned v = 0;
  for (const char c : part) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<unsigned>(c - '0');
  }
  if (v > 255) return false;
  value = static_cast<std::uint16_t>(v);
  return true;
}

// The eight groups of an IPv6 literal, or false when text is not one.
bool ParseIPv6(std::string_view input, std::array<std::uint16_t, 8>& groups) {
  std::string text(input);
  if (text.empty()) return false;
  if (text.front() == ':') text.insert(0, "0");
  if (text.back() == ':') text.push_back('0');
  const auto colons = std::count(text.begin(), text.end(), ':');
  const auto dots = std::count(text.begin(), text.end(), '.');
  const std::size_t firstDot = text.find('.');
  const std::size_t lastColon = text.rfind(':');
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const bool inTail = firstDot != std::string::npos && i > firstDot;
    if (c == ':' || c == '.') continue;
    if (c >= '0' && c <= '9') continue;
    if (IsHexDigit(c) && !inTail) continue;
    return false;
  }
  if (dots == 0) {
    if (colons < 2 || colons > 7) return false;
  } else {
    if (dots != 3 || colons < 2 || colons > 6) return false;
    if (lastColon == std::string::npos || firstDot < lastColon) return false;
  }
  // Split into groups; an IPv4 tail becomes two groups.
  std::vector<std::string_view> parts;
  std::string_view rest(text);
  std::string_view tail;
  if (dots != 0) {
    tail = rest.substr(lastColon + 1);
    rest = rest.substr(0, lastColon + 1);
    rest.remove_suffix(1);
  }
  while (true) {
    const std::size_t colon = rest.find(':');
    parts.push_back(rest.substr(0, colon));
    if (colon == std::string_view::npos) break;
    rest = rest.substr(colon + 1);
  }
  std::vector<std::uint16_t> values;
  int gap = -1;
  for (const auto part : parts) {
    if (part.empty()) {
      if (gap >= 0) return false;  // a second "::"
      gap = static_cast<int>(values.size());
      continue;
    }
    std::uint16_t v = 0;
    if (!ParseHexGroup(part, v)) return false;
    values.push_back(v);
  }
  if (dots != 0) {
    std::array<std::uint16_t, 4> b{};
    std::string_view t = tail;
    for (auto& v : b) {
      const std::size_t dot = t.find('.');
      if (!ParseDecimalByte(t.substr(0, dot), v)) return false;
      t = dot == std::string_view::npos ? std::string_view() : t.substr(dot + 1);
    }
    values.push_back(static_cast<std::uint16_t>(b[0] << 8 | b[1]));
    values.push_back(static_cast<std::uint16_t>(b[2] << 8 | b[3]));
  }
  if (values.size() > 8) return false;
  if (gap < 0) {
    if (values.size() != 8) return false;
  } else {
    if (values.size() == 8) return false;  // "::" must stand for at least one group
    values.insert(values.begin() + gap, 8 - values.size(), 0);
  }
  std::copy(values.begin(), values.end(), groups.begin());
  return true;
}

}  // namespace

bool TIdStack::IsIPv4Literal(std::string_view text) {
  for (int i = 0; i < 4; ++i) {
    if (IPv4Part(Fetch(text)) < 0) return false;
  }
  return text.empty();
}

std::string TIdStack::IPv6Canonical(std::string_view text) {
  std::array<std::uint16_t, 8> groups{};
  if (!ParseIPv6(text, groups)) return "";
  std::string out;
  for (std::size_t i = 0; i < groups.size(); ++i) {
    if (i > 0) out += ':';
    out += Format("%X", {static_cast<unsigned>(groups[i])});
  }
  return out;
}

std::array<std::uint8_t, 16> TIdStack::IPv6ToBytes(std::string_view text) {
  std::array<std::uint16_t, 8> groups{};
  if (!ParseIPv6(text, groups)) throw EIdInvalidIPv6Address(Format(kMsgInvalidIPv6Address, {text}));
  std::array<std::uint8_t, 16> bytes{};
  for (std::size_t i = 0; i < groups.size(); ++i) {
    bytes[2 * i] = static_cast<std::uint8_t>(groups[i] >> 8);
    bytes[2 * i + 1] = static_cast<std::uint8_t>(groups[i] & 0xFF);
  }
  return bytes;
}

std::string TIdStack::ResolveHostName(const std::string& host, TIdIPVersion version) {
  switch (version) {
    case Id_IPv4:
      if (SameText(host, "LOCALHOST")) return "127.0.0.1";
      if (IsIPv4Literal(host)) return host;
      return LookupHost(host, Id_IPv4);
    case Id_IPv6: {
      std::string canonical = IPv6Canonical(host);
      if (!canonical.empty()) return canonical;
      return LookupHost(host, Id_IPv6);
    }
  }
  throw EIdIPVersionUnsupported();
}

// ---------------------------------------------------------------- errors

int TIdStack::VerifySocketResult(int result) {
  if (result == kSocketError) ThrowSocketError(LastSocketError());
  return result;
}

void TIdStack::ThrowSocketError(int code) {
  if (code == kWsaeNotSock) throw EIdNotASocket(code, SocketErrorText(code));
  throw EIdSocketError(code, SocketErrorText(code));
}

std::string TIdStack::SocketErrorText(int code) {
  static const TFormatSettings english;  // fixed English number settings
  return Format(kMsgStackError, {code, WinsockCodeText(code)}, english);
}

int TIdStack::MapResolverError(int resolverCode) { return WinsockCodeOfResolver(resolverCode); }

// ---------------------------------------------------------------- BSD base

int TIdStackBSDBase::FillSockAddr(TIdSockAddr& addr, const std::string& ip, std::uint16_t port,
                                  TIdIPVersion version) {
  addr.Bytes.fill(0);
  auto& b = addr.Bytes;
  b[2] = static_cast<std::uint8_t>(port >> 8);  // network order
  b[3] = static_cast<std::uint8_t>(port & 0xFF);
  switch (version) {
    case Id_IPv4: {
      b[0] = kAfInet;
      if (!ip.empty()) {
        std::string_view text(ip);
        for (int i = 0; i < 4; ++i) b[4 + i] = static_cast<std::uint8_t>(IPv4Part(Fetch(text)));
      }
      return 16;
    }
    case Id_IPv6: {
      b[0] = kAfInet6;
      if (!ip.empty()) {
        const auto bytes = IPv6ToBytes(ip);
        std::copy(bytes.begin(), bytes.end(), b.begin() + 8);
      }
      return 28;
    }
  }
  throw EIdIPVersionUnsupported();
}

TIdStack::TAddress TIdStackBSDBase::ReadSockAddr(const TIdSockAddr& addr) {
  const auto& b = addr.Bytes;
  TAddress out;
  out.Port = static_cast<std::uint16_t>(b[2] << 8 | b[3]);
  switch (addr.Family()) {
    case kAfInet:
      out.IPVersion = Id_IPv4;
      out.IP = Format("%d.%d.%d.%d", {b[4], b[5], b[6], b[7]});
      return out;
    case kAfInet6: {
      out.IPVersion = Id_IPv6;
      for (int i = 0; i < 8; ++i) {
        if (i > 0) out.IP += ':';
        out.IP += Format("%X", {static_cast<unsigned>(b[8 + 2 * i] << 8 | b[9 + 2 * i])});
      }
      return out;
    }
    default:
      throw EIdIPVersionUnsupported();
  }
}

void TIdStackBSDBase::BindSocket(TIdStackSocketHandle socket, const std::string& ip,
                                 std::uint16_t port, TIdIPVersion version) {
  TIdSockAddr addr;
  const int length = FillSockAddr(addr, ip, port, version);
  VerifySocketResult(WSBind(socket, addr, length));
}

void TIdStackBSDBase::ConnectSocket(TIdStackSocketHandle socket, const std::string& ip,
                                    std::uint16_t port, TIdIPVersion version) {
  TIdSockAddr addr;
  const int length = FillSockAddr(addr, ip, port, version);
  VerifySocketResult(WSConnect(socket, addr, length));
}

int TIdStack::ReceiveBuffer(TIdStackSocketHandle socket, void* buffer, int length) {
  TIdBytes bytes(static_cast<std::size_t>(std::max(length, 0)));
  const int n = ReceiveBytes(socket, bytes);
  if (n > 0) std::memcpy(buffer, bytes.data(), static_cast<std::size_t>(n));
  return n;
}

int TIdStackBSDBase::ReceiveBytes(TIdStackSocketHandle socket, TIdBytes& buffer) {
  return VerifySocketResult(WSRecv(socket, buffer.data(), static_cast<int>(buffer.size())));
}

int TIdStackBSDBase::ReceiveBuffer(TIdStackSocketHandle socket, void* buffer, int length) {
  return VerifySocketResult(WSRecv(socket, buffer, length));
}

int TIdStackBSDBase::SendBytes(TIdStackSocketHandle socket, const TIdBytes& buffer, int count,
                               int offset) {
  offset = std::max(offset, 0);  // a negative offset would read before the bytes
  const int available = std::max(static_cast<int>(buffer.size()) - offset, 0);
  const int length = count < 0 ? available : std::min(count, available);
  return VerifySocketResult(
      WSSend(socket, buffer.data() + std::min<std::size_t>(offset, buffer.size()), length));
}

void TIdStackBSDBase::ShutdownAndClose(TIdStackSocketHandle socket) noexcept {
  // A close must never fail the caller; the results are of no use here.
  try {
    static_cast<void>(WSShutdown(socket, kSdSend));
    static_cast<void>(WSCloseSocket(socket));
  } catch (...) {
    // A primitive that raises (an entry point Winsock cannot bind) leaves nothing to undo.
  }
}

int TIdStackBSDBase::GetSocketOption(TIdStackSocketHandle socket, int level, int optionName) {
  int value = 0;
  VerifySocketResult(WSGetSockOpt(socket, level, optionName, value));
  return value;
}

void TIdStackBSDBase::SetSocketOption(TIdStackSocketHandle socket, int level, int optionName,
                                      int value) {
  VerifySocketResult(WSSetSockOpt(socket, level, optionName, value));
}

TIdStack::TAddress TIdStackBSDBase::GetSocketName(TIdStackSocketHandle socket) {
  TIdSockAddr addr;
  VerifySocketResult(WSGetSockName(socket, addr));
  return ReadSockAddr(addr);
}

TIdStack::TAddress TIdStackBSDBase::GetPeerName(TIdStackSocketHandle socket) {
  TIdSockAddr addr;
  VerifySocketResult(WSGetPeerName(socket, addr));
  return ReadSockAddr(addr);
}
