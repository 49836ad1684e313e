// A scripted HTTP peer for byte-exact tests: a thread on 127.0.0.1 that
// accepts connections one after another and runs one script on each. Built
// on the test peers of tests/transport.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "TestPeer.h"

class TPeerConnection {
 public:
  TPeerConnection(testpeer::TSocket socket, std::function<void(const std::string&)> onRequest)
      : FSocket(std::move(socket)), FOnRequest(std::move(onRequest)) {}

  // One request head up to and including the empty line; "" at close or after 10 s.
  std::string ReadHead();
  void Send(std::string_view bytes);
  // Ends our side: the client sees an orderly close.
  void CloseSend();
  // Waits until the client closes (or 10 s pass); answers whether it did.
  bool WaitForClientClose();
  void Abort();

 private:
  testpeer::TSocket FSocket;
  std::function<void(const std::string&)> FOnRequest;
  std::string FPending;
};

class TScriptedServer {
 public:
  using TScript = std::function<void(TPeerConnection&)>;
  explicit TScriptedServer(std::vector<TScript> scripts);
  TScriptedServer(const TScriptedServer&) = delete;
  TScriptedServer& operator=(const TScriptedServer&) = delete;
  ~TScriptedServer();

  std::uint16_t Port() const { return FListener.Port(); }
  std::string Url(std::string_view path) const;
  // Waits for the scripts to finish; then counts connections beyond them.
  void Stop();
  std::vector<std::string> Requests();
  int Accepted() const { return FAccepted; }
  // Waits (at most 10 s) until count scripts have run to their end.
  bool WaitForScripts(int count);
  int ExtraConnections() const { return FExtra; }

 private:
  void Run(std::vector<TScript> scripts);

  testpeer::TListener FListener;
  std::thread FThread;
  std::mutex FLock;
  std::vector<std::string> FRequests;
  std::atomic<int> FAccepted{0};
  int FFinished = 0;  // guarded by FLock
  std::condition_variable FFinishedChanged;
  int FExtra = 0;
  bool FStopped = false;
};
