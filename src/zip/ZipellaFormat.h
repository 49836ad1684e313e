// The zip format as the component reads it: the fixed records exactly as
// stored (packed, little-endian), their signatures, and the values of the
// method, flag and attribute fields that the component acts on.
#pragma once

#include <cstdint>

#pragma pack(push, 1)
struct TLocalFileHeader {
  std::uint32_t Signature;
  std::uint16_t VersionNeeded;
  std::uint16_t Flag;
  std::uint16_t Method;
  std::uint16_t ModTime;
  std::uint16_t ModDate;
  std::uint32_t Crc32;
  std::uint32_t CompressedSize;
  std::uint32_t UncompressedSize;
  std::uint16_t FileNameLength;
  std::uint16_t ExtraFieldLength;
};
struct TCentralDirectoryHeader {
  std::uint32_t Signature;
  std::uint16_t VersionMadeBy;
  std::uint16_t VersionNeeded;
  std::uint16_t Flag;
  std::uint16_t Method;
  std::uint16_t ModTime;
  std::uint16_t ModDate;
  std::uint32_t Crc32;
  std::uint32_t CompressedSize;
  std::uint32_t UncompressedSize;
  std::uint16_t FileNameLength;
  std::uint16_t ExtraFieldLength;
  std::uint16_t FileCommentLength;
  std::uint16_t DiskNumberStart;
  std::uint16_t InternalAttributes;
  std::uint32_t ExternalAttributes;
  std::uint32_t LocalHeaderOffset;
};
struct TZipEndRecord {
  std::uint32_t Signature;
  std::uint16_t DiskNumber;
  std::uint16_t CentralDirectoryDisk;
  std::uint16_t EntriesOnDisk;
  std::uint16_t TotalEntries;
  std::uint32_t CentralDirectorySize;
  std::uint32_t CentralDirectoryOffset;
  std::uint16_t CommentLength;
};
#pragma pack(pop)
static_assert(sizeof(TLocalFileHeader) == 30);
static_assert(sizeof(TCentralDirectoryHeader) == 46);
static_assert(sizeof(TZipEndRecord) == 22);

inline constexpr std::uint32_t kLocalFileSignature = 0x04034B50;
inline constexpr std::uint32_t kCentralFileSignature = 0x02014B50;
inline constexpr std::uint32_t kEndRecordSignature = 0x06054B50;
inline constexpr std::uint32_t kDataDescriptorSignature = 0x08074B50;
// The first byte of every signature ('P' of "PK").
inline constexpr std::uint8_t kSignatureLeadByte = 0x50;

// Compression methods.
inline constexpr std::uint16_t kMethodStored = 0;
inline constexpr std::uint16_t kMethodDeflated = 8;
// Listed with a level, but not decoded.
inline constexpr std::uint16_t kMethodDeflate64 = 9;

// General purpose flag bits.
inline constexpr std::uint16_t kFlagEncrypted = 0x0001;
// Bits 1-2: the deflate level the writer used.
inline constexpr std::uint16_t kFlagLevelMask = 0x0006;
inline constexpr std::uint16_t kFlagLevelNormal = 0x0000;
inline constexpr std::uint16_t kFlagLevelMaximum = 0x0002;
inline constexpr std::uint16_t kFlagLevelFast = 0x0004;
// The sizes and CRC-32 follow the data in a descriptor.
inline constexpr std::uint16_t kFlagDataDescriptor = 0x0008;

// External attributes: the low byte holds DOS attributes, and records made on
// Unix (host 3 in the high byte of VersionMadeBy) hold the file mode in the
// high half.
inline constexpr std::uint32_t kDosReadOnlyHiddenSystem = 0x07;
inline constexpr std::uint32_t kDosDirectory = 0x10;
inline constexpr std::uint32_t kDosArchive = 0x20;
inline constexpr int kHostUnix = 3;
inline constexpr std::uint32_t kUnixFileTypeMask = 0xF000;
inline constexpr std::uint32_t kUnixDirectory = 0x4000;
// What the recovery scan records as the maker of the records it rebuilds (2.0, DOS).
inline constexpr std::uint16_t kVersionMadeByDos20 = 20;
