// The installation sequence: every path's rows, log, notice and end state,
// against substitute operations.
#include <gtest/gtest.h>

#include <new>
#include <set>
#include <stdexcept>

#include "AppFixture.h"
#include "app/HalvexConst.h"
#include "app/InstallRollback.h"
#include "rtl/Exceptions.h"

namespace {

using TRows = std::vector<std::pair<std::string, int>>;
const std::string kStep1Log = "Kreiranje delovnega imenika... : C:\\Tramela";
const std::string kDriveLine = "Pogon C:             120 GB";
const std::string kDirDone = "Delovni imenik kreiran...";
const std::string kFailed = "Pri namestitvi je prišlo do napak.";
const std::string kRollback = kRollbackLine;
const std::vector<std::string> kFailureNotice{kFailed};
const TRows kExtractionFailedRows{
    {"1", StepDone}, {"2", StepDone}, {"3", StepDone}, {"4", StepDone}, {"5", StepFailed}};

class InstallationPaths : public TAppTest {
 protected:
  std::vector<std::string> Tail(std::size_t n) const {
    const auto log = Log();
    return {log.end() - static_cast<std::ptrdiff_t>(std::min(n, log.size())), log.end()};
  }
  std::vector<std::string> Step1Lines() const { return {kDriveLine, kStep1Log, kDirDone}; }
  void ExpectFailedRunEnd() {
    EXPECT_FALSE(Main->InstallOk);
    EXPECT_EQ(Main->_lstPostavke.Height(), 150);
    EXPECT_EQ(Main->_btnPreklici.Caption(), "Prekliči");
    ASSERT_EQ(Notices.size(), 1u);
    EXPECT_EQ(Notices[0].Title, "Obvestilo.");
    EXPECT_EQ(Notices[0].Lines, kFailureNotice);
    ExpectButtonsAfterRun();
  }
  void ExpectButtonsAfterRun() {
    EXPECT_FALSE(Main->_btnPotrdi.Enabled());
    EXPECT_FALSE(Main->_btnNaprej.Enabled());
    EXPECT_FALSE(Main->_btnNazaj.Enabled());
    EXPECT_TRUE(Main->_btnPreklici.Enabled());
    EXPECT_FALSE(Main->_progress.Visible());
    EXPECT_TRUE(Main->_lblPotek.Visible());
  }
};

TEST_F(InstallationPaths, EverythingSucceeds) {
  RunInstall();
  const TRows rows{{"1", StepDone}, {"2", StepDone}, {"3", StepDone}, {"4", StepDone},
                   {"5", StepDone}, {"6", StepDone}, {"0", StepDone}};
  EXPECT_EQ(Rows(), rows);
  EXPECT_EQ(Main->_lstPostavke.Item(1).SubItems()[0],
            "Ugotavljanje operacijskega sistema... : Windows 7 Professional");
  EXPECT_EQ(Main->_lstPostavke.Item(6).SubItems()[0], "Namestitev je končana");
  EXPECT_EQ(Main->_lstPostavke.Item(0).Caption(), "");
  const std::vector<std::string> log{kDriveLine,
                                     kStep1Log,
                                     kDirDone,
                                     "Prenos namestitvenega paketa...",
                                     "Preverjanje Firebird SQL strežnika...",
                                     "Nameščanje Firebird SQL strežnika...",
                                     "Namestitev je končana."};
  EXPECT_EQ(Log(), log);
  ASSERT_EQ(Notices.size(), 1u);
  EXPECT_EQ(Notices[0].Title, "Obvestilo.");
  EXPECT_EQ(Notices[0].Lines,
            std::vector<std::string>{"Namestitev programa Tramela je uspešno končana."});
  EXPECT_TRUE(Main->InstallOk);
  EXPECT_EQ(Main->_lstPostavke.Height(), 230);
  EXPECT_EQ(Main->_btnPreklici.Caption(), "Konec");
  ExpectButtonsAfterRun();
}

TEST_F(InstallationPaths, SuccessLeavesTheSetupStartedAndNoPackageBehind) {
  RunInstall();
  ASSERT_EQ(Ops.RunCommands.size(), 1u);
  EXPECT_EQ(Ops.RunCommands[0],
            "C:\\Tramela\\Install\\Firebird-2.1.3.18185_0_Win32.exe /SILENT /NOICONS "
            "/COMPONENTS=\"ClassicServerComponent,ClientComponent,ServerComponent\" /FORCE ");
  EXPECT_EQ(Ops.Files.count("C:\\Tramela\\TramelaCoreServer.zip"), 0u);  // deleted after extraction
  EXPECT_EQ(Ops.Files.count("C:\\Tramela\\Install\\Firebird-2.1.3.18185_0_Win32.exe"), 1u);
  // The working directory stays, made by the download step, without the run's
  // marker; the archive is let go of.
  EXPECT_EQ(Ops.Directories, (std::set<std::string>{"C:\\Tramela", "C:\\Tramela\\Install"}));
  EXPECT_EQ(Ops.Files.count(RunMarkerFile()), 0u);
  EXPECT_FALSE(Ops.ZipOpen);
  // The component was made with the window's stored settings: existing files are overwritten.
  EXPECT_EQ(Ops.ZipSettings.OverwriteAction, TOverwriteAction::oaOverwriteAll);
  EXPECT_FALSE(Ops.ZipSettings.Active);
}

TEST_F(InstallationPaths, NoDriveCEndsWithoutNotice) {
  Ops.Drives = {"A:\\", "D:\\"};
  RunInstall();
  EXPECT_EQ(Rows(), (TRows{{"1", StepRunning}}));
  EXPECT_EQ(Log(), (std::vector<std::string>{kStep1Log, "[Napaka] Pogon C: ni najden... "}));
  EXPECT_TRUE(Notices.empty());
  EXPECT_FALSE(Main->InstallOk);
  EXPECT_EQ(Main->_lstPostavke.Height(), 230);
  ExpectButtonsAfterRun();
}

struct TFreeSpaceCase {
  std::int64_t Free;
  bool Passes;
};
class FreeSpaceThreshold : public InstallationPaths,
                           public ::testing::WithParamInterface<TFreeSpaceCase> {};

TEST_P(FreeSpaceThreshold, OneGibibyteIsEnough) {
  Ops.FreeBytes = GetParam().Free;
  RunInstall();
  if (GetParam().Passes) {
    EXPECT_EQ(Log().at(0), "Pogon C:               1 GB");
    EXPECT_EQ(Rows().at(0), (std::pair<std::string, int>{"1", StepDone}));
  } else {
    EXPECT_EQ(Rows(), (TRows{{"1", StepFailed}}));
    EXPECT_EQ(Log(), (std::vector<std::string>{kStep1Log,
                                               "[Napaka] Velikost razpoložljivega prostora... "}));
    EXPECT_TRUE(Notices.empty());
    EXPECT_FALSE(Main->_btnPotrdi.Enabled());
    // One reading decides; the second is only for the log line.
    EXPECT_EQ(Ops.FreeSpaceReadings, 1);
  }
}
INSTANTIATE_TEST_SUITE_P(Bytes, FreeSpaceThreshold,
                         ::testing::Values(TFreeSpaceCase{kGiB, true},
                                           TFreeSpaceCase{kGiB - 1, false},
                                           TFreeSpaceCase{-1, false}));

TEST_F(InstallationPaths, LowerCaseDriveAndLocaleGrouping) {
  Ops.Drives = {"c:\\"};
  Ops.FreeBytes = static_cast<std::int64_t>(1234.6 * static_cast<double>(kGiB));
  Ops.Settings = {".", ","};
  RunInstall();
  EXPECT_EQ(Log().at(0), "Pogon C:           1.235 GB");
  EXPECT_TRUE(Main->InstallOk);
}

TEST_F(InstallationPaths, MultiByteSeparatorIsWholeAndTheFieldCountsCharacters) {
  Ops.FreeBytes = static_cast<std::int64_t>(1234.6 * static_cast<double>(kGiB));
  Ops.Settings = {"\u00A0", ","};  // Czech: a no-break space, two bytes in UTF-8
  RunInstall();
  EXPECT_EQ(Log().at(0), "Pogon C:           1\u00A0235 GB");
}

class DirectoryTest : public InstallationPaths, public ::testing::WithParamInterface<int> {};

TEST_P(DirectoryTest, FailsWhenTheFolderCannotBeCreatedOrRemoved) {
  if (GetParam() == 0) Ops.CreateDirFails = true;
  if (GetParam() == 1) Ops.RemoveDirFails = true;
  Start();
  // A folder that appears after the start-up check makes the creation fail.
  if (GetParam() == 2) Ops.Directories.insert("C:\\Tramela");
  Platform.Press(Main->_btnPotrdi);
  EXPECT_EQ(Rows(), (TRows{{"1", StepFailed}}));
  EXPECT_EQ(Log(), (std::vector<std::string>{kDriveLine, kStep1Log,
                                             "[Napaka] Kreiranje delovnega imenika... "}));
  EXPECT_TRUE(Notices.empty());
  EXPECT_FALSE(Main->InstallOk);
  EXPECT_FALSE(Main->_btnPotrdi.Enabled());
}
INSTANTIATE_TEST_SUITE_P(Variants, DirectoryTest, ::testing::Values(0, 1, 2));

TEST_F(InstallationPaths, DirectoryTestRaises) {
  Ops.CreateDirRaises = "Access denied";
  RunInstall();
  EXPECT_EQ(Rows(), (TRows{{"1", StepFailed}}));
  EXPECT_EQ(Log(), (std::vector<std::string>{kDriveLine, kStep1Log, "Access denied",
                                             "[Napaka] Kreiranje delovnega imenika... ",
                                             "[Napaka] Kreiranje delovnega imenika... "}));
  EXPECT_TRUE(Notices.empty());
  EXPECT_FALSE(Main->InstallOk);
}

TEST_F(InstallationPaths, ServerNotReachable) {
  Ops.Reachable = false;
  RunInstall();
  EXPECT_EQ(Rows(), (TRows{{"1", StepDone}, {"2", StepDone}, {"3", StepFailed}}));
  auto log = Step1Lines();
  log.push_back(kFailed);
  EXPECT_EQ(Log(), log);
  ExpectFailedRunEnd();
}

TEST_F(InstallationPaths, ProxyIsNamedBeforeStepThreeAndIsWhatTheProbeTests) {
  Ops.Proxy.Host = "proxy.corp";
  Ops.Proxy.Port = 3128;
  Ops.ServerAddress = "proxy.corp:3128";  // the distribution server itself answers no connect
  RunInstall();
  EXPECT_TRUE(Main->InstallOk);
  EXPECT_EQ(Main->_lstPostavke.Item(2).SubItems()[0], "Testiranje internet povezave... ");
  auto log = Step1Lines();
  log.insert(log.end(),
             {"Posredniški strežnik: proxy.corp:3128", "Prenos namestitvenega paketa..."});
  const auto all = Log();
  ASSERT_GE(all.size(), log.size());
  EXPECT_EQ(std::vector<std::string>(all.begin(), all.begin() + 5), log);
}

TEST_F(InstallationPaths, ProxyNamedButNotRunningFailsStepThree) {
  Ops.Proxy.Host = "proxy.corp";
  Ops.Proxy.Port = 3128;
  RunInstall();  // only the distribution server itself would answer
  EXPECT_EQ(Rows(), (TRows{{"1", StepDone}, {"2", StepDone}, {"3", StepFailed}}));
  auto log = Step1Lines();
  log.insert(log.end(), {"Posredniški strežnik: proxy.corp:3128", kFailed});
  EXPECT_EQ(Log(), log);
}

TEST_F(InstallationPaths, ProbeLookUpPastItsLimitFailsStepThreeWithTheSystemsWords) {
  Ops.Reachable = false;
  Ops.ConnectError = "Socket Error # 11001\r\nHost not found.";
  RunInstall();
  EXPECT_EQ(Rows(), (TRows{{"1", StepDone}, {"2", StepDone}, {"3", StepFailed}}));
  auto log = Step1Lines();
  log.insert(log.end(), {"Socket Error # 11001", "Host not found.", kFailed});
  EXPECT_EQ(Log(), log);
}

TEST_F(InstallationPaths, ConfigurationScriptIsNotFollowedAndSaysSo) {
  Ops.Proxy.ScriptIgnored = true;
  RunInstall();
  EXPECT_TRUE(Main->InstallOk);
  ASSERT_GE(Log().size(), 5u);
  EXPECT_EQ(Log()[3],
            "Skripta za samodejno nastavitev posredniškega strežnika ni uporabljena, prenos poteka "
            "neposredno... ");
  EXPECT_EQ(Log()[4], "Prenos namestitvenega paketa...");
}

TEST_F(InstallationPaths, DownloadRaises) {
  Ops.HttpRaises = "HTTP/1.1 404 Not Found";
  RunInstall();
  EXPECT_EQ(Rows(), (TRows{{"1", StepDone}, {"2", StepDone}, {"3", StepDone}, {"4", StepFailed}}));
  auto log = Step1Lines();
  log.insert(log.end(), {"Prenos namestitvenega paketa...", "HTTP/1.1 404 Not Found", kFailed});
  EXPECT_EQ(Log(), log);
  ExpectFailedRunEnd();
}

TEST_F(InstallationPaths, PackageMissingAfterDownload) {
  Ops.SaveKeepsFile = false;
  RunInstall();
  EXPECT_EQ(Rows(), kExtractionFailedRows);
  auto log = Step1Lines();
  log.insert(log.end(), {"Prenos namestitvenega paketa...", kRollback, kFailed});
  EXPECT_EQ(Log(), log);
  ExpectFailedRunEnd();
}

TEST_F(InstallationPaths, ExtractionRaisesAndRemovesThePackage) {
  Ops.ExtractRaises = "Error writing C:\\Tramela\\Install";
  RunInstall();
  EXPECT_EQ(Rows(), kExtractionFailedRows);
  auto log = Step1Lines();
  log.insert(log.end(), {"Prenos namestitvenega paketa...", "Error writing C:\\Tramela\\Install",
                         kRollback, kFailed});
  EXPECT_EQ(Log(), log);
  EXPECT_TRUE(Ops.Everything().empty());
  EXPECT_FALSE(Ops.ZipOpen);  // the archive is let go of
  ExpectFailedRunEnd();
}

TEST_F(InstallationPaths, ProcessCheckRaisesLeavesRowSixSkipped) {
  Ops.ProcessesRaise = "Snapshot failed";
  RunInstall();
  const TRows rows{{"1", StepDone}, {"2", StepDone}, {"3", StepDone},
                   {"4", StepDone}, {"5", StepDone}, {"6", StepSkipped}};
  EXPECT_EQ(Rows(), rows);
  const std::vector<std::string> tail{"Preverjanje Firebird SQL strežnika...", "Snapshot failed",
                                      kRollback, kFailed};
  EXPECT_EQ(Tail(4), tail);
  EXPECT_TRUE(Ops.RunCommands.empty());
  ExpectFailedRunEnd();
}

TEST_F(InstallationPaths, DatabaseServerAlreadyRunning) {
  Ops.Processes = {"System", "fb_inet_server.exe", "fb_inet_server.exe"};
  RunInstall();
  const TRows rows{{"1", StepDone}, {"2", StepDone},    {"3", StepDone}, {"4", StepDone},
                   {"5", StepDone}, {"6", StepSkipped}, {"0", StepDone}};
  EXPECT_EQ(Rows(), rows);
  const std::vector<std::string> tail{
      "Preverjanje Firebird SQL strežnika...", "Firebird SQL strežnik je že aktiven",
      "Firebird SQL strežnik je že aktiven", "Namestitev je končana."};
  EXPECT_EQ(Tail(4), tail);
  EXPECT_TRUE(Ops.RunCommands.empty());
  EXPECT_TRUE(Main->InstallOk);
  EXPECT_EQ(Main->_btnPreklici.Caption(), "Konec");
}

TEST_F(InstallationPaths, ProcessNameIgnoresLetterCaseAsWindowsDoes) {
  Ops.Processes = {"FB_INET_SERVER.EXE"};
  RunInstall();
  EXPECT_TRUE(Ops.RunCommands.empty());
  EXPECT_EQ(Rows().at(5), (std::pair<std::string, int>{"6", StepSkipped}));
}

TEST_F(InstallationPaths, SetupStartRaises) {
  Ops.RunProgramRaises = "CreateProcess raised";
  RunInstall();
  EXPECT_EQ(Rows().at(5), (std::pair<std::string, int>{"6", StepFailed}));
  EXPECT_EQ(Rows().size(), 6u);
  const std::vector<std::string> tail{"Nameščanje Firebird SQL strežnika...",
                                      "CreateProcess raised", kRollback, kFailed};
  EXPECT_EQ(Tail(4), tail);
  ExpectFailedRunEnd();
}

// ---- Faults the sequence mends

TEST_F(InstallationPaths, SetupThatCannotStartFailsRowSixWithTheReason) {
  Ops.RunProgramStarts = false;
  RunInstall();
  EXPECT_EQ(Rows().at(5), (std::pair<std::string, int>{"6", StepFailed}));
  EXPECT_EQ(Log().at(Log().size() - 3),
            "[Napaka] Namestitve Firebird SQL strežnika ni mogoče zagnati: The system cannot find "
            "the file specified.");
  ExpectFailedRunEnd();
}

TEST_F(InstallationPaths, PackageThatIsNoZipArchiveFailsRowFive) {
  Ops.PackageIsZip = false;
  RunInstall();
  EXPECT_EQ(Rows().back(), (std::pair<std::string, int>{"5", StepFailed}));
  EXPECT_EQ(Log().at(Log().size() - 3), "[Napaka] Namestitveni paket ni veljaven arhiv zip... ");
  EXPECT_EQ(Ops.Files.count("C:\\Tramela\\TramelaCoreServer.zip"), 0u);
  EXPECT_EQ(Ops.Files.count("C:\\Tramela\\Install\\Firebird-2.1.3.18185_0_Win32.exe"), 0u);
  ExpectFailedRunEnd();
}

TEST_F(InstallationPaths, PackageLargerThanFreeSpaceFailsRowFiveBeforeExtracting) {
  Ops.FreeBytes = 2 * kGiB;
  Ops.PackageUncompressed = 2 * kGiB + 1;
  RunInstall();
  EXPECT_EQ(Rows().back(), (std::pair<std::string, int>{"5", StepFailed}));
  EXPECT_EQ(Log().at(Log().size() - 3),
            "[Napaka] Na pogonu C: ni dovolj prostora za ekstrahiranje podatkov... ");
  EXPECT_EQ(Ops.Files.count("C:\\Tramela\\Install\\Firebird-2.1.3.18185_0_Win32.exe"), 0u);
  EXPECT_FALSE(Ops.ZipOpen);
  ExpectFailedRunEnd();
}

TEST_F(InstallationPaths, PackageOfExactlyTheFreeSpaceIsExtracted) {
  Ops.FreeBytes = 2 * kGiB;
  Ops.PackageUncompressed = 2 * kGiB;
  RunInstall();
  EXPECT_EQ(Rows().at(4), (std::pair<std::string, int>{"5", StepDone}));
}

TEST_F(InstallationPaths, DownloadShorterThanAnnouncedFailsRowFour) {
  Ops.Announced = static_cast<std::int64_t>(Ops.Body.size());
  Ops.Body.resize(10);
  RunInstall();
  EXPECT_EQ(Rows().back(), (std::pair<std::string, int>{"4", StepFailed}));
  EXPECT_EQ(Log().at(Log().size() - 2),
            "[Napaka] Namestitveni paket ni prenesen v celoti (10 od 3000 bajtov)... ");
  EXPECT_EQ(Ops.Files.count("C:\\Tramela\\TramelaCoreServer.zip"),
            0u);  // nothing half-written is kept
  ExpectFailedRunEnd();
}

TEST_F(InstallationPaths, UnannouncedLengthIsAccepted) {
  Ops.Announced = -1;
  Ops.SigAnnounced = -1;
  RunInstall();
  EXPECT_TRUE(Main->InstallOk);
}

// C++ errors that are no Exception (a failed allocation, a container's length
// error) fail their step like any other: they must not escape the step's guard,
// which would stop the run half-way with "Potrdi" still enabled.
struct TForeignError {
  const char* Call;
  std::exception_ptr Error;
  std::string Row;
  int RowState;
  std::string Message;
};

class ForeignErrors : public InstallationPaths,
                      public ::testing::WithParamInterface<TForeignError> {};

TEST_P(ForeignErrors, FailTheirStepWithAMessage) {
  const TForeignError& p = GetParam();
  Ops.Throws[p.Call] = p.Error;
  RunInstall();
  EXPECT_EQ(Rows().back(), (std::pair<std::string, int>{p.Row, p.RowState}));
  // Past the download, the working folder was made and is removed again.
  std::vector<std::string> tail{p.Message, kFailed};
  const std::string call = p.Call;
  if (call != "connect" && call != "get") tail.insert(tail.begin() + 1, kRollback);
  EXPECT_EQ(Tail(tail.size()), tail);
  EXPECT_FALSE(Ops.ZipOpen);
  EXPECT_TRUE(Ops.RunCommands.empty() || std::string(p.Call) == "run");
  ExpectFailedRunEnd();
}

INSTANTIATE_TEST_SUITE_P(
    Steps, ForeignErrors,
    ::testing::Values(TForeignError{"connect", std::make_exception_ptr(std::bad_alloc()), "3",
                                    StepFailed, "Out of memory"},
                      TForeignError{"get", std::make_exception_ptr(std::bad_alloc()), "4",
                                    StepFailed, "Out of memory"},
                      TForeignError{"extract",
                                    std::make_exception_ptr(std::length_error("vector::reserve")),
                                    "5", StepFailed, "vector::reserve"},
                      TForeignError{"extract", std::make_exception_ptr(std::bad_alloc()), "5",
                                    StepFailed, "Out of memory"},
                      TForeignError{"processes", std::make_exception_ptr(std::bad_alloc()), "6",
                                    StepSkipped, "Out of memory"},
                      TForeignError{"run",
                                    std::make_exception_ptr(std::runtime_error("spawn failed")),
                                    "6", StepFailed, "spawn failed"}));

// ---- Unguarded steps

TEST_F(InstallationPaths, UnguardedFailureShowsTheFrameworkBoxAndAllowsASecondRun) {
  Ops.WinVersionRaises = "GetVersionEx failed";
  RunInstall();
  ASSERT_EQ(Platform.ErrorBoxes, std::vector<std::string>{"GetVersionEx failed"});
  EXPECT_EQ(Platform.ApplicationTitle(), "Tramela-Namestitev CS");
  EXPECT_TRUE(Main->_progress.Visible());
  EXPECT_FALSE(Main->_btnNaprej.Enabled());
  EXPECT_FALSE(Main->_btnNazaj.Enabled());
  EXPECT_TRUE(Main->_btnPotrdi.Enabled());
  EXPECT_TRUE(Notices.empty());

  Ops.WinVersionRaises.clear();
  Platform.Press(Main->_btnPotrdi);
  // Both rows of step 1 were updated together; the second set follows the first.
  const auto rows = Rows();
  ASSERT_GE(rows.size(), 3u);
  EXPECT_EQ(rows[0], (std::pair<std::string, int>{"1", StepDone}));
  EXPECT_EQ(rows[1], (std::pair<std::string, int>{"1", StepDone}));
  EXPECT_EQ(rows.back(), (std::pair<std::string, int>{"0", StepDone}));
  EXPECT_EQ(Log().at(0), kDriveLine);
  EXPECT_EQ(Log().at(3), kDriveLine);
}

TEST_F(InstallationPaths, RowsAndButtonsAreRepaintedAtOnce) {
  RunInstall();
  EXPECT_EQ(Platform.RepaintsOf(Main->_btnNazaj), 1);
  EXPECT_EQ(Platform.RepaintsOf(Main->_btnNaprej), 1);
  EXPECT_EQ(Platform.RepaintsOf(Main->_lblPotek), 1);
  // Seven rows added and seven state changes, each repainted at once.
  EXPECT_EQ(Platform.RepaintsOf(Main->_lstPostavke), 14);
}

TEST_F(InstallationPaths, LogSplitsTextWithLineBreaks) {
  Main->AddLog("first\r\nsecond");
  EXPECT_EQ(Log(), (std::vector<std::string>{"_memoPotek", "first", "second"}));
}

TEST_F(InstallationPaths, SetStepStateWithoutMatchingRowChangesNothing) {
  Main->AddStep("a", TStep::DriveAndDirectory);
  Main->SetStepState(TStep::DatabaseServer, StepSkipped);
  EXPECT_EQ(Rows(), (TRows{{"1", StepRunning}}));
}

}  // namespace
