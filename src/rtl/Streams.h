// Byte streams: the abstract stream with position and size, a growable memory
// stream, and a stream over an open file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "rtl/Component.h"
#include "rtl/FileSystem.h"

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

// Copies go in pieces of at most this many bytes.
inline constexpr std::int64_t kMaxBufSize = 61440;

class TStream : public TObject {
 public:
  // Each answers the bytes actually moved; never raises for a short count.
  virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
  virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
  virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;

  std::int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(std::int64_t position) { Seek(position, TSeekOrigin::soBeginning); }
  virtual std::int64_t Size();
  virtual void SetSize(std::int64_t size);

  // Move exactly count bytes or raise EReadError "Stream read error" /
  // EWriteError "Stream write error".
  void ReadBuffer(void* buffer, std::int64_t count);
  void WriteBuffer(const void* buffer, std::int64_t count);
  void WriteBuffer(std::span<const std::uint8_t> bytes) {
    WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  }
  // Copies count bytes from source's position; count 0 copies all of source
  // from its start. Answers the bytes copied.
  std::int64_t CopyFrom(TStream& source, std::int64_t count);
};

// A memory stream's storage: not initialised, so reserving costs no writes; a
// large block is mapped with large pages where the system offers them, which
// saves most of the page faults of its first touch.
class TMemoryBlock {
 public:
  TMemoryBlock() = default;
  // Empty (Data() null) when the memory is not there.
  explicit TMemoryBlock(std::size_t size) : FData(AllocateMemoryBlock(size)) {}
  TMemoryBlock(TMemoryBlock&& other) noexcept : FData(other.FData) { other.FData = nullptr; }
  TMemoryBlock& operator=(TMemoryBlock&& other) noexcept {
    std::swap(FData, other.FData);
    return *this;
  }
  TMemoryBlock(const TMemoryBlock&) = delete;
  TMemoryBlock& operator=(const TMemoryBlock&) = delete;
  ~TMemoryBlock() { FreeMemoryBlock(FData); }

  std::uint8_t* Data() const { return FData; }
  explicit operator bool() const { return FData != nullptr; }

 private:
  // Per platform; null when out of memory.
  static std::uint8_t* AllocateMemoryBlock(std::size_t size) noexcept;
  static void FreeMemoryBlock(std::uint8_t* block) noexcept;
  std::uint8_t* FData = nullptr;
};

class TMemoryStream : public TStream {
 public:
  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  std::int64_t Size() override { return FSize; }
  // Raises EStreamError "Out of memory while expanding memory stream" when the
  // memory cannot grow.
  void SetSize(std::int64_t size) override;

  std::uint8_t* Memory() { return FData.Data(); }
  const std::uint8_t* Memory() const { return FData.Data(); }
  std::span<const std::uint8_t> Bytes() const {
    return {FData.Data(), static_cast<std::size_t>(FSize)};
  }
  std::int64_t Capacity() const { return FCapacity; }
  // Reserves room without changing the size (a pre-sized download, say).
  void SetCapacity(std::int64_t capacity);
  void Clear();
  // Exchanges the whole content, size and position with other, without a copy.
  void Swap(TMemoryStream& other) noexcept;

  void LoadFromStream(TStream& source);
  void SaveToStream(TStream& target) const;
  void LoadFromFile(const std::string& path);
  void SaveToFile(const std::string& path) const;

 private:
  void Grow(std::int64_t needed);
  // Bytes up to a new end that were never written read as zeros, as if the
  // block had been cleared; reserving a large block does not write to it.
  void ZeroGap(std::int64_t end);
  TMemoryBlock FData;  // FCapacity bytes, FSize of them in use
  std::int64_t FCapacity = 0;
  std::int64_t FDefined = 0;  // the first FDefined bytes of the block have been written
  std::int64_t FSize = 0;
  std::int64_t FPosition = 0;
};

// File open modes, combinable as mode | share.
inline constexpr std::uint32_t fmCreate = 0xFF00;
inline constexpr std::uint32_t fmOpenRead = 0x0000;
inline constexpr std::uint32_t fmOpenWrite = 0x0001;
inline constexpr std::uint32_t fmOpenReadWrite = 0x0002;
inline constexpr std::uint32_t fmShareExclusive = 0x0010;
inline constexpr std::uint32_t fmShareDenyWrite = 0x0020;
inline constexpr std::uint32_t fmShareDenyNone = 0x0040;

class TFileStream : public TStream {
 public:
  // fmCreate creates or truncates: failure raises EFCreateError
  // "Cannot create file \"<expanded path>\". <system text>"; opening raises
  // EFOpenError "Cannot open file \"<expanded path>\". <system text>".
  TFileStream(const std::string& fileName, std::uint32_t mode);
  // Takes over a handle that is open already, with its access, sharing and
  // position; fileName is only what FileName() answers.
  TFileStream(TFileHandle handle, std::string fileName);

  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  void SetSize(std::int64_t size) override;

  const std::string& FileName() const { return FFileName; }

 private:
  std::string FFileName;
  TFileHandle FHandle;
};

// A read-only view of another stream through one large buffer, for walking an
// archive: records are served from the buffer, and the system is asked only
// when the buffer runs out, with one read of a whole piece instead of a seek and
// a small read per record. A request of at least the buffer's size goes
// straight from the source to the caller. The size is taken once: the source
// must not change while it is read this way.
class TReadBufferStream : public TStream {
 public:
  explicit TReadBufferStream(std::unique_ptr<TStream> source,
                             std::int64_t bufferSize = kReadBufferSize);

  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;  // read-only: moves nothing
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  std::int64_t Size() override { return FSize; }
  // Up to count bytes from the position without copying them, fewer only at
  // the end of the source or beyond the buffer's size; the position stays.
  // Valid until the stream is next used.
  std::span<const std::uint8_t> View(std::int64_t count);
  std::int64_t BufferSize() const { return FBufferSize; }

  static constexpr std::int64_t kReadBufferSize = std::int64_t{1} << 20;

 private:
  [[nodiscard]] bool Fill(std::int64_t needed);
  std::int64_t ReadSource(void* buffer, std::int64_t at, std::int64_t count);

  std::unique_ptr<TStream> FSource;
  std::unique_ptr<std::uint8_t[]> FBuffer;
  std::int64_t FBufferSize;
  std::int64_t FBufferStart = 0;     // source position of FBuffer[0]
  std::int64_t FBufferLength = 0;    // bytes of FBuffer that hold data
  std::int64_t FSourcePosition = 0;  // where the source stands
  std::int64_t FPosition = 0;
  std::int64_t FSize = 0;
};
