// The zip component's published settings, as a form stores them: declared here
// once, for the component and for whoever makes one with stored settings.
#pragma once

#include <string>

enum class TZipSaveMethod { FastSave, RebuildAll };
enum class TZipCompressionType { ctNormal, ctMaximum, ctFast, ctSuperFast, ctNone, ctUnknown };
enum class TOverwriteAction { oaSkip, oaSkipAll, oaOverwrite, oaOverwriteAll };

// The defaults are the component's own.
struct TZipSettings {
  bool IsZipFile = false;  // stored with forms; assigning does nothing
  TZipSaveMethod SaveMethod = TZipSaveMethod::FastSave;
  bool StoreRelativePath = true;
  bool StoreFolders = true;
  TZipCompressionType CompressionType = TZipCompressionType::ctMaximum;
  bool UseTempFiles = false;
  TOverwriteAction OverwriteAction = TOverwriteAction::oaSkip;
  std::string ComponentVersion = "2.0";  // stored with forms; assigning does nothing
  bool ReadOnly = false;
  bool ApplyAtributes = true;
  bool Active = false;
};

// The settings the main window's stored form gives its Zipella1: overwrite
// every existing file, compression normal, attributes applied, not active.
inline TZipSettings MainWindowZipSettings() {
  TZipSettings settings;
  settings.CompressionType = TZipCompressionType::ctNormal;
  settings.OverwriteAction = TOverwriteAction::oaOverwriteAll;
  return settings;
}
