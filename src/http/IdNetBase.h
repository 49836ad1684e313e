// The network library's base names the HTTP units share with the transport:
// the root exception class and the address family of a host.
#pragma once

#include "rtl/Exceptions.h"

class EIdException : public Exception {
  using Exception::Exception;
};

enum class TIdIPVersion { Id_IPv4, Id_IPv6 };
