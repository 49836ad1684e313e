// POSIX half of the file edge: the Windows attribute model is mapped onto the
// file mode (read-only = no write permission for anybody).
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#include "rtl/FileSystem.h"

static_assert(kMaxFilePath == PATH_MAX - 1 && kMaxNameLength == NAME_MAX);

std::uint32_t GetLastOSError() { return static_cast<std::uint32_t>(errno); }

std::string SysErrorMessage(std::uint32_t code) { return std::strerror(static_cast<int>(code)); }

bool FileExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateDir(const std::string& path) { return ::mkdir(path.c_str(), 0755) == 0; }
bool RemoveDir(const std::string& path) { return ::rmdir(path.c_str()) == 0; }

bool RemoveFile(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    errno = EISDIR;
    return false;
  }
  return ::unlink(path.c_str()) == 0;
}

namespace {
// A folder itself, not a link to one.
bool IsFolder(const char* path) {
  struct stat st {};
  return ::lstat(path, &st) == 0 && S_ISDIR(st.st_mode);
}
}  // namespace

bool ForceDirectories(const std::string& path) {
  std::string p = path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  if (p.empty()) return false;
  // Every level must be a folder of its own: a link would lead the files elsewhere.
  if (IsFolder(p.c_str())) return true;
  // Top down, each level cut short in place: an archive's 20,000 levels cost
  // neither stack nor copies, and the first level the system refuses ends it.
  for (std::size_t end = p.find('/', 1);; end = p.find('/', end + 1)) {
    const bool last = end == std::string::npos;
    if (!last) p[end] = '\0';
    const bool made = ::mkdir(p.c_str(), 0755) == 0 || IsFolder(p.c_str());
    if (!made && errno == EEXIST) errno = ENOTDIR;
    if (last) return made;
    p[end] = '/';
    if (!made) return false;
  }
}

TPrivateDirResult CreatePrivateDir(const std::string& path) {
  if (::mkdir(path.c_str(), 0755) != 0)
    return errno == EEXIST ? TPrivateDirResult::Exists : TPrivateDirResult::Failed;
  // The mode is set on the folder just made, whatever the umask took away.
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0)
    return errno == ELOOP || errno == ENOTDIR ? TPrivateDirResult::Exists
                                              : TPrivateDirResult::Failed;
  const bool set = ::fchmod(fd, 0755) == 0;
  const int code = errno;
  ::close(fd);
  errno = code;
  return set ? TPrivateDirResult::Created : TPrivateDirResult::Failed;
}

std::optional<std::vector<TFolderEntry>> ListFolder(const std::string& path) {
  // O_NOFOLLOW: a link in the folder's place is not entered.
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  DIR* dir = ::fdopendir(fd);
  if (dir == nullptr) {
    ::close(fd);
    return std::nullopt;
  }
  std::vector<TFolderEntry> entries;
  bool readable = true;
  for (;;) {
    errno = 0;
    const dirent* e = ::readdir(dir);
    if (e == nullptr) {
      readable = errno == 0;
      break;
    }
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    struct stat st {};
    if (::fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
      readable = false;
      break;
    }
    const TEntryKind kind = S_ISLNK(st.st_mode)   ? TEntryKind::Link
                            : S_ISDIR(st.st_mode) ? TEntryKind::Folder
                                                  : TEntryKind::File;
    entries.push_back({name, kind});
  }
  ::closedir(dir);
  if (!readable) return std::nullopt;
  return entries;
}

bool RemoveEntry(const std::string& path, TEntryKind kind) {
  // rmdir never follows a link and unlink removes the link itself.
  if (kind == TEntryKind::Folder) return ::rmdir(path.c_str()) == 0;
  return RemoveFile(path);
}

std::uint32_t FileGetAttr(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return faInvalid;
  std::uint32_t attr = S_ISDIR(st.st_mode) ? faDirectory : faArchive;
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) attr |= faReadOnly;
  return attr;
}

bool FileSetAttr(const std::string& path, std::uint32_t attributes) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  mode_t mode = st.st_mode & 07777;
  if ((attributes & faReadOnly) != 0) {
    mode &= static_cast<mode_t>(~(S_IWUSR | S_IWGRP | S_IWOTH));
  } else if ((mode & S_IWUSR) == 0) {
    mode |= S_IWUSR;
  }
  return ::chmod(path.c_str(), mode) == 0;
}

std::string GetCurrentDir() {
  std::vector<char> buffer(PATH_MAX + 1);
  if (::getcwd(buffer.data(), buffer.size()) == nullptr) return std::string();
  return buffer.data();
}

std::string ExpandFileName(const std::string& path) {
  std::string full = (!path.empty() && path[0] == '/') ? path : GetCurrentDir() + "/" + path;
  // Fold "." and ".." and doubled separators, keeping a trailing separator.
  std::vector<std::string> parts;
  std::size_t i = 0;
  while (i <= full.size()) {
    const std::size_t j = full.find('/', i);
    const std::string part = full.substr(i, j == std::string::npos ? std::string::npos : j - i);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    if (j == std::string::npos) break;
    i = j + 1;
  }
  std::string out;
  for (const auto& part : parts) out += "/" + part;
  if (out.empty()) out.push_back('/');
  if (full.size() > 1 && full.back() == '/' && out.back() != '/') out += '/';
  return out;
}

TFileHandle TFileHandle::Create(const std::string& path, TShare /*share*/) {
  // A folder or a read-only file cannot be replaced, as on Windows.
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    errno = EACCES;
    return TFileHandle();
  }
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
  return fd < 0 ? TFileHandle() : TFileHandle(fd);
}

TFileHandle TFileHandle::CreateNew(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  return fd < 0 ? TFileHandle() : TFileHandle(fd);
}

TFileHandle TFileHandle::Open(const std::string& path, TAccess access, TShare /*share*/) {
  int flags = O_CLOEXEC;
  switch (access) {
    case TAccess::Read:
      flags |= O_RDONLY;
      break;
    case TAccess::Write:
      flags |= O_WRONLY;
      break;
    case TAccess::ReadWrite:
      flags |= O_RDWR;
      break;
  }
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    errno = EISDIR;
    return TFileHandle();
  }
  // root may write anything; keep the read-only bit meaningful as Windows does.
  if (access != TAccess::Read && ::stat(path.c_str(), &st) == 0 &&
      (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    errno = EACCES;
    return TFileHandle();
  }
  const int fd = ::open(path.c_str(), flags);
  return fd < 0 ? TFileHandle() : TFileHandle(fd);
}

std::int64_t TFileHandle::ReadPiece(void* buffer, std::int64_t count) const {
  for (;;) {
    const ssize_t n = ::read(static_cast<int>(FValue), buffer, static_cast<std::size_t>(count));
    if (n >= 0 || errno != EINTR) return n < 0 ? -1 : n;
  }
}

std::int64_t TFileHandle::WritePiece(const void* buffer, std::int64_t count) const {
  for (;;) {
    const ssize_t n = ::write(static_cast<int>(FValue), buffer, static_cast<std::size_t>(count));
    if (n >= 0 || errno != EINTR) return n <= 0 ? -1 : n;
  }
}

std::int64_t TFileHandle::Seek(std::int64_t offset, int origin) const {
  const int whence = origin == 0 ? SEEK_SET : origin == 1 ? SEEK_CUR : SEEK_END;
  return ::lseek(static_cast<int>(FValue), offset, whence);
}

bool TFileHandle::SetSize(std::int64_t size) const {
  return ::ftruncate(static_cast<int>(FValue), size) == 0;
}

void TFileHandle::Close() {
  if (FValue != kInvalid) {
    ::close(static_cast<int>(FValue));
    FValue = kInvalid;
  }
}
