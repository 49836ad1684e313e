// The exception hierarchy every unit raises from: Exception carries the message
// text that the installer writes into its log.
#pragma once

#include <exception>
#include <string>

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : FMessage(std::move(message)) {}
  const std::string& Message() const noexcept { return FMessage; }
  void SetMessage(std::string message) { FMessage = std::move(message); }
  const char* what() const noexcept override { return FMessage.c_str(); }

 private:
  std::string FMessage;
};

// A stop that was asked for from another thread; whoever asked knows why, so
// its message is not meant for the user.
class EAbort : public Exception {
 public:
  EAbort() : Exception("Operation aborted") {}
};
class EConvertError : public Exception {
  using Exception::Exception;
};
class EOutOfMemory : public Exception {
 public:
  EOutOfMemory() : Exception("Out of memory") {}
  using Exception::Exception;
};
class EStreamError : public Exception {
  using Exception::Exception;
};
class EFCreateError : public EStreamError {
  using EStreamError::EStreamError;
};
class EFOpenError : public EStreamError {
  using EStreamError::EStreamError;
};
class EFilerError : public EStreamError {
  using EStreamError::EStreamError;
};
class EReadError : public EFilerError {
  using EFilerError::EFilerError;
};
class EWriteError : public EFilerError {
  using EFilerError::EFilerError;
};
class EListError : public Exception {
  using Exception::Exception;
};
class EStringListError : public EListError {
  using EListError::EListError;
};
// A system call failed; the message names the call and carries the system's text.
class EOSError : public Exception {
 public:
  EOSError(std::string message, unsigned long code)
      : Exception(std::move(message)), FErrorCode(code) {}
  unsigned long ErrorCode() const noexcept { return FErrorCode; }

 private:
  unsigned long FErrorCode;
};
// The registry (read side) could not give a value in the form asked for.
class ERegistryException : public Exception {
  using Exception::Exception;
};

// The class name of an exception as the program names it ("EFCreateError"),
// for tools and the framework's error box.
std::string ClassNameOf(const std::exception& e);
