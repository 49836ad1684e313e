#include "app/InstallRollback.h"

#include <algorithm>
#include <cstddef>

#include "app/HalvexConst.h"

std::string RunMarkerFile() { return std::string(InstallDir) + "\\" + kRunMarkerName; }

bool IsUnfinishedInstallation(IInstallOperations& ops, const std::string& folder,
                              const std::string& programFile) {
  // ListFolder refuses a link in the folder's place: such a thing was never made by a run.
  const auto entries = ops.ListFolder(folder);
  if (!entries || ops.FileExists(programFile)) return false;
  return std::any_of(entries->begin(), entries->end(), [](const TFolderEntry& e) {
    return e.Kind == TEntryKind::File && e.Name == kRunMarkerName;
  });
}

namespace {
// A folder waiting for its removal: first its entries go, then, on the second
// visit, the folder itself.
struct TPendingFolder {
  std::string Path;
  bool Listed = false;
  std::size_t FailuresBefore = 0;
};
}  // namespace

std::vector<std::string> RemoveInstallation(IInstallOperations& ops, const std::string& folder) {
  std::vector<std::string> failed;
  // A stack of its own rather than recursion: an archive may nest thousands of levels.
  std::vector<TPendingFolder> pending{{folder}};
  while (!pending.empty()) {
    if (pending.back().Listed) {
      const TPendingFolder done = pending.back();
      pending.pop_back();
      if (!ops.RemoveEntry(done.Path, TEntryKind::Folder) && failed.size() == done.FailuresBefore)
        failed.push_back(done.Path);
      continue;
    }
    pending.back().Listed = true;
    pending.back().FailuresBefore = failed.size();
    const std::string path = pending.back().Path;
    // A folder that cannot be read is still tried; its removal then reports it.
    const auto entries = ops.ListFolder(path);
    if (!entries) continue;
    for (const TFolderEntry& entry : *entries) {
      const std::string child = path + "\\" + entry.Name;
      if (entry.Kind == TEntryKind::Folder) {
        pending.push_back({child});
      } else if (!ops.RemoveEntry(child, entry.Kind)) {
        failed.push_back(child);
      }
    }
  }
  return failed;
}
