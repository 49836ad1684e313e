// The main window: a borderless two-page wizard with the checklist and log of
// the installation, which it runs against the system's operations.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "app/InstallOperations.h"
#include "app/OperationMonitor.h"
#include "app/PackageDownload.h"
#include "app/ProgressText.h"
#include "app/frmObvestilo.h"
#include "rtl/Exceptions.h"
#include "trust/PackageSignature.h"
#include "ui/Forms.h"

// The index of a checklist row's state picture.
enum TStepState { StepRunning = 0, StepDone = 1, StepFailed = 2, StepSkipped = 3 };

// The steps of the installation sequence, by the number their checklist row
// carries (its hidden second column); the outcome row comes last but is 0.
enum class TStep {
  Outcome = 0,
  DriveAndDirectory = 1,
  OperatingSystem = 2,
  ServerConnection = 3,
  Download = 4,
  Extraction = 5,
  DatabaseServer = 6,
};

class T_frmMain : public TForm {
  // First, so that they exist before the components that refer to them.
  IInstallOperations& FOps;
  std::unique_ptr<IZipArchive> FZip;
  T_frmObvestilo* FNotice = nullptr;  // we don't own it: the application does
  // The publisher keys a package's signature must come from, and the least
  // package-version it must name.
  std::vector<TPackagePublicKey> FPackageKeys;
  std::int32_t FMinPackageVersion;

 public:
  T_frmMain(TComponent* owner, IPlatform& platform, IInstallOperations& operations,
            std::span<const TPackagePublicKey> packageKeys = BuiltInPackageKeys(),
            std::int32_t minPackageVersion = BuiltInMinPackageVersion());
  ~T_frmMain() override;

  // The notice window, created after this one.
  void SetNoticeWindow(T_frmObvestilo& notice) { FNotice = &notice; }

  TShape& Shape2;
  TPanel& Panel2;
  TImage& Image1;
  TLabel& _lblMenuLokacija;
  TLabel& _lblMenuNamestitev;
  TLabel& Label17;
  TLabel& _lblTitle;
  TGlowButton& _btnPreklici;
  TGlowButton& _btnPotrdi;
  TLabel& Label14;
  TLabel& Label15;
  TLabel& Label16;
  TImageList& ImageList1;
  IZipArchive& Zipella1;
  TPageControl& PageControl1;
  TTabSheet& _tabLokacija;
  TLabel& Label4;
  TTabSheet& _tabPrenos;
  TLabel& Label8;
  TLabel& _lblNacin;
  TLabel& _lblLokacija;
  TLabel& Label9;
  TLabel& Label10;
  TPanel& Panel1;
  TGIFAnimator& _progress;
  TLabel& _lblPotek;
  TMemo& _memoPotek;
  TListView& _lstPostavke;
  TGlowButton& _btnNaprej;
  TGlowButton& _btnNazaj;
  TImage& Image2;
  TShape& Shape1;
  // The progress of a long step, beside "Potek namestitve"; hidden between steps.
  TLabel& _lblNapredek;
  TProgressBar& _barNapredek;

  // Handlers.
  void FormShow(TObject* Sender);
  void _btnNaprejClick(TObject* Sender);
  void _btnNazajClick(TObject* Sender);
  void _btnPrekliciClick(TObject* Sender);
  void _btnPotrdiClick(TObject* Sender);

  // The window's own operations.
  void PrepareWizard();
  void HideTabs();
  void ApplySystemFont();
  void ShowLocation();
  void HighlightMenu(int pageIndex);
  void UpdateButtons(int pageIndex);
  bool IsProgramInstalled();
  void CloseApplication();

  // The installation sequence.
  void RunInstallation();
  void AddStep(const std::string& text, TStep step);
  void SetStepState(TStep step, TStepState state);
  void AddLog(const std::string& text);
  void FailRun();
  bool IsServerReachable(const std::string& host, const std::string& port);
  bool DownloadFile(const std::string& url, const std::string& filePath);
  bool DownloadPackage();
  bool ExtractPackage();
  bool IsFirebirdRunning();
  bool InstallFirebird();

  // Set when a run begins, cleared by every failure: it decides the outcome.
  bool InstallOk = false;
  // A run is under way (its steps, up to and including the outcome notice).
  bool Running() const { return FRunning; }
  // Stops the running step: "Prekliči" and Esc during a run.
  void CancelRun();

 private:
  void BuildLayout();
  void BuildSidebarAndFrame();
  void BuildButtons();
  void BuildPages();
  void BuildProgressPanel();
  bool CheckDriveAndDirectory();
  bool CheckServer();
  void ShowOutcome();
  // Runs a step's body; whatever it raises fails the step (FailStep) and
  // answers False, as does the body itself.
  bool GuardedStep(TStep step, const std::function<bool()>& body);
  // The one failure path of a guarded step: its log line, its row failed, the
  // package discarded when the user stopped the step, and the run failed.
  void FailStep(TStep step, const std::exception& e);
  // Runs a long operation of a step off this thread while the window stays
  // alive; raises what the operation raised, or EAbort when the run was
  // cancelled meanwhile, even if the operation got to its end.
  void RunLong(const std::function<void()>& operation);
  // Runs a long operation that cannot be stopped: "Prekliči", Esc and closing
  // the window are not acted on meanwhile; the progress line shows text with
  // an activity bar.
  void RunUninterruptible(const std::string& text, const std::function<void()>& operation);
  void RunLongWith(const TBusyHooks& hooks, const std::function<void()>& operation);
  void TakeOperationLog();
  void ShowProgress();
  void HideProgress();
  // The log line of a failed step: the cancel text, or the exception's message.
  std::string FailureText(const std::exception& e) const;
  // Removes the working folder and what is in it, with the log's lines;
  // live runs it off this thread with the window alive.
  void RemoveUnfinishedInstallation(bool live);
  void SettleWorkingDir();
  void Notice(const std::string& title, std::initializer_list<std::string> lines);

  // The package that step 4 verified, and the file it wrote held open, for step 5.
  TSavedPackage FPackage;
  TOperationMonitor FMonitor;
  TTransferRate FRate;
  TProgressSnapshot FShownProgress;
  TFormatSettings FProgressFormat;
  std::uint32_t FProgressTicks = 0;
  bool FProgressShown = false;
  bool FRunning = false;
  bool FCloseAfterRun = false;
  // This run made the working folder (step 4): it answers for what is in it.
  bool FMadeWorkingDir = false;
};

// The log line of a step that the user stopped.
inline constexpr const char* kCancelledLine = "[Napaka] Namestitev je prekinil uporabnik.";

// The fixed texts of the sequence that callers and tests share.
std::string PackageFile();           // C:\Tramela\TramelaCoreServer.zip
std::string PackageUrl();            // http://<distribution server>/Download/TramelaCoreServer.zip
std::string FirebirdSetupProgram();  // C:\Tramela\Install\Firebird-2.1.3.18185_0_Win32.exe
std::string FirebirdSetupFolder();   // C:\Tramela\Install, the setup's current folder
std::string FirebirdSetupCommandLine();
