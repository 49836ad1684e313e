// Win32 half of the file edge: the ANSI file API, paths passed as they are;
// the system's error texts come as wide text and leave as UTF-8.
#include <windows.h>
#include <sddl.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "rtl/FileSystem.h"
#include "rtl/Win32Text.h"

std::uint32_t GetLastOSError() { return ::GetLastError(); }

// The system's text in the user's language, taken as wide text and kept as
// UTF-8: the ANSI form would show "č" or "ž" as other letters in the window.
std::string SysErrorMessage(std::uint32_t code) {
  wchar_t* text = nullptr;
  const DWORD n =
      ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                           FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                       nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string out =
      (n > 0 && text != nullptr) ? WideToUtf8(std::wstring_view(text, n)) : std::string();
  if (text != nullptr) ::LocalFree(text);
  // The system's texts end with CR LF, which a one-line message must not carry.
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ')) {
    out.pop_back();
  }
  return out;
}

bool FileExists(const std::string& path) {
  const DWORD attr = ::GetFileAttributesA(path.c_str());
  return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExists(const std::string& path) {
  const DWORD attr = ::GetFileAttributesA(path.c_str());
  return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool CreateDir(const std::string& path) { return ::CreateDirectoryA(path.c_str(), nullptr) != 0; }
bool RemoveDir(const std::string& path) { return ::RemoveDirectoryA(path.c_str()) != 0; }
bool RemoveFile(const std::string& path) { return ::DeleteFileA(path.c_str()) != 0; }

namespace {
bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// A folder itself, not a junction or a link to one.
bool IsFolder(const char* path) {
  const DWORD attr = ::GetFileAttributesA(path);
  return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (attr & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

// Where the first level that may be made starts: after "C:\", "C:", "\" or
// a share's "\\server\share\".
std::size_t RootLength(const std::string& p) {
  if (p.size() >= 2 && p[1] == ':') return p.size() >= 3 && IsSeparator(p[2]) ? 3 : 2;
  if (p.size() >= 2 && IsSeparator(p[0]) && IsSeparator(p[1])) {
    const std::size_t server = p.find_first_of("\\/", 2);
    const std::size_t share =
        server == std::string::npos ? server : p.find_first_of("\\/", server + 1);
    return share == std::string::npos ? p.size() : share + 1;
  }
  return !p.empty() && IsSeparator(p[0]) ? 1 : 0;
}

// Owns a descriptor the system allocated with LocalAlloc.
struct TLocalFree {
  void operator()(void* p) const noexcept { ::LocalFree(p); }
};
}  // namespace

bool ForceDirectories(const std::string& path) {
  std::string p = path;
  while (p.size() > 3 && IsSeparator(p.back())) p.pop_back();
  if (p.empty()) return false;
  // Every level must be a folder of its own: a junction would lead the files elsewhere.
  if (IsFolder(p.c_str())) return true;
  // Top down, each level cut short in place: an archive's 20,000 levels cost
  // neither stack nor copies, and the first level the system refuses ends it.
  for (std::size_t end = p.find_first_of("\\/", RootLength(p));;
       end = p.find_first_of("\\/", end + 1)) {
    const bool last = end == std::string::npos;
    const char separator = last ? '\0' : p[end];
    if (!last) p[end] = '\0';
    const bool made = ::CreateDirectoryA(p.c_str(), nullptr) != 0 || IsFolder(p.c_str());
    if (!made && ::GetLastError() == ERROR_ALREADY_EXISTS) ::SetLastError(ERROR_DIRECTORY);
    if (last) return made;
    p[end] = separator;
    if (!made) return false;
  }
}

TPrivateDirResult CreatePrivateDir(const std::string& path) {
  PSECURITY_DESCRIPTOR raw = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(kPrivateDirSddl, SDDL_REVISION_1,
                                                              &raw, nullptr)) {
    return TPrivateDirResult::Failed;
  }
  const std::unique_ptr<void, TLocalFree> descriptor(raw);
  // The folder is born with its access list: there is no moment in which
  // another user could change it or put something into it.
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
  if (!::CreateDirectoryA(path.c_str(), &attributes)) {
    const DWORD code = ::GetLastError();
    return code == ERROR_ALREADY_EXISTS ? TPrivateDirResult::Exists : TPrivateDirResult::Failed;
  }
  return IsFolder(path.c_str()) ? TPrivateDirResult::Created : TPrivateDirResult::Exists;
}

namespace {
TEntryKind KindOf(DWORD attributes) {
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return TEntryKind::Link;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? TEntryKind::Folder : TEntryKind::File;
}

// Owns a search handle of FindFirstFileExA.
struct TFindClose {
  void operator()(HANDLE h) const noexcept { ::FindClose(h); }
};

// A read-only file or folder cannot be deleted until the flag is gone.
template <typename Remove>
bool RemoveClearingReadOnly(const std::string& path, Remove remove) {
  if (remove(path.c_str()) != 0) return true;
  const DWORD attr = ::GetFileAttributesA(path.c_str());
  if (attr == INVALID_FILE_ATTRIBUTES || (attr & FILE_ATTRIBUTE_READONLY) == 0 ||
      (attr & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
    return false;
  return ::SetFileAttributesA(path.c_str(), attr & ~FILE_ATTRIBUTE_READONLY) != 0 &&
         remove(path.c_str()) != 0;
}
}  // namespace

std::optional<std::vector<TFolderEntry>> ListFolder(const std::string& path) {
  // The attributes of path itself: a junction in its place is not entered.
  if (!IsFolder(path.c_str())) return std::nullopt;
  WIN32_FIND_DATAA data{};
  const std::string pattern = path + "\\*";
  const HANDLE found = ::FindFirstFileExA(pattern.c_str(), FindExInfoBasic, &data,
                                          FindExSearchNameMatch, nullptr, 0);
  std::vector<TFolderEntry> entries;
  if (found == INVALID_HANDLE_VALUE) {
    if (::GetLastError() == ERROR_FILE_NOT_FOUND) return entries;
    return std::nullopt;
  }
  const std::unique_ptr<void, TFindClose> search(found);
  do {
    const std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    entries.push_back({name, KindOf(data.dwFileAttributes)});
  } while (::FindNextFileA(found, &data));
  if (::GetLastError() != ERROR_NO_MORE_FILES) return std::nullopt;
  return entries;
}

bool RemoveEntry(const std::string& path, TEntryKind kind) {
  switch (kind) {
    case TEntryKind::File:
      return RemoveClearingReadOnly(path, ::DeleteFileA);
    case TEntryKind::Folder:
      return RemoveClearingReadOnly(path, ::RemoveDirectoryA);
    case TEntryKind::Link:
      break;
  }
  // A link to a folder goes as a folder, one to a file as a file; either call
  // removes the reparse point itself and never what it names.
  const DWORD attr = ::GetFileAttributesA(path.c_str());
  if (attr == INVALID_FILE_ATTRIBUTES) return false;
  return (attr & FILE_ATTRIBUTE_DIRECTORY) != 0 ? ::RemoveDirectoryA(path.c_str()) != 0
                                                : ::DeleteFileA(path.c_str()) != 0;
}

std::uint32_t FileGetAttr(const std::string& path) { return ::GetFileAttributesA(path.c_str()); }

bool FileSetAttr(const std::string& path, std::uint32_t attributes) {
  return ::SetFileAttributesA(path.c_str(), attributes) != 0;
}

std::string ExpandFileName(const std::string& path) {
  char* filePart = nullptr;
  const DWORD need = ::GetFullPathNameA(path.c_str(), 0, nullptr, &filePart);
  if (need == 0) return path;
  std::vector<char> buffer(need + 1);
  const DWORD n = ::GetFullPathNameA(path.c_str(), need + 1, buffer.data(), &filePart);
  return (n == 0 || n > need) ? path : std::string(buffer.data(), n);
}

std::string GetCurrentDir() {
  const DWORD need = ::GetCurrentDirectoryA(0, nullptr);
  if (need == 0) return std::string();
  std::vector<char> buffer(need + 1);
  const DWORD n = ::GetCurrentDirectoryA(need + 1, buffer.data());
  return std::string(buffer.data(), n);
}

namespace {
HANDLE AsHandle(std::intptr_t value) { return reinterpret_cast<HANDLE>(value); }
// ReadFile and WriteFile count in a DWORD: larger transfers go in pieces.
constexpr std::int64_t kMaxPiece = std::int64_t{1} << 30;

DWORD ShareFlags(TFileHandle::TShare share) {
  switch (share) {
    case TFileHandle::TShare::Exclusive:
      return 0;
    case TFileHandle::TShare::DenyWrite:
      return FILE_SHARE_READ;
    case TFileHandle::TShare::DenyNone:
      return FILE_SHARE_READ | FILE_SHARE_WRITE;
  }
  return 0;
}
}  // namespace

namespace {
// A handle opened without following a link at the last step; one that names
// a link itself is refused.
std::intptr_t PlainFileOrInvalid(HANDLE h) {
  if (h == INVALID_HANDLE_VALUE) return -1;
  // The attributes alone: the whole file information also asks for the
  // volume's serial number, which under Wine is a round trip to the mount
  // manager for every file made.
  FILE_ATTRIBUTE_TAG_INFO info{};
  if (!::GetFileInformationByHandleEx(h, FileAttributeTagInfo, &info, sizeof(info)) ||
      (info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    ::CloseHandle(h);
    ::SetLastError(ERROR_CANT_ACCESS_FILE);
    return -1;
  }
  return reinterpret_cast<std::intptr_t>(h);
}
}  // namespace

TFileHandle TFileHandle::Create(const std::string& path, TShare share) {
  // A file that is not there yet is made without the truncation that
  // CREATE_ALWAYS asks for; Wine does that as a second change of the new file.
  // Anything else goes the usual way, which also sets the error a caller sees.
  HANDLE h =
      ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, ShareFlags(share), nullptr,
                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE)
    h = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, ShareFlags(share), nullptr,
                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  const std::intptr_t value = PlainFileOrInvalid(h);
  return value == -1 ? TFileHandle() : TFileHandle(value);
}

TFileHandle TFileHandle::CreateNew(const std::string& path) {
  const HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  const std::intptr_t value = PlainFileOrInvalid(h);
  return value == -1 ? TFileHandle() : TFileHandle(value);
}

TFileHandle TFileHandle::Open(const std::string& path, TAccess access, TShare share) {
  DWORD rights = GENERIC_READ;
  switch (access) {
    case TAccess::Read:
      rights = GENERIC_READ;
      break;
    case TAccess::Write:
      rights = GENERIC_WRITE;
      break;
    case TAccess::ReadWrite:
      rights = GENERIC_READ | GENERIC_WRITE;
      break;
  }
  const HANDLE h = ::CreateFileA(path.c_str(), rights, ShareFlags(share), nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
  return h == INVALID_HANDLE_VALUE ? TFileHandle()
                                   : TFileHandle(reinterpret_cast<std::intptr_t>(h));
}

std::int64_t TFileHandle::ReadPiece(void* buffer, std::int64_t count) const {
  const DWORD want = static_cast<DWORD>(std::min<std::int64_t>(count, kMaxPiece));
  DWORD got = 0;
  if (!::ReadFile(AsHandle(FValue), buffer, want, &got, nullptr)) return -1;
  return got;
}

std::int64_t TFileHandle::WritePiece(const void* buffer, std::int64_t count) const {
  const DWORD want = static_cast<DWORD>(std::min<std::int64_t>(count, kMaxPiece));
  DWORD put = 0;
  if (!::WriteFile(AsHandle(FValue), buffer, want, &put, nullptr) || put == 0) return -1;
  return put;
}

std::int64_t TFileHandle::Seek(std::int64_t offset, int origin) const {
  LARGE_INTEGER distance;
  distance.QuadPart = offset;
  LARGE_INTEGER result;
  const DWORD method = origin == 0 ? FILE_BEGIN : origin == 1 ? FILE_CURRENT : FILE_END;
  if (!::SetFilePointerEx(AsHandle(FValue), distance, &result, method)) return -1;
  return result.QuadPart;
}

bool TFileHandle::SetSize(std::int64_t size) const {
  return Seek(size, 0) == size && ::SetEndOfFile(AsHandle(FValue)) != 0;
}

void TFileHandle::Close() {
  if (FValue != kInvalid) {
    ::CloseHandle(AsHandle(FValue));
    FValue = kInvalid;
  }
}
