#include "TestSupport.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "rtl/FileSystem.h"
#include "rtl/Streams.h"

namespace testsupport {

TTempDir::TTempDir() {
  static std::atomic<int> counter{0};
  const char* area = std::getenv("TRAMELA_TEST_TMP");
  const std::filesystem::path base = (area != nullptr && *area != 0)
                                         ? std::filesystem::path(area)
                                         : std::filesystem::temp_directory_path();
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  for (;;) {
    FPath = base / ("t" + std::to_string(stamp % 1000000007) + "-" + std::to_string(counter++));
    std::error_code ec;
    std::filesystem::create_directories(base, ec);
    if (std::filesystem::create_directory(FPath, ec)) break;
    if (ec)
      throw std::runtime_error("cannot make a temporary folder below " + base.string() + ": " +
                               ec.message());
  }
}

TTempDir::~TTempDir() {
  std::error_code ec;
  // Read-only files left by attribute tests must not stop the clean-up.
  for (auto it = std::filesystem::recursive_directory_iterator(FPath, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add, ec);
  }
  std::filesystem::remove_all(FPath, ec);
}

bool PlatformEnforcesReadOnly() {
  static const bool enforced = [] {
    TTempDir dir;
    const std::string path = dir.File("probe");
    { TFileStream f(path, fmCreate); }
    FileSetAttr(path, faReadOnly);
    const bool refused =
        !TFileHandle::Open(path, TFileHandle::TAccess::ReadWrite, TFileHandle::TShare::DenyNone)
             .Valid();
    FileSetAttr(path, faArchive);
    return refused;
  }();
  return enforced;
}

std::string ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace testsupport
