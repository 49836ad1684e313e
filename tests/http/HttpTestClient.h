// Helpers of the client tests against a scripted peer: a client with a read
// limit, canned answers, and a check for the refused-status exception.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ScriptedServer.h"
#include "TestSupport.h"
#include "http/IdHTTP.h"

namespace httptest {

using TScript = TScriptedServer::TScript;

// A default client, but with a read limit so that a broken case fails rather than hangs.
inline std::unique_ptr<TIdHTTP> MakeClient() {
  auto client = std::make_unique<TIdHTTP>();
  client->SetReadTimeout(10000);
  return client;
}

inline std::string Text(const TMemoryStream& s) {
  return std::string(reinterpret_cast<const char*>(s.Bytes().data()), s.Bytes().size());
}

// Reads one request, sends the answer and, with close, ends the connection.
inline TScript Reply(std::string answer, bool close = false) {
  return [answer = std::move(answer), close](TPeerConnection& c) {
    c.ReadHead();
    c.Send(answer);
    if (close) {
      c.CloseSend();
      c.WaitForClientClose();
    } else {
      c.WaitForClientClose();
    }
  };
}

// Answers each request of one connection in turn.
inline TScript ReplyAll(std::vector<std::string> answers) {
  return [answers = std::move(answers)](TPeerConnection& c) {
    for (const std::string& a : answers) {
      if (c.ReadHead().empty()) return;
      c.Send(a);
    }
    c.WaitForClientClose();
  };
}

inline EIdHTTPProtocolException ExpectProtocolError(const std::function<void()>& f) {
  try {
    f();
  } catch (const EIdHTTPProtocolException& e) {
    return e;
  } catch (const std::exception& e) {
    ADD_FAILURE() << "expected EIdHTTPProtocolException, got " << ClassNameOf(e) << ": "
                  << e.what();
    return EIdHTTPProtocolException(0, "", "");
  }
  ADD_FAILURE() << "expected EIdHTTPProtocolException, nothing was raised";
  return EIdHTTPProtocolException(0, "", "");
}

// One peer that gives one answer, a client with the read limit and the
// caller's stream: the parts of most single-exchange tests.
struct TExchange {
  explicit TExchange(std::string answer) : Server({Reply(std::move(answer))}) {}
  TScriptedServer Server;
  std::unique_ptr<TIdHTTP> Client = MakeClient();
  TMemoryStream Stream;
};

}  // namespace httptest
