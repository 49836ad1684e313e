// The network library's exceptions: EIdException and everything the socket
// stack, the I/O handler and the TCP client raise, with their fixed texts.
#pragma once

#include <cstdint>
#include <string>

#include "rtl/Exceptions.h"

inline constexpr char RSConnectionClosedGracefully[] = "Connection Closed Gracefully.";
inline constexpr char RSStackAlreadyCreated[] = "Stack already created.";
inline constexpr char RSStackClassUndefined[] = "Stack Class is undefined.";
inline constexpr char RSSetSizeExceeded[] = "Set Size Exceeded.";
inline constexpr char RSIPVersionUnsupported[] = "The requested IPVersion / Address family is not supported.";
inline constexpr char RSCouldNotBindSocket[] = "Could not bind socket. Address and port are already in use.";
inline constexpr char RSInvalidPortRange[] = "Invalid Port Range (%d - %d)";
inline constexpr char RSCannotBindRange[] = "Can not bind in port range (%d - %d)";
inline constexpr char RSCannotSetIPVersionWhenConnected[] = "Cannot change IPVersion when connected";
inline constexpr char RSInvalidIPv6Address[] = "%s is not a valid IPv6 address";
inline constexpr char RSWinsockLoadError[] = "Error on loading Winsock2 library (%s)";
inline constexpr char RSWinsockCallError[] = "Error on call to Winsock2 library function %s";
inline constexpr char RSStackError[] = "Socket Error # %d\r\n%s";
inline constexpr char RSTooMuchDataInBuffer[] = "Too much data in buffer.";
inline constexpr char RSNotEnoughDataInBuffer[] = "Not enough data in buffer. (%d/%d)";
inline constexpr char RSBufferMissingTerminator[] = "Buffer terminator must be specified.";
inline constexpr char RSBufferInvalidStartPos[] = "Buffer start position is invalid.";
inline constexpr char RSNotConnected[] = "Not Connected";
inline constexpr char RSStatusDisconnected[] = "Disconnected.";
inline constexpr char RSReadTimeout[] = "Read timed out.";
inline constexpr char RSReadLnMaxLineLengthExceeded[] = "Max line length exceeded.";
inline constexpr char RSConnectTimeout[] = "Connect timed out.";
inline constexpr char RSDataTooLarge[] = "Data is too large for stream";
inline constexpr char RSRequiresLargeStream[] = "Set LargeStream to True to send streams greater than 2GB";
inline constexpr char RSNoDataToRead[] = "No data to read.";
inline constexpr char RSAlreadyConnected[] = "Already connected.";
inline constexpr char RSInterceptIsDifferent[] = "The IOHandler already has a different Intercept assigned";

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
  EIdConnClosedGracefully() : EIdSilentException(RSConnectionClosedGracefully) {}
  using EIdSilentException::EIdSilentException;
};

// A socket call failed; the code is Winsock's on every platform.
class EIdSocketError : public EIdException {
 public:
  EIdSocketError(int code, std::string message) : EIdException(std::move(message)), FLastError(code) {}
  int SocketErrorCode() const noexcept { return FLastError; }

 private:
  int FLastError;
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
  EIdStackSetSizeExceeded() : EIdStackError(RSSetSizeExceeded) {}
};
class EIdIPVersionUnsupported : public EIdStackError {
 public:
  EIdIPVersionUnsupported() : EIdStackError(RSIPVersionUnsupported) {}
};

class EIdSocketHandleError : public EIdException {
 public:
  using EIdException::EIdException;
};
class EIdCouldNotBindSocket : public EIdSocketHandleError {
 public:
  EIdCouldNotBindSocket() : EIdSocketHandleError(RSCouldNotBindSocket) {}
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
  EIdCannotSetIPVersionWhenConnected() : EIdSocketHandleError(RSCannotSetIPVersionWhenConnected) {}
};

class EIdInvalidIPv6Address : public EIdException {
 public:
  using EIdException::EIdException;
};

// Byte queue.
class EIdTooMuchDataInBuffer : public EIdException {
 public:
  EIdTooMuchDataInBuffer() : EIdException(RSTooMuchDataInBuffer) {}
};
class EIdNotEnoughDataInBuffer : public EIdException {
 public:
  using EIdException::EIdException;
};

// I/O handler.
class EIdReadTimeout : public EIdException {
 public:
  EIdReadTimeout() : EIdException(RSReadTimeout) {}
};
class EIdNotConnected : public EIdException {
 public:
  EIdNotConnected() : EIdException(RSNotConnected) {}
};
class EIdClosedSocket : public EIdException {
 public:
  EIdClosedSocket() : EIdException(RSStatusDisconnected) {}
};
class EIdReadLnMaxLineLengthExceeded : public EIdException {
 public:
  EIdReadLnMaxLineLengthExceeded() : EIdException(RSReadLnMaxLineLengthExceeded) {}
};
class EIdConnectTimeout : public EIdException {
 public:
  EIdConnectTimeout() : EIdException(RSConnectTimeout) {}
};
class EIdConnectException : public EIdException {
 public:
  using EIdException::EIdException;
};
class EIdIOHandlerStreamDataTooLarge : public EIdException {
 public:
  EIdIOHandlerStreamDataTooLarge() : EIdException(RSDataTooLarge) {}
};
class EIdIOHandlerRequiresLargeStream : public EIdException {
 public:
  EIdIOHandlerRequiresLargeStream() : EIdException(RSRequiresLargeStream) {}
};
class EIdNoDataToRead : public EIdException {
 public:
  EIdNoDataToRead() : EIdException(RSNoDataToRead) {}
};

// TCP client.
class EIdAlreadyConnected : public EIdException {
 public:
  EIdAlreadyConnected() : EIdException(RSAlreadyConnected) {}
};
class EIdHostRequired : public EIdException {
 public:
  EIdHostRequired() : EIdException("") {}
};
class EIdPortRequired : public EIdException {
 public:
  EIdPortRequired() : EIdException("") {}
};
