// idhttp-get URL FILE: downloads URL the way the installer does (a client with
// every setting at its default, GET into a memory stream, saved to FILE).
// On failure prints the exception's class and message and exits with 1.
#include <cstdio>
#include <exception>
#include <memory>
#include <string>

#include "http/IdHTTP.h"
#include "rtl/Exceptions.h"
#include "rtl/Streams.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: idhttp-get URL FILE\n");
    return 2;
  }
  try {
    // Both are freed on every way out, as the installer's protected block does.
    const auto stream = std::make_unique<TMemoryStream>();
    const auto client = std::make_unique<TIdHTTP>();
    client->Get(argv[1], stream.get());
    stream->SaveToFile(argv[2]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", ClassNameOf(e).c_str(), e.what());
    return 1;
  }
  return 0;
}
