#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "TestPeer.h"
#include "TestSupport.h"
#include "rtl/Threads.h"
#include "transport/IdIOHandlerStack.h"
#include "transport/IdTCPClient.h"

namespace {

using testpeer::TPeer;
using testpeer::TSocket;
using testsupport::ExpectThrowMessage;

void ExpectSocketError(const std::function<void()>& f, int code, const std::string& text) {
  try {
    f();
    ADD_FAILURE() << "nothing raised, expected code " << code;
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.SocketErrorCode(), code);
    EXPECT_EQ(e.Message(), "Socket Error # " + std::to_string(code) + "\r\n" + text);
  }
}

std::vector<std::string>* RecordStatus(TIdTCPClient& client, std::vector<std::string>& log) {
  client.OnStatus = [&log](TObject*, TIdStatus, const std::string& text) { log.push_back(text); };
  return &log;
}

TEST(IdTCPClientDefaults, NewClientHasTheDocumentedSettingsAndNoHandler) {
  TIdTCPClient client;
  EXPECT_EQ(client.ConnectTimeout(), 0);
  EXPECT_EQ(client.ReadTimeout(), -1);
  EXPECT_EQ(client.Port(), 0);
  EXPECT_EQ(client.Host(), "");
  EXPECT_EQ(client.IPVersion(), Id_IPv4);
  EXPECT_TRUE(client.UseNagle());
  EXPECT_EQ(client.ReuseSocket(), rsOSDependent);
  EXPECT_FALSE(client.Connected());
  EXPECT_EQ(client.IOHandler(), nullptr);  // asking created none
}

TEST(IdTCPClientConnect, RequiresHostAndPort) {
  TIdTCPClient client;
  ExpectThrowMessage<EIdHostRequired>([&] { client.Connect(); }, "");
  client.SetHost("127.0.0.1");
  ExpectThrowMessage<EIdPortRequired>([&] { client.Connect(); }, "");
  ExpectThrowMessage<EIdException>([&] { client.CheckGracefulClose(true); }, "Not Connected");
}

TEST(IdTCPClientConnect, RefusedConnectFreesTheHandlerAndTheNextOneSucceeds) {
  TIdTCPClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(testpeer::ClosedPort());
  ExpectSocketError([&] { client.Connect(); }, 10061, "Connection refused.");
  EXPECT_EQ(client.IOHandler(), nullptr);
  TPeer peer([](TSocket& s) { s.ReceiveUntilClosed(); });
  client.SetPort(peer.Port());
  client.Connect();
  ASSERT_NE(client.IOHandler(), nullptr);
  EXPECT_TRUE(client.OwnsHandler());
  EXPECT_TRUE(client.Connected());
  ExpectThrowMessage<EIdAlreadyConnected>([&] { client.Connect(); }, "Already connected.");
  client.Disconnect();
}

TEST(IdTCPClientConnect, NameThatCannotExistIsHostNotFound) {
  TIdTCPClient client;
  std::vector<std::string> log;
  RecordStatus(client, log);
  client.SetHost("tramela-no-such-host.invalid");
  client.SetPort(80);
  ExpectSocketError([&] { client.Connect(); }, 11001, "Host not found.");
  EXPECT_EQ(client.IOHandler(), nullptr);
  EXPECT_EQ(log, (std::vector<std::string>{"Resolving hostname tramela-no-such-host.invalid."}));
}

TEST(IdTCPClientConnect, StatusReportsOfAConnectAndDisconnect) {
  TPeer peer([](TSocket& s) { s.ReceiveUntilClosed(); });
  TIdTCPClient client;
  std::vector<std::string> log;
  RecordStatus(client, log);
  int disconnected = 0;
  client.OnDisconnected = [&](TObject*) { ++disconnected; };
  client.Disconnect();  // never connected: nothing happens
  EXPECT_TRUE(log.empty());
  client.SetHost("localhost");
  client.SetPort(peer.Port());
  client.Connect();
  EXPECT_EQ(client.Socket()->SocketHandle()->TargetIP(), "127.0.0.1");
  client.Disconnect();
  client.Disconnect();  // already closed: reports nothing more
  EXPECT_EQ(log,
            (std::vector<std::string>{"Resolving hostname localhost.", "Connecting to 127.0.0.1.",
                                      "Connected.", "Disconnecting.", "Disconnected."}));
  EXPECT_EQ(disconnected, 1);
  EXPECT_NE(client.IOHandler(), nullptr);  // still attached and owned
}

TEST(IdTCPClientConnect, PeerCloseIsNoticedAndConnectReopensTheSameHandler) {
  TPeer peer([](TSocket& s) { s.Send("bye\n"); }, 2);
  TIdTCPClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(peer.Port());
  client.Connect();
  TIdIOHandler* handler = client.IOHandler();
  EXPECT_EQ(handler->ReadLine(), "bye");
  ASSERT_TRUE(handler->WaitReadable(testpeer::kWaitMs));  // the peer's close has arrived
  EXPECT_FALSE(client.Connected());  // the poll notices the close and releases the socket
  ExpectThrowMessage<EIdConnClosedGracefully>([&] { client.CheckGracefulClose(true); },
                                              "Connection Closed Gracefully.");
  client.Connect();
  EXPECT_EQ(client.IOHandler(), handler);
  EXPECT_EQ(handler->ReadLine(), "bye");
}

TEST(IdTCPClientSettings, SettersReachAnAttachedHandler) {
  TIdTCPClient client;
  TIdIOHandlerStack handler;
  client.SetReadTimeout(1234);
  client.SetIOHandler(&handler);
  EXPECT_FALSE(client.OwnsHandler());
  EXPECT_EQ(handler.ReadTimeout(), 1234);
  client.SetReadTimeout(50);
  EXPECT_EQ(handler.ReadTimeout(), 50);
  client.SetUseNagle(false);
  EXPECT_FALSE(handler.UseNagle());
  client.SetHost("h");
  EXPECT_EQ(handler.Host(), "h");
  client.SetIOHandler(nullptr);  // detaching a borrowed handler leaves it alive
  EXPECT_EQ(handler.WorkForward(), nullptr);
}

TEST(IdTCPClientSettings, HandlerWithAnotherInterceptIsRefused) {
  TIdTCPClient client;
  TIdConnectionIntercept mine;
  TIdConnectionIntercept theirs;
  TIdIOHandlerStack handler;
  client.SetIntercept(&mine);
  handler.SetIntercept(&theirs);
  ExpectThrowMessage<EIdException>([&] { client.SetIOHandler(&handler); },
                                   "The IOHandler already has a different Intercept assigned");
  EXPECT_EQ(client.IOHandler(), nullptr);
  handler.SetIntercept(nullptr);
  client.SetIOHandler(&handler);
  EXPECT_EQ(handler.Intercept(), &mine);  // the connection's intercept is handed on
  client.SetIOHandler(nullptr);
  {
    TIdConnectionIntercept shortLived;
    handler.SetIntercept(&shortLived);
  }
  EXPECT_EQ(handler.Intercept(), nullptr);  // a freed intercept is forgotten
}

TEST(IdTCPClientSettings, FreeingAnAttachedHandlerDetachesIt) {
  TIdTCPClient client;
  {
    TIdIOHandlerStack handler;
    client.SetIOHandler(&handler);
  }
  EXPECT_EQ(client.IOHandler(), nullptr);
  EXPECT_EQ(client.Socket(), nullptr);
}

TEST(IdTCPClientConnect, ConnectTimeOutAbandonsAnUnansweredConnect) {
  testpeer::TUnansweredTarget target;
  TIdTCPClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(target.Port());
  client.SetConnectTimeout(3000);
  const std::uint32_t start = GetTickCount32();
  ExpectThrowMessage<EIdConnectTimeout>([&] { client.Connect(); }, "Connect timed out.");
  EXPECT_GE(GetTickCount32() - start, 2875u);  // it waited the time-out, less at most one step
  EXPECT_EQ(client.IOHandler(), nullptr);
}

TEST(IdTCPClientConnect, AbortFlagStopsAnUnansweredConnect) {
  testpeer::TUnansweredTarget target;
  std::atomic<bool> abort{false};
  TIdTCPClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(target.Port());
  client.SetAbortFlag(&abort);  // no connect time-out: only the flag ends it
  std::thread stopper([&] {
    SleepMs(300);
    abort = true;
  });
  const std::uint32_t start = GetTickCount32();
  EXPECT_THROW(client.Connect(), EAbort);
  stopper.join();
  EXPECT_LT(GetTickCount32() - start, 5000u);  // far below the system's own connect time-out
  EXPECT_EQ(client.IOHandler(), nullptr);
}

TEST(IdTCPClientConnect, TimedConnectThatFailsCarriesTheSocketError) {
  TIdTCPClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(testpeer::ClosedPort());
  client.SetConnectTimeout(3000);
  ExpectSocketError([&] { client.Connect(); }, 10061, "Connection refused.");
}

}  // namespace
