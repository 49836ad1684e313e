// idhttp-get URL FILE: downloads URL with a client at every default setting,
// writing the body into FILE as it arrives, as curl does: one write of the
// whole body at the end waits on the file system for as long as the transfer
// took, and by how much varies from run to run. On failure removes FILE,
// prints the exception's class and message and exits with 1.
#include <cstdio>
#include <exception>
#include <memory>
#include <string>

#include "http/IdHTTP.h"
#include "rtl/Exceptions.h"
#include "rtl/FileSystem.h"
#include "rtl/Streams.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: idhttp-get URL FILE\n");
    return 2;
  }
  bool created = false;
  try {
    // Both are freed on every way out, as the installer's protected block does.
    const auto client = std::make_unique<TIdHTTP>();
    const auto file = std::make_unique<TFileStream>(argv[2], fmCreate);
    created = true;
    client->Get(argv[1], file.get());
  } catch (const std::exception& e) {
    // Nothing that failed is left looking like a download.
    if (created) [[maybe_unused]]
      const bool removed = RemoveFile(argv[2]);
    std::fprintf(stderr, "%s: %s\n", ClassNameOf(e).c_str(), e.what());
    return 1;
  }
  return 0;
}
