// Native builds have no version records: the inputs are whatever a test set,
// and nothing available (so "Error") until then.
#include <mutex>

#include "probes/GetWinVersionInfo.h"

namespace {
// The one seam through which native tests choose the system to be named.
std::mutex gLock;
TWinVersionInputs gInputs;
}  // namespace

void SetWinVersionInputs(const TWinVersionInputs& inputs) {
  const std::lock_guard<std::mutex> guard(gLock);
  gInputs = inputs;
}

TWinVersionInputs ReadWinVersionInputs() {
  const std::lock_guard<std::mutex> guard(gLock);
  return gInputs;
}
