// The scripted peer; see ScriptedServer.h.
#include "ScriptedServer.h"

#include <chrono>

std::string TPeerConnection::ReadHead() {
  for (;;) {
    const std::size_t end = FPending.find("\r\n\r\n");
    if (end != std::string::npos) {
      std::string head = FPending.substr(0, end + 4);
      FPending.erase(0, end + 4);
      FOnRequest(head);
      return head;
    }
    char buffer[4096];
    const int n = FSocket.ReceiveSome(buffer, sizeof buffer);
    if (n <= 0) return {};
    FPending.append(buffer, static_cast<std::size_t>(n));
  }
}

void TPeerConnection::Send(std::string_view bytes) { static_cast<void>(FSocket.Send(bytes)); }

void TPeerConnection::CloseSend() { FSocket.ShutdownWrite(); }

bool TPeerConnection::WaitForClientClose() {
  char buffer[4096];
  for (;;) {
    const int n = FSocket.ReceiveSome(buffer, sizeof buffer);
    if (n == 0) return true;
    if (n < 0) return false;
  }
}

void TPeerConnection::Abort() { FSocket.Reset(); }

TScriptedServer::TScriptedServer(std::vector<TScript> scripts) {
  FThread = std::thread([this, s = std::move(scripts)]() mutable { Run(std::move(s)); });
}

TScriptedServer::~TScriptedServer() { Stop(); }

std::string TScriptedServer::Url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(Port()) + std::string(path);
}

void TScriptedServer::Run(std::vector<TScript> scripts) {
  for (TScript& script : scripts) {
    testpeer::TSocket socket = FListener.Accept();
    if (!socket.Valid()) return;
    ++FAccepted;
    TPeerConnection connection(std::move(socket), [this](const std::string& head) {
      const std::lock_guard<std::mutex> guard(FLock);
      FRequests.push_back(head);
    });
    try {
      script(connection);
    } catch (...) {
      // A script that fails shows up as a failed expectation in the test.
    }
    const std::lock_guard<std::mutex> guard(FLock);
    ++FFinished;
    FFinishedChanged.notify_all();
  }
}

bool TScriptedServer::WaitForScripts(int count) {
  std::unique_lock<std::mutex> guard(FLock);
  return FFinishedChanged.wait_for(guard, std::chrono::milliseconds(testpeer::kWaitMs),
                                   [&] { return FFinished >= count; });
}

void TScriptedServer::Stop() {
  if (FStopped) return;
  FStopped = true;
  if (FThread.joinable()) FThread.join();
  // Connections beyond the scripts: counted and closed unanswered.
  for (testpeer::TSocket extra = FListener.Accept(0); extra.Valid(); extra = FListener.Accept(0)) {
    ++FExtra;
  }
  FListener.Close();
}

std::vector<std::string> TScriptedServer::Requests() {
  const std::lock_guard<std::mutex> guard(FLock);
  return FRequests;
}
