// The file edge where others may have been first: the installer's private
// folder, files made only afresh, and folders and files made without
// following a link someone put in their place.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "TestSupport.h"
#include "rtl/FileSystem.h"
#include "rtl/Streams.h"

#ifdef _WIN32
#include <windows.h>
#include <aclapi.h>
#else
#include <sys/stat.h>
#endif

namespace {

using testsupport::TTempDir;

TEST(PrivateDir, IsMadeOnceAndNeverOverSomethingThere) {
  TTempDir dir;
  const std::string path = dir.File("Tramela");
  EXPECT_EQ(CreatePrivateDir(path), TPrivateDirResult::Created);
  EXPECT_TRUE(DirectoryExists(path));
  EXPECT_EQ(CreatePrivateDir(path), TPrivateDirResult::Exists)
      << "a folder made by another is not taken over";
  testsupport::WriteFileBytes(dir.Path() / "file", "x");
  EXPECT_EQ(CreatePrivateDir(dir.File("file")), TPrivateDirResult::Exists);
  EXPECT_EQ(CreatePrivateDir(dir.File("missing") + PathDelim + "child"), TPrivateDirResult::Failed);
}

#ifdef _WIN32
PSID WellKnown(WELL_KNOWN_SID_TYPE type, BYTE (&buffer)[SECURITY_MAX_SID_SIZE]) {
  DWORD size = sizeof buffer;
  EXPECT_TRUE(::CreateWellKnownSid(type, nullptr, buffer, &size));
  return buffer;
}

bool RunningOnWine() {
  const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// The folder's list as the system reads it back.
class TReadDacl {
 public:
  explicit TReadDacl(const std::string& path) {
    Status = ::GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                     nullptr, nullptr, &Dacl, nullptr, &FDescriptor);
  }
  ~TReadDacl() { ::LocalFree(FDescriptor); }
  TReadDacl(const TReadDacl&) = delete;
  TReadDacl& operator=(const TReadDacl&) = delete;
  SECURITY_DESCRIPTOR_CONTROL Control() const {
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ::GetSecurityDescriptorControl(FDescriptor, &control, &revision);
    return control;
  }
  const ACCESS_ALLOWED_ACE* Ace(DWORD i) const {
    void* raw = nullptr;
    return ::GetAce(Dacl, i, &raw) ? static_cast<const ACCESS_ALLOWED_ACE*>(raw) : nullptr;
  }
  PSID SidOf(const ACCESS_ALLOWED_ACE* ace) const { return const_cast<DWORD*>(&ace->SidStart); }
  DWORD Status = 0;
  PACL Dacl = nullptr;

 private:
  PSECURITY_DESCRIPTOR FDescriptor = nullptr;
};

// Windows enforces the list; Wine keeps none of its own and reads back one
// derived from the folder's mode, so there only "nobody else may write" shows.
TEST(PrivateDir, GivesOtherUsersNoWayToChangeIt) {
  TTempDir dir;
  const std::string path = dir.File("Tramela");
  ASSERT_EQ(CreatePrivateDir(path), TPrivateDirResult::Created);
  const TReadDacl dacl(path);
  ASSERT_EQ(dacl.Status, static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_NE(dacl.Dacl, nullptr);
  BYTE everyone[SECURITY_MAX_SID_SIZE], users[SECURITY_MAX_SID_SIZE],
      authenticated[SECURITY_MAX_SID_SIZE];
  const PSID others[] = {WellKnown(WinWorldSid, everyone), WellKnown(WinBuiltinUsersSid, users),
                         WellKnown(WinAuthenticatedUserSid, authenticated)};
  constexpr DWORD kChanging = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                              FILE_WRITE_ATTRIBUTES | FILE_DELETE_CHILD | DELETE | WRITE_DAC |
                              WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
  for (DWORD i = 0; i < dacl.Dacl->AceCount; ++i) {
    const ACCESS_ALLOWED_ACE* ace = dacl.Ace(i);
    ASSERT_NE(ace, nullptr);
    if (ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
    for (const PSID other : others) {
      if (::EqualSid(dacl.SidOf(ace), other)) {
        EXPECT_EQ(ace->Mask & kChanging, 0u) << "entry " << i;
      }
    }
  }
  if (RunningOnWine()) return;
  EXPECT_NE(dacl.Control() & SE_DACL_PROTECTED, 0) << "the parent's entries must not flow in";
  ASSERT_EQ(dacl.Dacl->AceCount, 3);
  BYTE system[SECURITY_MAX_SID_SIZE], admins[SECURITY_MAX_SID_SIZE];
  const struct {
    PSID Sid;
    DWORD Mask;
  } expected[] = {{WellKnown(WinLocalSystemSid, system), FILE_ALL_ACCESS},
                  {WellKnown(WinBuiltinAdministratorsSid, admins), FILE_ALL_ACCESS},
                  {others[1], FILE_GENERIC_READ | FILE_GENERIC_EXECUTE}};
  for (DWORD i = 0; i < 3; ++i) {
    const ACCESS_ALLOWED_ACE* ace = dacl.Ace(i);
    EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE) << i;
    EXPECT_EQ(ace->Header.AceFlags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE) << i;
    EXPECT_EQ(ace->Mask, expected[i].Mask) << i;
    EXPECT_TRUE(::EqualSid(dacl.SidOf(ace), expected[i].Sid)) << i;
  }
}
#else
TEST(PrivateDir, HasMode0755WhateverTheUmask) {
  TTempDir dir;
  const mode_t saved = ::umask(077);
  const TPrivateDirResult result = CreatePrivateDir(dir.File("Tramela"));
  ::umask(saved);
  ASSERT_EQ(result, TPrivateDirResult::Created);
  struct stat st {};
  ASSERT_EQ(::stat(dir.File("Tramela").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0755u);
}

TEST(PrivateDir, LinkInItsPlaceIsNotFollowed) {
  TTempDir dir;
  std::filesystem::create_directory(dir.Path() / "elsewhere");
  std::filesystem::create_directory_symlink(dir.Path() / "elsewhere", dir.Path() / "Tramela");
  EXPECT_EQ(CreatePrivateDir(dir.File("Tramela")), TPrivateDirResult::Exists);
}

// A link planted where extraction makes a folder or a file must not lead it elsewhere.
TEST(NoFollow, ExtractionPathsRefuseLinks) {
  TTempDir dir;
  const auto elsewhere = dir.Path() / "elsewhere";
  std::filesystem::create_directory(elsewhere);
  testsupport::WriteFileBytes(elsewhere / "victim", "keep");
  std::filesystem::create_directory_symlink(elsewhere, dir.Path() / "Install");
  std::filesystem::create_symlink(elsewhere / "victim", dir.Path() / "setup.exe");

  EXPECT_FALSE(ForceDirectories(dir.File("Install") + "/sub"));
  EXPECT_FALSE(std::filesystem::exists(elsewhere / "sub"));
  EXPECT_FALSE(TFileHandle::Create(dir.File("setup.exe"), TFileHandle::TShare::Exclusive).Valid());
  EXPECT_FALSE(TFileHandle::CreateNew(dir.File("setup.exe")).Valid());
  EXPECT_EQ(testsupport::ReadFileBytes(elsewhere / "victim"), "keep");
}

TEST(NoFollow, NewFilesAreMadeAfreshWithMode0644) {
  TTempDir dir;
  const std::string path = dir.File("TramelaCoreServer.zip");
  {
    const TFileHandle file = TFileHandle::CreateNew(path);
    ASSERT_TRUE(file.Valid());
    EXPECT_EQ(file.Write("PK", 2), 2);
  }
  EXPECT_FALSE(TFileHandle::CreateNew(path).Valid()) << "a file already there is not taken over";
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(
      st.st_mode & 0777, 0644u & ~[] {
        const mode_t m = ::umask(0);
        ::umask(m);
        return m;
      }());
}
#endif

}  // namespace
