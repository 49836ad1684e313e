// Step 4's trust in the package against substitute operations: every way a
// signature or a package can fail to match fails row 4 with its own log lines,
// writes nothing and starts nothing; a good package runs as before. Step 5
// extracts the verified bytes, and only while the held file has the signed size.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "AppFixture.h"
#include "app/HalvexConst.h"
#include "app/InstallRollback.h"
#include "app/PackageDownload.h"

namespace {

using TRows = std::vector<std::pair<std::string, int>>;
const std::string kDownload = "Prenos namestitvenega paketa...";
const std::string kFailed = "Pri namestitvi je prišlo do napak.";
const std::string kPackageFile = "C:\\Tramela\\TramelaCoreServer.zip";

struct TRefusal {
  const char* Name;
  std::function<void(TFakeOperations&)> Arrange;
  std::vector<std::string> Lines;  // after the step's own line
};

class PackageRefused : public TAppTest, public ::testing::WithParamInterface<TRefusal> {};

TEST_P(PackageRefused, FailsRowFourAndWritesNothing) {
  GetParam().Arrange(Ops);
  RunInstall();
  EXPECT_EQ(Rows(), (TRows{{"1", StepDone}, {"2", StepDone}, {"3", StepDone}, {"4", StepFailed}}));
  std::vector<std::string> tail{kDownload};
  tail.insert(tail.end(), GetParam().Lines.begin(), GetParam().Lines.end());
  tail.push_back(kFailed);
  const auto log = Log();
  ASSERT_GE(log.size(), tail.size());
  EXPECT_EQ(
      std::vector<std::string>(log.end() - static_cast<std::ptrdiff_t>(tail.size()), log.end()),
      tail);
  EXPECT_EQ(Ops.Files.count(kPackageFile), 0u);
  EXPECT_TRUE(Ops.RunCommands.empty());
  EXPECT_FALSE(Main->InstallOk);
  EXPECT_FALSE(Main->_btnPotrdi.Enabled());
  ASSERT_EQ(Notices.size(), 1u);
  EXPECT_EQ(Notices[0].Lines, std::vector<std::string>{kFailed});
}

std::string Flipped(std::string bytes, std::size_t at) {
  bytes[at] = static_cast<char>(bytes[at] ^ 1);
  return bytes;
}

const TRefusal kRefusals[] = {
    {"NoSignatureFile",
     [](TFakeOperations& o) { o.SigRaises = "HTTP/1.1 404 Not Found"; },
     {"HTTP/1.1 404 Not Found", kSignatureUnavailable}},
    {"SignatureFetchBreaksOff",
     [](TFakeOperations& o) { o.SigRaises = "Socket Error # 10054\nConnection reset by peer."; },
     {"Socket Error # 10054 Connection reset by peer.", kSignatureUnavailable}},
    {"MalformedSignature",
     [](TFakeOperations& o) { o.Sig = "tramela-package-signature 2\n"; },
     {kSignatureInvalid}},
    {"SignatureInTheFormatWithoutVersion",
     [](TFakeOperations& o) {
       // The same signed lines less the version: format 1 as it was.
       const std::size_t at = o.Sig.find("package-version: ");
       o.Sig.erase(at, o.Sig.find('\n', at) + 1 - at);
       o.Sig.replace(o.Sig.find("signature 2"), 11, "signature 1");
     },
     {kSignatureInvalid}},
    {"PackageOlderThanTheFloor",
     [](TFakeOperations& o) { o.Sig = AppFixture("old-version.sig"); },
     {kPackageTooOld}},
    {"SignatureWithCrLf",
     [](TFakeOperations& o) {
       std::string crlf;
       for (const char c : o.Sig) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
       o.Sig = crlf;
     },
     {kSignatureInvalid}},
    {"SignedByAnotherKey",
     [](TFakeOperations& o) { o.Sig = AppFixture("other-key.sig"); },
     {kSignatureInvalid}},
    {"SignatureFlippedInItsSignedLines",
     [](TFakeOperations& o) { o.Sig = Flipped(o.Sig, 60); },
     {kSignatureInvalid}},
    {"SignatureOverFourKiB",
     [](TFakeOperations& o) {
       o.Sig += std::string(4096, '\n');
       o.SigAnnounced = -1;
     },
     {"The response body runs past 4096 bytes.", kSignatureInvalid}},
    {"SignatureAnnouncedOverFourKiB",
     [](TFakeOperations& o) { o.SigAnnounced = 4097; },
     {"The server announces 4097 bytes; at most 4096 are accepted.", kSignatureInvalid}},
    {"PackageChangedAfterSigning",
     [](TFakeOperations& o) { o.Body = Flipped(o.Body, 1234); },
     {kPackageMismatch}},
    {"PackageAnnouncedLongerThanSigned",
     [](TFakeOperations& o) { o.Announced = 3001; },
     {"The server announces 3001 bytes; at most 3000 are accepted.", kPackageMismatch}},
    {"PackageRunsPastTheSignedSize",
     [](TFakeOperations& o) {
       o.Body += "MZ";
       o.Announced = -1;
     },
     {"The response body runs past 3000 bytes.", kPackageMismatch}},
    {"PackageShorterThanSignedWithoutLength",
     [](TFakeOperations& o) {
       o.Body.pop_back();
       o.Announced = -1;
     },
     {kPackageMismatch}},
    {"WorkingDirectoryMadeByAnotherAfterTheTest",
     [](TFakeOperations& o) {
       o.OnGet = [&o](const std::string&) { o.Directories.insert("C:\\Tramela"); };
     },
     {kWorkingDirUnsafe}},
    {"WorkingDirectoryCannotBeSecured",
     [](TFakeOperations& o) { o.WorkingDirRaises = "Access is denied."; },
     {"Access is denied.", kWorkingDirUnsafe}},
};

INSTANTIATE_TEST_SUITE_P(Step4, PackageRefused, ::testing::ValuesIn(kRefusals),
                         [](const ::testing::TestParamInfo<TRefusal>& info) {
                           return std::string(info.param.Name);
                         });

class PackageTrust : public TAppTest {};

TEST_F(PackageTrust, SignatureComesFirstAndTheFolderOnlyAfterTheCheck) {
  const std::string base =
      "http://" + std::string(DistributionHost) + "/Download/TramelaCoreServer.zip";
  // What the server sees at each request: the URL, and whether the working directory exists yet.
  std::vector<std::pair<std::string, bool>> requests;
  Ops.OnGet = [this, &requests](const std::string& url) {
    requests.emplace_back(url, Ops.Directories.count("C:\\Tramela") != 0);
  };
  RunInstall();
  EXPECT_EQ(requests,
            (std::vector<std::pair<std::string, bool>>{{base + ".sig", false}, {base, false}}));
  // The package was saved into the directory made for it.
  EXPECT_EQ(Rows().at(3), (std::pair<std::string, int>{"4", StepDone}));
  EXPECT_EQ(Ops.Directories.count("C:\\Tramela"), 1u);
  // The signature file is capped at 4 KiB, the package at its signed size.
  EXPECT_EQ(Ops.BodyCaps, (std::vector<std::int64_t>{4096, 3000}));
}

TEST_F(PackageTrust, NoPackageIsFetchedWithoutAValidSignature) {
  Ops.Sig = AppFixture("other-key.sig");
  RunInstall();
  EXPECT_EQ(Ops.Urls.size(), 1u);
  EXPECT_EQ(Ops.Directories.count("C:\\Tramela"), 0u);
}

TEST_F(PackageTrust, NoPackageIsFetchedBelowTheFloor) {
  Ops.Sig = AppFixture("old-version.sig");
  RunInstall();
  EXPECT_EQ(Ops.Urls.size(), 1u);
  EXPECT_EQ(Ops.Directories.count("C:\\Tramela"), 0u);
}

TEST_F(PackageTrust, ExtractionReadsTheVerifiedFileOnceAndLetsItGo) {
  RunInstall();
  EXPECT_TRUE(Main->InstallOk);
  EXPECT_EQ(Ops.ZipArchive, Ops.Body);
  EXPECT_EQ(Ops.ZipDirectoryReadings, 1);
  // Removed after extraction, which a file still held open would refuse.
  EXPECT_EQ(Ops.Files.count(kPackageFile), 0u);
  EXPECT_TRUE(Ops.HeldFile.empty());
}

// A drive (or something between) that stores other bytes of the same size:
// what is extracted is still what was verified, and the file goes as usual.
TEST_F(PackageTrust, ExtractsTheVerifiedBytesWhateverTheFileHolds) {
  Ops.SaveAlters = [](const std::string& path, std::string& stored) {
    if (path == kPackageFile) stored[2999] = static_cast<char>(stored[2999] ^ 0x40);
  };
  RunInstall();
  EXPECT_TRUE(Main->InstallOk);
  EXPECT_EQ(Ops.ZipArchive, Ops.Body);
  EXPECT_EQ(Ops.Files.count(kPackageFile), 0u);
  EXPECT_TRUE(Ops.HeldFile.empty());
}

// A drive (or something between) that stores more or fewer bytes than it was given.
struct TStoredOtherwise {
  const char* Name;
  std::function<void(std::string&)> Alter;
};

class PackageFileDiffers : public TAppTest,
                           public ::testing::WithParamInterface<TStoredOtherwise> {};

TEST_P(PackageFileDiffers, FailsRowFiveBeforeAnythingIsExtracted) {
  // Only the package is stored otherwise; the run's other files are written as given.
  Ops.SaveAlters = [alter = GetParam().Alter](const std::string& path, std::string& stored) {
    if (path == kPackageFile) alter(stored);
  };
  RunInstall();
  EXPECT_EQ(
      Rows(),
      (TRows{
          {"1", StepDone}, {"2", StepDone}, {"3", StepDone}, {"4", StepDone}, {"5", StepFailed}}));
  const auto log = Log();
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(log.end() - 3, log.end()),
            (std::vector<std::string>{kPackageMismatch, kRollbackLine, kFailed}));
  EXPECT_EQ(Ops.ZipDirectoryReadings, 0);
  EXPECT_EQ(Ops.Files.count("C:\\Tramela\\Install\\Firebird-2.1.3.18185_0_Win32.exe"), 0u);
  EXPECT_TRUE(Ops.RunCommands.empty());
  EXPECT_TRUE(Ops.HeldFile.empty());  // let go of, so that it could be removed
  EXPECT_EQ(Ops.Directories.count("C:\\Tramela"), 0u);
  EXPECT_FALSE(Main->InstallOk);
}

INSTANTIATE_TEST_SUITE_P(
    Step5, PackageFileDiffers,
    ::testing::Values(TStoredOtherwise{"CutShort", [](std::string& s) { s.pop_back(); }},
                      TStoredOtherwise{"Lengthened", [](std::string& s) { s += "MZ"; }},
                      TStoredOtherwise{"Empty", [](std::string& s) { s.clear(); }}),
    [](const ::testing::TestParamInfo<TStoredOtherwise>& info) {
      return std::string(info.param.Name);
    });

class PackageTrustWithTwoKeys : public TAppTest {
 protected:
  void SetUp() override {
    Keys.insert(Keys.begin(), FixtureKey("other-key.txt"));
    TAppTest::SetUp();
  }
};

TEST_F(PackageTrustWithTwoKeys, EitherKeyIsAccepted) {
  RunInstall();
  EXPECT_TRUE(Main->InstallOk);
}

}  // namespace
