// The scripted peer; see ScriptedServer.h.
#include "ScriptedServer.h"

#include <chrono>
#include <stdexcept>

namespace {
constexpr int kWaitMs = 10000;
}

TPeerConnection::~TPeerConnection() {
  if (FSocket != testsocket::kInvalid) testsocket::Close(FSocket);
}

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
    const int n = testsocket::Receive(FSocket, buffer, sizeof buffer, kWaitMs);
    if (n <= 0) return {};
    FPending.append(buffer, static_cast<std::size_t>(n));
  }
}

void TPeerConnection::Send(std::string_view bytes) { testsocket::SendAll(FSocket, bytes); }

void TPeerConnection::CloseSend() { testsocket::ShutdownSend(FSocket); }

bool TPeerConnection::WaitForClientClose() {
  char buffer[4096];
  for (;;) {
    const int n = testsocket::Receive(FSocket, buffer, sizeof buffer, kWaitMs);
    if (n == 0) return true;
    if (n < 0) return false;
  }
}

void TPeerConnection::Abort() {
  testsocket::Abort(FSocket);
  FSocket = testsocket::kInvalid;
}

TScriptedServer::TScriptedServer(std::vector<TScript> scripts) {
  FListener = testsocket::ListenLocal(FPort);
  if (FListener == testsocket::kInvalid) throw std::runtime_error("cannot listen on 127.0.0.1");
  FThread = std::thread([this, s = std::move(scripts)]() mutable { Run(std::move(s)); });
}

TScriptedServer::~TScriptedServer() { Stop(); }

std::string TScriptedServer::Url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(FPort) + std::string(path);
}

void TScriptedServer::Run(std::vector<TScript> scripts) {
  for (TScript& script : scripts) {
    const testsocket::THandle socket = testsocket::Accept(FListener, kWaitMs);
    if (socket == testsocket::kInvalid) return;
    ++FAccepted;
    TPeerConnection connection(socket, [this](const std::string& head) {
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
  return FFinishedChanged.wait_for(guard, std::chrono::milliseconds(kWaitMs), [&] { return FFinished >= count; });
}

void TScriptedServer::Stop() {
  if (FStopped) return;
  FStopped = true;
  if (FThread.joinable()) FThread.join();
  for (testsocket::THandle extra; (extra = testsocket::Accept(FListener, 0)) != testsocket::kInvalid;) {
    ++FExtra;
    testsocket::Close(extra);
  }
  testsocket::Close(FListener);
}

std::vector<std::string> TScriptedServer::Requests() {
  const std::lock_guard<std::mutex> guard(FLock);
  return FRequests;
}
