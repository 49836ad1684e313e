#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestPeer.h"
#include "TestSupport.h"
#include "probes/Sockets.h"

namespace {

using testsupport::ExpectThrowMessage;

// Records the client's events in the order they come.
struct TEventLog {
  std::vector<std::string> Events;
  std::vector<int> Errors;

  void Attach(TTcpClient& client) {
    client.OnCreateHandle = [this](TObject*) { Events.push_back("create"); };
    client.OnDestroyHandle = [this](TObject*) { Events.push_back("destroy"); };
    client.OnConnect = [this](TObject*) { Events.push_back("connect"); };
    client.OnDisconnect = [this](TObject*) { Events.push_back("disconnect"); };
    client.OnError = [this](TObject*, int code) { Errors.push_back(code); };
  }
};

TEST(TcpClientProbe, AcceptingHostConnectsAndDisconnectsInOrder) {
  std::string received = "unset";
  testpeer::TPeer peer([&](testpeer::TSocket& s) { received = s.ReceiveUntilClosed(); });
  TEventLog log;
  {
    TTcpClient client;
    log.Attach(client);
    client.SetRemoteHost("127.0.0.1");
    client.SetRemotePort(std::to_string(peer.Port()));
    ASSERT_TRUE(client.Connect());
    EXPECT_TRUE(client.Connected());
    client.Disconnect();
    EXPECT_FALSE(client.Active());
  }
  peer.Join();
  EXPECT_EQ(received, "");  // nothing is sent on the probe's connection
  EXPECT_EQ(log.Events, (std::vector<std::string>{"create", "connect", "disconnect", "destroy"}));
  EXPECT_TRUE(log.Errors.empty());
}

TEST(TcpClientProbe, RefusedConnectReportsTheCodeAndKeepsTheSocket) {
  TEventLog log;
  TTcpClient client;
  log.Attach(client);
  client.SetRemoteHost("127.0.0.1");
  client.SetRemotePort(std::to_string(testpeer::ClosedPort()));
  EXPECT_FALSE(client.Connect());
  EXPECT_EQ(log.Errors, (std::vector<int>{10061}));
  EXPECT_TRUE(client.Active());
  EXPECT_FALSE(client.Connected());
  client.Disconnect();
  EXPECT_EQ(log.Events,
            (std::vector<std::string>{"create", "destroy"}));  // no connect, no disconnect
}

TEST(TcpClientProbe, HostTextThatIsNoAddressFailsTheAttempt) {
  TEventLog log;
  TTcpClient client;
  log.Attach(client);
  client.SetRemoteHost("999.1.1.1");
  client.SetRemotePort("80");
  EXPECT_FALSE(client.Connect());
  EXPECT_EQ(log.Errors.size(), 1u);
}

TEST(TcpClientProbe, HostToAddressNeverLooksUpTextThatStartsWithADigit) {
  TTcpClient client;
  EXPECT_EQ(client.HostToAddress(""), "0.0.0.0");
  EXPECT_EQ(client.HostToAddress("127.0.0.1"), "127.0.0.1");
  EXPECT_EQ(client.HostToAddress("999.1.1.1"), "");
  EXPECT_EQ(client.HostToAddress("1localhost"), "");
  EXPECT_EQ(client.HostToAddress("localhost"), "127.0.0.1");
  EXPECT_EQ(client.HostToAddress("tramela-no-such-host.invalid"), "");
}

TEST(TcpClientProbe, PortTextIsAServiceOrADecimalNumber) {
  TTcpClient client;
  EXPECT_EQ(client.PortToNumber(""), 0);
  EXPECT_EQ(client.PortToNumber("80"), 80);
  EXPECT_EQ(client.PortToNumber("http"), 80);
  ExpectThrowMessage<EConvertError>([&] { client.PortToNumber("abc"); },
                                    "'abc' is not a valid integer value");
}

TEST(TcpClientProbe, OnlyADifferentRemoteHostClosesTheConnection) {
  testpeer::TPeer peer([](testpeer::TSocket& s) { s.ReceiveUntilClosed(); });
  TTcpClient client;
  client.SetRemoteHost("127.0.0.1");
  client.SetRemotePort(std::to_string(peer.Port()));
  ASSERT_TRUE(client.Connect());
  client.SetRemoteHost("127.0.0.1");
  EXPECT_TRUE(client.Connected());
  client.SetRemotePort(std::to_string(peer.Port()));
  EXPECT_TRUE(client.Connected());
  client.SetRemoteHost("localhost");
  EXPECT_FALSE(client.Connected());
  EXPECT_FALSE(client.Active());
}

TEST(TcpClientProbe, ActiveAndBlockModeSettersDeactivate) {
  TTcpClient client;
  client.SetActive(true);  // a socket, no connect without a remote port
  EXPECT_TRUE(client.Active());
  client.SetBlockMode(bmNonBlocking);
  EXPECT_FALSE(client.Active());
  client.BeginLoading();
  client.SetActive(true);  // while loading only the flag is stored
  EXPECT_EQ(client.Handle(), -1);
  client.Loaded();
  EXPECT_NE(client.Handle(), -1);
}

}  // namespace
