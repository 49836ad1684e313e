#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "TestSupport.h"
#include "probes/SystemProbes.h"
#include "rtl/FileSystem.h"

namespace {

using testsupport::TTempDir;

// The probes as the build has them; natively drive C: is a temporary folder.
class SystemProbes : public ::testing::Test {
 protected:
  TTempDir drive;
  std::unique_ptr<ISystemProbes> probes = CreateSystemProbes(drive.Str());
  // A path on C: for this test alone.
  std::string OnC(const std::string& name) {
#ifdef _WIN32
    return drive.Str() + "\\" + name;
#else
    return "C:\\" + name;
#endif
  }
};

TEST_F(SystemProbes, DriveListHoldsCAndItsFreeSpaceIsPositive) {
  const auto drives = probes->ListLogicalDrives();
  EXPECT_NE(std::find(drives.begin(), drives.end(), "C:\\"), drives.end());
  for (const auto& root : drives) EXPECT_EQ(root.size(), 3u) << root;
  EXPECT_GT(probes->GetFreeDiskSpace(3), 0);
  EXPECT_GT(probes->GetFreeDiskSpace(0), 0);
  // No drive Y: here, and drive numbers outside A..Z name none.
  EXPECT_EQ(probes->GetFreeDiskSpace(25), -1);
}

TEST_F(SystemProbes, FolderCallsAnswerTheirTruth) {
  const std::string dir = OnC("Tramela");
  EXPECT_FALSE(probes->DirectoryExists(dir));
  EXPECT_TRUE(probes->CreateDirectory(dir));
  EXPECT_FALSE(probes->CreateDirectory(dir)) << "an existing folder is not created again";
  EXPECT_TRUE(probes->DirectoryExists(dir));
  EXPECT_FALSE(probes->FileExists(dir)) << "a folder is no file";
  const std::string file = dir + (dir.find('\\') != std::string::npos ? "\\" : "/") + "Tramela.exe";
  EXPECT_FALSE(probes->CreateDirectory(OnC("missing\\child")));
#ifdef _WIN32
  testsupport::WriteFileBytes(file, "x");
#else
  testsupport::WriteFileBytes(drive.Path() / "Tramela" / "Tramela.exe", "x");
#endif
  EXPECT_TRUE(probes->FileExists(file));
  EXPECT_FALSE(probes->RemoveDirectory(dir)) << "a folder that holds a file stays";
  EXPECT_TRUE(probes->DirectoryExists(dir));
  EXPECT_TRUE(probes->DeleteFile(file));
  EXPECT_FALSE(probes->DeleteFile(file));
  EXPECT_TRUE(probes->RemoveDirectory(dir));
  EXPECT_FALSE(probes->DirectoryExists(dir));
}

TEST_F(SystemProbes, ProcessListNamesThisTestProgram) {
  const auto names = probes->ListProcessNames();
#ifdef _WIN32
  const std::string self = "probes_tests.exe";
#else
  const std::string self = "probes_tests";
#endif
  EXPECT_NE(std::find(names.begin(), names.end(), self), names.end());
#ifdef _WIN32
  for (const auto& n : names)
    EXPECT_EQ(n.find('\\'), std::string::npos) << "a path instead of a name: " << n;
#endif
}

TEST_F(SystemProbes, RunProgramWaitsInTheGivenFolderAndAnswersTheExitCode) {
  // A relative name: the file lands in the program's current folder.
#ifdef _WIN32
  const TProgramStart start{"C:\\windows\\system32\\cmd.exe",
                            "cmd.exe /c \"echo started> started.txt& exit 3\"", drive.Str()};
#else
  const TProgramStart start{"/bin/sh", "/bin/sh -c \"echo started > started.txt; exit 3\"", "C:\\"};
#endif
  EXPECT_EQ(probes->RunProgram(start), std::optional<std::uint32_t>(3));
  // Waited for: the file is there at once.
  EXPECT_TRUE(FileExists(drive.File("started.txt")))
      << "not run in its folder: " << start.CommandLine;
  // Only the named file runs, never one looked up along a search path.
  EXPECT_EQ(probes->RunProgram({"C:\\no\\such\\program-7f3a.exe", "program-7f3a.exe /S", ""}),
            std::nullopt);
  EXPECT_EQ(probes->RunProgram({"sh", "sh -c true", ""}), std::nullopt);
}

TEST(CommandLine, SplitsOnBlanksAndKeepsQuotedRuns) {
  EXPECT_EQ(SplitCommandLine("C:\\Tramela\\Install\\setup.exe /VERYSILENT  /SP-"),
            (std::vector<std::string>{"C:\\Tramela\\Install\\setup.exe", "/VERYSILENT", "/SP-"}));
  EXPECT_EQ(SplitCommandLine("\"C:\\Program Files\\x.exe\" \"\" a"),
            (std::vector<std::string>{"C:\\Program Files\\x.exe", "", "a"}));
}

}  // namespace
