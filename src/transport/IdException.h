// The network library's exceptions: EIdException and everything the socket
// stack, the I/O handler and the TCP client raise, with their fixed texts.
#pragma once

#include <cstdint>
#include <string>

#include "rtl/Exceptions.h"

inline constexpr char kMsgConnectionClosedGracefully[] = "Connection Closed Gracefully.";
inline constexpr char kMsgStackAlreadyCreated[] = "Stack already created.";
inline constexpr char kMsgStackClassUndefined[] = "Stack Class is undefined.";
inline constexpr char kMsgSetSizeExceeded[] = "Set Size Exceeded.";
inline constexpr char kMsgIPVersionUnsupported[] =
    "The requested IPVersion / Address family is not supported.";
inline constexpr char kMsgCouldNotBindSocket[] =
    "Could not bind socket. Address and port are already in use.";
inline constexpr char kMsgInvalidPortRange[] = "Invalid Port Range (%d - %d)";
inline constexpr char kMsgCannotBindRange[] = "Can not bind in port range (%d - %d)";
inline constexpr char kMsgCannotSetIPVersionWhenConnected[] =
    "Cannot change IPVersion when connected";
inline constexpr char kMsgInvalidIPv6Address[] = "%s is not a valid IPv6 address";
inline constexpr char kMsgWinsockLoadError[] = "Error on loading Winsock2 library (%s)";
inline constexpr char kMsgWinsockCallError[] = "Error on call to Winsock2 library function %s";
inline constexpr char kMsgStackError[] = "Socket Error # %d\r\n%s";
inline constexpr char kMsgTooMuchDataInBuffer[] = "Too much data in buffer.";
inline constexpr char kMsgNotEnoughDataInBuffer[] = "Not enough data in buffer. (%d/%d)";
inline constexpr char kMsgBufferMissingTerminator[] = "Buffer terminator must be specified.";
inline constexpr char kMsgBufferInvalidStartPos[] = "Buffer start position is invalid.";
inline constexpr char kMsgNotConnected[] = "Not Connected";
inline constexpr char kMsgStatusDisconnected[] = "Disconnected.";
inline constexpr char kMsgReadTimeout[] = "Read timed out.";
inline constexpr char kMsgReadLnMaxLineLengthExceeded[] = "Max line length exceeded.";
inline constexpr char kMsgConnectTimeout[] = "Connect timed out.";
inline constexpr char kMsgDataTooLarge[] = "Data is too large for stream";
inline constexpr char kMsgRequiresLargeStream[] =
    "Set LargeStream to True to send streams greater than 2GB";
inline constexpr char kMsgNoDataToRead[] = "No data to read.";
inline constexpr char kMsgAlreadyConnected[] = "Already connected.";
inline constexpr char kMsgInterceptIsDifferent[] =
    "The IOHandler already has a different Intercept assigned";

class EIdException : public Exception {
 public:
  using Exception::Exception;
};

// Callers may treat these as an ordinary end rather than a failure.
class EIdSilentException : public EIdException {
 public:
  using EIdException::EIdException;
};

class EIdConnClosedGracefully : public EIdSilentException {
 public:
  EIdConnClosedGracefully() : EIdSilentException(kMsgConnectionClosedGracefully) {}
  using EIdSilentException::EIdSilentException;
};

// A socket call failed; the code is Winsock's on every platform.
class EIdSocketError : public EIdException {
 public:
  EIdSocketError(int code, std::string message)
      : EIdException(std::move(message)), FSocketErrorCode(code) {}
  int SocketErrorCode() const noexcept { return FSocketErrorCode; }

 private:
  int FSocketErrorCode;
};

class EIdNotASocket : public EIdSocketError {
 public:
  using EIdSocketError::EIdSocketError;
};

// The socket library could not be loaded or started, or lacks an entry point.
// Message: the title, then ": " and the system's text when the code is not 0.
class EIdWinsockStubError : public EIdException {
 public:
  EIdWinsockStubError(std::uint32_t code, std::string title);
  std::uint32_t WinsockError() const noexcept { return FWinsockError; }
  const std::string& WinsockReason() const noexcept { return FWinsockReason; }
  const std::string& Title() const noexcept { return FTitle; }

 private:
  std::uint32_t FWinsockError;
  std::string FWinsockReason;
  std::string FTitle;
};

class EIdStackError : public EIdException {
 public:
  using EIdException::EIdException;
};
class EIdStackInitializationFailed : public EIdStackError {
 public:
  using EIdStackError::EIdStackError;
};
class EIdStackSetSizeExceeded : public EIdStackError {
 public:
  EIdStackSetSizeExceeded() : EIdStackError(kMsgSetSizeExceeded) {}
};
class EIdIPVersionUnsupported : public EIdStackError {
 public:
  EIdIPVersionUnsupported() : EIdStackError(kMsgIPVersionUnsupported) {}
};

class EIdSocketHandleError : public EIdException {
 public:
  using EIdException::EIdException;
};
class EIdCouldNotBindSocket : public EIdSocketHandleError {
 public:
  EIdCouldNotBindSocket() : EIdSocketHandleError(kMsgCouldNotBindSocket) {}
};
class EIdInvalidPortRange : public EIdSocketHandleError {
 public:
  using EIdSocketHandleError::EIdSocketHandleError;
};
class EIdCanNotBindPortInRange : public EIdSocketHandleError {
 public:
  using EIdSocketHandleError::EIdSocketHandleError;
};
class EIdCannotSetIPVersionWhenConnected : public EIdSocketHandleError {
 public:
  EIdCannotSetIPVersionWhenConnected()
      : EIdSocketHandleError(kMsgCannotSetIPVersionWhenConnected) {}
};

class EIdInvalidIPv6Address : public EIdException {
 public:
  using EIdException::EIdException;
};

// Byte queue.
class EIdTooMuchDataInBuffer : public EIdException {
 public:
  EIdTooMuchDataInBuffer() : EIdException(kMsgTooMuchDataInBuffer) {}
};
class EIdNotEnoughDataInBuffer : public EIdException {
 public:
  using EIdException::EIdException;
};

// I/O handler.
class EIdReadTimeout : public EIdException {
 public:
  EIdReadTimeout() : EIdException(kMsgReadTimeout) {}
};
class EIdNotConnected : public EIdException {
 public:
  EIdNotConnected() : EIdException(kMsgNotConnected) {}
};
class EIdClosedSocket : public EIdException {
 public:
  EIdClosedSocket() : EIdException(kMsgStatusDisconnected) {}
};
class EIdReadLnMaxLineLengthExceeded : public EIdException {
 public:
  EIdReadLnMaxLineLengthExceeded() : EIdException(kMsgReadLnMaxLineLengthExceeded) {}
};
class EIdConnectTimeout : public EIdException {
 public:
  EIdConnectTimeout() : EIdException(kMsgConnectTimeout) {}
};
class EIdConnectException : public EIdException {
 public:
  using EIdException::EIdException;
};
class EIdIOHandlerStreamDataTooLarge : public EIdException {
 public:
  EIdIOHandlerStreamDataTooLarge() : EIdException(kMsgDataTooLarge) {}
};
class EIdIOHandlerRequiresLargeStream : public EIdException {
 public:
  EIdIOHandlerRequiresLargeStream() : EIdException(kMsgRequiresLargeStream) {}
};
class EIdNoDataToRead : public EIdException {
 public:
  EIdNoDataToRead() : EIdException(kMsgNoDataToRead) {}
};

// TCP client.
class EIdAlreadyConnected : public EIdException {
 public:
  EIdAlreadyConnected() : EIdException(kMsgAlreadyConnected) {}
};
class EIdHostRequired : public EIdException {
 public:
  EIdHostRequired() : EIdException("") {}
};
class EIdPortRequired : public EIdException {
 public:
  EIdPortRequired() : EIdException("") {}
};
