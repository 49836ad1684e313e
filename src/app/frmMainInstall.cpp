// The main window's installation sequence: its steps with their checklist
// rows and log lines, the long steps run off the window's thread with their
// progress line, and the outcome.
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <utility>

#include "app/HalvexConst.h"
#include "app/InstallRollback.h"
#include "app/PackageDownload.h"
#include "app/frmMain.h"
#include "rtl/Exceptions.h"
#include "rtl/ScopeExit.h"
#include "rtl/Strings.h"
#include "rtl/Text.h"
#include "rtl/Threads.h"
#include "ui/LongOperation.h"

namespace {
const char* const kFirebirdProcess = "fb_inet_server.exe";
constexpr double kBytesPerGiB = 1024.0 * 1024.0 * 1024.0;
// The least free space on C: that the installation starts with (GiB).
constexpr double kMinFreeGiB = 1.0;
// The checklist's height during a run (as laid out), and after a failed one.
constexpr int kChecklistHeight = 230;
constexpr int kChecklistHeightFailed = 150;
// The progress line changes at most this often (ms).
constexpr std::uint32_t kProgressIntervalMs = 100;
constexpr int kProgressScale = 1000;

// Why the database server's setup failed, by its exit code (an Inno Setup program's).
std::string SetupExitText(std::uint32_t code) {
  switch (code) {
    case 1:
      return "Namestitvenega programa ni bilo mogoče zagnati.";
    case 2:
      return "Uporabnik je namestitev preklical, preden se je začela.";
    case 3:
      return "Pri pripravi namestitve je prišlo do usodne napake.";
    case 4:
      return "Med nameščanjem je prišlo do usodne napake.";
    case 5:
      return "Uporabnik je namestitev preklical med nameščanjem.";
    case 6:
      return "Namestitveni program je bil prisilno končan.";
    case 7:
      return "Namestitve ni mogoče nadaljevati.";
    case 8:
      return "Namestitve ni mogoče nadaljevati, dokler se računalnik ne zažene znova. Pred novim "
             "poskusom znova zaženite računalnik.";
    default:
      return "Namestitveni program je končal z napako.";
  }
}

// The log line for what a step raised: a failed allocation reads as the runtime
// layer's out-of-memory message, any other C++ error as its own text.
std::string MessageOf(const std::exception& e) {
  if (dynamic_cast<const std::bad_alloc*>(&e) != nullptr) return EOutOfMemory().Message();
  return e.what();
}
}  // namespace

std::string PackageFile() { return std::string(InstallDir) + "\\" + "TramelaCoreServer.zip"; }

std::string PackageUrl() {
  return std::string("http://") + DistributionHost + "/Download/TramelaCoreServer.zip";
}

std::string FirebirdSetupFolder() { return std::string(InstallDir) + "\\Install"; }

std::string FirebirdSetupProgram() {
  return FirebirdSetupFolder() + "\\Firebird-2.1.3.18185_0_Win32.exe";
}

std::string FirebirdSetupCommandLine() {
  return FirebirdSetupProgram() + " /SILENT /NOICONS /COMPONENTS=" + '"' +
         "ClassicServerComponent,ClientComponent,ServerComponent" + '"' + " /FORCE ";
}

// ---- The installation sequence

void T_frmMain::AddStep(const std::string& text, TStep step) {
  TListItem& item = _lstPostavke.AddItem();
  item.SetCaption("");
  item.AddSubItem(text);
  item.AddSubItem(IntToStr(static_cast<int>(step)));
  item.SetStateIndex(StepRunning);
  _lstPostavke.Repaint();
}

void T_frmMain::SetStepState(TStep step, TStepState state) {
  const std::string key = IntToStr(static_cast<int>(step));
  for (int i = 0; i < _lstPostavke.ItemCount(); ++i) {
    TListItem& item = _lstPostavke.Item(i);
    if (item.SubItems().size() > 1 && item.SubItems()[1] == key) item.SetStateIndex(state);
  }
  _lstPostavke.Repaint();
}

void T_frmMain::AddLog(const std::string& text) {
  TStringList lines;
  lines.SetText(text);
  if (lines.Empty()) lines.Add("");
  _memoPotek.Lines().AddStrings(lines);
}

bool T_frmMain::IsServerReachable(const std::string& host, const std::string& port) {
  return FOps.TcpConnect(host, port);
}

bool T_frmMain::DownloadFile(const std::string& url, const std::string& filePath) {
  // Kept only when the whole step succeeds: a failed one lets go of the file at once.
  TSavedPackage saved;
  RunLong([this, &url, &filePath, &saved] {
    auto stream = std::make_unique<TMemoryStream>();
    const TPackageSignature signature =
        DownloadSignedPackage(FOps, FPackageKeys, FMinPackageVersion, url, *stream);
    // A package that cannot fit fails before anything is written.
    if (FOps.GetFreeDiskSpace(kDriveC) < stream->Size())
      throw Exception("[Napaka] Na pogonu C: ni dovolj prostora za namestitveni paket... ");
    // Only a package that verified gets a working directory, and one that
    // nobody else made or can change.
    MakeWorkingDirectory(FOps, InstallDir);
    FMadeWorkingDir = true;
    // First, so that a run ended from outside leaves a folder that the next
    // start knows as its own.
    TMemoryStream marker;
    marker.WriteBuffer(kRunMarkerText, static_cast<std::int64_t>(std::strlen(kRunMarkerText)));
    (void)FOps.SaveToFile(marker, RunMarkerFile());
    std::unique_ptr<TStream> file = FOps.SaveToFile(*stream, filePath);
    // The verified bytes are kept, not copied: step 5 extracts them.
    saved = TSavedPackage{std::move(stream), std::move(file), signature};
  });
  FPackage = std::move(saved);
  return true;
}

// ---- Long steps

void T_frmMain::CancelRun() { FMonitor.RequestCancel(); }

void T_frmMain::RunLong(const std::function<void()>& operation) {
  TBusyHooks hooks;
  hooks.CancelControl = &_btnPreklici;
  hooks.OnCancel = [this] { CancelRun(); };
  // Closing the window stops the run; the program ends after its notice.
  hooks.OnClose = [this] {
    CancelRun();
    FCloseAfterRun = true;
  };
  RunLongWith(hooks, operation);
  FMonitor.CheckCancel();
}

void T_frmMain::RunUninterruptible(const std::string& text,
                                   const std::function<void()>& operation) {
  _lblNapredek.SetCaption(text);
  _barNapredek.SetMarquee(true);
  _lblNapredek.Show();
  _barNapredek.Show();
  FProgressShown = true;
  RunLongWith({}, operation);
}

void T_frmMain::RunLongWith(const TBusyHooks& hooks, const std::function<void()>& operation) {
  FMonitor.ClearProgress();
  FRate.Reset();
  FShownProgress = {};
  // Read here: the operation's thread has the operations object to itself.
  FProgressFormat = FOps.FormatSettings();
  auto hide = ScopeExit([this] {
    TakeOperationLog();
    HideProgress();
  });
  RunLongOperation(FormPlatform(), hooks, operation, [this] {
    TakeOperationLog();
    ShowProgress();
  });
}

// What the operation logged reaches the log here, on this thread, in order.
void T_frmMain::TakeOperationLog() {
  for (const std::string& line : FMonitor.TakeLog()) AddLog(line);
}

void T_frmMain::ShowProgress() {
  const std::uint32_t now = GetTickCount32();
  if (FProgressShown && now - FProgressTicks < kProgressIntervalMs) return;
  const TProgressSnapshot progress = FMonitor.Snapshot();
  if (progress.Unit == TProgressUnit::None) return;
  // A new phase (another file of the step) starts its rate afresh.
  if (progress.Unit != FShownProgress.Unit || progress.Total != FShownProgress.Total ||
      progress.Done < FShownProgress.Done) {
    FRate.Reset();
  }
  FShownProgress = progress;
  FProgressTicks = now;
  if (progress.Unit == TProgressUnit::Bytes) FRate.Sample(now, progress.Done);
  _lblNapredek.SetCaption(FormatProgressText(progress, FRate.BytesPerSecond(), FProgressFormat));
  if (progress.Total > 0) {
    _barNapredek.SetMarquee(false);
    const double share = static_cast<double>(progress.Done) / static_cast<double>(progress.Total);
    _barNapredek.SetProgress(static_cast<int>(share * kProgressScale), kProgressScale);
  } else {
    _barNapredek.SetMarquee(true);
  }
  if (!FProgressShown) {
    FProgressShown = true;
    _lblNapredek.Show();
    _barNapredek.Show();
  }
}

void T_frmMain::HideProgress() {
  FProgressShown = false;
  _lblNapredek.Hide();
  _barNapredek.Hide();
  _lblNapredek.SetCaption("");
  _barNapredek.SetMarquee(false);
  _barNapredek.SetProgress(0, kProgressScale);
}

std::string T_frmMain::FailureText(const std::exception& e) const {
  return FMonitor.CancelRequested() ? std::string(kCancelledLine) : MessageOf(e);
}

void T_frmMain::RemoveUnfinishedInstallation(bool live) {
  AddLog(kRollbackLine);
  std::vector<std::string> failed;
  const auto remove = [this, &failed] { failed = RemoveInstallation(FOps, InstallDir); };
  try {
    if (live) {
      RunUninterruptible("Odstranjevanje nepopolne namestitve...", remove);
    } else {
      remove();
    }
  } catch (const std::exception& e) {
    AddLog(MessageOf(e));
    failed.push_back(InstallDir);
  }
  for (const std::string& path : failed) AddLog(kRollbackFailedLine + path);
}

// A run that made the working folder either succeeds, and the marker goes, or
// leaves nothing of itself.
void T_frmMain::SettleWorkingDir() {
  if (!FMadeWorkingDir) return;
  if (!InstallOk) {
    RemoveUnfinishedInstallation(true);
    return;
  }
  if (FOps.RemoveFile(RunMarkerFile())) return;
  // With its marker left, the next start would take this installation for an
  // unfinished one and remove it: the run cannot stand as a success.
  AddLog("[Napaka] Oznake nedokončane namestitve ni mogoče odstraniti: " + RunMarkerFile());
  FailRun();
  RemoveUnfinishedInstallation(true);
}

// ---- The run

void T_frmMain::RunInstallation() {
  // Input is not acted on during a run, but a click sent from outside still
  // reaches the button: one run at a time.
  if (FRunning) return;
  FRunning = true;
  FCloseAfterRun = false;
  FMadeWorkingDir = false;
  FMonitor.ClearCancel();
  auto runEnd = ScopeExit([this] {
    FRunning = false;
    if (FCloseAfterRun) CloseApplication();
  });

  _btnNazaj.SetEnabled(false);
  _btnNazaj.Repaint();
  _btnNaprej.SetEnabled(false);
  _btnNaprej.Repaint();
  _lblPotek.Show();
  _lblPotek.Repaint();
  _lstPostavke.SetHeight(kChecklistHeight);
  _progress.Show();
  InstallOk = true;

  if (!CheckDriveAndDirectory()) {
    _progress.Hide();
    return;
  }

  const std::string name = FOps.GetWinVersionName();
  AddStep("Ugotavljanje operacijskega sistema... : " + name, TStep::OperatingSystem);
  SetStepState(TStep::OperatingSystem, StepDone);

  const bool reachable = CheckServer();
  bool running = false;
  if (reachable && DownloadPackage() && ExtractPackage()) running = IsFirebirdRunning();
  if (running || !InstallOk) {
    SetStepState(TStep::DatabaseServer, StepSkipped);
  } else {
    InstallFirebird();
  }
  SettleWorkingDir();
  ShowOutcome();
  _progress.Hide();
}

// The first step: drive C:, its free space and the create-and-remove test of the
// working directory. Answers whether the run goes on.
bool T_frmMain::CheckDriveAndDirectory() {
  bool driveFound = false, spaceSufficient = false, directoryPassed = false;
  const auto drives = FOps.ListLogicalDrives();
  AddStep("Pregled lokalnega pogona - C: ...", TStep::DriveAndDirectory);
  for (const std::string& drive : drives) {
    if (UpperCase(drive) != "C:\\") continue;
    driveFound = true;
    const std::int64_t free = FOps.GetFreeDiskSpace(kDriveC);
    if (static_cast<double>(free) / kBytesPerGiB >= kMinFreeGiB) {
      spaceSufficient = true;
      const double gib = static_cast<double>(FOps.GetFreeDiskSpace(kDriveC)) / kBytesPerGiB;
      AddLog("Pogon C: " + Format("%15.0n", {gib}, FOps.FormatSettings()) + " GB");
    }
  }

  try {
    AddLog(std::string("Kreiranje delovnega imenika... : ") + InstallDir);
    if (FOps.CreateDir(InstallDir)) directoryPassed = FOps.RemoveDir(InstallDir);
  } catch (const Exception& e) {
    directoryPassed = false;
    AddLog(e.Message());
    AddLog("[Napaka] Kreiranje delovnega imenika... ");
    _btnPotrdi.SetEnabled(false);
  }

  if (!driveFound) {
    AddLog("[Napaka] Pogon C: ni najden... ");
    FailRun();
    return false;
  }
  if (!spaceSufficient) {
    SetStepState(TStep::DriveAndDirectory, StepFailed);
    AddLog("[Napaka] Velikost razpoložljivega prostora... ");
    FailRun();
    return false;
  }
  if (directoryPassed) {
    AddLog("Delovni imenik kreiran...");
    SetStepState(TStep::DriveAndDirectory, StepDone);
    return true;
  }
  SetStepState(TStep::DriveAndDirectory, StepFailed);
  AddLog("[Napaka] Kreiranje delovnega imenika... ");
  FailRun();
  return false;
}

// The connection to the distribution server. A stop ends the probe's name
// look-up at once; one asked for during the connect fails the step when it ends.
// Through a proxy, the probe tests the proxy: the server itself is reached only through it.
bool T_frmMain::CheckServer() {
  const TProxyChoice proxy = FOps.ProxyFor(DistributionHost);
  if (proxy.UsesProxy()) AddLog(Format("Posredniški strežnik: %s:%d", {proxy.Host, proxy.Port}));
  if (!proxy.Invalid.empty()) {
    AddLog("Nastavitev posredniškega strežnika ni veljavna (" + proxy.Invalid +
           "), prenos poteka neposredno... ");
  }
  if (proxy.ScriptIgnored) {
    AddLog(
        "Skripta za samodejno nastavitev posredniškega strežnika ni uporabljena, prenos poteka "
        "neposredno... ");
  }
  const std::string host = proxy.UsesProxy() ? proxy.Host : DistributionHost;
  const std::string port = proxy.UsesProxy() ? IntToStr(proxy.Port) : DistributionPort;
  AddStep("Testiranje internet povezave... ", TStep::ServerConnection);
  return GuardedStep(TStep::ServerConnection, [this, &host, &port] {
    bool reachable = false;
    RunLong([this, &reachable, &host, &port] { reachable = IsServerReachable(host, port); });
    SetStepState(TStep::ServerConnection, reachable ? StepDone : StepFailed);
    if (!reachable) {
      // A look-up that failed says why; a refused connect has no line of its own.
      if (const std::string reason = FOps.LastConnectError(); !reason.empty()) AddLog(reason);
      InstallOk = false;
    }
    return reachable;
  });
}

// Every failure path of a run ends so: no second run, and the outcome is failure.
void T_frmMain::FailRun() {
  _btnPotrdi.SetEnabled(false);
  InstallOk = false;
}

bool T_frmMain::GuardedStep(TStep step, const std::function<bool()>& body) {
  try {
    return body();
  } catch (const std::exception& e) {
    FailStep(step, e);
    return false;
  }
}

void T_frmMain::FailStep(TStep step, const std::exception& e) {
  AddLog(FailureText(e));
  SetStepState(step, StepFailed);
  FailRun();
}

bool T_frmMain::DownloadPackage() {
  AddStep("Prenos namestitvenega paketa...", TStep::Download);
  return GuardedStep(TStep::Download, [this] {
    AddLog("Prenos namestitvenega paketa...");
    DownloadFile(PackageUrl(), PackageFile());
    SetStepState(TStep::Download, StepDone);
    return true;
  });
}

bool T_frmMain::ExtractPackage() {
  return GuardedStep(TStep::Extraction, [this] {
    // Held for this step only: however it ends, the file is let go of before
    // the step's failure is handled, so that it can be examined or removed.
    TSavedPackage package = std::exchange(FPackage, TSavedPackage{});
    AddStep("Ekstrahiranje podatkov... ", TStep::Extraction);
    if (!FOps.FileExists(PackageFile())) {
      SetStepState(TStep::Extraction, StepFailed);
      FailRun();
      return false;
    }
    RunLong([this, &package] {
      // Closing the archive lets go of the package file however extraction ends.
      auto release = ScopeExit([this] { Zipella1.SetActive(false); });
      Zipella1.SetFileName(PackageFile());
      // The archive is the bytes that were verified, held in memory since;
      // its directory is read once.
      Zipella1.LoadArchive(TakeVerifiedPackage(package));
      // The component opens anything without complaint; a file that is no zip
      // archive would leave nothing extracted and the run reported a success.
      if (!Zipella1.IsZipFile())
        throw Exception("[Napaka] Namestitveni paket ni veljaven arhiv zip... ");
      // A package that cannot fit fails here, not after filling the drive.
      if (FOps.GetFreeDiskSpace(kDriveC) < Zipella1.UncompressedTotal()) {
        throw Exception("[Napaka] Na pogonu C: ni dovolj prostora za ekstrahiranje podatkov... ");
      }
      Zipella1.ExtractAll(std::string(InstallDir) + "\\");
    });
    SetStepState(TStep::Extraction, StepDone);
    (void)FOps.RemoveFile(PackageFile());
    return true;
  });
}

bool T_frmMain::IsFirebirdRunning() {
  return GuardedStep(TStep::DatabaseServer, [this] {
    bool found = false;
    AddStep("Nameščanje Firebird SQL podatkovnega strežnika...", TStep::DatabaseServer);
    AddLog("Preverjanje Firebird SQL strežnika...");
    for (const std::string& name : FOps.ListProcessNames()) {
      // Windows compares file names without regard to letter case.
      if (!SameText(name, kFirebirdProcess)) continue;
      found = true;
      SetStepState(TStep::DatabaseServer, StepDone);
      AddLog("Firebird SQL strežnik je že aktiven");
    }
    return found;
  });
}

bool T_frmMain::InstallFirebird() {
  return GuardedStep(TStep::DatabaseServer, [this] {
    AddLog("Nameščanje Firebird SQL strežnika...");
    std::optional<std::uint32_t> exitCode;
    // A half-run setup cannot be undone from outside: nothing stops it, and
    // the run's outcome waits for its end.
    RunUninterruptible("Nameščanje Firebird SQL strežnika...", [this, &exitCode] {
      exitCode = FOps.RunProgram(
          {FirebirdSetupProgram(), FirebirdSetupCommandLine(), FirebirdSetupFolder()});
    });
    // A setup that cannot be started would otherwise pass for an installed server.
    if (!exitCode) {
      throw Exception("[Napaka] Namestitve Firebird SQL strežnika ni mogoče zagnati: " +
                      FOps.LastRunError());
    }
    if (*exitCode != 0) {
      throw Exception("[Napaka] Namestitev Firebird SQL strežnika ni uspela (izhodna koda " +
                      std::to_string(*exitCode) + "): " + SetupExitText(*exitCode));
    }
    SetStepState(TStep::DatabaseServer, StepDone);
    return true;
  });
}

void T_frmMain::ShowOutcome() {
  if (InstallOk) {
    AddStep("Namestitev je končana", TStep::Outcome);
    SetStepState(TStep::Outcome, StepDone);
    AddLog("Namestitev je končana.");
    Notice("Obvestilo.", {"Namestitev programa Tramela je uspešno končana."});
    _btnPotrdi.SetEnabled(false);
    _btnPreklici.SetCaption("Konec");
  } else {
    AddLog("Pri namestitvi je prišlo do napak.");
    Notice("Obvestilo.", {"Pri namestitvi je prišlo do napak."});
    _btnPotrdi.SetEnabled(false);
    _lstPostavke.SetHeight(kChecklistHeightFailed);
  }
}
