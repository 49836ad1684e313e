// Opening archives and reading their directories: real tools' archives, the
// end-record search windows, the recovery scan and the component's life cycle.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "TestSupport.h"
#include "ZipFixtures.h"
#include "zip/Zipella.h"

using testsupport::ReadFileBytes;
using ziptest::Hand;
using ziptest::Real;

namespace {

std::unique_ptr<TMemoryStream> StreamOf(const std::string& bytes) {
  auto stream = std::make_unique<TMemoryStream>();
  stream->WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  return stream;
}

// ---------------------------------------------------------------------------
// The end-record search reaches exactly as deep as its windows allow.

struct TReach {
  std::int64_t Size;
  std::int64_t Depth;  // how far below size - 22 the only signature lies
  bool Found;
};

class ZipEndRecordSearch : public ::testing::TestWithParam<TReach> {};

TEST_P(ZipEndRecordSearch, FindsSignatureOnlyWithinReach) {
  const TReach r = GetParam();
  std::string bytes(static_cast<std::size_t>(r.Size), '\0');
  const std::int64_t at = r.Size - 22 - r.Depth;
  std::memcpy(&bytes[static_cast<std::size_t>(at)], "PK\x05\x06", 4);
  TZipella zip;
  auto stream = StreamOf(bytes);
  EXPECT_EQ(zip.Entries().LocateEndRecord(*stream), r.Found);
  if (r.Found) {
    EXPECT_EQ(zip.EndRecordPos(), at);
    EXPECT_EQ(zip.CommentPos(), at + 22);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Windows, ZipEndRecordSearch,
    ::testing::Values(TReach{100, 78, true},       // small: the whole stream
                      TReach{600, 256, true},      // window 1's last candidate
                      TReach{600, 257, false},     // under 1024 bytes: window 1 only
                      TReach{2000, 1280, true},    // window 2 down to size - 1302
                      TReach{2000, 1281, false},   // under 65,536: no window 3
                      TReach{70000, 66560, true},  // window 3 down to size - 66,582
                      TReach{70000, 66561, false}));

TEST(ZipEndRecordSearchSteps, StepOfFourAfterFalse50LandsOnSignatureJustBelow) {
  // A lone 0x50 right after the signature: the search steps 4 back onto it.
  std::string bytes(300, 'x');
  std::memcpy(&bytes[200], "PK\x05\x06P", 5);
  TZipella zip;
  auto stream = StreamOf(bytes);
  ASSERT_TRUE(zip.Entries().LocateEndRecord(*stream));
  EXPECT_EQ(zip.EndRecordPos(), 200u);
}

TEST(ZipEndRecordSearchSteps, StreamShorterThanEndRecordIsNoArchive) {
  TZipella zip;
  zip.LoadArchive(StreamOf(std::string("PK\x05\x06", 4) + std::string(17, '\0')));
  EXPECT_FALSE(zip.IsZipFile());
  EXPECT_EQ(zip.ArchiveStream(), nullptr);
}

// ---------------------------------------------------------------------------
// Directories of hand-built archives.

// Hand-built archives that list no entry: what opening makes of each.
struct TEmptyOpen {
  const char* File;
  bool IsZip;
};

class ZipDirectoryWithoutEntries : public ::testing::TestWithParam<TEmptyOpen> {};

TEST_P(ZipDirectoryWithoutEntries, OpensOrNotAsTheDirectorySays) {
  TZipella zip;
  zip.SetFileName(Hand(GetParam().File));
  zip.SetActive(true);
  EXPECT_EQ(zip.IsZipFile(), GetParam().IsZip);
  EXPECT_EQ(zip.Active(), GetParam().IsZip);
  EXPECT_EQ(zip.Entries().Count(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Hand, ZipDirectoryWithoutEntries,
    ::testing::Values(TEmptyOpen{"end-only.zip", true},  // an end record alone is an empty archive
                      TEmptyOpen{"dos-date-0.zip", false},     // an invalid DOS date: unrecognised
                      TEmptyOpen{"cd-past-end.zip", false}));  // not recovered from local headers

TEST(ZipDirectory, SignatureInsideCommentIsTakenForTheEndRecord) {
  TZipella zip;
  zip.Open(Hand("sig-in-comment.zip"));
  EXPECT_TRUE(zip.IsZipFile());
  EXPECT_EQ(zip.EndRecordPos(), std::filesystem::file_size(Hand("sig-in-comment.zip")) - 26);
  EXPECT_EQ(zip.Entries().Count(), 0);  // the fake record announces none
}

TEST(ZipDirectory, CommentOutOfReachOpensThroughRecoveryScan) {
  TZipella zip;
  zip.Open(Hand("far-comment.zip"));
  ASSERT_TRUE(zip.IsZipFile());
  EXPECT_EQ(zip.FileNames().ToVector(), (std::vector<std::string>{"f.bin", "g.txt"}));
  EXPECT_TRUE(zip.Comment().Empty());
}

TEST(ZipDirectory, TruncatedArchiveListsEveryEntryWithoutOpenEvents) {
  TZipella zip;
  int opened = 0;
  zip.OnZipOpen = [&](TObject*, int, int) { ++opened; };
  zip.Open(Hand("truncated.zip"));
  ASSERT_TRUE(zip.IsZipFile());
  EXPECT_EQ(zip.FileNames().ToVector(), (std::vector<std::string>{"t1.txt", "t2.txt", "t3.bin"}));
  EXPECT_EQ(opened, 0);
  EXPECT_EQ(zip.EndRecord().EntriesOnDisk, 3);
  EXPECT_EQ(zip.EndRecord().CentralDirectoryOffset,
            std::filesystem::file_size(Hand("truncated.zip")) + 100);
}

TEST(ZipDirectory, OpeningRaisesOpenEventsTwicePerEntryAndTwoChanges) {
  TZipella zip;
  ziptest::TEventLog opens;
  std::vector<int> changes;
  zip.OnZipOpen = ziptest::RecordEvents(zip, opens);
  zip.OnZipChange = [&](TObject*, int type) { changes.push_back(type); };
  zip.Open(Hand("three.zip"));
  const std::vector<std::pair<int, int>> once{{0, 4}, {1, 4}, {2, 4}, {3, 4}};
  std::vector<std::pair<int, int>> twice = once;
  twice.insert(twice.end(), once.begin(), once.end());
  EXPECT_EQ(opens, twice);
  EXPECT_EQ(changes, (std::vector<int>{0, 1}));
  zip.Close();
  EXPECT_EQ(changes.back(), 0);
}

TEST(ZipDirectory, UnrecognisedFileEndsClosedAfterBothChanges) {
  testsupport::TTempDir dir;
  testsupport::WriteFileBytes(dir.File("plain.txt"), std::string(5000, 'a'));
  TZipella zip;
  std::vector<int> changes;
  zip.OnZipChange = [&](TObject*, int type) { changes.push_back(type); };
  zip.Open(dir.File("plain.txt"));
  EXPECT_FALSE(zip.IsZipFile());
  EXPECT_EQ(zip.ArchiveStream(), nullptr);
  EXPECT_EQ(changes, (std::vector<int>{0, 0, 1}));
  EXPECT_EQ(zip.FileName(), dir.File("plain.txt"));
}

TEST(ZipDirectory, MissingFileRaisesAndKeepsFileName) {
  TZipella zip;
  zip.Open(Hand("three.zip"));
  const std::string missing = Hand("no-such.zip");
  testsupport::ExpectThrowMessage<Exception>([&] { zip.Open(missing); },
                                             "File \"" + missing + "\" not found!");
  EXPECT_EQ(zip.FileName(), Hand("three.zip"));
  EXPECT_FALSE(zip.Active());
}

TEST(ZipDirectory, ActiveDoesNothingWithoutFileName) {
  TZipella zip;
  int changes = 0;
  zip.OnZipChange = [&](TObject*, int) { ++changes; };
  zip.SetActive(true);
  zip.SetActive(false);
  EXPECT_EQ(changes, 0);
}

TEST(ZipDirectory, ReadOnlyArchiveIsOpenedForReading) {
  testsupport::TTempDir dir;
  const std::string copy = dir.File("ro.zip");
  std::filesystem::copy_file(Hand("three.zip"), copy);
  ASSERT_TRUE(FileSetAttr(copy, faReadOnly));
  TZipella zip;
  zip.Open(copy);
  EXPECT_TRUE(zip.IsZipFile());
  EXPECT_TRUE(zip.ReadOnly());
  zip.Close();
  EXPECT_FALSE(zip.ReadOnly());
}

// ---------------------------------------------------------------------------
// The name mapping.

struct TMapping {
  const char* Stored;
  const char* Folder;
  const char* File;
};

class ZipNameMapping : public ::testing::TestWithParam<TMapping> {};

TEST_P(ZipNameMapping, SplitsStoredNameIntoFolderAndFile) {
  EXPECT_EQ(TZipella::EntryFolder(GetParam().Stored), GetParam().Folder);
  EXPECT_EQ(TZipella::EntryFileName(GetParam().Stored), GetParam().File);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, ZipNameMapping,
    ::testing::Values(TMapping{"dir/sub/a.txt", "dir\\sub\\", "a.txt"},
                      TMapping{"C:/data/b.ini", "data\\", "b.ini"}, TMapping{"x//y", "x\\", "y"},
                      TMapping{"x///y", "x\\\\", "y"}, TMapping{"docs/", "docs\\", ""},
                      TMapping{"plain", "", "plain"}, TMapping{"a:b", "a:", "b"},
                      TMapping{"a/C:/b/c", "b\\", "c"}));

// ---------------------------------------------------------------------------
// Archives written by real tools list what unzip lists.

TEST(ZipRealDirectory, CompressionTypeFollowsFlagBits) {
  const std::pair<const char*, TZipCompressionType> cases[] = {
      {"zip-level1.zip", TZipCompressionType::ctFast},
      {"zip-level6.zip", TZipCompressionType::ctNormal},
      {"zip-level9.zip", TZipCompressionType::ctMaximum}};
  for (const auto& [name, type] : cases) {
    TZipella zip;
    zip.Open(Real(name));
    ASSERT_TRUE(zip.IsZipFile()) << name;
    bool sawDeflated = false;
    for (int i = 0; i < zip.Entries().Count(); ++i) {
      const auto& entry = zip.Entries().Entry(i);
      if (entry.CentralRecord.Header.Method != kMethodDeflated) continue;
      sawDeflated = true;
      EXPECT_EQ(entry.CompressionType, type) << name << " " << entry.CentralRecord.FileName;
    }
    EXPECT_TRUE(sawDeflated) << name;
  }
}

class ZipComments : public ::testing::TestWithParam<const char*> {};

TEST_P(ZipComments, CommentLinesAreTheArchiveComment) {
  const std::string name = GetParam();
  TZipella zip;
  zip.Open(Real(name));
  ASSERT_TRUE(zip.IsZipFile());
  TStringList expected;
  expected.SetText(ReadFileBytes(Real(name) + ".comment"));
  EXPECT_EQ(zip.Comment().ToVector(), expected.ToVector());
}

INSTANTIATE_TEST_SUITE_P(Lengths, ZipComments,
                         ::testing::Values("py-comment-0.zip", "py-comment-1000.zip",
                                           "py-comment-65535.zip", "zip-comment-1000.zip"));

}  // namespace
