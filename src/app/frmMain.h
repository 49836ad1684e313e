// The main window: a borderless two-page wizard with the checklist and log of
// the installation, which it runs against the system's operations.
#pragma once

#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "app/InstallOperations.h"
#include "app/frmObvestilo.h"
#include "trust/PackageSignature.h"
#include "ui/Forms.h"

// The index of a checklist row's state picture.
enum TStepState { StepRunning = 0, StepDone = 1, StepFailed = 2, StepSkipped = 3 };

class T_frmMain : public TForm {
  // First, so that they exist before the components that refer to them.
  IInstallOperations& FOps;
  std::unique_ptr<IZipArchive> FZip;
  T_frmObvestilo* FNotice = nullptr;  // we don't own it: the application does
  // The publisher keys a package's signature must come from.
  std::vector<TPackagePublicKey> FPackageKeys;

 public:
  T_frmMain(TComponent* owner, IPlatform& platform, IInstallOperations& operations,
            std::span<const TPackagePublicKey> packageKeys = BuiltInPackageKeys());

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
  void AddStep(const std::string& text, int step);
  void SetStepState(int step, TStepState state);
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

 private:
  void BuildLayout();
  void BuildSidebarAndFrame();
  void BuildButtons();
  void BuildPages();
  void BuildProgressPanel();
  bool CheckDriveAndDirectory();
  void ShowOutcome();
  void Notice(const std::string& title, std::initializer_list<std::string> lines);
};

// The fixed texts of the sequence that callers and tests share.
std::string PackageFile();     // C:\Tramela\TramelaCoreServer.zip
std::string PackageUrl();      // http://<distribution server>/Download/TramelaCoreServer.zip
std::string FirebirdSetupCommandLine();
