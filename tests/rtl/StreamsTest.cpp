#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "rtl/FileSystem.h"
#include "rtl/Streams.h"

namespace {

using testsupport::ExpectThrowMessage;
using testsupport::TTempDir;

// Counts the size of each read a copy makes.
class TCountingStream : public TMemoryStream {
 public:
  std::int64_t Read(void* buffer, std::int64_t count) override {
    largest = std::max(largest, count);
    return TMemoryStream::Read(buffer, count);
  }
  std::int64_t largest = 0;
};

TEST(MemoryStream, WritePastEndGrowsAndReadStopsAtSize) {
  TMemoryStream s;
  s.SetPosition(10);
  s.WriteBuffer("abc", 3);
  EXPECT_EQ(s.Size(), 13);
  EXPECT_EQ(s.Memory()[0], 0);
  s.SetPosition(11);
  char out[8] = {};
  EXPECT_EQ(s.Read(out, 8), 2);
  EXPECT_EQ(std::string(out, 2), "bc");
  s.SetSize(5);
  EXPECT_EQ(s.Position(), 5);
}

TEST(MemoryStream, CapacityReservedAheadKeepsSizeAndData) {
  TMemoryStream s;
  s.WriteBuffer("xy", 2);
  s.SetCapacity(1 << 20);
  EXPECT_EQ(s.Size(), 2);
  EXPECT_GE(s.Capacity(), 1 << 20);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(s.Memory()), 2), "xy");
}

TEST(MemoryStream, GrowingShowsZerosOrWhatWasWrittenBefore) {
  TMemoryStream s;
  s.WriteBuffer("abcdef", 6);
  s.SetSize(2);
  s.SetSize(4);  // bytes written earlier come back, as the block was kept
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(s.Memory()), 4), "abcd");
  s.SetCapacity(8 << 20);  // a large block: moved, never-written bytes still zero
  s.SetSize(6 << 20);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(s.Memory()), 6), "abcdef");
  EXPECT_EQ(std::count(s.Memory() + 6, s.Memory() + s.Size(), 0), s.Size() - 6);
  s.SetPosition(s.Size() + 3);
  s.WriteBuffer("z", 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(s.Memory()) + (6 << 20), 4),
            std::string(3, '\0') + "z");
  s.Clear();
  EXPECT_EQ(s.Capacity(), 0);
  s.SetSize(3);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(s.Memory()), 3), std::string(3, '\0'));
}

TEST(StreamBuffers, ShortReadAndWriteRaise) {
  TMemoryStream s;
  s.WriteBuffer("abc", 3);
  s.SetPosition(1);
  char out[4];
  ExpectThrowMessage<EReadError>([&] { s.ReadBuffer(out, 3); }, "Stream read error");
}

TEST(StreamCopy, CopiesInPiecesOfAtMost61440) {
  TCountingStream source;
  std::vector<std::uint8_t> data(200000);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7);
  source.WriteBuffer(data);
  TMemoryStream target;
  EXPECT_EQ(target.CopyFrom(source, 0), 200000);
  EXPECT_EQ(source.largest, 61440);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), target.Memory()));
  source.SetPosition(199990);
  ExpectThrowMessage<EReadError>([&] { target.CopyFrom(source, 11); }, "Stream read error");
}

// A source that records the size of every read that reaches it.
class TReadLog : public TMemoryStream {
 public:
  std::int64_t Read(void* buffer, std::int64_t count) override {
    reads.push_back(count);
    return TMemoryStream::Read(buffer, count);
  }
  std::vector<std::int64_t> reads;
};

std::vector<std::uint8_t> Pattern(std::size_t size) {
  std::vector<std::uint8_t> data(size);
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>(i * 31 + i / 251);
  return data;
}

TEST(ReadBufferStream, EveryReadAndViewShowsTheSourceBytes) {
  const std::vector<std::uint8_t> data = Pattern(5000);
  auto source = std::make_unique<TMemoryStream>();
  source->WriteBuffer(data);
  // An odd buffer size, so that requests below, at and above it straddle refills.
  TReadBufferStream s(std::move(source), 61);
  EXPECT_EQ(s.Size(), 5000);
  std::mt19937 random(7);
  for (int i = 0; i < 3000; ++i) {
    const auto at = static_cast<std::int64_t>(random() % 5100);
    const auto count = static_cast<std::int64_t>(random() % 150);
    const std::int64_t expected = std::clamp<std::int64_t>(5000 - at, 0, count);
    s.SetPosition(at);
    if (i % 3 == 0) {
      const auto view = s.View(count);
      ASSERT_EQ(static_cast<std::int64_t>(view.size()), std::min<std::int64_t>(expected, 61))
          << at << "+" << count;
      ASSERT_TRUE(std::equal(view.begin(), view.end(), data.begin() + at));
      ASSERT_EQ(s.Position(), at);  // a view does not move on
    } else {
      std::vector<std::uint8_t> out(static_cast<std::size_t>(count));
      ASSERT_EQ(s.Read(out.data(), count), expected) << at << "+" << count;
      ASSERT_TRUE(std::equal(out.begin(), out.begin() + expected, data.begin() + at));
      ASSERT_EQ(s.Position(), at + expected);
    }
  }
  s.SetPosition(-3);
  char c;
  EXPECT_EQ(s.Read(&c, 1), 0);
  EXPECT_EQ(s.Write("x", 1), 0);
}

TEST(ReadBufferStream, RecordByRecordWalkReadsTheSourceInWholePieces) {
  auto log = std::make_unique<TReadLog>();
  log->WriteBuffer(Pattern(40000));
  log->SetPosition(0);  // as a file stands when it is opened
  TReadLog& reads = *log;
  constexpr std::int64_t kBuffer = 16384;
  TReadBufferStream s(std::move(log), kBuffer);
  reads.reads.clear();
  // A directory's walk: a seek and three small reads per 40-byte record.
  std::uint8_t record[40];
  for (std::int64_t at = 0; at < 40000; at += 40) {
    s.SetPosition(at);
    s.ReadBuffer(record, 30);
    s.ReadBuffer(record + 30, 4);
    s.ReadBuffer(record + 34, 6);
  }
  EXPECT_EQ(reads.reads.size(), 40000u / kBuffer + 1);
  // A jump to a record elsewhere reads a small piece, not a whole buffer.
  reads.reads.clear();
  s.SetPosition(100);
  s.ReadBuffer(record, 30);
  ASSERT_EQ(reads.reads.size(), 1u);
  EXPECT_LT(reads.reads[0], kBuffer);
  // Reading on from there fills the buffer; a request of its size goes straight through.
  std::vector<std::uint8_t> big(2 * kBuffer);
  s.SetPosition(100 + reads.reads[0]);
  s.ReadBuffer(record, 1);
  s.ReadBuffer(big.data(), static_cast<std::int64_t>(big.size()));
  EXPECT_EQ(reads.reads[1], kBuffer);
  EXPECT_EQ(reads.reads.back(), 2 * kBuffer - (kBuffer - 1));
}

TEST(FileStream, CreateWriteReopenRead) {
  TTempDir dir;
  const std::string path = dir.File("data.bin");
  {
    TFileStream f(path, fmCreate);
    f.WriteBuffer("hello", 5);
  }
  TFileStream f(path, fmOpenRead | fmShareDenyNone);
  EXPECT_EQ(f.Size(), 5);
  char out[5];
  f.ReadBuffer(out, 5);
  EXPECT_EQ(std::string(out, 5), "hello");
}

TEST(FileStream, FailuresNameTheExpandedPath) {
  TTempDir dir;
  const std::string missing = dir.File("no-such-dir") + PathDelim + "x.bin";
  try {
    TFileStream f(missing, fmCreate);
    FAIL() << "created a file in a missing folder";
  } catch (const EFCreateError& e) {
    const std::string head = "Cannot create file \"" + ExpandFileName(missing) + "\". ";
    EXPECT_EQ(e.Message().substr(0, head.size()), head);
    EXPECT_GT(e.Message().size(), head.size()) << "the system's text is missing";
  }
  try {
    TFileStream f(dir.File("absent.bin"), fmOpenRead);
    FAIL() << "opened a missing file";
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message().rfind(
                  "Cannot open file \"" + ExpandFileName(dir.File("absent.bin")) + "\". ", 0),
              0u);
  }
}

TEST(FileStream, ReadOnlyFileCannotBeReplacedOrOpenedForWriting) {
  TTempDir dir;
  const std::string path = dir.File("ro.txt");
  { TFileStream f(path, fmCreate); }
  ASSERT_TRUE(FileSetAttr(path, faReadOnly | faArchive));
  EXPECT_NE(FileGetAttr(path) & faReadOnly, 0u);
  if (!testsupport::PlatformEnforcesReadOnly())
    GTEST_SKIP() << "this platform lets the user write read-only files";
  EXPECT_THROW(TFileStream(path, fmCreate), EFCreateError);
  EXPECT_THROW(TFileStream(path, fmOpenReadWrite), EFOpenError);
  EXPECT_NO_THROW(TFileStream(path, fmOpenRead | fmShareDenyNone));
  ASSERT_TRUE(FileSetAttr(path, faArchive));
  EXPECT_NO_THROW(TFileStream(path, fmCreate));
}

TEST(FileSystem, DirectoriesAndFiles) {
  TTempDir dir;
  const std::string sub = dir.File("a");
  EXPECT_TRUE(CreateDir(sub));
  EXPECT_FALSE(CreateDir(sub)) << "an existing folder is not created again";
  EXPECT_TRUE(DirectoryExists(sub));
  EXPECT_FALSE(FileExists(sub));
  const std::string deep = sub + PathDelim + "b" + PathDelim + "c";
  EXPECT_TRUE(ForceDirectories(deep));
  EXPECT_FALSE(RemoveDir(sub)) << "a folder that holds another is not removed";
  EXPECT_TRUE(DirectoryExists(deep));
  const std::string file = deep + PathDelim + "f";
  { TFileStream f(file, fmCreate); }
  EXPECT_TRUE(FileExists(file));
  EXPECT_FALSE(RemoveFile(deep));
  EXPECT_TRUE(RemoveFile(file));
  EXPECT_FALSE(RemoveFile(file));
}

TEST(FileSystem, ForceDirectoriesMakesEveryLevelUpToTheLimit) {
  TTempDir dir;
  const std::string name(40, 'a');
  std::string deep = ExpandFileName(dir.Str());
  int levels = 0;
  while (deep.size() + 1 + name.size() <= kMaxFolderPath) {
    deep += PathDelim + name;
    ++levels;
  }
  ASSERT_GE(levels, 3);
  EXPECT_TRUE(ForceDirectories(deep + PathDelim));
  EXPECT_TRUE(DirectoryExists(deep));
  EXPECT_TRUE(ForceDirectories(deep)) << "an existing path is made already";
}

TEST(FileSystem, ForceDirectoriesOnTwentyThousandLevelsFailsWithoutOverflowingTheStack) {
  TTempDir dir;
  const std::string file = dir.File("f");
  { TFileStream f(file, fmCreate); }
  // A file in the way of the first level: nothing can be made below it.
  std::string deep = file;
  for (int i = 0; i < 20000; ++i) deep += std::string(1, PathDelim) + "a";
  EXPECT_FALSE(ForceDirectories(deep));
  EXPECT_TRUE(FileExists(file));
}

}  // namespace
