// The HTTP client; see IdHTTP.h. Sections: exceptions and helpers, request
// target, connecting and sending, the request loop, cookies and clean-up.
// Reading the answer is in IdHTTPBody.cpp, deciding on it in IdHTTPDecide.cpp.
#include "http/IdHTTP.h"

#include <algorithm>
#include <exception>

#include "http/IdCharsets.h"
#include "http/IdHTTPBodyLimit.h"
#include "http/IdHeaderValues.h"
#include "rtl/ScopeExit.h"
#include "rtl/Text.h"

namespace {

// Adds a word to a comma-separated list unless it is there already.
void AddEncoding(std::string& list, std::string_view word) {
  if (LowerCase(list).find(LowerCase(word)) != std::string::npos) return;
  list += (list.empty() ? "" : ", ") + std::string(word);
}

}  // namespace

bool TIdHTTPRequest::IsVerb(std::string_view verb) const {
  return SameText(Verb, verb) || SameText(MethodOverride, verb);
}

EIdHTTPIncompleteBody::EIdHTTPIncompleteBody(std::int64_t received, std::int64_t expected)
    : EIdConnClosedGracefully(Format("Connection closed after %d of %d bytes of the response body.",
                                     {received, expected})) {}

void TIdProxyConnectionInfo::SetHeaders(TIdHeaderList& headers) {
  std::string value;
  if (Authentication) {
    value = Authentication->Authentication();
  } else if (BasicAuthentication) {
    TIdBasicAuthentication basic;
    basic.Username = ProxyUsername;
    basic.Password = ProxyPassword;
    value = basic.Authentication();
  }
  if (!value.empty()) headers.PutValue("Proxy-Authorization", value);
}

TIdHTTPProtocol::TIdHTTPProtocol(TIdCustomHTTP& client)
    : FClient(&client),
      FRequest(std::make_unique<TIdHTTPRequest>(client)),
      FResponse(std::make_unique<TIdHTTPResponse>(client)) {}

// ---- the response's own state ---------------------------------------------

int TIdHTTPResponse::StatusCode() {
  if (FStatusCodeParsed) return FStatusCode;
  FStatusCodeParsed = true;
  FStatusCode = -1;
  const std::size_t space = FStatusLine.find(' ');
  if (space == std::string::npos) return FStatusCode;
  std::string rest = Trim(FStatusLine.substr(space + 1));
  rest = rest.substr(0, rest.find(' '));
  rest = rest.substr(0, rest.find('.'));
  std::int64_t code = 0;
  if (TryParseDecimal64(rest, code) && code >= INT32_MIN && code <= INT32_MAX)
    FStatusCode = static_cast<int>(code);
  return FStatusCode;
}

bool TIdHTTPResponse::KeepConnection() {
  TIdCustomHTTP& client = *FClient;
  if (!client.StillConnected()) return false;
  // A transfer coding beside a Content-Length, or one that ends the body only by a
  // close: the two ends of the connection may disagree on where this answer ended.
  if (Framing.TransferCoded && (Framing.ContentLengthPresent || !Framing.Chunked)) return false;
  const std::string connection = Trim(Connection);
  const std::string proxyConnection = Trim(ProxyConnection);
  const bool keepAlive =
      SameText(connection, "KEEP-ALIVE") || SameText(proxyConnection, "KEEP-ALIVE");
  if (client.ProtocolVersion == pv1_0) return keepAlive;
  // An HTTP/1.0 server closes after its answer unless it said keep-alive
  // (RFC 7230, 6.3); reusing that connection would lose the next request.
  if (StartsText("HTTP/1.0", FStatusLine) && !keepAlive) return false;
  return !SameText(connection, "CLOSE") && !SameText(proxyConnection, "CLOSE");
}

// ---- construction ---------------------------------------------------------

TIdCustomHTTP::TIdCustomHTTP(TComponent* owner) : TIdTCPClientCustom(owner) {
  FExchange = MakeExchange();
}

TIdCustomHTTP::~TIdCustomHTTP() {
  SetCookieManager(nullptr);
  SetCompressor(nullptr);
}

bool TIdCustomHTTP::StillConnected() {
  try {
    if (Connected()) CheckGracefulClose(false);
    return Connected();
  } catch (const EIdSocketError&) {
    // A reset connection is simply not there any more: a body already read
    // stays good, and the next request opens a new connection.
    Disconnect(false);
    return false;
  }
}

std::unique_ptr<TIdHTTPProtocol> TIdCustomHTTP::MakeExchange() {
  return std::make_unique<TIdHTTPProtocol>(*this);
}

void TIdCustomHTTP::SetCookieManager(TIdCookieManager* manager) {
  if (manager == FCookieManager) return;
  TIdCookieManager* old = FCookieManager;
  const bool owned = FOwnsCookieManager;
  FCookieManager = nullptr;
  FOwnsCookieManager = false;
  if (old != nullptr) {
    if (owned) {
      FreeComponent(old);
    } else {
      old->RemoveFreeNotification(this);
    }
  }
  FCookieManager = manager;
  if (manager != nullptr) manager->FreeNotification(this);
}

void TIdCustomHTTP::SetCompressor(TIdZLibCompressorBase* compressor) {
  if (compressor == FCompressor) return;
  if (FCompressor != nullptr) FCompressor->RemoveFreeNotification(this);
  FCompressor = compressor;
  if (compressor != nullptr) compressor->FreeNotification(this);
}

void TIdCustomHTTP::Notification(TComponent* component, TOperation operation) {
  TIdTCPClientCustom::Notification(component, operation);
  if (operation != TOperation::opRemove) return;
  if (component == FCookieManager) {
    FCookieManager = nullptr;
    FOwnsCookieManager = false;
  }
  if (component == FCompressor) FCompressor = nullptr;
}

// ---- request target -------------------------------------------------------

void TIdCustomHTTP::PrepareTarget(TIdHTTPRequest& request) {
  const TIdURI n(request.Target);
  TIdURI& c = FCurrentURI;
  if (!n.Username.empty()) {
    request.Username = n.Username;
    request.Password = n.Password;
  }
  c.Username = request.Username;
  c.Password = request.Password;
  c.Path = MergePath(c.Path, n.Path);
  c.Resource = n.Resource;
  c.Query = n.Query;
  if (!n.Host.empty()) c.Host = n.Host;
  if (!n.Scheme.empty()) {
    c.Scheme = n.Scheme;
  } else {
    c.Scheme = SameText(c.Scheme, "https") ? "https" : "http";
  }
  if (!n.Port.empty()) {
    c.Port = n.Port;
  } else if (SameText(n.Scheme, "http")) {
    c.Port = "80";
  } else if (SameText(n.Scheme, "https")) {
    c.Port = "443";
  } else if (c.Port.empty()) {
    throw EIdUnknownProtocol();
  }
  const bool options = request.IsVerb("OPTIONS");
  request.Target = options && n.Resource == "*" ? "*" : c.PathAndQuery();
  request.IPVersion = n.IPVersion;
  c.IPVersion = n.IPVersion;
  if (ProtocolVersion != pv1_1) {
    for (const char* verb : {"TRACE", "PUT", "OPTIONS", "DELETE", "PATCH"}) {
      if (request.IsVerb(verb)) throw EIdException("Request method requires HTTP version 1.1");
    }
  }
  request.ContentLength = request.SendStream != nullptr ? request.SendStream->Size() : -1;
  const bool usualPort = (SameText(c.Scheme, "http") && c.Port == "80") ||
                         (SameText(c.Scheme, "https") && c.Port == "443");
  // An address literal keeps its brackets, so that its colons are not read as a port.
  const std::string host = c.IPVersion == Id_IPv6 ? "[" + c.Host + "]" : c.Host;
  request.Host = usualPort ? host : host + ":" + c.Port;
}

// ---- connecting and sending -----------------------------------------------

TIdHTTPRouteKind TIdCustomHTTP::ChooseEndpoint() {
  std::string host;
  std::uint16_t port = 80;
  TIdHTTPRouteKind route = rkDirect;
  const bool tls = SameText(FCurrentURI.Scheme, "HTTPS");
  if (ProxyParams.ProxyServer.empty()) {
    if (StillConnected() && IPVersion() != FCurrentURI.IPVersion) Disconnect();
    host = FCurrentURI.Host;
    std::int64_t number = 0;
    // A port that is not a number connects to 80; the Host header keeps the text.
    if (TryParseDecimal64(FCurrentURI.Port, number) && number > 0 && number <= 65535) {
      port = static_cast<std::uint16_t>(number);
    }
    route = tls ? rkTLS : rkDirect;
  } else {
    host = ProxyParams.ProxyServer;
    port = ProxyParams.ProxyPort;
    route = tls ? rkTLSProxy : rkProxy;
  }
  if (StillConnected() && (!SameText(host, Host()) || port != Port())) Disconnect();
  SetHost(host);
  SetPort(port);
  return route;
}

void TIdCustomHTTP::OpenAndSend(TIdHTTPRequest& request, TIdHTTPResponse& response) {
  const std::string destination = FCurrentURI.Host + ":" + FCurrentURI.Port;
  const TIdHTTPRouteKind route = ChooseEndpoint();
  if (route != request.RouteKind || (route == rkTLSProxy && destination != request.Destination)) {
    if (StillConnected()) Disconnect();
  }
  request.RouteKind = route;
  request.Destination = destination;

  bool tunnel = false;
  switch (route) {
    case rkDirect:
      if (ProtocolVersion == pv1_0 && request.Connection.empty()) request.Connection = "keep-alive";
      break;
    case rkTLS:
      request.Connection.clear();
      break;
    case rkProxy:
      request.Target = FCurrentURI.Compose(false, false);
      if (ProtocolVersion == pv1_0 && request.ProxyConnection.empty())
        request.ProxyConnection = "keep-alive";
      tunnel = HTTPOptions.Has(hoNonSSLProxyUseConnectVerb) && !Connected();
      break;
    case rkTLSProxy:
      request.Connection.clear();
      tunnel = !Connected();
      break;
  }
  if (FCompressor != nullptr && FCompressor->IsReady()) {
    AddEncoding(request.AcceptEncoding, "deflate");
    AddEncoding(request.AcceptEncoding, "gzip");
  }
  AddEncoding(request.AcceptEncoding, "identity");

  if (tunnel) {
    OpenTunnel(request);
  } else {
    EnsureConnected(request, response);
  }
  SendRequestHead(request, &FCurrentURI);
  if (request.SendStream != nullptr) IOHandler()->Write(*request.SendStream, 0);
}

void TIdCustomHTTP::EnsureConnected(TIdHTTPRequest& request, TIdHTTPResponse& response) {
  if (!response.KeepConnection()) Disconnect();
  if (IOHandler() != nullptr) IOHandler()->InBuffer().Clear();
  if (StillConnected()) return;
  SetIPVersion(FCurrentURI.IPVersion);
  auto* tls = dynamic_cast<TIdSSLIOHandlerSocketBase*>(IOHandler());
  if (request.RouteKind == rkTLS || request.RouteKind == rkTLSProxy) {
    if (tls == nullptr) throw EIdIOHandlerPropInvalid();
    tls->PassThrough = request.RouteKind == rkTLSProxy;
  } else if (tls != nullptr) {
    tls->PassThrough = true;
  }
  // Without a host the transport would fail with an empty message.
  if (Host().empty()) throw EIdURIException("Host field is empty");
  Connect();
}

void TIdCustomHTTP::SendRequestHead(TIdHTTPRequest& request, const TIdURI* uri) {
  if (request.Authenticator) request.Authenticator->SetRequest(request.Verb, request.Target);
  request.BuildHeaderLines();
  // Proxy credentials go only to a proxy, never to the origin server.
  if (request.RouteKind == rkProxy || request.RouteKind == rkTLSProxy)
    ProxyParams.SetHeaders(request.HeaderLines);
  if (uri != nullptr && FCookieManager != nullptr && AllowCookies) {
    FCookieManager->GenerateClientCookies(*uri, SameText(uri->Scheme, "HTTPS"),
                                          request.HeaderLines);
  }
  TIdIOHandler& io = *IOHandler();
  const bool began = !io.IsWriteBuffering();
  if (began) io.BeginBufferedWrite();
  bool written = false;
  // A head that failed half-way is not sent later with the next request.
  const auto cancel = ScopeExit([&] {
    if (began && !written) io.CancelBufferedWrite();
  });
  io.WriteLine(request.Verb + " " + request.Target +
               (ProtocolVersion == pv1_0 ? " HTTP/1.0" : " HTTP/1.1"));
  for (int i = 0; i < request.HeaderLines.Count(); ++i) {
    if (!request.HeaderLines[i].empty()) io.WriteLine(request.HeaderLines[i]);
  }
  io.WriteLine("");
  if (began) io.EndBufferedWrite();
  written = true;
}

void TIdCustomHTTP::OpenTunnel(TIdHTTPRequest& request) {
  const std::unique_ptr<TIdHTTPProtocol> tunnel = MakeExchange();
  TIdHTTPRequest& treq = tunnel->Request();
  TIdHTTPResponse& tresp = tunnel->Response();
  treq.UserAgent = request.UserAgent;
  treq.Host = request.Host;
  treq.Pragma = "no-cache";
  treq.Target = request.Destination;
  treq.Verb = "CONNECT";
  treq.ProxyConnection = "keep-alive";
  treq.RouteKind = request.RouteKind;
  for (int pass = 0;; ++pass) {
    EnsureConnected(treq, tresp);
    SendRequestHead(treq, nullptr);
    const std::string line = ReadResponseLine();
    if (line.empty()) {
      tresp.ResetFields();
      tresp.SetStatusLine("HTTP/1.0 200 OK");
      tresp.Connection = "close";
    } else {
      tresp.SetStatusLine(line);
      ReadHeaderBlock(tresp);
    }
    if (tresp.StatusCode() / 100 == 2) break;
    if (Decide(treq, tresp, {}) != TIdHTTPOutcome::WithCredentials) break;
  }
  if (request.RouteKind == rkTLSProxy) {
    if (auto* tls = dynamic_cast<TIdSSLIOHandlerSocketBase*>(IOHandler())) tls->PassThrough = false;
  }
}

// ---- the request loop -----------------------------------------------------

void TIdCustomHTTP::Get(const std::string& url, TStream* stream) { Get(url, stream, {}); }

void TIdCustomHTTP::Get(const std::string& url, TStream* stream,
                        const std::set<int>& acceptedCodes) {
  RunRequest("GET", url, nullptr, stream, acceptedCodes);
}

void TIdCustomHTTP::RunRequest(const std::string& method, const std::string& url,
                               TStream* sendStream, TStream* bodyStream,
                               const std::set<int>& acceptedCodes) {
  FRedirectsTaken = 0;
  FAuthAttempts = 0;
  FProxyAuthAttempts = 0;
  FCloseAfterRequest = false;
  const std::int64_t startPosition = bodyStream != nullptr ? bodyStream->Position() : 0;
  TIdHTTPRequest& request = Request();
  TIdHTTPResponse& response = Response();
  request.Target = url;
  request.Verb = method;
  request.SendStream = sendStream;
  response.BodyStream = bodyStream;
  try {
    // Cleared before any Disconnect below: NotifyDisconnected reads it.
    FInRequest = true;
    const auto leave = ScopeExit([this] { FInRequest = false; });
    for (bool again = true; again;) {
      PrepareTarget(request);
      if (auto* tls = dynamic_cast<TIdSSLIOHandlerSocketBase*>(IOHandler()))
        tls->URIToCheck = FCurrentURI.URI();
      OpenAndSend(request, response);
      ReadStatusAndHeaders(request, response);
      switch (Decide(request, response, acceptedCodes)) {
        case TIdHTTPOutcome::ToLocation:
          if (bodyStream != nullptr) {
            bodyStream->SetSize(startPosition);
            bodyStream->SetPosition(startPosition);
          }
          FAuthAttempts = 0;
          FProxyAuthAttempts = 0;
          break;
        case TIdHTTPOutcome::WithCredentials:
          request.Target = url;
          break;
        case TIdHTTPOutcome::Done:
          again = false;
          break;
      }
    }
  } catch (const EIdHTTPProtocolException&) {
    // The error body was read to its end: the connection is in a known state.
    try {
      if (FCloseAfterRequest || !response.KeepConnection()) Disconnect();
    } catch (const std::exception&) {
      // The protocol error is the one to report.
    }
    throw;
  } catch (...) {
    // Anything else may leave part of an answer unread: never reuse that connection.
    try {
      Disconnect();
    } catch (const std::exception&) {
      // The first error is the one to report.
    }
    throw;
  }
  if (FCloseAfterRequest || !response.KeepConnection()) Disconnect();
}

// ---- cookies and clean-up -------------------------------------------------

void TIdCustomHTTP::StoreCookies(TIdHTTPRequest& /*request*/, TIdHTTPResponse& response) {
  if (FCookieManager == nullptr && AllowCookies) {
    FCookieManager = &CreateOwned<TIdCookieManager>();
    FOwnsCookieManager = true;
  }
  if (FCookieManager == nullptr || !AllowCookies) return;
  TStringList values;
  response.HeaderLines.Collect("Set-Cookie", values);
  if (!values.Empty()) FCookieManager->AddServerCookies(values, FCurrentURI);
}

void TIdCustomHTTP::NotifyDisconnected() {
  TIdTCPClientCustom::NotifyDisconnected();
  // While a request runs, a finished authenticator is still about to be used
  // (a server that closes after its 401 is answered on a new connection).
  if (FInRequest) return;
  TIdHTTPRequest& request = Request();
  if (request.Authenticator &&
      request.Authenticator->CurrentStep() >= request.Authenticator->Steps()) {
    request.Authenticator.reset();
  }
  TIdAuthentication* proxyAuth = ProxyParams.Authentication.get();
  if (proxyAuth != nullptr && proxyAuth->CurrentStep() >= proxyAuth->Steps()) proxyAuth->Reset();
}
