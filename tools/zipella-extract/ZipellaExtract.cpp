// zipella-extract ARCHIVE TARGET: extracts every entry of ARCHIVE below the
// folder TARGET with the installer's zip component, replacing existing files.
#include <cstdio>
#include <exception>
#include <string>

#include "rtl/Exceptions.h"
#include "rtl/FileSystem.h"
#include "zip/Zipella.h"

namespace {

const char* MethodName(std::uint16_t method) {
  switch (method) {
    case kMethodStored:
      return "stored";
    case kMethodDeflated:
      return "deflated";
    default:
      return "method";
  }
}

int Run(const std::string& archive, const std::string& target) {
  TZipella zip;
  zip.SetOverwriteAction(TOverwriteAction::oaOverwriteAll);
  zip.Open(archive);
  if (!zip.IsZipFile()) {
    std::fprintf(stderr, "%s is not a zip archive\n", archive.c_str());
    return 1;
  }
  // The component makes the entries' folders, not the target itself.
  if (!ForceDirectories(target)) {
    std::fprintf(stderr, "cannot create the folder %s\n", target.c_str());
    return 1;
  }
  zip.ExtractAll(target);
  const TZipellaEntries& entries = zip.Entries();
  for (int i = 0; i < entries.Count(); ++i) {
    const TZipellaEntriesEntry& entry = entries.Entry(i);
    const TCentralDirectoryHeader& h = entry.CentralRecord.Header;
    const std::string name = TZipella::EntryFolder(entry.CentralRecord.FileName) +
                             TZipella::EntryFileName(entry.CentralRecord.FileName);
    if (entry.IsDirectory) {
      std::printf("%-8s %10s %s\n", "folder", "", name.c_str());
    } else {
      std::printf("%-8s %10u %s\n", MethodName(h.Method), static_cast<unsigned>(h.UncompressedSize),
                  name.c_str());
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: zipella-extract ARCHIVE TARGET\n");
    return 2;
  }
  try {
    return Run(argv[1], argv[2]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", ClassNameOf(e).c_str(), e.what());
    return 1;
  }
}
