// The system-folder loader under Wine: modules come from the system folder or
// the manifest's assembly, both ways of loading; names that carry a folder
// and modules the system does not ship load nothing.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "rtl/SystemLibrary.h"
#include "rtl/Win32Text.h"

namespace {

using TLoader = HMODULE (*)(const char*);
constexpr TLoader kLoaders[] = {&LoadSystemLibrary, &LoadSystemLibraryByPath};

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string FolderOf(HMODULE module) {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameW(module, path, MAX_PATH);
  std::string text = WideToUtf8(std::wstring(path, length));
  return Lower(text.substr(0, text.find_last_of('\\')));
}

std::string SystemFolder() {
  wchar_t path[MAX_PATH] = {};
  const UINT length = ::GetSystemDirectoryW(path, MAX_PATH);
  return Lower(WideToUtf8(std::wstring(path, length)));
}

TEST(SystemLibrary, ComesFromTheSystemFolderEitherWay) {
  for (const TLoader load : kLoaders) {
    const HMODULE module = load("bcrypt.dll");
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(FolderOf(module), SystemFolder());
  }
}

TEST(SystemLibrary, LoadsNothingForAFolderOrAModuleTheSystemLacks) {
  const struct {
    const char* Name;
    DWORD Error;
  } cases[] = {
      {"IdnDL.dll", ERROR_MOD_NOT_FOUND},      // not on current Windows
      {"..\\bcrypt.dll", ERROR_INVALID_NAME},  // climbs out of the system folder
      {"C:\\Temp\\bcrypt.dll", ERROR_INVALID_NAME},
      {"sub/bcrypt.dll", ERROR_INVALID_NAME},
      {"C:bcrypt.dll", ERROR_INVALID_NAME},  // the drive's current folder
      {"", ERROR_INVALID_NAME},
  };
  for (const TLoader load : kLoaders) {
    for (const auto& c : cases) {
      EXPECT_EQ(load(c.Name), nullptr) << c.Name;
      EXPECT_EQ(::GetLastError(), c.Error) << c.Name;
    }
  }
}

// The installer's manifest binds comctl32 version 6 also when the module is
// loaded at run time, and on systems without the search flags too.
TEST(SystemLibrary, CommonControlsFollowTheInstallersManifest) {
  const std::wstring manifest = Utf8ToWide(TRAMELA_INSTALLER_MANIFEST);
  ACTCTXW context{};
  context.cbSize = sizeof context;
  context.lpSource = manifest.c_str();
  const HANDLE handle = ::CreateActCtxW(&context);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE) << ::GetLastError();
  ULONG_PTR cookie = 0;
  ASSERT_TRUE(::ActivateActCtx(handle, &cookie));
  for (const TLoader load : kLoaders) {
    const HMODULE module = load("comctl32.dll");
    ASSERT_NE(module, nullptr);
    EXPECT_NE(FolderOf(module).find("microsoft.windows.common-controls_6595b64144ccf1df_6."),
              std::string::npos)
        << FolderOf(module);
  }
  ::DeactivateActCtx(0, cookie);
  ::ReleaseActCtx(handle);
}

}  // namespace
