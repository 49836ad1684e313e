// Extraction: trees of real tools' archives against unzip's, the overwrite
// rules, attributes, progress, the failure messages and hostile entries.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
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

// A hand-built archive extracted into a folder of its own.
class ZipHandArchive : public ::testing::Test {
 protected:
  TTempDir Dir;
  TZipella Zip;
};

// ---------------------------------------------------------------------------
// Every real tool's archive extracts to exactly what unzip extracts. jar and
// python's zipfile writing as Java does mark folders only by the trailing "/";
// jar is there only where a JDK happens to be installed.

class ZipRealExtraction : public ::testing::TestWithParam<const char*> {};

TEST_P(ZipRealExtraction, TreeMatchesUnzipByteForByte) {
  const std::string name = GetParam();
  if (!fs::exists(Real(name + ".zip"))) GTEST_SKIP() << name << " is not installed here";
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
                         ::testing::Values("zip-stored", "zip-level1", "zip-level2", "zip-level6",
                                           "zip-level9", "zip-descriptors", "zip-piped",
                                           "zip-stdin", "zip-stdin-piped", "zip-comment-1000",
                                           "bsdtar-deflated", "bsdtar-stored", "bsdtar-piped",
                                           "py-stored", "py-deflated", "py-stream",
                                           "py-comment-65535", "py-dirs-attr0", "jar"));

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
                         ::testing::Values("zip-piped", "zip-stdin-piped", "py-stream",
                                           "bsdtar-piped"));

TEST(ZipStreamedRecoveryCutShort, EntryCutInsideItsDataFailsNamingIt) {
  TZipella zip;
  OpenAsInstaller(zip, Real("zip-piped.zip.cut-short"));
  ASSERT_TRUE(zip.IsZipFile());
  const auto& last = zip.Entries().Entry(zip.Entries().Count() - 1);
  EXPECT_TRUE(last.Incomplete);
  TTempDir dir;
  ExpectThrowMessage<EZipellaError>(
      [&] { zip.ExtractAll(dir.Str()); },
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

using ZipExtract = ZipHandArchive;

TEST_F(ZipExtract, ClosedComponentExtractsNothing) {
  Zip.ExtractAll(Dir.Str());
  EXPECT_TRUE(fs::is_empty(Dir.Path()));
}

TEST_F(ZipExtract, EmptyEntriesGiveEmptyFilesWithoutProgress) {
  int progress = 0;
  Zip.OnDecompressFile = [&](TObject*, int, int) { ++progress; };
  OpenAsInstaller(Zip, Hand("empty-entries.zip"));
  Zip.ExtractAll(Dir.Str());
  EXPECT_EQ(ReadFileBytes(Dir.Path() / "e-stored"), "");
  EXPECT_EQ(ReadFileBytes(Dir.Path() / "e-deflated"), "");
  EXPECT_TRUE(fs::exists(Dir.Path() / "e-deflated"));
  EXPECT_EQ(progress, 0);
}

// Extraction of a hand-built archive whose counting events are recorded.
class ZipExtractEvents : public ZipHandArchive {
 protected:
  ziptest::TEventLog Events;
};

TEST_F(ZipExtractEvents, ProgressOncePerInputPiece) {
  Zip.OnDecompressFile = ziptest::RecordEvents(Zip, Events);
  OpenAsInstaller(Zip, Hand("progress.zip"));
  Zip.ExtractAll(Dir.Str());
  ASSERT_EQ(Events.size(), 4u);
  EXPECT_EQ(Events[0].first, 0);
  for (std::size_t i = 1; i < Events.size(); ++i) EXPECT_GT(Events[i].first, Events[i - 1].first);
  for (const auto& p : Events) EXPECT_EQ(p.second, 200000);
  EXPECT_EQ(fs::file_size(Dir.Path() / "big.bin"), 200000u);
}

std::string HandText(int copies = 1) {
  std::string text;
  for (int i = 0; i < 40 * copies; ++i) text += "hand-built entry content\n";
  return text;
}

TEST_F(ZipExtractEvents, EveryEntryIsAnnouncedAndAStopThereWritesNothingMore) {
  Zip.OnExtractFile = ziptest::RecordEvents(Zip, Events);
  OpenAsInstaller(Zip, Hand("truncated.zip"));
  const int count = Zip.Entries().Count();
  ASSERT_GE(count, 3);
  EXPECT_THROW(Zip.ExtractAll(Dir.Str()), EZipellaError);  // the third is cut short
  ASSERT_EQ(Events.size(), 3u);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(Events[static_cast<std::size_t>(i)], std::make_pair(i + 1, count));

  TTempDir other;
  Zip.OnExtractFile = [](TObject*, int current, int) {
    if (current == 2) throw EAbort();
  };
  EXPECT_THROW(Zip.ExtractAll(other.Str()), EAbort);
  EXPECT_EQ(ReadFileBytes(other.Path() / "t1.txt"), HandText());
  EXPECT_FALSE(fs::exists(other.Path() / "t2.txt"));
}

TEST_F(ZipExtract, DataDecodingPastSizeIsCutToSize) {
  OpenAsInstaller(Zip, Hand("deflate-long.zip"));
  Zip.ExtractAll(Dir.Str());
  EXPECT_EQ(ReadFileBytes(Dir.Path() / "long.txt"), HandText().substr(0, 100));
}

TEST_F(ZipExtract, TruncatedArchiveWritesCompleteEntriesThenFailsOnCutOne) {
  OpenAsInstaller(Zip, Hand("truncated.zip"));
  ExpectThrowMessage<EZipellaError>([&] { Zip.ExtractAll(Dir.Str()); },
                                    "Unexpected end of data in this file: t3.bin");
  EXPECT_EQ(ReadFileBytes(Dir.Path() / "t1.txt"), HandText());
  EXPECT_EQ(ReadFileBytes(Dir.Path() / "t2.txt"), HandText(3));
}

// ---------------------------------------------------------------------------
// Attributes.

using ZipAttributes = ZipHandArchive;

TEST_F(ZipAttributes, ReadOnlyEntryBlocksSecondExtraction) {
  OpenAsInstaller(Zip, Hand("attr-21.zip"));
  Zip.ExtractAll(Dir.Str());
  const std::string path = Dir.File("ro.txt");
  EXPECT_EQ(FileGetAttr(path) & (faReadOnly | faArchive), faReadOnly | faArchive);
  if (!testsupport::PlatformEnforcesReadOnly()) GTEST_SKIP() << "read-only files are writable here";
  try {
    Zip.ExtractAll(Dir.Str());
    ADD_FAILURE() << "a read-only file was replaced";
  } catch (const EFCreateError& e) {
    EXPECT_EQ(
        e.Message().rfind(
            "Cannot create file \"" + ExpandFileName(Dir.Str() + PathDelim + "ro.txt") + "\". ", 0),
        0u)
        << e.Message();
  }
}

// ---------------------------------------------------------------------------
// Entries that cannot be written: the messages name them.

using ZipFailures = ZipHandArchive;

TEST_F(ZipFailures, UnsupportedMethodLeavesEmptyFileAndStops) {
  OpenAsInstaller(Zip, Hand("method-12.zip"));
  ExpectThrowMessage<Exception>([&] { Zip.ExtractAll(Dir.Str()); },
                                "Cannot process this file: m12.bin ");
  EXPECT_EQ(ReadFileBytes(Dir.Path() / "m12.bin"), "");
  EXPECT_FALSE(fs::exists(Dir.Path() / "after.txt"));
}

TEST_F(ZipFailures, EncryptedStoredEntryIsRefused) {
  OpenAsInstaller(Zip, Hand("encrypted.zip"));
  ExpectThrowMessage<Exception>([&] { Zip.ExtractAll(Dir.Str()); },
                                "Cannot process this file: secret.txt ");
}

TEST_F(ZipExtract, NameEndingInSlashIsFolderWhateverItsAttributes) {
  OpenAsInstaller(Zip, Hand("slash-no-dir.zip"));
  EXPECT_TRUE(Zip.Entries().Entry(0).IsDirectory);
  Zip.ExtractAll(Dir.Str());
  EXPECT_TRUE(fs::is_directory(Dir.Path() / "docs"));
  EXPECT_EQ(ReadFileBytes(Dir.Path() / "docs" / "in.txt"), "inside");
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
  for (const auto& item : fs::directory_iterator(dir.Path()))
    EXPECT_EQ(fs::file_size(item.path()), 0u) << item.path();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ZipDamagedData,
    ::testing::Values(
        TBroken{"crc-stored.zip", "CRC error in this file: bad.txt"},
        TBroken{"crc-deflated.zip", "CRC error in this file: bad.txt"},
        TBroken{"deflate-short.zip", "Unexpected end of data in this file: short.txt"},
        TBroken{"stored-short.zip", "Unexpected end of data in this file: short.txt"},
        TBroken{"deflate-claims-4g.zip", "Unexpected end of data in this file: claim.bin"},
        TBroken{"crc-large.zip", "CRC error in this file: bad.bin"},
        TBroken{"large-short.zip", "Unexpected end of data in this file: short.bin"},
        TBroken{"local-missing.zip", "Local header not found for this file: lost.txt"}));

// Entries are written by several threads; whatever meets work still in
// flight ends as it did when each was written in turn.
std::string Filler(int i) { return (i < 10 ? "f0" : "f") + std::to_string(i) + ".txt"; }

TEST_F(ZipExtract, APathWrittenTwiceHoldsTheLaterEntry) {
  OpenAsInstaller(Zip, Hand("same-path.zip"));
  Zip.ExtractAll(Dir.Str());
  EXPECT_EQ(ReadFileBytes(Dir.Path() / "dup.txt"), "second");
  // One file where letter case does not count, two where it does: either way this one.
  EXPECT_EQ(ReadFileBytes(Dir.Path() / "case.txt"), "two");
}

TEST_F(ZipExtract, AFolderInPlaceOfAnEarlierFileFailsThere) {
  OpenAsInstaller(Zip, Hand("file-then-folder.zip"));
  EXPECT_THROW(Zip.ExtractAll(Dir.Str()), EZipellaError);
  EXPECT_EQ(ReadFileBytes(Dir.Path() / "x"), "file");
}

TEST_F(ZipExtract, ADamagedEntryAmongManyFailsAfterTheOnesBeforeIt) {
  OpenAsInstaller(Zip, Hand("crc-middle.zip"));
  ExpectThrowMessage<EZipellaError>([&] { Zip.ExtractAll(Dir.Str()); },
                                    "CRC error in this file: bad.txt");
  for (int i = 0; i < 12; ++i) EXPECT_EQ(ReadFileBytes(Dir.Path() / Filler(i)), HandText(i + 1));
  EXPECT_EQ(ReadFileBytes(Dir.Path() / "bad.txt"), "");
}

// Written as it is decoded, not held whole: every file has its entry's size and CRC-32.
TEST_F(ZipExtract, AnEntryLargerThanTheBudgetIsWrittenWhole) {
  OpenAsInstaller(Zip, Hand("stored-large.zip"));
  Zip.ExtractAll(Dir.Str());
  for (int i = 0; i < Zip.Entries().Count(); ++i) {
    const auto& entry = Zip.Entries().Entry(i);
    const std::string bytes = ReadFileBytes(Dir.Path() / entry.CentralRecord.FileName);
    EXPECT_EQ(bytes.size(), entry.CentralRecord.Header.UncompressedSize);
    EXPECT_EQ(UpdateCrc32(0, bytes.data(), static_cast<std::int64_t>(bytes.size())),
              entry.CentralRecord.Header.Crc32)
        << entry.CentralRecord.FileName;
  }
}

TEST_F(ZipExtract, AStopFlagEndsExtractionWithNoFileLeftOpen) {
  std::atomic<bool> stop{false};
  Zip.SetStopFlag(&stop);
  OpenAsInstaller(Zip, Hand("crc-middle.zip"));
  Zip.OnExtractFile = [&](TObject*, int current, int) {
    if (current == 5) stop = true;
  };
  EXPECT_THROW(Zip.ExtractAll(Dir.Str()), EAbort);
  EXPECT_FALSE(fs::exists(Dir.Path() / Filler(5)));
  // A file still open could not be removed under Windows.
  for (const auto& item : fs::directory_iterator(Dir.Path())) EXPECT_TRUE(fs::remove(item.path()));
}

// Hostile entries are refused before anything is written, naming the entry
// (control bytes shown as \xNN), and nothing lands in or beside the target.
struct TRefused {
  std::string Archive;
  std::string Message;
};

class ZipRefusedEntries : public ::testing::TestWithParam<TRefused> {};

TEST_P(ZipRefusedEntries, AreRefusedBeforeWriting) {
  TTempDir dir;
  const fs::path target = dir.Path() / "target";
  fs::create_directories(target);
  TZipella zip;
  OpenAsInstaller(zip, Hand(GetParam().Archive));
  ASSERT_TRUE(zip.IsZipFile());
  ExpectThrowMessage<EZipellaError>([&] { zip.ExtractAll(target.string()); }, GetParam().Message);
  EXPECT_EQ(CompareTrees(target, dir.Path()), std::vector<std::string>{"extra target/"});
  EXPECT_TRUE(fs::is_empty(target));
}

constexpr const char* kDevice = "Device name in this file: ";
constexpr const char* kCharacter = "Invalid character in this file: ";

INSTANTIATE_TEST_SUITE_P(
    Climbing, ZipRefusedEntries,
    ::testing::Values(
        TRefused{"climb-dotdot.zip", "Path leaves the target folder in this file: ../evil.txt"},
        TRefused{"climb-inner.zip", "Path leaves the target folder in this file: a/../../evil.txt"},
        TRefused{"climb-backslash.zip",
                 "Path leaves the target folder in this file: a\\..\\..\\evil.txt"},
        TRefused{"climb-stream.zip", "Path leaves the target folder in this file: ..:evil.txt"},
        TRefused{"climb-dots.zip", "Path leaves the target folder in this file: a/.../evil.txt"},
        TRefused{"climb-nul.zip",
                 "Path leaves the target folder in this file: x/..\\x00/evil.txt"}));

std::vector<TRefused> WindowsNames() {
  const std::vector<std::pair<std::string, std::string>> cases{
      {"dev-con", "CON"},
      {"dev-con-ext", "con.txt"},
      {"dev-prn-dots", "Prn..."},
      {"dev-aux-blank", "AUX .tar.gz"},
      {"dev-nul-folder", "lib/nul/x.txt"},
      {"dev-com1", "COM1.log"},
      {"dev-lpt9", "lpt9"},
      {"dev-com0", "com0.txt"},
      {"dev-conin", "CONIN$"},
      {"dev-conout", "conout$.x"},
      {"dev-com-sup1", "COM\xB9.txt"},
      {"dev-lpt-sup3-utf8", "LPT\xC2\xB3"},
      {"dev-nul-dir", "NUL/"},
      {"chr-stream", "a.txt:evil"},
      {"chr-drive-relative", "C:x.txt"},
      {"chr-lt", "a<b"},
      {"chr-gt", "a>b"},
      {"chr-quote", "a\"b"},
      {"chr-pipe", "a|b"},
      {"chr-question", "a?b"},
      {"chr-star", "dir*/x"},
      {"chr-tab", "a\\x09b"},
      {"chr-newline", "log\\x0D\\x0A[OK] x"}};
  std::vector<TRefused> out;
  for (const auto& [tag, shown] : cases) {
    out.push_back(
        {"win-" + tag + ".zip", (tag.rfind("dev-", 0) == 0 ? kDevice : kCharacter) + shown});
  }
  return out;
}

INSTANTIATE_TEST_SUITE_P(Windows, ZipRefusedEntries, ::testing::ValuesIn(WindowsNames()));

INSTANTIATE_TEST_SUITE_P(
    Limits, ZipRefusedEntries,
    ::testing::Values(TRefused{"long-segment.zip",
                               "Path too long in this file: " + std::string(256, 'n')},
                      TRefused{"overlap-nested.zip", "Overlapping data in this file: inner.txt"}));

using ZipRefusedEntriesDeep = ZipHandArchive;

TEST_F(ZipRefusedEntriesDeep, TwentyThousandLevelsAreRefusedWithoutMakingAFolder) {
  OpenAsInstaller(Zip, Hand("deep-name.zip"));
  std::string name;
  for (int i = 0; i < 20000; ++i) name += "a/";
  ExpectThrowMessage<EZipellaError>([&] { Zip.ExtractAll(Dir.Str()); },
                                    "Path too long in this file: " + name + "x.txt");
  EXPECT_TRUE(fs::is_empty(Dir.Path()));
}

using ZipRefusedEntriesOverlap = ZipHandArchive;

TEST_F(ZipRefusedEntriesOverlap, RecordsOnOneHeaderAreRefusedBeforeTheFirstIsWritten) {
  OpenAsInstaller(Zip, Hand("overlap-200.zip"));
  ASSERT_EQ(Zip.Entries().Count(), 200);
  EXPECT_EQ(Zip.UncompressedTotal(), 200 * (std::int64_t{5} << 20));
  ExpectThrowMessage<EZipellaError>([&] { Zip.ExtractAll(Dir.Str()); },
                                    "Overlapping data in this file: bomb001.bin");
  EXPECT_TRUE(fs::is_empty(Dir.Path()));
}

using ZipWindowsNames = ZipHandArchive;

TEST_F(ZipWindowsNames, NearMissesExtract) {
  OpenAsInstaller(Zip, Hand("win-lookalikes.zip"));
  Zip.ExtractAll(Dir.Str());
  for (const char* name : {"CONSOLE.txt", "COM10.txt", "LPT.txt", "xcon.txt", "con_x/aux_y.txt",
                           "COMa.txt", "data/b.ini", "com 1.txt"}) {
    EXPECT_EQ(ReadFileBytes(Dir.Path() / name), "ok") << name;
  }
  EXPECT_TRUE(fs::is_directory(Dir.Path() / "nul-dir"));
}

// A target padded so that the entry's full path is exactly the file API's
// limit extracts; one character more is refused before anything is made.
struct TLimit {
  const char* Archive;
  std::size_t Limit;
  std::size_t Tail;  // the mapped name's length, trailing separator dropped
};

class ZipPathLimit : public ::testing::TestWithParam<TLimit> {};

fs::path PaddedTarget(const fs::path& base, std::size_t length) {
  fs::path target = base;
  while (target.string().size() + 1 < length) {
    const std::size_t room = length - target.string().size() - 1;
    // Leave no remainder too short for a last folder.
    const std::size_t step = room > 200 ? std::min<std::size_t>(150, room - 20) : room;
    target /= std::string(step, 'p');
  }
  return target;
}

TEST_P(ZipPathLimit, ExactLimitExtractsOneMoreIsRefused) {
  const TLimit l = GetParam();
  for (const std::size_t over : {0, 1}) {
    TTempDir dir;
    const std::string base = ExpandFileName(dir.Str());
    ASSERT_LE(base.size() + 1 + l.Tail, l.Limit) << "the test folder is too deep for this check";
    const fs::path target = PaddedTarget(base, l.Limit - l.Tail - 1 + over);
    ASSERT_EQ(target.string().size() + 1 + l.Tail, l.Limit + over);
    fs::create_directories(target);
    TZipella zip;
    OpenAsInstaller(zip, Hand(l.Archive));
    if (over == 0) {
      zip.ExtractAll(target.string());
      EXPECT_FALSE(fs::is_empty(target / "d")) << l.Archive;
    } else {
      EXPECT_THROW(zip.ExtractAll(target.string()), EZipellaError) << l.Archive;
      EXPECT_TRUE(fs::is_empty(target));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Api, ZipPathLimit,
                         ::testing::Values(TLimit{"long-file.zip", kMaxFilePath, 2 + 120 + 4},
                                           TLimit{"long-folder.zip", kMaxFolderPath, 2 + 120}));

// ---------------------------------------------------------------------------
// The decoding stream on its own.

TEST(ZipDecompressionStream, RefusesWritingAndRejectsCorruptData) {
  TMemoryStream source;
  const std::uint8_t corrupt[] = {0x78, 0x9C, 0xFF, 0xFF, 0xFF, 0xFF};
  source.WriteBuffer(corrupt, sizeof corrupt);
  source.SetPosition(0);
  TDecompressionStream stream(source);
  ExpectThrowMessage<EDecompressionError>([&] { stream.Write("x", 1); },
                                          "Invalid stream operation");
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
    stream.OnProgress = [&](TObject* sender) {
      progress.push_back(static_cast<TStream*>(sender)->Position());
    };
    std::vector<std::uint8_t> out(200000);
    // Uneven slices: a read may end anywhere inside a piece.
    for (std::size_t done = 0; done < out.size();) {
      const std::size_t n = std::min<std::size_t>(out.size() - done, 70001);
      EXPECT_EQ(stream.Read(out.data() + done, static_cast<std::int64_t>(n)),
                static_cast<std::int64_t>(n));
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
