#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "TestPeer.h"
#include "TestSupport.h"
#include "rtl/Text.h"
#include "transport/IdSocketHandle.h"

namespace {

using testsupport::ExpectThrowMessage;

// Finds three consecutive local ports that are free now and holds the ones asked for.
struct TPortRange {
  std::uint16_t First = 0;
  std::vector<std::unique_ptr<testpeer::TPortHolder>> Holders;

  explicit TPortRange(std::vector<int> held) {
    for (int attempt = 0; attempt < 50; ++attempt) {
      const std::uint16_t base = static_cast<std::uint16_t>(testpeer::ClosedPort() & 0xFFF0);
      if (base < 1024 || base > 65500) continue;
      bool ok = true;
      Holders.clear();
      for (const int offset : held) {
        auto holder =
            std::make_unique<testpeer::TPortHolder>(static_cast<std::uint16_t>(base + offset));
        ok = ok && holder->Held();
        Holders.push_back(std::move(holder));
      }
      if (ok) {
        First = base;
        return;
      }
    }
  }
};

std::unique_ptr<TIdSocketHandle> LoopbackHandle(std::uint16_t min, std::uint16_t max) {
  auto handle = std::make_unique<TIdSocketHandle>();
  handle->AllocateHandle();
  handle->SetIP("127.0.0.1");
  handle->SetClientPortMin(min);
  handle->SetClientPortMax(max);
  return handle;
}

TEST(IdSocketHandleBind, PortRangeIsTriedFromTheTop) {
  TPortRange range({1});  // the middle port is taken
  ASSERT_NE(range.First, 0);
  auto handle = LoopbackHandle(range.First, static_cast<std::uint16_t>(range.First + 2));
  handle->BindLocal();
  EXPECT_EQ(handle->Port(), range.First + 2);
  EXPECT_EQ(handle->IP(), "127.0.0.1");
}

TEST(IdSocketHandleBind, RangeWhosePortsAreAllTakenNamesTheRange) {
  TPortRange range({0, 1, 2});
  ASSERT_NE(range.First, 0);
  const int min = range.First;
  const int max = range.First + 2;
  auto handle = LoopbackHandle(static_cast<std::uint16_t>(min), static_cast<std::uint16_t>(max));
  ExpectThrowMessage<EIdCanNotBindPortInRange>(
      [&] { handle->BindLocal(); }, Format("Can not bind in port range (%d - %d)", {min, max}));
}

TEST(IdSocketHandleBind, InvertedRangeIsRefusedWithMinThenMax) {
  auto handle = LoopbackHandle(2000, 1000);
  ExpectThrowMessage<EIdInvalidPortRange>([&] { handle->BindLocal(); },
                                          "Invalid Port Range (2000 - 1000)");
}

TEST(IdSocketHandleBind, TakenFixedPortLosesTheCodeButSaysWhy) {
  TPortRange range({0});
  ASSERT_NE(range.First, 0);
  auto handle = LoopbackHandle(0, 0);
  handle->SetPort(range.First);
  ExpectThrowMessage<EIdCouldNotBindSocket>(
      [&] { handle->BindLocal(); }, "Could not bind socket. Address and port are already in use.");
}

TEST(IdSocketHandleState, ReleaseIsIdempotentAndIPVersionIsGuarded) {
  TIdSocketHandle handle;
  handle.ReleaseHandle();  // nothing held: nothing happens
  handle.AllocateHandle();
  EXPECT_TRUE(handle.SocketHeld());
  EXPECT_EQ(handle.SocketType(), kSockStream);
  EXPECT_TRUE(handle.UseNagle());
  ExpectThrowMessage<EIdCannotSetIPVersionWhenConnected>([&] { handle.SetIPVersion(Id_IPv6); },
                                                         "Cannot change IPVersion when connected");
  handle.ReleaseHandle();
  handle.ReleaseHandle();
  EXPECT_FALSE(handle.SocketHeld());
  ExpectThrowMessage<EIdConnClosedGracefully>([&] { handle.WaitReadable(0); },
                                              "Connection Closed Gracefully.");
}

TEST(IdSocketHandleState, ConnectReadsBackBothAddresses) {
  testpeer::TPeer peer([](testpeer::TSocket& s) { s.ReceiveUntilClosed(); });
  TIdSocketHandle handle;
  handle.AllocateHandle();
  handle.BindLocal();
  handle.SetPeer("127.0.0.1", peer.Port(), Id_IPv4);
  handle.ConnectPeer();
  EXPECT_EQ(handle.TargetIP(), "127.0.0.1");
  EXPECT_EQ(handle.TargetPort(), peer.Port());
  EXPECT_EQ(handle.IP(), "127.0.0.1");
  EXPECT_NE(handle.Port(), 0);
  EXPECT_FALSE(handle.WaitReadable(0));  // nothing sent: returns at once
  handle.ReleaseHandle();
}

TEST(IdSocketHandleState, IPv6BindReadsBackCanonicalText) {
  TIdSocketHandle handle;
  handle.SetIPVersion(Id_IPv6);
  try {
    handle.AllocateHandle();
  } catch (const EIdSocketError& e) {
    GTEST_SKIP() << "no IPv6 here: " << e.Message();
  }
  handle.SetIP("::1");
  handle.BindLocal();
  EXPECT_EQ(handle.IP(), "0:0:0:0:0:0:0:1");
  EXPECT_NE(handle.Port(), 0);
}

}  // namespace
