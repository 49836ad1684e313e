#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "TestPeer.h"
#include "TestSupport.h"
#include "transport/IdTCPClient.h"

namespace {

using testpeer::TPeer;
using testpeer::TSocket;
using testsupport::ExpectThrowMessage;

std::string StreamText(TMemoryStream& stream) {
  return std::string(reinterpret_cast<const char*>(stream.Memory()),
                     static_cast<std::size_t>(stream.Size()));
}

// A client connected to a peer running script.
class IdIOHandlerPeer : public ::testing::Test {
 protected:
  void Start(TPeer::TScript script) {
    FPeer = std::make_unique<TPeer>(std::move(script));
    FClient.SetHost("127.0.0.1");
    FClient.SetPort(FPeer->Port());
    FClient.Connect();
  }
  TIdIOHandler& IO() { return *FClient.IOHandler(); }

  std::unique_ptr<TPeer> FPeer;
  TIdTCPClient FClient;
};

TEST_F(IdIOHandlerPeer, LineEndingsAreRemovedAndLoneCRStays) {
  Start([](TSocket& s) { s.Send("one\r\ntwo\nth\rree\r\n"); });
  EXPECT_EQ(IO().ReadLine(), "one");
  EXPECT_EQ(IO().ReadLine(), "two");
  EXPECT_EQ(IO().ReadLine(), "th\rree");
}

TEST_F(IdIOHandlerPeer, CRLFSplitOverTwoReceivesEndsTheLine) {
  Start([](TSocket& s) {
    s.Send("abc\r");
    s.ReceiveExactly(2);  // the client has taken in the first part
    s.Send("\ndef\n");
  });
  ASSERT_GT(IO().FillInput(), 0);
  ASSERT_EQ(IO().InBuffer().Size(), 4);
  IO().Write("go");
  EXPECT_EQ(IO().ReadLine(), "abc");
  EXPECT_EQ(IO().ReadLine(), "def");
}

TEST_F(IdIOHandlerPeer, MultiByteTerminatorSplitOverTwoReceivesIsFound) {
  Start([](TSocket& s) {
    s.Send("x--");
    s.ReceiveExactly(2);
    s.Send("-END");
  });
  ASSERT_GT(IO().FillInput(), 0);
  IO().Write("go");
  EXPECT_EQ(IO().ReadLine("---END"), "x");
}

TEST_F(IdIOHandlerPeer, LineLimitCountsTheCRBeforeTheLF) {
  const std::string longest(16383, 'a');
  const std::string tooLong(16384, 'b');
  Start([&](TSocket& s) { s.Send(longest + "\r\n" + tooLong + "\r\n" + tooLong + "\r\n"); });
  EXPECT_EQ(IO().ReadLine(), longest);  // 16,384 bytes before the LF, its CR included
  ExpectThrowMessage<EIdReadLnMaxLineLengthExceeded>([&] { IO().ReadLine(); },
                                                     "Max line length exceeded.");
  EXPECT_GE(IO().InBuffer().Size(), 16386);  // the over-long line stays
  IO().SetMaxLineAction(maSplit);
  EXPECT_EQ(IO().ReadLine(), tooLong);  // 16,385 before the LF: the first 16,384 come back
  EXPECT_TRUE(IO().LineSplit());
  EXPECT_EQ(IO().ReadLine(), "");  // the rest: its CR LF
  EXPECT_FALSE(IO().LineSplit());
  FPeer->Join();  // the peer reads the test's texts
}

// A peer that never ends its line: the limit holds while the terminator is still
// missing, so the input buffer stays near the limit instead of growing without end.
TEST_F(IdIOHandlerPeer, LineWithoutEndFailsOnceItPassesTheLimit) {
  Start([](TSocket& s) {
    s.Send(std::string(40000, 'x'));
    s.ReceiveUntilClosed();
  });
  FClient.SetReadTimeout(3000);  // the old behaviour waited here for more
  ExpectThrowMessage<EIdReadLnMaxLineLengthExceeded>([&] { IO().ReadLine(); },
                                                     "Max line length exceeded.");
  EXPECT_LE(IO().InBuffer().Size(), kMaxLineLengthDefault + kRecvBufferSizeDefault);
  IO().SetMaxLineAction(maSplit);
  EXPECT_EQ(IO().ReadLine(), std::string(kMaxLineLengthDefault, 'x'));
  EXPECT_TRUE(IO().LineSplit());
  FClient.Disconnect();
}

// The bytes that may still begin a terminator do not count against the limit yet.
TEST_F(IdIOHandlerPeer, LimitLeavesRoomForATerminatorStillArriving) {
  Start([](TSocket& s) {
    s.Send("aaaaaaaaaa--EN");  // 10 bytes, then the first 4 of "--END"
    s.ReceiveExactly(2);
    s.Send("D");
    s.ReceiveExactly(2);
    s.Send("bbbbbbbbbbb--EN");  // 11 bytes: too long before the terminator is complete
    s.ReceiveUntilClosed();
  });
  FClient.SetReadTimeout(3000);
  ASSERT_GT(IO().FillInput(), 0);
  IO().Write("go");
  EXPECT_EQ(IO().ReadLine("--END", kTimeoutDefault, 10), "aaaaaaaaaa");
  IO().Write("go");
  ExpectThrowMessage<EIdReadLnMaxLineLengthExceeded>(
      [&] { IO().ReadLine("--END", kTimeoutDefault, 10); }, "Max line length exceeded.");
  FClient.Disconnect();
}

TEST_F(IdIOHandlerPeer, PeerClosingInsideALineRaisesAndKeepsTheBytes) {
  Start([](TSocket& s) { s.Send("abc"); });
  ExpectThrowMessage<EIdConnClosedGracefully>([&] { IO().ReadLine(); },
                                              "Connection Closed Gracefully.");
  EXPECT_EQ(IO().InBuffer().Size(), 3);
}

TEST_F(IdIOHandlerPeer, LineTimeOutReturnsEmptyAndKeepsThePartialLine) {
  Start([](TSocket& s) {
    s.Send("partial");
    s.ReceiveUntilClosed();  // never answers more
  });
  EXPECT_EQ(IO().ReadLine("\n", 300), "");
  EXPECT_TRUE(IO().LineTimedOut());
  EXPECT_EQ(IO().InBuffer().Size(), 7);
  FClient.Disconnect();
}

TEST_F(IdIOHandlerPeer, CountedReadTimesOutWithReadTimeout) {
  Start([](TSocket& s) {
    s.Send("ab");
    s.ReceiveUntilClosed();
  });
  FClient.SetReadTimeout(200);
  TIdBytes bytes;
  ExpectThrowMessage<EIdReadTimeout>([&] { IO().ReadCount(bytes, 5); }, "Read timed out.");
  EXPECT_EQ(IO().InBuffer().Size(), 2);
  FClient.Disconnect();
}

TEST_F(IdIOHandlerPeer, DrippedBytesMakeOneLine) {
  Start([](TSocket& s) {
    for (const char c : std::string("drip\r\n")) {
      s.Send(std::string(1, c));
      s.Receive(1, 20);  // pace the bytes; nothing is expected back
    }
  });
  EXPECT_EQ(IO().ReadLine(), "drip");
}

TEST_F(IdIOHandlerPeer, CountedStreamFromAnEarlyCloserKeepsWhatCameAndIsCut) {
  Start([](TSocket& s) { s.Send(std::string(600, 'x')); });
  TMemoryStream stream;
  ExpectThrowMessage<EIdConnClosedGracefully>([&] { IO().ReadToStream(stream, 1000); },
                                              "Connection Closed Gracefully.");
  EXPECT_EQ(stream.Size(), 600);
  EXPECT_EQ(StreamText(stream), std::string(600, 'x'));
}

TEST_F(IdIOHandlerPeer, UntilCloseReadEndsNormallyWithEveryByte) {
  std::string body;
  for (int i = 0; i < 100000; ++i) body.push_back(static_cast<char>('a' + i % 26));
  Start([&](TSocket& s) { s.Send(body); });
  TMemoryStream stream;
  std::int64_t worked = 0;
  FClient.OnWork = [&](TObject*, TWorkMode mode, std::int64_t count) {
    if (mode == wmRead) worked = count;
  };
  IO().ReadToStream(stream, -1, true);
  EXPECT_EQ(StreamText(stream), body);
  EXPECT_EQ(worked,
            static_cast<std::int64_t>(body.size()));  // the handler's work reaches the client
  FPeer->Join();                                      // the peer reads body
}

TEST_F(IdIOHandlerPeer, ResetDuringACountedReadIsConnectionReset) {
  Start([](TSocket& s) {
    s.Send("12345");
    s.ReceiveExactly(2);
    s.Reset();
  });
  TMemoryStream stream;
  ASSERT_GT(IO().FillInput(), 0);
  IO().Write("go");
  try {
    IO().ReadToStream(stream, 1000);
    FAIL() << "nothing raised";
  } catch (const EIdConnClosedGracefully&) {
    EXPECT_TRUE(testpeer::RunningUnderWine()) << "a reset must not read as an orderly close";
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.SocketErrorCode(), 10054);
    EXPECT_EQ(e.Message(), "Socket Error # 10054\r\nConnection reset by peer.");
  }
  EXPECT_EQ(StreamText(stream), "12345");
}

TEST_F(IdIOHandlerPeer, CountZeroReadsNothingAndCutsTheStream) {
  Start([](TSocket& s) { s.ReceiveUntilClosed(); });
  TMemoryStream stream;
  stream.WriteBuffer("abcdef", 6);
  stream.SetPosition(2);
  IO().ReadToStream(stream, 0);
  EXPECT_EQ(StreamText(stream), "ab");
  FClient.Disconnect();
}

TEST_F(IdIOHandlerPeer, SkipToEndOnAClosingPeerReturns) {
  Start([](TSocket& s) { s.Send(std::string(5000, 'z')); });
  IO().SkipToEnd();
  EXPECT_EQ(IO().InBuffer().Size(), 0);
}

TEST_F(IdIOHandlerPeer, SkipBytesLeavesTheRest) {
  Start([](TSocket& s) { s.Send("0123456789\n"); });
  IO().SkipBytes(4);
  EXPECT_EQ(IO().ReadLine(), "456789");
}

TEST_F(IdIOHandlerPeer, NonAsciiBecomesQuestionMarksBothWays) {
  std::string received;
  Start([&](TSocket& s) {
    s.Send("\x80z\xff\n");
    received = s.ReceiveExactly(9);
  });
  EXPECT_EQ(IO().ReadLine(), "?z?");
  IO().WriteLine("\xe8rka");  // "č" in Windows-1250
  IO().WriteLine();
  IO().Write("");  // sends nothing
  IO().Write("!");
  FPeer->Join();
  EXPECT_EQ(received, "?rka\r\n\r\n!");
}

TEST_F(IdIOHandlerPeer, BufferedWriteLeavesInOnePieceAndCancelSendsNothing) {
  std::string received;
  Start([&](TSocket& s) { received = s.ReceiveUntilClosed(); });
  IO().BeginBufferedWrite();
  IO().WriteLine("dropped");
  IO().CancelBufferedWrite();
  EXPECT_FALSE(IO().IsWriteBuffering());
  IO().BeginBufferedWrite();
  IO().WriteLine("GET / HTTP/1.1");
  IO().WriteLine("Host: x");
  IO().WriteLine();
  EXPECT_EQ(IO().OutBuffer()->Size(), 27);
  IO().EndBufferedWrite();
  FClient.Disconnect();
  FPeer->Join();
  EXPECT_EQ(received, "GET / HTTP/1.1\r\nHost: x\r\n\r\n");
}

TEST_F(IdIOHandlerPeer, ThresholdFlushesWholeChunksAndKeepsTheRest) {
  std::string received;
  Start([&](TSocket& s) { received = s.ReceiveUntilClosed(); });
  IO().BeginBufferedWrite(10);
  IO().Write(std::string(25, 'w'));
  EXPECT_EQ(IO().OutBuffer()->Size(), 5);  // two chunks of 10 went out
  IO().EndBufferedWrite();
  FClient.Disconnect();
  FPeer->Join();
  EXPECT_EQ(received, std::string(25, 'w'));
}

TEST_F(IdIOHandlerPeer, WorkIsCountedOnlyInsideAPhase) {
  Start([](TSocket& s) {
    s.ReceiveExactly(3);
    s.Send(std::string(1000, 'r'));
  });
  std::vector<std::string> events;
  FClient.OnWorkBegin = [&](TObject*, TWorkMode mode, std::int64_t max) {
    events.push_back((mode == wmRead ? "begin read " : "begin write ") + std::to_string(max));
  };
  FClient.OnWork = [&](TObject*, TWorkMode mode, std::int64_t count) {
    events.push_back((mode == wmRead ? "read " : "write ") + std::to_string(count));
  };
  FClient.OnWorkEnd = [&](TObject*, TWorkMode) { events.push_back("end"); };
  IO().WriteLine("x");  // outside a phase: not counted
  TMemoryStream stream;
  IO().ReadToStream(stream, 1000);
  ASSERT_GE(events.size(), 3u);
  EXPECT_EQ(events.front(), "begin read 1000");
  EXPECT_EQ(events[events.size() - 2], "read 1000");
  EXPECT_EQ(events.back(), "end");
}

TEST_F(IdIOHandlerPeer, FailedReadStillEndsItsWorkPhase) {
  // A phase left open by an exception would swallow the begin of every later one.
  Start([](TSocket& s) { s.Send(std::string(600, 'x')); });
  int begins = 0;
  int ends = 0;
  FClient.OnWorkBegin = [&](TObject*, TWorkMode, std::int64_t) { ++begins; };
  FClient.OnWorkEnd = [&](TObject*, TWorkMode) { ++ends; };
  TMemoryStream stream;
  EXPECT_THROW(IO().ReadToStream(stream, 1000), EIdConnClosedGracefully);
  EXPECT_EQ(begins, 1);
  EXPECT_EQ(ends, 1);
  EXPECT_ANY_THROW(IO().SkipBytes(10));
  EXPECT_EQ(begins, 2);
  EXPECT_EQ(ends, 2);
}

TEST_F(IdIOHandlerPeer, StreamIsWrittenWholeWithItsCountFirst) {
  std::string received;
  Start([&](TSocket& s) { received = s.ReceiveUntilClosed(); });
  TMemoryStream stream;
  stream.WriteBuffer("body", 4);
  IO().Write(stream, 0, true);
  FClient.Disconnect();
  FPeer->Join();
  EXPECT_EQ(received, std::string("\0\0\0\4body", 8));
}

TEST_F(IdIOHandlerPeer, ConnectedWhileUnreadBytesRemainThenWritesRaise) {
  Start([](TSocket& s) { s.Send("left"); });
  FPeer->Join();  // the peer has closed
  ASSERT_TRUE(IO().WaitReadable(testpeer::kWaitMs));
  EXPECT_TRUE(FClient.Connected());
  EXPECT_EQ(IO().InBuffer().ExtractToString(), "left");
  ASSERT_TRUE(IO().WaitReadable(testpeer::kWaitMs));  // the close has arrived
  EXPECT_FALSE(FClient.Connected());
  ExpectThrowMessage<EIdConnClosedGracefully>([&] { IO().Write("x"); },
                                              "Connection Closed Gracefully.");
}

}  // namespace
