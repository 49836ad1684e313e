// The real operations' package file: written afresh, read back through the
// handle that wrote it, and held against other writers until it is let go of.
#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"
#include "app/SystemOperations.h"
#include "rtl/FileSystem.h"

namespace {

using testsupport::TTempDir;

TEST(SystemOperationsSave, HoldsThePackageFileUntilItIsLetGoOf) {
  TTempDir dir;
  const std::string path = dir.File("TramelaCoreServer.zip");
  const std::string content = "PK\x03\x04 the package, byte for byte";
  TMemoryStream package;
  package.WriteBuffer(content.data(), static_cast<std::int64_t>(content.size()));
  TSystemOperations ops;
  std::unique_ptr<TStream> file = ops.SaveToFile(package, path);

  ASSERT_EQ(file->Size(), static_cast<std::int64_t>(content.size()));
  file->SetPosition(0);
  std::string back(content.size(), '\0');
  file->ReadBuffer(back.data(), static_cast<std::int64_t>(back.size()));
  EXPECT_EQ(back, content);
#ifdef _WIN32
  // Shared with nobody: no other handle can write, and the file cannot be removed.
  EXPECT_FALSE(
      TFileHandle::Open(path, TFileHandle::TAccess::Write, TFileHandle::TShare::DenyNone).Valid());
  EXPECT_FALSE(RemoveFile(path));
#endif
  // A file already there is never written through.
  EXPECT_THROW((void)ops.SaveToFile(package, path), EFCreateError);

  file.reset();
  EXPECT_TRUE(RemoveFile(path));
}

}  // namespace
