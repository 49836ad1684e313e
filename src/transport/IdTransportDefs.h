// Types shared by the transport and the HTTP client: byte arrays, address
// families, socket options in Winsock numbering, and text on the wire.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

using TIdBytes = std::vector<std::uint8_t>;

enum TIdIPVersion { Id_IPv4, Id_IPv6 };

// SO_REUSEADDR policy: only rsTrue turns it on.
enum TIdReuseSocket { rsOSDependent, rsTrue, rsFalse };

// What ReadLine does with a line longer than its limit.
enum TIdMaxLineAction { maException, maSplit };

// Winsock's numbers for what the user can see or the stack passes on; the
// POSIX stack maps them onto the platform's own values.
inline constexpr int kAfInet = 2;
inline constexpr int kAfInet6 = 23;
inline constexpr int kSockStream = 1;
inline constexpr int kSolSocket = 0xFFFF;
inline constexpr int kSoType = 0x1008;
inline constexpr int kSoReuseAddr = 4;
inline constexpr int kSoBroadcast = 0x20;
inline constexpr int kIpProtoTcp = 6;
inline constexpr int kTcpNoDelay = 1;
inline constexpr int kSdSend = 1;

inline constexpr char EOL[] = "\r\n";
inline constexpr char LF = '\n';
inline constexpr char CR = '\r';

// Characters <-> bytes for a connection. The program's 8-bit strings are taken
// as a single-byte code page; on the wire only 7-bit ASCII survives.
class TIdTextEncoding {
 public:
  virtual ~TIdTextEncoding() = default;
  virtual TIdBytes GetBytes(std::string_view text) const = 0;
  virtual std::string GetString(std::span<const std::uint8_t> bytes) const = 0;
};

// 7-bit ASCII: every byte from 0x80 up becomes "?" in both directions.
class TIdASCIIEncoding final : public TIdTextEncoding {
 public:
  TIdBytes GetBytes(std::string_view text) const override;
  std::string GetString(std::span<const std::uint8_t> bytes) const override;
};

// The one ASCII encoding every handler uses unless told otherwise.
const TIdTextEncoding& AsciiWireEncoding();
