// Fuzz target: any bytes as an archive, opened and extracted by TZipella into
// a scratch folder. Besides crashes it catches any file written outside the
// target folder.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "rtl/Exceptions.h"
#include "zip/Zipella.h"

namespace fs = std::filesystem;

namespace {

constexpr std::int64_t kWriteBudget = std::int64_t{64} << 20;

// base/a/b/out is the target; base, a and b must hold nothing else afterwards.
const fs::path& Base() {
  static const fs::path base = [] {
    std::string pattern = (fs::temp_directory_path() / "zip-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    return fs::path(pattern);
  }();
  return base;
}

void CheckConfined(const fs::path& dir, const std::string& only) {
  for (const auto& item : fs::directory_iterator(dir)) {
    if (item.path().filename() != only) {
      std::fprintf(stderr, "written outside the target: %s\n", item.path().c_str());
      std::abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fs::path target = Base() / "a" / "b" / "out";
  fs::remove_all(Base() / "a");
  fs::create_directories(target);
  {
    TZipella zip;
    ApplyMainWindowSettings(zip);
    auto stream = std::make_unique<TMemoryStream>();
    stream->WriteBuffer(data, static_cast<std::int64_t>(size));
    // A small read buffer, its size taken from the input's, so that records
    // and entry data straddle refills and large entries bypass it.
    const auto bufferSize = static_cast<std::int64_t>(16 + size % 241);
    try {
      zip.LoadArchive(std::make_unique<TReadBufferStream>(std::move(stream), bufferSize));
      zip.Comment();
      zip.FileNames();
      // As the installer weighs a package against the free space: a megabyte
      // of deflate may honestly decode to a gigabyte, which no run should write.
      if (zip.UncompressedTotal() <= kWriteBudget) zip.ExtractAll(target.string());
    } catch (const Exception&) {
      // Refusing a damaged archive is the expected outcome.
    }
  }
  CheckConfined(Base(), "a");
  CheckConfined(Base() / "a", "b");
  CheckConfined(Base() / "a" / "b", "out");
  return 0;
}
