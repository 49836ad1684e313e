// Lists the drives, the free space of C: and the running process names, as the
// installer's probes see them. Natively, drive C: is the folder given as the
// only argument (the current folder when none).
#include <cstdio>
#include <string>

#include "probes/SystemProbes.h"

int main(int argc, char** argv) {
  const auto probes = CreateSystemProbes(argc > 1 ? argv[1] : "");
  std::printf("drives:");
  for (const auto& root : probes->ListLogicalDrives()) std::printf(" %s", root.c_str());
  std::printf("\nfree space of C: %lld bytes\n",
              static_cast<long long>(probes->GetFreeDiskSpace(3)));
  std::printf("processes:\n");
  for (const auto& name : probes->ListProcessNames()) std::printf("  %s\n", name.c_str());
  return 0;
}
