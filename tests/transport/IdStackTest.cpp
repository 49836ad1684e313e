#include <gtest/gtest.h>

#include <cerrno>
#include <set>

#include "TestSupport.h"
#include "transport/IdStack.h"
#ifdef _WIN32
#include "transport/IdStackWindows.h"
#endif

namespace {

using testsupport::ExpectThrowMessage;

TEST(IdStackLiterals, AcceptsDottedQuadsWithOneTrailingDot) {
  for (const char* text :
       {"1.2.3.4", "1.2.3.4.", "127.0.0.1", "0.0.0.0", "255.255.255.255", " 1. 2 .3.4"}) {
    EXPECT_TRUE(TIdStack::IsIPv4Literal(text)) << text;
  }
  for (const char* text :
       {"1.2.3", "1.2.3.4.5", "256.1.1.1", "a.b.c.d", "", "1..2.3", "1.2.3.-1"}) {
    EXPECT_FALSE(TIdStack::IsIPv4Literal(text)) << text;
  }
}

TEST(IdStackLiterals, CanonicalIPv6TextHasEightUpperCaseGroups) {
  const std::pair<const char*, const char*> cases[] = {
      {"::1", "0:0:0:0:0:0:0:1"},
      {"fe80::1:abcd", "FE80:0:0:0:0:0:1:ABCD"},
      {"1::", "1:0:0:0:0:0:0:0"},
      {"::", "0:0:0:0:0:0:0:0"},
      {"2001:db8:0:0:0:0:2:1", "2001:DB8:0:0:0:0:2:1"},
      {"::ffff:192.168.1.2", "0:0:0:0:0:FFFF:C0A8:102"},
      {"0001:0002:0003:0004:0005:0006:0007:0008", "1:2:3:4:5:6:7:8"},
  };
  for (const auto& [text, canonical] : cases)
    EXPECT_EQ(TIdStack::IPv6Canonical(text), canonical) << text;
  for (const char* text : {"1::2::3", "12345::1", "1:2:3:4:5:6:7:8:9", "g::1", "::1.2.3", "1.2.3.4",
                           "::1.2.3.a", "1:2", "::256.1.1.1", "1.2::3.4.5"}) {
    EXPECT_EQ(TIdStack::IPv6Canonical(text), "") << text;
  }
}

TEST(IdStackLiterals, IPv6BytesAreInNetworkOrder) {
  const auto bytes = TIdStack::IPv6ToBytes("FE80::1:ABCD");
  EXPECT_EQ(bytes[0], 0xFE);
  EXPECT_EQ(bytes[1], 0x80);
  EXPECT_EQ(bytes[13], 0x01);
  EXPECT_EQ(bytes[14], 0xAB);
  EXPECT_EQ(bytes[15], 0xCD);
  ExpectThrowMessage<EIdInvalidIPv6Address>([] { TIdStack::IPv6ToBytes("1::2::3"); },
                                            "1::2::3 is not a valid IPv6 address");
}

TEST(IdStackErrors, MessageIsCodeLineThenTableText) {
  EXPECT_EQ(TIdStack::SocketErrorText(10061), "Socket Error # 10061\r\nConnection refused.");
  EXPECT_EQ(TIdStack::SocketErrorText(11001), "Socket Error # 11001\r\nHost not found.");
  EXPECT_EQ(TIdStack::SocketErrorText(10060), "Socket Error # 10060\r\nConnection timed out.");
  EXPECT_EQ(TIdStack::SocketErrorText(10066), "Socket Error # 10066\r\nDirectory not empty");
  // A code outside the table keeps its code line and ends with CR LF.
  EXPECT_EQ(TIdStack::SocketErrorText(12345), "Socket Error # 12345\r\n");
}

TEST(IdStackErrors, NotASocketIsItsOwnClassOfSocketError) {
  try {
    TIdStack::ThrowSocketError(10038);
    FAIL() << "nothing raised";
  } catch (const EIdNotASocket& e) {
    EXPECT_EQ(e.SocketErrorCode(), 10038);
    EXPECT_EQ(e.Message(), "Socket Error # 10038\r\nSocket operation on non-socket.");
  }
  EXPECT_THROW(TIdStack::ThrowSocketError(10054), EIdSocketError);
}

TEST(IdStackErrors, StubErrorAddsTheSystemTextOnlyForACode) {
  EXPECT_EQ(EIdWinsockStubError(0, "Error on call to Winsock2 library function send").Message(),
            "Error on call to Winsock2 library function send");
  const EIdWinsockStubError withCode(10093, "Title");
  EXPECT_EQ(withCode.Message(), "Title: " + withCode.WinsockReason());
  EXPECT_FALSE(withCode.WinsockReason().empty());
}

TEST(IdStackErrors, ResolverCodesMapOntoWinsockCodes) {
  EXPECT_EQ(TIdStack::MapResolverError(8), 11001);
  EXPECT_EQ(TIdStack::MapResolverError(2), 11002);
  EXPECT_EQ(TIdStack::MapResolverError(10), 10044);
  EXPECT_EQ(TIdStack::MapResolverError(11001), 11001);  // Winsock's own codes pass unchanged
  EXPECT_EQ(TIdStack::MapResolverError(11), 0);  // EAI_SYSTEM: the caller reads errno instead
}

TEST(IdStackErrors, ErrnoMapsOntoWinsockCodesByMeaning) {
  EXPECT_EQ(WinsockCodeOfErrno(ECONNREFUSED), kWsaeConnRefused);
  EXPECT_EQ(WinsockCodeOfErrno(EPIPE), kWsaeConnReset);  // a send after the peer reset
  EXPECT_EQ(WinsockCodeOfErrno(EPERM), kWsaeAcces);
  EXPECT_EQ(WinsockCodeOfErrno(0), 0);  // 0 marks an empty cell, never a match
  EXPECT_EQ(WinsockCodeOfErrno(987654), 987654);
}

TEST(IdStackErrors, TableNamesEachErrnoAndResolverNumberOnce) {
  // A second row for the same number would be shadowed by the first without a word.
  std::set<int> errnos;
  std::set<int> resolverCodes;
  for (const auto& row : WinsockCodeTable()) {
    if (row.PosixErrno != 0) {
      EXPECT_TRUE(errnos.insert(row.PosixErrno).second) << row.PosixErrno;
    }
    if (row.ResolverCode != 0) {
      EXPECT_TRUE(resolverCodes.insert(row.ResolverCode).second) << row.ResolverCode;
    }
  }
}

TEST(IdStackLifetime, CountedCreationAndRelease) {
  ASSERT_EQ(StackUsageCount(), 0);
  AcquireStack();
  TIdStack* first = ActiveStack();
  AcquireStack();
  EXPECT_EQ(ActiveStack(), first);
  ReleaseStack();
  EXPECT_NE(ActiveStack(), nullptr);
  ReleaseStack();
  EXPECT_EQ(ActiveStack(), nullptr);
  ReleaseStack();  // one too many changes nothing
  EXPECT_EQ(StackUsageCount(), 0);
}

TEST(IdStackLifetime, NoStackClassFailsAndLeavesCountUnchanged) {
  const TIdStackClass saved = StackClass();
  SetStackClass(nullptr);
  ExpectThrowMessage<EIdException>([] { AcquireStack(); }, "Stack Class is undefined.");
  SetStackClass(saved);
  EXPECT_EQ(StackUsageCount(), 0);
  // The next acquire tries again.
  AcquireStack();
  EXPECT_NE(ActiveStack(), nullptr);
  ReleaseStack();
}

class IdStackResolve : public ::testing::Test {
 protected:
  TIdStackUse FUse;
};

TEST_F(IdStackResolve, LocalhostAndLiteralsNeedNoLookup) {
  for (const char* name : {"localhost", "LocalHost", "LOCALHOST"}) {
    EXPECT_EQ(CurrentStack().ResolveHostName(name, Id_IPv4), "127.0.0.1");
  }
  EXPECT_EQ(CurrentStack().ResolveHostName("1.2.3.4.", Id_IPv4), "1.2.3.4.");
  EXPECT_EQ(CurrentStack().ResolveHostName("::1", Id_IPv6), "0:0:0:0:0:0:0:1");
}

TEST_F(IdStackResolve, NameThatCannotExistIsHostNotFound) {
  try {
    CurrentStack().ResolveHostName("tramela-no-such-host.invalid", Id_IPv4);
    FAIL() << "nothing raised";
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.SocketErrorCode(), 11001);
    EXPECT_EQ(e.Message(), "Socket Error # 11001\r\nHost not found.");
  }
}

TEST_F(IdStackResolve, UnknownAddressFamilyIsRefused) {
  ExpectThrowMessage<EIdIPVersionUnsupported>(
      [] { CurrentStack().ResolveHostName("x", static_cast<TIdIPVersion>(7)); },
      "The requested IPVersion / Address family is not supported.");
}

TEST(IdSocketList, HoldsAtMostSixtyFourHandles) {
  TIdSocketList list;
  for (int i = 0; i < 64; ++i) list.Add(1000 + i);
  list.Add(1000);  // already held: no second entry
  EXPECT_EQ(list.Count(), 64);
  ExpectThrowMessage<EIdStackSetSizeExceeded>([&] { list.Add(5000); }, "Set Size Exceeded.");
}

#ifdef _WIN32
// Run with no stack held, so the library can be unloaded and loaded again.
TEST(IdStackWindowsLoading, MissingSocketLibraryFailsStackCreation) {
  ASSERT_EQ(StackUsageCount(), 0);
  UnloadSocketLibrary();
  SetSocketLibraryName("TramelaNoSuchWinsock.dll");
  try {
    AcquireStack();
    ReleaseStack();
    ADD_FAILURE() << "nothing raised";
  } catch (const EIdStackInitializationFailed& e) {
    const std::string title = "Error on loading Winsock2 library (TramelaNoSuchWinsock.dll): ";
    EXPECT_EQ(e.Message().substr(0, title.size()), title);
    EXPECT_GT(e.Message().size(), title.size());  // the system's text follows
  }
  SetSocketLibraryName("WS2_32.DLL");
  EXPECT_EQ(StackUsageCount(), 0);
  EXPECT_FALSE(SocketLibraryStarted());
  AcquireStack();
  EXPECT_TRUE(SocketLibraryStarted());
  ReleaseStack();
}

TEST(IdStackWindowsLoading, BuiltInAddressInfoAnswersWithWinsockCodes) {
  TIdStackUse use;
  UseBuiltInAddressInfo();
  EXPECT_EQ(CurrentStack().LookupHost("127.0.0.1", Id_IPv4), "127.0.0.1");
  try {
    CurrentStack().LookupHost("tramela-no-such-host.invalid", Id_IPv4);
    ADD_FAILURE() << "nothing raised";
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.SocketErrorCode(), 11001);
  }
  // Back to the system's functions for the other tests.
  UnloadSocketLibrary();
  LoadAddressInfoFunctions();
  EXPECT_FALSE(UsingBuiltInAddressInfo());
}
#endif

}  // namespace
