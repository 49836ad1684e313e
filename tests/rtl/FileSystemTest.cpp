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
  EXPECT_EQ(CreatePrivateDir(path), TPrivateDirResult::Exists) << "a folder made by another is not taken over";
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

// Wine keeps but does not enforce the list; what is read back is what Windows enforces.
TEST(PrivateDir, CarriesOnlyTheInstallersAccessList) {
  TTempDir dir;
  const std::string path = dir.File("Tramela");
  ASSERT_EQ(CreatePrivateDir(path), TPrivateDirResult::Created);
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_EQ(::GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                    nullptr, &descriptor),
            static_cast<DWORD>(ERROR_SUCCESS));
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(::GetSecurityDescriptorControl(descriptor, &control, &revision));
  EXPECT_NE(control & SE_DACL_PROTECTED, 0) << "the parent's entries must not flow in";
  ASSERT_NE(dacl, nullptr);
  ASSERT_EQ(dacl->AceCount, 3);
  BYTE system[SECURITY_MAX_SID_SIZE], admins[SECURITY_MAX_SID_SIZE], users[SECURITY_MAX_SID_SIZE];
  const struct {
    PSID Sid;
    DWORD Mask;
  } expected[] = {{WellKnown(WinLocalSystemSid, system), FILE_ALL_ACCESS},
                  {WellKnown(WinBuiltinAdministratorsSid, admins), FILE_ALL_ACCESS},
                  {WellKnown(WinBuiltinUsersSid, users), FILE_GENERIC_READ | FILE_GENERIC_EXECUTE}};
  for (DWORD i = 0; i < 3; ++i) {
    void* raw = nullptr;
    ASSERT_TRUE(::GetAce(dacl, i, &raw));
    const auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(raw);
    EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE) << i;
    EXPECT_EQ(ace->Header.AceFlags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE) << i;
    EXPECT_EQ(ace->Mask, expected[i].Mask) << i;
    EXPECT_TRUE(::EqualSid(const_cast<DWORD*>(&ace->SidStart), expected[i].Sid)) << i;
  }
  ::LocalFree(descriptor);
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
  EXPECT_EQ(st.st_mode & 0777, 0644u & ~[] { const mode_t m = ::umask(0); ::umask(m); return m; }());
}
#endif

}  // namespace
