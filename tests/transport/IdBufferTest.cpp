#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "TestSupport.h"
#include "transport/IdBuffer.h"

namespace {

using testsupport::ExpectThrowMessage;

TIdBytes BytesOf(const std::string& text) { return TIdBytes(text.begin(), text.end()); }

TEST(IdBufferQueue, KeepsOrderAcrossAppendsAndRemovals) {
  TIdBuffer buffer;
  buffer.Write(BytesOf("hello "));
  buffer.Write(BytesOf("xxworld"), 5, 2);  // length and offset
  EXPECT_EQ(buffer.Size(), 11);
  buffer.Remove(6);
  EXPECT_EQ(buffer.ExtractToString(), "world");
  EXPECT_EQ(buffer.Size(), 0);
}

TEST(IdBufferQueue, GrowsByNeedPlusStepAndCompactsOnAppend) {
  TIdBuffer buffer;
  buffer.Write(TIdBytes(100, 'a'));
  EXPECT_EQ(buffer.Capacity(), 100);  // an empty queue takes an exact copy
  buffer.Write(TIdBytes(10, 'b'));
  EXPECT_EQ(buffer.Capacity(), 110 + TIdBuffer::kGrowthFactor);
  buffer.Remove(50);
  EXPECT_EQ(buffer.Head(), 50);
  buffer.Write(TIdBytes(1, 'c'));
  EXPECT_EQ(buffer.Head(), 0);  // unread bytes moved to the front
  EXPECT_EQ(buffer.Size(), 61);
  EXPECT_EQ(buffer.Peek(0), 'a');
  EXPECT_EQ(buffer.Peek(60), 'c');
}

TEST(IdBufferQueue, GivesMemoryBackAfterLargeRemovals) {
  TIdBuffer buffer;
  buffer.Write(TIdBytes(10000, 'a'));
  buffer.Write(TIdBytes(1, 'b'));
  buffer.Remove(5000);  // head passes the growth step: compact with shrinking
  EXPECT_EQ(buffer.Head(), 0);
  EXPECT_EQ(buffer.Capacity(), buffer.Size() + TIdBuffer::kGrowthFactor);
}

// A receive appends in place; the queue must end up as if the bytes had been written.
void ReceiveInto(TIdBuffer& buffer, const std::string& text, int room) {
  std::uint8_t* area = buffer.AppendArea(room);
  std::copy(text.begin(), text.end(), area);
  buffer.CommitAppend(static_cast<int>(text.size()));
}

TEST(IdBufferQueue, InPlaceAppendFollowsTheRulesOfWrite) {
  TIdBuffer buffer;
  ReceiveInto(buffer, std::string(100, 'a'), 32768);
  EXPECT_EQ(buffer.Capacity(), 100);
  ReceiveInto(buffer, "bc", 32768);
  EXPECT_EQ(buffer.Capacity(), 102 + TIdBuffer::kGrowthFactor);
  buffer.Remove(99);
  ReceiveInto(buffer, "d", 32768);
  EXPECT_EQ(buffer.Head(), 0);
  EXPECT_EQ(buffer.ExtractToString(), "abcd");
  ReceiveInto(buffer, "", 32768);  // a receive of nothing appends nothing
  EXPECT_EQ(buffer.Size(), 0);
  EXPECT_EQ(buffer.Capacity(), 0);
  ReceiveInto(buffer, std::string(300000, 'e'), 300000);  // a block past what is kept
  buffer.Clear();
  buffer.Write(BytesOf("fg"));
  EXPECT_EQ(buffer.Capacity(), 2);
  EXPECT_EQ(buffer.ExtractToString(), "fg");
}

TEST(IdBufferQueue, ReportsEveryRemovalWithItsCount) {
  int removed = 0;
  TIdBuffer buffer([&](TIdBuffer&, int count) { removed += count; });
  buffer.Write(BytesOf("abcdef"));
  TIdBytes out;
  buffer.ExtractToBytes(out, 2);
  buffer.Remove(10);  // more than held clears the queue
  EXPECT_EQ(removed, 12);
  EXPECT_EQ(buffer.Size(), 0);
}

TEST(IdBufferSearch, FindsFromStartAndRejectsBadArguments) {
  TIdBuffer buffer;
  EXPECT_EQ(buffer.IndexOf("x"), -1);  // empty queue
  buffer.Write(BytesOf("ab\r\ncd\r\n"));
  EXPECT_EQ(buffer.IndexOf("\r\n"), 2);
  EXPECT_EQ(buffer.IndexOf("\r\n", 3), 6);
  EXPECT_EQ(buffer.IndexOf("d\r\nx"), -1);  // no room for the whole sequence
  ExpectThrowMessage<EIdException>([&] { buffer.IndexOf(""); },
                                   "Buffer terminator must be specified.");
  ExpectThrowMessage<EIdException>([&] { buffer.IndexOf("a", 8); },
                                   "Buffer start position is invalid.");
  ExpectThrowMessage<EIdException>([&] { buffer.IndexOf("a", -1); },
                                   "Buffer start position is invalid.");
}

TEST(IdBufferExtract, NotEnoughDataNamesBothCountsAndKeepsTheBytes) {
  TIdBuffer buffer;
  buffer.Write(BytesOf("abc"));
  TIdBytes out;
  ExpectThrowMessage<EIdNotEnoughDataInBuffer>([&] { buffer.ExtractToBytes(out, 5); },
                                               "Not enough data in buffer. (5/3)");
  EXPECT_EQ(buffer.Size(), 3);
}

TEST(IdBufferExtract, AppendGrowsTheArrayOtherwiseOverwritesItsStart) {
  TIdBuffer buffer;
  buffer.Write(BytesOf("abcd"));
  TIdBytes out = BytesOf("xyz!");
  buffer.ExtractToBytes(out, 2, false);
  EXPECT_EQ(out, BytesOf("abz!"));  // never shortened
  buffer.ExtractToBytes(out, 2, true);
  EXPECT_EQ(out, BytesOf("abz!cd"));
}

TEST(IdBufferExtract, TextOutsideSevenBitAsciiBecomesQuestionMarks) {
  TIdBuffer buffer;
  buffer.Write(TIdBytes{'o', 0x80, 'k', 0xFF});
  EXPECT_EQ(buffer.ExtractToString(), "o?k?");
}

TEST(IdBufferExtract, MovesBytesToAStreamAtItsPosition) {
  TIdBuffer buffer;
  buffer.Write(BytesOf("payload"));
  TMemoryStream stream;
  stream.WriteBuffer("12", 2);
  buffer.ExtractToStream(stream, 3);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(stream.Memory()), 5), "12pay");
  EXPECT_EQ(buffer.ExtractToString(), "load");
}

}  // namespace
