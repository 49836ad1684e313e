// Extraction: trees of real tools' archives against unzip's, the overwrite
// rules, attributes, progress, the failure messages and hostile entries.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "TestSupport.h"
#include "ZipFixtures.h"
#include "zip/ZLib.h"
#include "zip/Zipella.h"

namespace fs = std::filesystem;
using testsupport::ExpectThrowMessage;
using testsupport::ReadFileBytes;
using testsupport::TTempDir;
using testsupport::WriteFileBytes;
using ziptest::CompareTrees;
using ziptest::Hand;
using ziptest::OpenAsInstaller;
using ziptest::Real;
using ziptest::Reference;

namespace {

// ---------------------------------------------------------------------------
// Every real tool's archive extracts to exactly what unzip extracts.

class ZipRealExtraction : public ::testing::TestWithParam<const char*> {};

TEST_P(ZipRealExtraction, TreeMatchesUnzipByteForByte) {
  const std::string name = GetParam();
  TTempDir dir;
  TZipella zip;
  OpenAsInstaller(zip, Real(name + ".zip"));
  ASSERT_TRUE(zip.IsZipFile());
  zip.ExtractAll(dir.Str() + PathDelim);
  EXPECT_EQ(CompareTrees(Reference(name), dir.Path()), std::vector<std::string>{});
}

// Read through a tiny buffer, every record and every entry's data straddles
// refills, and large entries bypass it.
TEST_P(ZipRealExtraction, SameTreeThroughATinyReadBuffer) {
  const std::string name = GetParam();
  TTempDir dir;
  TZipella zip;
  ApplyMainWindowSettings(zip);
  zip.LoadArchive(std::make_unique<TReadBufferStream>(
      std::make_unique<TFileStream>(Real(name + ".zip"), fmOpenRead | fmShareDenyNone), 61));
  ASSERT_TRUE(zip.IsZipFile());
  zip.ExtractAll(dir.Str() + PathDelim);
  EXPECT_EQ(CompareTrees(Reference(name), dir.Path()), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Tools, ZipRealExtraction,
                         ::testing::Values("zip-stored", "zip-level1", "zip-level2", "zip-level6", "zip-level9",
                                           "zip-descriptors", "zip-piped", "zip-stdin", "zip-stdin-piped",
                                           "zip-comment-1000", "bsdtar-deflated", "bsdtar-stored", "bsdtar-piped",
                                           "py-stored", "py-deflated", "py-stream", "py-comment-65535"));

// Streaming writers' archives without their central directory: the recovery
// scan walks the data descriptors and finds every entry.
class ZipStreamedRecovery : public ::testing::TestWithParam<const char*> {};

TEST_P(ZipStreamedRecovery, CutArchiveStillExtractsEveryEntry) {
  const std::string name = GetParam();
  TZipella whole;
  whole.Open(Real(name + ".zip"));
  TZipella cut;
  cut.Open(Real(name + ".zip.cut"));
  ASSERT_TRUE(cut.IsZipFile());
  EXPECT_EQ(cut.FileNames().ToVector(), whole.FileNames().ToVector());
  TTempDir dir;
  ApplyMainWindowSettings(cut);
  cut.ExtractAll(dir.Str());
  EXPECT_EQ(CompareTrees(Reference(name), dir.Path()), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Writers, ZipStreamedRecovery,
                         ::testing::Values("zip-piped", "zip-stdin-piped", "py-stream", "bsdtar-piped"));

TEST(ZipStreamedRecoveryCutShort, EntryCutInsideItsDataFailsNamingIt) {
  TZipella zip;
  OpenAsInstaller(zip, Real("zip-piped.zip.cut-short"));
  ASSERT_TRUE(zip.IsZipFile());
  const auto& last = zip.Entries().Entry(zip.Entries().Count() - 1);
  EXPECT_TRUE(last.Incomplete);
  TTempDir dir;
  ExpectThrowMessage<EZipellaError>([&] { zip.ExtractAll(dir.Str()); },
                                    "Unexpected end of data in this file: " + last.CentralRecord.FileName);
}

// ---------------------------------------------------------------------------
// Folders and the overwrite rules.

class ZipOverwrite : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(Dir.Path() / "dir");
    WriteFileBytes(Dir.Path() / "dir" / "a.txt", "old a");
    WriteFileBytes(Dir.Path() / "c.txt", "old c");
    Zip.Open(Hand("three.zip"));
  }
  std::string Content(const std::string& name) { return ReadFileBytes(Dir.Path() / name); }
  TTempDir Dir;
  TZipella Zip;
};

TEST_F(ZipOverwrite, OverwriteAllReplacesEvenWithEmptyEntry) {
  int asked = 0;
  Zip.OnOverwriteFile = [&](TObject*, std::string&, TOverwriteAction&) { ++asked; };
  Zip.SetOverwriteAction(TOverwriteAction::oaOverwriteAll);
  Zip.ExtractAll(Dir.Str());
  EXPECT_EQ(Content("dir/a.txt"), "alpha\n");
  EXPECT_EQ(Content("c.txt"), "");
  EXPECT_EQ(asked, 0);
}

TEST_F(ZipOverwrite, SkipAllFromHandlerSparesLaterExistingFilesAndWritesNewOnes) {
  std::vector<std::string> asked;
  Zip.OnOverwriteFile = [&](TObject*, std::string& name, TOverwriteAction& action) {
    asked.push_back(name);
    action = TOverwriteAction::oaSkipAll;
  };
  Zip.SetOverwriteAction(TOverwriteAction::oaOverwrite);
  Zip.ExtractAll(Dir.Str());
  ASSERT_EQ(asked.size(), 1u);  // only for the first existing file
  EXPECT_EQ(Content("dir/a.txt"), "old a");
  EXPECT_EQ(Content("c.txt"), "old c");
  EXPECT_EQ(Content("dir/b.txt").size(), 600u);  // did not exist: written
}

TEST_F(ZipOverwrite, HandlerRedirectsOutput) {
  const std::string moved = Dir.File("moved.txt");
  Zip.OnOverwriteFile = [&](TObject*, std::string& name, TOverwriteAction&) {
    if (name.find("a.txt") != std::string::npos) name = moved;
  };
  Zip.SetOverwriteAction(TOverwriteAction::oaOverwrite);
  Zip.ExtractAll(Dir.Str());
  EXPECT_EQ(Content("moved.txt"), "alpha\n");
  EXPECT_EQ(Content("dir/a.txt"), "old a");
}

TEST_F(ZipOverwrite, DefaultSkipKeepsExistingFiles) {
  Zip.ExtractAll(Dir.Str());
  EXPECT_EQ(Content("dir/a.txt"), "old a");
  EXPECT_EQ(Content("dir/b.txt").size(), 600u);
}

TEST(ZipExtract, ClosedComponentExtractsNothing) {
  TTempDir dir;
  TZipella zip;
  zip.ExtractAll(dir.Str());
  EXPECT_TRUE(fs::is_empty(dir.Path()));
}

TEST(ZipExtract, EmptyEntriesGiveEmptyFilesWithoutProgress) {
  TTempDir dir;
  TZipella zip;
  int progress = 0;
  zip.OnDecompressFile = [&](TObject*, int, int) { ++progress; };
  OpenAsInstaller(zip, Hand("empty-entries.zip"));
  zip.ExtractAll(dir.Str());
  EXPECT_EQ(ReadFileBytes(dir.Path() / "e-stored"), "");
  EXPECT_EQ(ReadFileBytes(dir.Path() / "e-deflated"), "");
  EXPECT_TRUE(fs::exists(dir.Path() / "e-deflated"));
  EXPECT_EQ(progress, 0);
}

TEST(ZipExtract, ProgressOncePerInputPiece) {
  TTempDir dir;
  TZipella zip;
  std::vector<std::pair<int, int>> progress;
  zip.OnDecompressFile = [&](TObject* sender, int current, int total) {
    EXPECT_EQ(sender, &zip);
    progress.emplace_back(current, total);
  };
  OpenAsInstaller(zip, Hand("progress.zip"));
  zip.ExtractAll(dir.Str());
  ASSERT_EQ(progress.size(), 4u);
  EXPECT_EQ(progress[0].first, 0);
  for (std::size_t i = 1; i < progress.size(); ++i) EXPECT_GT(progress[i].first, progress[i - 1].first);
  for (const auto& p : progress) EXPECT_EQ(p.second, 200000);
  EXPECT_EQ(fs::file_size(dir.Path() / "big.bin"), 200000u);
}

std::string HandText(int copies = 1) {
  std::string text;
  for (int i = 0; i < 40 * copies; ++i) text += "hand-built entry content\n";
  return text;
}

TEST(ZipExtract, DataDecodingPastSizeIsCutToSize) {
  TTempDir dir;
  TZipella zip;
  OpenAsInstaller(zip, Hand("deflate-long.zip"));
  zip.ExtractAll(dir.Str());
  EXPECT_EQ(ReadFileBytes(dir.Path() / "long.txt"), HandText().substr(0, 100));
}

TEST(ZipExtract, TruncatedArchiveWritesCompleteEntriesThenFailsOnCutOne) {
  TTempDir dir;
  TZipella zip;
  OpenAsInstaller(zip, Hand("truncated.zip"));
  ExpectThrowMessage<EZipellaError>([&] { zip.ExtractAll(dir.Str()); }, "Unexpected end of data in this file: t3.bin");
  EXPECT_EQ(ReadFileBytes(dir.Path() / "t1.txt"), HandText());
  EXPECT_EQ(ReadFileBytes(dir.Path() / "t2.txt"), HandText(3));
}

// ---------------------------------------------------------------------------
// Attributes.

TEST(ZipAttributes, ReadOnlyEntryBlocksSecondExtraction) {
  TTempDir dir;
  TZipella zip;
  OpenAsInstaller(zip, Hand("attr-21.zip"));
  zip.ExtractAll(dir.Str());
  const std::string path = dir.File("ro.txt");
  EXPECT_EQ(FileGetAttr(path) & (faReadOnly | faArchive), faReadOnly | faArchive);
  if (!testsupport::PlatformEnforcesReadOnly()) GTEST_SKIP() << "read-only files are writable here";
  try {
    zip.ExtractAll(dir.Str());
    ADD_FAILURE() << "a read-only file was replaced";
  } catch (const EFCreateError& e) {
    EXPECT_EQ(e.Message().rfind("Cannot create file \"" + ExpandFileName(dir.Str() + PathDelim + "ro.txt") + "\". ", 0), 0u)
        << e.Message();
  }
}

// ---------------------------------------------------------------------------
// Entries that cannot be written: the messages name them.

TEST(ZipFailures, UnsupportedMethodLeavesEmptyFileAndStops) {
  TTempDir dir;
  TZipella zip;
  OpenAsInstaller(zip, Hand("method-12.zip"));
  ExpectThrowMessage<Exception>([&] { zip.ExtractAll(dir.Str()); }, "Cannot process this file: m12.bin ");
  EXPECT_EQ(ReadFileBytes(dir.Path() / "m12.bin"), "");
  EXPECT_FALSE(fs::exists(dir.Path() / "after.txt"));
}

TEST(ZipFailures, EncryptedStoredEntryIsRefused) {
  TTempDir dir;
  TZipella zip;
  OpenAsInstaller(zip, Hand("encrypted.zip"));
  ExpectThrowMessage<Exception>([&] { zip.ExtractAll(dir.Str()); }, "Cannot process this file: secret.txt ");
}

TEST(ZipFailures, FileNameEndingInSlashCannotBeCreated) {
  TTempDir dir;
  TZipella zip;
  OpenAsInstaller(zip, Hand("slash-no-dir.zip"));
  EXPECT_THROW(zip.ExtractAll(dir.Str()), EFCreateError);
}

struct TBroken {
  const char* Archive;
  const char* Message;
};

class ZipDamagedData : public ::testing::TestWithParam<TBroken> {};

TEST_P(ZipDamagedData, RaisesNamingTheEntryAndWritesNoData) {
  TTempDir dir;
  TZipella zip;
  OpenAsInstaller(zip, Hand(GetParam().Archive));
  ASSERT_TRUE(zip.IsZipFile());
  ExpectThrowMessage<EZipellaError>([&] { zip.ExtractAll(dir.Str()); }, GetParam().Message);
  for (const auto& item : fs::directory_iterator(dir.Path())) EXPECT_EQ(fs::file_size(item.path()), 0u) << item.path();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ZipDamagedData,
    ::testing::Values(TBroken{"crc-stored.zip", "CRC error in this file: bad.txt"},
                      TBroken{"crc-deflated.zip", "CRC error in this file: bad.txt"},
                      TBroken{"deflate-short.zip", "Unexpected end of data in this file: short.txt"},
                      TBroken{"stored-short.zip", "Unexpected end of data in this file: short.txt"},
                      TBroken{"deflate-claims-4g.zip", "Unexpected end of data in this file: claim.bin"},
                      TBroken{"local-missing.zip", "Local header not found for this file: lost.txt"}));

// Entries whose path climbs out of the target are refused before anything is
// written for them, and nothing lands beside the target.
class ZipClimbingEntries : public ::testing::TestWithParam<const char*> {};

TEST_P(ZipClimbingEntries, AreRefusedBeforeWriting) {
  TTempDir dir;
  const fs::path target = dir.Path() / "target";
  fs::create_directories(target);
  TZipella zip;
  OpenAsInstaller(zip, Hand(std::string("climb-") + GetParam() + ".zip"));
  ASSERT_TRUE(zip.IsZipFile());
  const std::string stored = zip.Entries().Entry(0).CentralRecord.FileName;
  ExpectThrowMessage<EZipellaError>([&] { zip.ExtractAll(target.string()); },
                                    "Path leaves the target folder in this file: " + stored);
  EXPECT_EQ(CompareTrees(target, dir.Path()), std::vector<std::string>{"extra target/"});
  EXPECT_TRUE(fs::is_empty(target));
}

INSTANTIATE_TEST_SUITE_P(Names, ZipClimbingEntries, ::testing::Values("dotdot", "inner", "backslash", "stream", "dots", "nul"));

// ---------------------------------------------------------------------------
// The decoding stream on its own.

TEST(ZipDecompressionStream, RefusesWritingAndRejectsCorruptData) {
  TMemoryStream source;
  const std::uint8_t corrupt[] = {0x78, 0x9C, 0xFF, 0xFF, 0xFF, 0xFF};
  source.WriteBuffer(corrupt, sizeof corrupt);
  source.SetPosition(0);
  TDecompressionStream stream(source);
  ExpectThrowMessage<EDecompressionError>([&] { stream.Write("x", 1); }, "Invalid stream operation");
  char out[16];
  ExpectThrowMessage<ECompressionError>([&] { stream.Read(out, sizeof out); }, "Error");
}

// Input in memory decodes to the same bytes, with progress at the same
// points, as the same input read from a stream, also when the first piece
// begins in the prefix and goes on in the data.
TEST(ZipDecompressionStream, BytesInMemoryDecodeAsFromAStream) {
  TZipella zip;
  OpenAsInstaller(zip, Hand("progress.zip"));
  TMemoryStream prepared;
  const std::int64_t count = zip.Entries().Entry(0).LoadCompressedData(prepared);
  ASSERT_GT(count, 3 * kZlibInputBufferSize);
  const std::span<const std::uint8_t> input = prepared.Bytes();
  const auto decode = [](TDecompressionStream& stream) {
    std::vector<std::int64_t> progress;
    stream.OnProgress = [&](TObject* sender) { progress.push_back(static_cast<TStream*>(sender)->Position()); };
    std::vector<std::uint8_t> out(200000);
    // Uneven slices: a read may end anywhere inside a piece.
    for (std::size_t done = 0; done < out.size();) {
      const std::size_t n = std::min<std::size_t>(out.size() - done, 70001);
      EXPECT_EQ(stream.Read(out.data() + done, static_cast<std::int64_t>(n)), static_cast<std::int64_t>(n));
      done += n;
    }
    return std::make_pair(out, progress);
  };
  prepared.SetPosition(0);
  TDecompressionStream fromStream(prepared, false);
  const auto expected = decode(fromStream);
  EXPECT_EQ(expected.second.size(), 4u);
  TDecompressionStream fromMemory(input.first(2), input.subspan(2), false);
  EXPECT_EQ(decode(fromMemory), expected);
  // Rewinding starts over at the first byte of the prefix.
  fromMemory.SetPosition(0);
  EXPECT_EQ(decode(fromMemory), expected);
}

}  // namespace
