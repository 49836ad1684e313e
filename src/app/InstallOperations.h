// What the installation sequence and the main window ask of the system: drives,
// files and folders, processes, the system's name, the network and the zip
// component. The real operations come from the probes, the HTTP client and the
// zip component; tests give substitutes.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/OperationMonitor.h"
#include "probes/SystemProbes.h"
#include "probes/SystemProxy.h"
#include "rtl/Exceptions.h"
#include "rtl/Streams.h"
#include "rtl/Text.h"
#include "trust/Sha256.h"
#include "zip/ZipellaSettings.h"

// A download refused by its cap on the body: announced longer, or ran past it.
class EDownloadTooLarge : public Exception {
 public:
  using Exception::Exception;
};

// The zip component as the extraction step drives it.
class IZipArchive {
 public:
  virtual ~IZipArchive() = default;
  virtual void SetFileName(const std::string& fileName) = 0;
  // True opens the archive named by FileName and reads its directory; False closes it.
  virtual void SetActive(bool active) = 0;
  virtual bool Active() const = 0;
  virtual bool IsZipFile() const = 0;
  // Takes the stream as the archive, held until the archive is closed, and reads
  // its directory once; a stream that is no zip archive leaves it closed.
  virtual void LoadArchive(std::unique_ptr<TStream> stream) = 0;
  // Writes every entry below the target folder, overwriting existing files.
  virtual void ExtractAll(const std::string& targetFolder) = 0;
  // The sum of the open archive's uncompressed file sizes: the most ExtractAll writes.
  virtual std::int64_t UncompressedTotal() const = 0;
  // Extraction reports its files to the monitor and stops (EAbort) when it is
  // asked to; none by default. Not owned.
  virtual void AttachMonitor(TOperationMonitor* monitor) = 0;
};

class IInstallOperations {
 public:
  virtual ~IInstallOperations() = default;

  // Disks, files and folders.
  virtual std::vector<std::string> ListLogicalDrives() = 0;
  // Bytes free for the user on drive number (kDriveC), −1 when it cannot be read.
  virtual std::int64_t GetFreeDiskSpace(int drive) = 0;
  virtual bool DirectoryExists(const std::string& path) = 0;
  virtual bool FileExists(const std::string& path) = 0;
  virtual bool CreateDir(const std::string& path) = 0;
  virtual bool RemoveDir(const std::string& path) = 0;
  virtual bool RemoveFile(const std::string& path) = 0;
  // Makes path as a new folder that only administrators and the system may
  // change (other users read and run), which everything made below it inherits.
  // False when anything is at path already (a folder, a file, a link); raises
  // with the system's reason when the folder cannot be made so.
  [[nodiscard]] virtual bool CreateWorkingDir(const std::string& path) = 0;
  // Creates the file, which must not exist yet, with the stream's whole content
  // and keeps it open: the answer reads the file through the handle that wrote
  // it, and nobody else can write the file until the answer is destroyed.
  // Raises on failure.
  [[nodiscard]] virtual std::unique_ptr<TStream> SaveToFile(const TMemoryStream& stream,
                                                            const std::string& path) = 0;
  // A folder's entries, links reported as links and never followed; none when
  // path is no folder of its own or cannot be read.
  virtual std::optional<std::vector<TFolderEntry>> ListFolder(const std::string& path) = 0;
  // Removes one entry as ListFolder saw it (a link itself, never its target);
  // False when it stays.
  virtual bool RemoveEntry(const std::string& path, TEntryKind kind) = 0;

  // Processes.
  virtual std::vector<std::string> ListProcessNames() = 0;
  // Starts the program and waits for its end: its exit code, or none when it
  // could not be started.
  virtual std::optional<std::uint32_t> RunProgram(const TProgramStart& start) = 0;
  // The system's text for why the last RunProgram failed.
  virtual std::string LastRunError() = 0;

  // The system and the network.
  virtual std::string GetWinVersionName() = 0;
  // A TCP client to host:port that connects and disconnects at once; False
  // when no connection could be made. Never raises for network reasons.
  virtual bool TcpConnect(const std::string& host, const std::string& port) = 0;
  // Why the last TcpConnect failed, when the system gave a reason worth a log
  // line (a name look-up that got no answer in time); empty otherwise.
  virtual std::string LastConnectError() { return {}; }
  // An HTTP GET of url into body, at most maxBody bytes of it: a longer
  // announced body is refused before it is read, a body that runs longer ends
  // the transfer (both EDownloadTooLarge). Answers the Content-Length the
  // server announced, −1 when it announced none. Raises on any failure, also
  // when the server sends nothing for the read time-out.
  virtual std::int64_t HttpGet(const std::string& url, TMemoryStream& body,
                               std::int64_t maxBody) = 0;
  // The same for a file that must be exactly size bytes long (the signed
  // size), with the SHA-256 of the body as answered in digest: the real
  // operation goes on from where a broken body stopped, and hashes the body as
  // it arrives.
  virtual std::int64_t HttpGetSized(const std::string& url, TMemoryStream& body, std::int64_t size,
                                    TSha256Digest& digest) {
    const std::int64_t announced = HttpGet(url, body, size);
    digest = Sha256Of(body.Bytes());
    return announced;
  }
  // The proxy that the system's settings name for plain HTTP to host; by
  // default none (direct).
  virtual TProxyChoice ProxyFor(const std::string& /*host*/) { return {}; }
  // Downloads report their bytes to the monitor and stop (EAbort) when it is
  // asked to; none by default. Not owned.
  virtual void AttachMonitor(TOperationMonitor* monitor) = 0;
  // The local host's IPv4 addresses as dotted text.
  virtual std::vector<std::string> GetLocalIPs() = 0;
  // The user's number format (the thousands separator of the free-space line).
  virtual TFormatSettings FormatSettings() = 0;

  // The main window's zip component, made once with the window's stored settings
  // (MainWindowZipSettings()).
  virtual std::unique_ptr<IZipArchive> CreateZipComponent(const TZipSettings& settings) = 0;
};
