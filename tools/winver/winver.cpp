// Prints the display name of the running Windows version.
#include <cstdio>
#include <exception>

#include "probes/GetWinVersionInfo.h"
#include "rtl/Exceptions.h"

int main() {
  try {
    std::printf("%s\n", GetWinVersionName().c_str());
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", ClassNameOf(e).c_str(), e.what());
    return 1;
  }
}
