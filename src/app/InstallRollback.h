// What a run leaves when it does not succeed: nothing. The working folder that
// step 4 made, with everything below it, is removed again through the
// operations; a link found there goes itself and what it points to stays. The
// marker that step 4 writes first tells a later start that a folder is such an
// unfinished installation of this installer.
#pragma once

#include <string>
#include <vector>

#include "app/InstallOperations.h"

// The log line before the removal, and the one for each path that stays.
inline constexpr const char* kRollbackLine = "Odstranjevanje nepopolne namestitve... ";
inline constexpr const char* kRollbackFailedLine =
    "[Napaka] Nepopolne namestitve ni mogoče odstraniti: ";

// The marker file in the working folder, written before anything else of the
// package and removed only when a run has succeeded.
inline constexpr const char* kRunMarkerName = "TramelaNamestitev.nedokoncano";
std::string RunMarkerFile();  // in InstallDir
// The marker's content, for an administrator who finds it.
inline constexpr const char* kRunMarkerText =
    "Namestitev programa Tramela ni bila dokončana; naslednji zagon namestitve jo odstrani.\r\n";

// Whether folder is an installation of this installer that did not finish: a
// folder of its own (no link) holding the marker as a plain file, and no
// installed program.
bool IsUnfinishedInstallation(IInstallOperations& ops, const std::string& folder,
                              const std::string& programFile);

// Removes folder and everything below it, deepest first, never following a
// link; the paths that could not be removed, each once (a folder that stays
// only because something in it stayed is not counted again). Whatever holds a
// file in it must have let go first.
std::vector<std::string> RemoveInstallation(IInstallOperations& ops, const std::string& folder);
