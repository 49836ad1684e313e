// Files and folders of the local machine behind one small edge:
// FileSystemWindows.cpp (ANSI Win32 calls) or FileSystemPosix.cpp.
// Paths are 8-bit text passed to the system as they are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#ifdef _WIN32
inline constexpr char PathDelim = '\\';
// The ANSI file API takes MAX_PATH (260) characters with the NUL; a folder must
// leave room for "\" and an 8.3 name, so CreateDirectoryA stops at 248.
inline constexpr std::size_t kMaxFilePath = 259;
inline constexpr std::size_t kMaxFolderPath = 247;
#else
inline constexpr char PathDelim = '/';
// PATH_MAX (4096) with the NUL.
inline constexpr std::size_t kMaxFilePath = 4095;
inline constexpr std::size_t kMaxFolderPath = 4095;
#endif
// NAME_MAX natively; NTFS's longest name on Windows.
inline constexpr std::size_t kMaxNameLength = 255;

// Attribute bits as the Windows file system defines them; natively only
// read-only (from the write permission) and directory are reported.
inline constexpr std::uint32_t faReadOnly = 0x01;
inline constexpr std::uint32_t faHidden = 0x02;
inline constexpr std::uint32_t faSysFile = 0x04;
inline constexpr std::uint32_t faDirectory = 0x10;
inline constexpr std::uint32_t faArchive = 0x20;
inline constexpr std::uint32_t faInvalid = 0xFFFFFFFF;

// The last error of the calling thread, and the system's text for an error code.
std::uint32_t GetLastOSError();
std::string SysErrorMessage(std::uint32_t code);

bool FileExists(const std::string& path);  // a file, not a folder
bool DirectoryExists(const std::string& path);
bool CreateDir(const std::string& path);  // exactly one level
bool RemoveDir(const std::string& path);  // must be empty
bool RemoveFile(const std::string& path);
bool ForceDirectories(const std::string& path);  // every missing level, top down
// The result of making a folder afresh for the installer's own use.
enum class TPrivateDirResult { Created, Exists, Failed };
// Makes path as a new folder, never an existing one and never through a link:
// full control for administrators and the system, read and run for users,
// inherited by everything below and nothing taken from the parent (natively
// mode 0755). Exists: something is at path already; Failed leaves
// GetLastOSError set.
[[nodiscard]] TPrivateDirResult CreatePrivateDir(const std::string& path);
// The access list CreatePrivateDir gives, in the system's descriptor notation.
inline constexpr const char* kPrivateDirSddl =
    "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
// What a folder entry is, as seen without following it.
enum class TEntryKind { File, Folder, Link };
struct TFolderEntry {
  std::string Name;
  TEntryKind Kind = TEntryKind::File;
};
// The entries of a folder, without "." and "..". A link (a symbolic link, a
// junction, any reparse point) is reported as a link, never followed; empty
// when path is not a folder of its own (a link to one among them) or cannot be read.
std::optional<std::vector<TFolderEntry>> ListFolder(const std::string& path);
// Removes one entry as ListFolder saw it: a file (a read-only one too), an
// empty folder, or a link itself and never what it points to.
bool RemoveEntry(const std::string& path, TEntryKind kind);
std::uint32_t FileGetAttr(const std::string& path);  // faInvalid when unreadable
bool FileSetAttr(const std::string& path, std::uint32_t attributes);
std::string ExpandFileName(const std::string& path);  // absolute, without resolving links
std::string GetCurrentDir();

// An open file, owned: closed by the destructor. Move-only.
class TFileHandle {
 public:
  enum class TAccess { Read, Write, ReadWrite };
  enum class TShare { Exclusive, DenyWrite, DenyNone };

  TFileHandle() = default;
  TFileHandle(const TFileHandle&) = delete;
  TFileHandle& operator=(const TFileHandle&) = delete;
  TFileHandle(TFileHandle&& other) noexcept : FValue(other.FValue) { other.FValue = kInvalid; }
  TFileHandle& operator=(TFileHandle&& other) noexcept;
  ~TFileHandle() { Close(); }

  // Each answers an invalid handle and leaves GetLastOSError set on failure.
  // Create truncates what is there; neither follows a link at the last step.
  static TFileHandle Create(const std::string& path, TShare share);
  // A new file only, opened exclusively: fails when anything is at path.
  static TFileHandle CreateNew(const std::string& path);
  static TFileHandle Open(const std::string& path, TAccess access, TShare share);

  bool Valid() const { return FValue != kInvalid; }
  // Byte counts actually moved, -1 on failure.
  std::int64_t Read(void* buffer, std::int64_t count) const;
  std::int64_t Write(const void* buffer, std::int64_t count) const;
  // origin 0 = start, 1 = current, 2 = end; answers the new position or -1.
  std::int64_t Seek(std::int64_t offset, int origin) const;
  bool SetSize(std::int64_t size) const;
  void Close();

 private:
  static constexpr std::intptr_t kInvalid = -1;
  explicit TFileHandle(std::intptr_t value) : FValue(value) {}
  // One system call's worth of Read and Write, the platform's part: the bytes
  // moved, 0 at the end of the file (reading only), -1 on failure.
  std::int64_t ReadPiece(void* buffer, std::int64_t count) const;
  std::int64_t WritePiece(const void* buffer, std::int64_t count) const;
  std::intptr_t FValue = kInvalid;
};
