// The Winsock code table and texts; see IdWinsockCodes.h.
#include "transport/IdWinsockCodes.h"

#include <cerrno>

namespace {

// BSD's EAI_SYSTEM: the resolver's failure is in errno, not in its result.
constexpr int kResolverSystem = 11;

constexpr TIdWinsockCodeRow kTable[] = {
    {kWsaNotEnoughMemory, 0, 6},  // EAI_MEMORY
    {kWsaeIntr, EINTR, 0},
    {kWsaeBadF, EBADF, 0},
    {kWsaeAcces, EACCES, 0},
    {kWsaeAcces, EPERM, 0},  // a firewall's refusal reads as access denied on Windows too
    {kWsaeFault, EFAULT, 0},
    {kWsaeInval, EINVAL, 3},  // EAI_BADFLAGS
    {kWsaeMFile, EMFILE, 0},
    {kWsaeWouldBlock, EWOULDBLOCK, 0},
    {kWsaeInProgress, EINPROGRESS, 0},
    {kWsaeAlready, EALREADY, 0},
    {kWsaeNotSock, ENOTSOCK, 0},
    {kWsaeDestAddrReq, EDESTADDRREQ, 0},
    {kWsaeMsgSize, EMSGSIZE, 0},
    {kWsaeProtoType, EPROTOTYPE, 0},
    {kWsaeNoProtoOpt, ENOPROTOOPT, 0},
    {kWsaeProtoNoSupport, EPROTONOSUPPORT, 0},
    {kWsaeSocktNoSupport, 0, 10},  // EAI_SOCKTYPE
    {kWsaeOpNotSupp, EOPNOTSUPP, 0},
    {kWsaeAfNoSupport, EAFNOSUPPORT, 5},  // EAI_FAMILY
    {kWsaeAddrInUse, EADDRINUSE, 0},
    {kWsaeAddrNotAvail, EADDRNOTAVAIL, 0},
    {kWsaeNetDown, ENETDOWN, 0},
    {kWsaeNetUnreach, ENETUNREACH, 0},
    {kWsaeNetReset, ENETRESET, 0},
    {kWsaeConnAborted, ECONNABORTED, 0},
    {kWsaeConnReset, ECONNRESET, 0},
    {kWsaeConnReset, EPIPE, 0},  // a send after the peer reset
    {kWsaeNoBufs, ENOBUFS, 0},
    {kWsaeIsConn, EISCONN, 0},
    {kWsaeNotConn, ENOTCONN, 0},
    {kWsaeTimedOut, ETIMEDOUT, 0},
    {kWsaeConnRefused, ECONNREFUSED, 0},
    {kWsaeLoop, ELOOP, 0},
    {kWsaeNameTooLong, ENAMETOOLONG, 0},
    {kWsaeHostUnreach, EHOSTUNREACH, 0},
    {kWsaeNotEmpty, ENOTEMPTY, 0},
#ifdef ESHUTDOWN
    // MinGW's C library lacks these five names; Windows never maps errno anyway.
    {kWsaeSocktNoSupport, ESOCKTNOSUPPORT, 0},
    {kWsaePfNoSupport, EPFNOSUPPORT, 0},
    {kWsaeShutdown, ESHUTDOWN, 0},
    {kWsaeTooManyRefs, ETOOMANYREFS, 0},
    {kWsaeHostDown, EHOSTDOWN, 0},
#endif
    {kWsaTypeNotFound, 0, 9},  // EAI_SERVICE
    {kWsaHostNotFound, 0, 8},  // EAI_NONAME
    {kWsaTryAgain, 0, 2},      // EAI_AGAIN
    {kWsaNoRecovery, 0, 4},    // EAI_FAIL
    {kWsaNoData, 0, 7},        // EAI_NODATA
};

}  // namespace

std::span<const TIdWinsockCodeRow> WinsockCodeTable() { return kTable; }

const char* WinsockCodeText(int code) {
  // No default: the compiler then names any code added to the enumeration
  // without a text. Numbers outside it fall through to "".
  switch (static_cast<TIdWinsockCode>(code)) {
    case kWsaeIntr:
      return "Interrupted system call.";
    case kWsaeBadF:
      return "Bad file number.";
    case kWsaeAcces:
      return "Access denied.";
    case kWsaeFault:
      return "Buffer fault.";
    case kWsaeInval:
      return "Invalid argument.";
    case kWsaeMFile:
      return "Too many open files.";
    case kWsaeWouldBlock:
      return "Operation would block.";
    case kWsaeInProgress:
      return "Operation now in progress.";
    case kWsaeAlready:
      return "Operation already in progress.";
    case kWsaeNotSock:
      return "Socket operation on non-socket.";
    case kWsaeDestAddrReq:
      return "Destination address required.";
    case kWsaeMsgSize:
      return "Message too long.";
    case kWsaeProtoType:
      return "Protocol wrong type for socket.";
    case kWsaeNoProtoOpt:
      return "Bad protocol option.";
    case kWsaeProtoNoSupport:
      return "Protocol not supported.";
    case kWsaeSocktNoSupport:
      return "Socket type not supported.";
    case kWsaeOpNotSupp:
      return "Operation not supported on socket.";
    case kWsaePfNoSupport:
      return "Protocol family not supported.";
    case kWsaeAfNoSupport:
      return "Address family not supported by protocol family.";
    case kWsaeAddrInUse:
      return "Address already in use.";
    case kWsaeAddrNotAvail:
      return "Cannot assign requested address.";
    case kWsaeNetDown:
      return "Network is down.";
    case kWsaeNetUnreach:
      return "Network is unreachable.";
    case kWsaeNetReset:
      return "Net dropped connection or reset.";
    case kWsaeConnAborted:
      return "Software caused connection abort.";
    case kWsaeConnReset:
      return "Connection reset by peer.";
    case kWsaeNoBufs:
      return "No buffer space available.";
    case kWsaeIsConn:
      return "Socket is already connected.";
    case kWsaeNotConn:
      return "Socket is not connected.";
    case kWsaeShutdown:
      return "Cannot send or receive after socket is closed.";
    case kWsaeTooManyRefs:
      return "Too many references, cannot splice.";
    case kWsaeTimedOut:
      return "Connection timed out.";
    case kWsaeConnRefused:
      return "Connection refused.";
    case kWsaeLoop:
      return "Too many levels of symbolic links.";
    case kWsaeNameTooLong:
      return "File name too long.";
    case kWsaeHostDown:
      return "Host is down.";
    case kWsaeHostUnreach:
      return "No route to host.";
    case kWsaeNotEmpty:
      return "Directory not empty";
    case kWsaHostNotFound:
      return "Host not found.";
    // Codes the program passes on but has never had a text for.
    case kWsaNotEnoughMemory:
    case kWsaNotInitialised:
    case kWsaTypeNotFound:
    case kWsaTryAgain:
    case kWsaNoRecovery:
    case kWsaNoData:
      return "";
  }
  return "";
}

int WinsockCodeOfErrno(int error) {
  if (error == 0) return error;  // 0 marks "no errno" in the table
  for (const auto& row : kTable) {
    if (row.PosixErrno == error) return row.Code;
  }
  return error;
}

int WinsockCodeOfResolver(int resolverCode) {
  if (resolverCode == kResolverSystem) return 0;
  if (resolverCode == 0) return resolverCode;  // 0 marks "no resolver number" in the table
  for (const auto& row : kTable) {
    if (row.ResolverCode == resolverCode) return row.Code;
  }
  return resolverCode;
}
