#include "app/SystemOperations.h"

#include "app/HashingMemoryStream.h"
#include "http/IdHTTP.h"
#include "http/IdHTTPBodyLimit.h"
#include "http/IdURI.h"
#include "probes/GetWinVersionInfo.h"
#include "probes/HalvexNetwork.h"
#include "probes/Sockets.h"
#include "rtl/FileSystem.h"
#include "rtl/Text.h"
#include "zip/Zipella.h"

namespace {

// The main window's zip component, set up as its stored form has it.
class TZipellaArchive : public IZipArchive {
 public:
  explicit TZipellaArchive(const TZipSettings& settings) {
    FZip.ApplySettings(settings);
    // Stored last, as a form loads it; with no FileName yet it changes nothing.
    FZip.SetActive(settings.Active);
  }
  void SetFileName(const std::string& fileName) override { FZip.SetFileName(fileName); }
  void SetActive(bool active) override { FZip.SetActive(active); }
  bool Active() const override { return FZip.Active(); }
  bool IsZipFile() const override { return FZip.IsZipFile(); }
  void LoadArchive(std::unique_ptr<TStream> stream) override {
    FZip.LoadArchive(std::move(stream));
  }
  void ExtractAll(const std::string& targetFolder) override;
  void AttachMonitor(TOperationMonitor* monitor) override;
  std::int64_t UncompressedTotal() const override { return FZip.UncompressedTotal(); }

 private:
  TZipella FZip;
  TOperationMonitor* FMonitor = nullptr;  // we don't own it
  int FFilesDone = 0;
};

void TZipellaArchive::ExtractAll(const std::string& targetFolder) {
  if (FMonitor != nullptr) {
    const TZipellaEntries& entries = FZip.Entries();
    std::int64_t files = 0;
    for (int i = 0; i < entries.Count(); ++i) files += entries.Entry(i).IsDirectory ? 0 : 1;
    FFilesDone = 0;
    FMonitor->Begin(TProgressUnit::Files, files);
  }
  FZip.ExtractAll(targetFolder);
}

// Between entries, while extraction waits for its file work, and between the
// pieces of an entry being decoded, a stop request ends the extraction.
void TZipellaArchive::AttachMonitor(TOperationMonitor* monitor) {
  FMonitor = monitor;
  if (monitor == nullptr) {
    FZip.OnExtractFile = nullptr;
    FZip.SetStopFlag(nullptr);
    return;
  }
  FZip.SetStopFlag(&monitor->CancelFlag());
  FZip.OnExtractFile = [this, monitor](TObject*, int current, int) {
    monitor->CheckCancel();
    if (!FZip.Entries().Entry(current - 1).IsDirectory) monitor->Advance(++FFilesDone);
  };
}

}  // namespace

TSystemOperations::TSystemOperations(std::unique_ptr<ISystemProbes> probes)
    : FProbes(probes ? std::move(probes) : CreateSystemProbes()) {}

std::vector<std::string> TSystemOperations::ListLogicalDrives() {
  return FProbes->ListLogicalDrives();
}
std::int64_t TSystemOperations::GetFreeDiskSpace(int drive) {
  return FProbes->GetFreeDiskSpace(drive);
}
bool TSystemOperations::DirectoryExists(const std::string& path) {
  return FProbes->DirectoryExists(path);
}
bool TSystemOperations::FileExists(const std::string& path) { return FProbes->FileExists(path); }
bool TSystemOperations::CreateDir(const std::string& path) {
  return FProbes->CreateDirectory(path);
}
bool TSystemOperations::RemoveDir(const std::string& path) {
  return FProbes->RemoveDirectory(path);
}
bool TSystemOperations::RemoveFile(const std::string& path) { return FProbes->DeleteFile(path); }

bool TSystemOperations::CreateWorkingDir(const std::string& path) {
  switch (FProbes->CreatePrivateDirectory(path)) {
    case TPrivateDirResult::Created:
      return true;
    case TPrivateDirResult::Exists:
      return false;
    case TPrivateDirResult::Failed:
      break;
  }
  // Read at once, before any other call can replace the system's reason.
  throw Exception(SysErrorMessage(GetLastOSError()));
}

std::unique_ptr<TStream> TSystemOperations::SaveToFile(const TMemoryStream& stream,
                                                       const std::string& path) {
  // Only a file of its own: nothing that is already at path is written through.
  // Opened for reading too and shared with nobody, so that what is read back
  // through this handle is what was written, until the caller lets it go.
  TFileHandle file = TFileHandle::CreateNew(path);
  if (!file.Valid())
    throw EFCreateError(
        Format("Cannot create file \"%s\". %s", {path, SysErrorMessage(GetLastOSError())}));
  const auto bytes = stream.Bytes();
  if (file.Write(bytes.data(), static_cast<std::int64_t>(bytes.size())) !=
      static_cast<std::int64_t>(bytes.size())) {
    throw EWriteError(
        Format("Cannot write file \"%s\". %s", {path, SysErrorMessage(GetLastOSError())}));
  }
  return std::make_unique<TFileStream>(std::move(file), path);
}

std::vector<std::string> TSystemOperations::ListProcessNames() {
  return FProbes->ListProcessNames();
}

std::optional<std::vector<TFolderEntry>> TSystemOperations::ListFolder(const std::string& path) {
  return FProbes->ListFolder(path);
}

bool TSystemOperations::RemoveEntry(const std::string& path, TEntryKind kind) {
  return FProbes->RemoveEntry(path, kind);
}

std::optional<std::uint32_t> TSystemOperations::RunProgram(const TProgramStart& start) {
  const std::optional<std::uint32_t> exitCode = FProbes->RunProgram(start);
  // Read at once, before any other call can replace the system's reason.
  FLastRunError = exitCode ? std::string() : SysErrorMessage(GetLastOSError());
  return exitCode;
}

std::string TSystemOperations::LastRunError() { return FLastRunError; }

std::string TSystemOperations::GetWinVersionName() { return ::GetWinVersionName(); }

bool TSystemOperations::TcpConnect(const std::string& host, const std::string& port) {
  TTcpClient client;
  if (FMonitor != nullptr) client.SetStopFlag(&FMonitor->CancelFlag());
  client.SetRemoteHost(host);
  client.SetRemotePort(port);
  FLastConnectError.clear();
  if (!client.Connect()) {
    // The same words as a download's failed look-up.
    if (client.LookupTimedOut()) FLastConnectError = TIdStack::SocketErrorText(kWsaHostNotFound);
    return false;
  }
  client.Disconnect();
  return true;
}

TProxyChoice TSystemOperations::ProxyFor(const std::string& host) {
  if (!FProxySettings) FProxySettings = ReadSystemProxySettings();
  return ChooseProxy(*FProxySettings, host);
}

std::int64_t TSystemOperations::HttpGet(const std::string& url, TMemoryStream& body,
                                        std::int64_t maxBody) {
  TIdLimitedMemoryStream limited(maxBody);
  const std::int64_t announced = Fetch(url, limited, -1);
  // The bytes change hands without a copy.
  body.Swap(limited);
  return announced;
}

std::int64_t TSystemOperations::HttpGetSized(const std::string& url, TMemoryStream& body,
                                             std::int64_t size, TSha256Digest& digest) {
  THashingMemoryStream hashed(size);
  // Reserved once: a package is never grown by copying, nor held twice.
  hashed.SetCapacity(size);
  const std::int64_t announced = Fetch(url, hashed, size);
  // Taken before the swap, which the stream does not watch.
  digest = hashed.Digest();
  body.Swap(hashed);
  return announced;
}

std::int64_t TSystemOperations::Fetch(const std::string& url, TIdLimitedMemoryStream& body,
                                      std::int64_t expectedSize) {
  TIdHTTP http;
  http.SetReadTimeout(FReadTimeout);
  if (const TProxyChoice proxy = ProxyFor(TIdURI(url).Host); proxy.UsesProxy()) {
    http.ProxyParams.ProxyServer = proxy.Host;
    http.ProxyParams.ProxyPort = proxy.Port;
  }
  TIdRetryEvent onRetry;
  if (FMonitor != nullptr) {
    TOperationMonitor& monitor = *FMonitor;
    http.SetAbortFlag(&monitor.CancelFlag());
    // An expected count of 0 means the server announced no length.
    http.OnWorkBegin = [&monitor](TObject*, TWorkMode mode, std::int64_t countMax) {
      if (mode == wmRead) monitor.Begin(TProgressUnit::Bytes, countMax > 0 ? countMax : -1);
    };
    http.OnWork = [&monitor](TObject*, TWorkMode mode, std::int64_t count) {
      if (mode == wmRead) monitor.Advance(count);
    };
    onRetry = [&monitor](std::int64_t received, std::int64_t total, int attempt, int most) {
      monitor.Log(Format("Prenos prekinjen pri %d od %d bajtov, ponovni poskus %d od %d... ",
                         {received, total < 0 ? received : total, attempt, most}));
    };
  }
  TIdRetryOptions options = FRetry;
  options.ExpectedSize = expectedSize;
  try {
    GetWithRetries(http, url, body, options, onRetry);
  } catch (const EIdHTTPBodyTooLarge& e) {
    throw EDownloadTooLarge(e.Message());
  }
  // A resumed body was announced in parts; the whole is what was asked for.
  if (expectedSize >= 0 && http.Response().StatusCode() == 206) return expectedSize;
  return http.Response().ContentLength;
}

std::vector<std::string> TSystemOperations::GetLocalIPs() {
  return THalvexNetwork().GetLocalIPs()->ToVector();
}

TFormatSettings TSystemOperations::FormatSettings() { return DefaultFormatSettings(); }

std::unique_ptr<IZipArchive> TSystemOperations::CreateZipComponent(const TZipSettings& settings) {
  return std::make_unique<TZipellaArchive>(settings);
}
