// A run that does not succeed leaves nothing of itself, and the next start
// works: the failure paths after the working folder was made, a run ended from
// outside (its marker), the database server's setup and its exit code, and the
// removal itself on a real drive, links and all.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "AppFixture.h"
#include "TestSupport.h"
#include "app/InstallRollback.h"
#include "app/SystemOperations.h"

namespace {

using TRows = std::vector<std::pair<std::string, int>>;
const std::string kFailed = "Pri namestitvi je prišlo do napak.";
const std::string kSuccess = "Namestitev programa Tramela je uspešno končana.";
const std::string kStuckLine = kRollbackFailedLine;
const std::map<std::string, std::string> kThreeEntries{
    {"Baza\\vzorec.bin", "0123456789"},
    {"Dokumentacija\\Berime.txt", "Berime"},
    {"Install\\Firebird-2.1.3.18185_0_Win32.exe", "MZ"}};

class Rollback : public TAppTest {
 protected:
  std::vector<std::string> Tail(std::size_t n) const {
    const auto log = Log();
    return {log.end() - static_cast<std::ptrdiff_t>(std::min(n, log.size())), log.end()};
  }
  // A later start on the same drive: the wizard, not a notice, and a run that succeeds.
  void ExpectNextStartInstalls() {
    Restart();
    const int quits = Platform.QuitPosts;
    Start();
    EXPECT_TRUE(Notices.empty());
    Platform.Press(Main->_btnPotrdi);
    EXPECT_EQ(Platform.QuitPosts, quits);
    ASSERT_EQ(Notices.size(), 1u);
    EXPECT_EQ(Notices[0].Lines, std::vector<std::string>{kSuccess});
    EXPECT_TRUE(Main->InstallOk);
    EXPECT_EQ(Ops.Files.count(RunMarkerFile()), 0u);
  }
};

struct TFailure {
  const char* Name;
  std::function<void(TFakeOperations&, THeadlessPlatform&, T_frmMain&)> Arrange;
  std::string Row;
  std::string Line;  // the step's log line before the removal
};

class FailedRun : public Rollback, public ::testing::WithParamInterface<TFailure> {};

TEST_P(FailedRun, LeavesNothingThatItMadeAndTheNextStartInstalls) {
  Ops.PackageEntries = kThreeEntries;
  GetParam().Arrange(Ops, Platform, *Main);
  RunInstall();
  EXPECT_EQ(Rows().back(), (std::pair<std::string, int>{GetParam().Row, StepFailed}));
  EXPECT_EQ(Tail(3), (std::vector<std::string>{GetParam().Line, kRollbackLine, kFailed}));
  EXPECT_EQ(Ops.Everything(), std::set<std::string>{});
  EXPECT_FALSE(Main->InstallOk);

  Ops.SaveFailsFor.clear();
  Ops.ExtractFailsAt = -1;
  Ops.ExtractStallsUntilCancel = false;
  Ops.RunProgramStarts = true;
  Ops.SetupExitCode = 0;
  Platform.BusyHandler = nullptr;
  ExpectNextStartInstalls();
}

const TFailure kFailures[] = {
    {"PackageWriteFails",
     [](TFakeOperations& o, THeadlessPlatform&, T_frmMain&) { o.SaveFailsFor = PackageFile(); },
     "4",
     "Cannot write file \"C:\\Tramela\\TramelaCoreServer.zip\". There is not enough space on the "
     "disk."},
    {"ExtractionFailsAtTheLastEntry",
     [](TFakeOperations& o, THeadlessPlatform&, T_frmMain&) { o.ExtractFailsAt = 2; }, "5",
     "CRC error in Install\\Firebird-2.1.3.18185_0_Win32.exe"},
    {"StopDuringExtraction",
     [](TFakeOperations& o, THeadlessPlatform& p, T_frmMain& m) {
       o.ExtractStallsUntilCancel = true;
       p.BusyHandler = [&p, &m] {
         if (m._lblNapredek.Caption() == "Datoteka 3 od 10") p.Press(m._btnPreklici);
       };
     },
     "5", kCancelledLine},
    {"SetupDoesNotStart",
     [](TFakeOperations& o, THeadlessPlatform&, T_frmMain&) { o.RunProgramStarts = false; }, "6",
     "[Napaka] Namestitve Firebird SQL strežnika ni mogoče zagnati: The system cannot find the "
     "file specified."},
    {"SetupExitsWithFour",
     [](TFakeOperations& o, THeadlessPlatform&, T_frmMain&) { o.SetupExitCode = 4; }, "6",
     "[Napaka] Namestitev Firebird SQL strežnika ni uspela (izhodna koda 4): Med nameščanjem je "
     "prišlo do usodne napake."},
};
INSTANTIATE_TEST_SUITE_P(Paths, FailedRun, ::testing::ValuesIn(kFailures),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(Rollback, PackageThatCannotFitFailsStepFourBeforeAnythingIsWritten) {
  Ops.FreeBytes = static_cast<std::int64_t>(Ops.Body.size()) - 1 + kGiB;
  Ops.OnGet = [this](const std::string&) {
    Ops.FreeBytes = static_cast<std::int64_t>(Ops.Body.size()) - 1;
  };
  RunInstall();
  EXPECT_EQ(Rows().back(), (std::pair<std::string, int>{"4", StepFailed}));
  EXPECT_EQ(Tail(2),
            (std::vector<std::string>{
                "[Napaka] Na pogonu C: ni dovolj prostora za namestitveni paket... ", kFailed}));
  EXPECT_EQ(Ops.Everything(), std::set<std::string>{});
}

// ---- The database server's setup

struct TExitCase {
  std::uint32_t Code;
  int Row6;
  std::string Line;  // empty: success
};

class SetupExit : public Rollback, public ::testing::WithParamInterface<TExitCase> {};

TEST_P(SetupExit, DecidesTheOutcome) {
  Ops.SetupExitCode = GetParam().Code;
  RunInstall();
  EXPECT_EQ(Rows().at(5), (std::pair<std::string, int>{"6", GetParam().Row6}));
  ASSERT_EQ(Notices.size(), 1u);
  if (GetParam().Line.empty()) {
    EXPECT_EQ(Notices[0].Lines, std::vector<std::string>{kSuccess});
    EXPECT_EQ(Ops.Files.count("C:\\Tramela\\Install\\Firebird-2.1.3.18185_0_Win32.exe"), 1u);
  } else {
    EXPECT_EQ(Tail(3), (std::vector<std::string>{GetParam().Line, kRollbackLine, kFailed}));
    EXPECT_EQ(Ops.Everything(), std::set<std::string>{});
  }
}
INSTANTIATE_TEST_SUITE_P(
    Codes, SetupExit,
    ::testing::Values(
        TExitCase{0, StepDone, ""},
        TExitCase{4, StepFailed,
                  "[Napaka] Namestitev Firebird SQL strežnika ni uspela (izhodna koda 4): Med "
                  "nameščanjem je prišlo do usodne napake."},
        TExitCase{8, StepFailed,
                  "[Napaka] Namestitev Firebird SQL strežnika ni uspela (izhodna koda 8): "
                  "Namestitve ni mogoče nadaljevati, dokler se računalnik ne zažene znova. Pred "
                  "novim poskusom znova zaženite računalnik."}));

TEST_F(Rollback, SetupIsTheHeldFileRunInItsOwnFolder) {
  RunInstall();
  ASSERT_EQ(Ops.RunStarts.size(), 1u);
  EXPECT_EQ(Ops.RunStarts[0].Application, "C:\\Tramela\\Install\\Firebird-2.1.3.18185_0_Win32.exe");
  EXPECT_EQ(Ops.RunStarts[0].CurrentDir, "C:\\Tramela\\Install");
  // The command line names the same file first.
  EXPECT_EQ(Ops.RunStarts[0].CommandLine.rfind(Ops.RunStarts[0].Application + " ", 0), 0u);
}

TEST_F(Rollback, WhileTheSetupRunsNeitherCancelNorCloseIsActedOn) {
  Ops.SetupMs = 300;
  std::string shown;
  Platform.BusyHandler = [&] {
    if (Main->_lblNapredek.Caption() != "Nameščanje Firebird SQL strežnika...") return;
    shown = Main->_lblNapredek.Caption();
    EXPECT_TRUE(Main->_barNapredek.Marquee());
    EXPECT_TRUE(Notices.empty());  // the outcome waits for the setup's end
    Platform.Press(Main->_btnPreklici);
    Platform.PressEscape();
    Platform.SystemClose(*Main);
  };
  RunInstall();
  EXPECT_EQ(shown, "Nameščanje Firebird SQL strežnika...");
  EXPECT_GT(Platform.IgnoredInput, 0);
  EXPECT_TRUE(Main->InstallOk);
  EXPECT_EQ(Platform.QuitPosts, 0);
  ASSERT_EQ(Notices.size(), 1u);
  EXPECT_EQ(Notices[0].Lines, std::vector<std::string>{kSuccess});
}

// ---- A run ended from outside

TEST_F(Rollback, RunEndedDuringExtractionIsRemovedAtTheNextStart) {
  Ops.PackageEntries = kThreeEntries;
  Ops.ExtractStallsUntilCancel = true;
  std::set<std::string> dirs;
  std::map<std::string, std::string> files;
  Platform.BusyHandler = [&] {
    if (Main->_lblNapredek.Caption() != "Datoteka 3 od 10") return;
    // The drive as the process left it when it was ended here.
    dirs = Ops.Directories;
    files = Ops.Files;
    Platform.Press(Main->_btnPreklici);
  };
  RunInstall();
  ASSERT_EQ(files.count(RunMarkerFile()), 1u) << "the marker is written first";
  Ops.Directories = dirs;
  Ops.Files = files;
  // Something of another's that a link in the folder points to.
  Ops.Directories.insert("D:\\Podatki");
  Ops.Files["D:\\Podatki\\baza.fdb"] = "data";
  Ops.Links["C:\\Tramela\\Baza"] = "D:\\Podatki";
  Ops.ExtractStallsUntilCancel = false;
  Platform.BusyHandler = nullptr;

  Restart();
  Start();
  ASSERT_EQ(Notices.size(), 1u);
  EXPECT_EQ(Notices[0].Title, "Kontrola namestitve");
  EXPECT_EQ(Notices[0].Lines, (std::vector<std::string>{"Prejšnja namestitev ni bila dokončana.",
                                                        "Nepopolna namestitev bo odstranjena."}));
  EXPECT_EQ(Log(), std::vector<std::string>{kRollbackLine});
  EXPECT_FALSE(Platform.QuitPending());
  EXPECT_EQ(Ops.Everything(), (std::set<std::string>{
                                  "D:\\Podatki", "D:\\Podatki\\baza.fdb"}));  // the link alone went
  Notices.clear();
  Platform.Press(Main->_btnNaprej);
  Platform.Press(Main->_btnPotrdi);
  ASSERT_EQ(Notices.size(), 1u);
  EXPECT_EQ(Notices[0].Lines, std::vector<std::string>{kSuccess});
}

struct TFolderAtStart {
  const char* Name;
  std::function<void(TFakeOperations&)> Arrange;
};

class NotOurs : public Rollback, public ::testing::WithParamInterface<TFolderAtStart> {};

TEST_P(NotOurs, IsRefusedAsAnEarlierInstallationAndKept) {
  GetParam().Arrange(Ops);
  const auto before = Ops.Everything();
  Start();
  ASSERT_GE(Notices.size(), 1u);
  EXPECT_EQ(Notices[0].Lines.at(0), "Mrežna namestitev programa Tramela že obstaja.");
  EXPECT_TRUE(Platform.QuitPending());
  EXPECT_EQ(Ops.Everything(), before);
}
INSTANTIATE_TEST_SUITE_P(Folders, NotOurs,
                         ::testing::Values(TFolderAtStart{"WithoutMarker",
                                                          [](TFakeOperations& o) {
                                                            o.Directories.insert("C:\\Tramela");
                                                            o.Files["C:\\Tramela\\x.txt"] = "x";
                                                          }},
                                           TFolderAtStart{"WithTheInstalledProgram",
                                                          [](TFakeOperations& o) {
                                                            o.Directories.insert("C:\\Tramela");
                                                            o.Files[RunMarkerFile()] =
                                                                kRunMarkerText;
                                                            o.Files["C:\\Tramela\\Tramela.exe"] =
                                                                "MZ";
                                                          }},
                                           TFolderAtStart{"MarkerThatIsAFolder",
                                                          [](TFakeOperations& o) {
                                                            o.Directories.insert("C:\\Tramela");
                                                            o.Directories.insert(RunMarkerFile());
                                                          }},
                                           TFolderAtStart{"FolderThatIsALink",
                                                          [](TFakeOperations& o) {
                                                            o.Directories.insert("C:\\Tramela");
                                                            o.Links["C:\\Tramela"] = "D:\\";
                                                            o.Files[RunMarkerFile()] =
                                                                kRunMarkerText;
                                                          }}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(Rollback, WhatCannotBeRemovedIsNamedOnceAndTheRunStaysFailed) {
  Ops.PackageEntries = kThreeEntries;
  Ops.ExtractFailsAt = 2;
  Ops.Stuck = {"C:\\Tramela\\Baza\\vzorec.bin"};
  RunInstall();
  EXPECT_EQ(Tail(3), (std::vector<std::string>{
                         kRollbackLine, kStuckLine + "C:\\Tramela\\Baza\\vzorec.bin", kFailed}));
  EXPECT_EQ(Ops.Everything(), (std::set<std::string>{"C:\\Tramela", "C:\\Tramela\\Baza",
                                                     "C:\\Tramela\\Baza\\vzorec.bin"}));
  EXPECT_FALSE(Main->InstallOk);
}

TEST_F(Rollback, MarkerThatCannotGoFailsTheRunRatherThanLeaveItForRemoval) {
  Ops.Stuck = {RunMarkerFile()};
  RunInstall();
  EXPECT_FALSE(Main->InstallOk);
  EXPECT_EQ(Tail(4),
            (std::vector<std::string>{
                "[Napaka] Oznake nedokončane namestitve ni mogoče odstraniti: " + RunMarkerFile(),
                kRollbackLine, kStuckLine + RunMarkerFile(), kFailed}));
  EXPECT_EQ(Ops.Everything(), (std::set<std::string>{"C:\\Tramela", RunMarkerFile()}));
}

// ---- The removal on a real drive

TEST(RemoveInstallation, TakesTheWholeTreeButNoLinksTarget) {
  testsupport::TTempDir dir;
  const auto root = dir.Path() / "Tramela";
  const auto elsewhere = dir.Path() / "elsewhere";
  std::filesystem::create_directories(root / "Baza" / "globoko");
  std::filesystem::create_directories(elsewhere);
  testsupport::WriteFileBytes(elsewhere / "victim", "keep");
  testsupport::WriteFileBytes(root / "Baza" / "globoko" / "a.bin", "a");
  testsupport::WriteFileBytes(root / "readonly.txt", "r");
  ASSERT_TRUE(FileSetAttr((root / "readonly.txt").string(), faReadOnly));
  // Wine makes no links for a program; there the tree and the read-only file are checked.
  std::error_code noLinks;
  std::filesystem::create_directory_symlink(elsewhere, root / "Baza" / "link", noLinks);
  if (!noLinks)
    std::filesystem::create_symlink(elsewhere / "victim", root / "victim-link", noLinks);
#ifdef _WIN32
  TSystemOperations ops;
  const std::string folder = std::filesystem::path(root).make_preferred().string();
#else
  TSystemOperations ops(
      std::make_unique<TPosixSystemProbes>(std::map<char, std::string>{{'C', dir.Str()}}));
  const std::string folder = "C:\\Tramela";
#endif
  EXPECT_EQ(RemoveInstallation(ops, folder), std::vector<std::string>{});
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(root)));
  EXPECT_EQ(testsupport::ReadFileBytes(elsewhere / "victim"), "keep");
}

}  // namespace
