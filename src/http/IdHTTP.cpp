// The HTTP client; see IdHTTP.h. Sections: exceptions and helpers, request
// target, connecting and sending, reading the answer, the body, the request
// loop and its decisions, authentication, cookies and clean-up.
#include "http/IdHTTP.h"

#include <algorithm>
#include <exception>

#include "http/IdCharsets.h"
#include "http/IdHTTPBodyLimit.h"
#include "http/IdHeaderValues.h"
#include "rtl/Text.h"

namespace {

// Pre-sizing a memory stream from Content-Length saves copies while growing;
// a server's claim beyond this is not trusted with memory up front.
constexpr std::int64_t kMaxPresize = 512LL * 1024 * 1024;
// How long a body may be awaited for answers that normally have none.
constexpr int kUnexpectedDataWaitMs = 100;
constexpr int kRedirectBodyWaitMs = 5000;
// Steps of one authenticator before it counts as failed.
constexpr int kMaxAuthSteps = 8;
// Interim (1xx) answers skipped before the final one; a server sending them
// without end would otherwise hold the request forever.
constexpr int kMaxInterimResponses = 16;
// An error page only explains its status line: no server may fill memory with one.
constexpr std::int64_t kMaxErrorBody = 64 * 1024;

bool IsVerb(const TIdHTTPRequest& request, std::string_view verb) {
  return SameText(request.Verb, verb) || SameText(request.MethodOverride, verb);
}

// Adds a word to a comma-separated list unless it is there already.
void AddEncoding(std::string& list, std::string_view word) {
  if (LowerCase(list).find(LowerCase(word)) != std::string::npos) return;
  list += (list.empty() ? "" : ", ") + std::string(word);
}

bool IsXMLMediaType(std::string_view contentType) {
  if (IsMediaType(contentType, {"application/xml", "application/xml-external-parsed-entity", "application/xml-dtd"})) {
    return true;
  }
  const std::string sub = LowerCase(MediaSubtype(contentType));
  return !IsMediaType(contentType, "text") && sub.size() >= 4 && sub.compare(sub.size() - 4, 4, "+xml") == 0;
}

// A chunk-size line: hex digits before any ";" extension.
[[nodiscard]] bool TryParseChunkSize(const std::string& line, std::int64_t& size) {
  const std::string text = Trim(line.substr(0, line.find(';')));
  if (text.empty()) return false;
  std::uint64_t value = 0;
  for (const char c : text) {
    int digit = 0;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return false;
    }
    if (value > (static_cast<std::uint64_t>(INT64_MAX) >> 4)) return false;
    value = value << 4 | static_cast<std::uint64_t>(digit);
  }
  size = static_cast<std::int64_t>(value);
  return true;
}

// The CR LF (or a bare LF) after a chunk's data; anything else means the size line
// did not tell where the data ends, and the rest would be read out of step.
void ExpectChunkEnd(TIdIOHandler& io, std::int64_t size) {
  TIdBytes next;
  io.ReadCount(next, 1, false);
  if (next[0] == CR) io.ReadCount(next, 1, false);
  if (next[0] != LF) throw EIdHTTPBadResponse(Format("Chunk data of %d bytes is not followed by CRLF.", {size}));
}

// Ends a work phase on every way out of a scope.
class TWorkScope {
 public:
  TWorkScope(TIdComponent& component, TWorkMode mode, std::int64_t countMax = 0)
      : FComponent(component), FMode(mode) {
    FComponent.WorkStart(FMode, countMax);
  }
  TWorkScope(const TWorkScope&) = delete;
  TWorkScope& operator=(const TWorkScope&) = delete;
  ~TWorkScope() { FComponent.WorkEnd(FMode); }

 private:
  TIdComponent& FComponent;
  TWorkMode FMode;
};

}  // namespace

EIdHTTPIncompleteBody::EIdHTTPIncompleteBody(std::int64_t received, std::int64_t expected)
    : EIdConnClosedGracefully(
          Format("Connection closed after %d of %d bytes of the response body.", {received, expected})) {}

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
  if (TryParseDecimal64(rest, code) && code >= INT32_MIN && code <= INT32_MAX) FStatusCode = static_cast<int>(code);
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
  const bool keepAlive = SameText(connection, "KEEP-ALIVE") || SameText(proxyConnection, "KEEP-ALIVE");
  if (client.ProtocolVersion == pv1_0) return keepAlive;
  // An HTTP/1.0 server closes after its answer unless it said keep-alive
  // (RFC 7230, 6.3); reusing that connection would lose the next request.
  if (StartsText("HTTP/1.0", FStatusLine) && !keepAlive) return false;
  return !SameText(connection, "CLOSE") && !SameText(proxyConnection, "CLOSE");
}

// ---- construction ---------------------------------------------------------

TIdCustomHTTP::TIdCustomHTTP(TComponent* owner) : TIdTCPClientCustom(owner) { FExchange = MakeExchange(); }

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

std::unique_ptr<TIdHTTPProtocol> TIdCustomHTTP::MakeExchange() { return std::make_unique<TIdHTTPProtocol>(*this); }

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
  const bool options = IsVerb(request, "OPTIONS");
  request.Target = options && n.Resource == "*" ? "*" : c.PathAndQuery();
  request.IPVersion = n.IPVersion;
  c.IPVersion = n.IPVersion;
  if (ProtocolVersion != pv1_1) {
    for (const char* verb : {"TRACE", "PUT", "OPTIONS", "DELETE", "PATCH"}) {
      if (IsVerb(request, verb)) throw EIdException("Request method requires HTTP version 1.1");
    }
  }
  request.ContentLength = request.SendStream != nullptr ? request.SendStream->Size() : -1;
  const bool usualPort = (SameText(c.Scheme, "http") && c.Port == "80") || (SameText(c.Scheme, "https") && c.Port == "443");
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
      if (ProtocolVersion == pv1_0 && request.ProxyConnection.empty()) request.ProxyConnection = "keep-alive";
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
  if (request.RouteKind == rkProxy || request.RouteKind == rkTLSProxy) ProxyParams.SetHeaders(request.HeaderLines);
  if (uri != nullptr && FCookieManager != nullptr && AllowCookies) {
    FCookieManager->GenerateClientCookies(*uri, SameText(uri->Scheme, "HTTPS"), request.HeaderLines);
  }
  TIdIOHandler& io = *IOHandler();
  const bool began = !io.IsWriteBuffering();
  if (began) io.BeginBufferedWrite();
  try {
    io.WriteLine(request.Verb + " " + request.Target + (ProtocolVersion == pv1_0 ? " HTTP/1.0" : " HTTP/1.1"));
    for (int i = 0; i < request.HeaderLines.Count(); ++i) {
      if (!request.HeaderLines[i].empty()) io.WriteLine(request.HeaderLines[i]);
    }
    io.WriteLine("");
    if (began) io.EndBufferedWrite();
  } catch (...) {
    if (began) io.CancelBufferedWrite();
    throw;
  }
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

// ---- reading the answer ---------------------------------------------------

std::string TIdCustomHTTP::ReadResponseLine() {
  TIdIOHandler* io = IOHandler();
  if (io == nullptr) throw EIdConnClosedGracefully();
  std::string line = io->ReadLine();
  if (io->LineTimedOut()) throw EIdReadTimeout();
  return line;
}

void TIdCustomHTTP::ReadStatusAndHeaders(TIdHTTPRequest& request, TIdHTTPResponse& response) {
  for (int interim = 0;; ++interim) {
    response.SetStatusLine(ReadResponseLine());
    ReadHeaderBlock(response);
    StoreCookies(request, response);
    const int code = response.StatusCode();
    // Interim answers (100 Continue, 103 Early Hints...) precede the real one. A 101
    // switches to another protocol, which this client never asks for: Decide refuses it.
    if (code < 100 || code > 199 || code == 101) return;
    if (interim == kMaxInterimResponses) {
      throw EIdHTTPBadResponse(
          Format("More than %d interim (1xx) responses to one request.", {kMaxInterimResponses}));
    }
  }
}

void TIdCustomHTTP::ReadHeaderBlock(TIdHTTPResponse& response) {
  response.ResetFields();
  std::string line = ReadResponseLine();
  int count = 0;
  while (!line.empty()) {
    // An endless header block would hold memory without bound.
    if (HeaderLineLimit > 0 && ++count > HeaderLineLimit) {
      throw EIdHTTPHeaderTooLarge(Format("The response has more than %d header lines.", {HeaderLineLimit}));
    }
    response.HeaderLines.Add(line);
    try {
      line = ReadResponseLine();
    } catch (const EIdConnClosedGracefully&) {
      Disconnect();
      break;
    }
  }
  response.DeriveFields();
  if (!response.Framing.Problem.empty()) throw EIdHTTPBadResponse(response.Framing.Problem);
}

// ---- the body -------------------------------------------------------------

bool TIdCustomHTTP::BodyToBeRead(TIdHTTPRequest& request, TIdHTTPResponse& response) {
  bool mayExist = true;
  if (response.Framing.TransferCoded) {
    mayExist = true;
  } else if (response.LengthKnown()) {
    mayExist = response.ContentLength > 0;
  } else if (IsMediaType(response.ContentType, "multipart")) {
    mayExist = !HTTPOptions.Has(hoNoReadMultipartMIME);
  }
  if (!mayExist) return false;
  const auto inputArrives = [this](int waitMs) {
    TIdIOHandler* io = IOHandler();
    if (io == nullptr) return false;
    try {
      if (io->InBuffer().Size() == 0) io->PollInput(waitMs);
    } catch (const EIdConnClosedGracefully&) {
      // A peer that closed has sent what it will send.
    }
    return io->InBuffer().Size() > 0;
  };
  const int code = response.StatusCode();
  if (IsVerb(request, "HEAD") || (code >= 100 && code <= 199) || code == 204 || code == 304) {
    return HTTPOptions.Has(hoWaitForUnexpectedData) && inputArrives(kUnexpectedDataWaitMs);
  }
  if (code / 100 == 3) return inputArrives(kRedirectBodyWaitMs);
  return true;
}

void TIdCustomHTTP::ReadBody(TIdHTTPRequest& request, TIdHTTPResponse& response) {
  if (!BodyToBeRead(request, response)) return;
  TStream* const caller = response.BodyStream;
  TStream* target = caller;
  const bool html = caller != nullptr && !HTTPOptions.Has(hoNoParseMetaHTTPEquiv) &&
                    IsMediaType(response.ContentType, {"text/html", "text/html-sandboxed", "application/xhtml+xml"});
  std::unique_ptr<TMemoryStream> htmlTemp;
  if (html && dynamic_cast<TMemoryStream*>(caller) == nullptr) {
    htmlTemp = std::make_unique<TMemoryStream>();
    target = htmlTemp.get();
  }
  const bool deflate = SameText(response.ContentEncoding, "deflate");
  const bool decode = target != nullptr && FCompressor != nullptr && FCompressor->IsReady() &&
                      (deflate || SameText(response.ContentEncoding, "gzip"));
  std::unique_ptr<TMemoryStream> raw;
  TStream* sink = target;
  if (decode) {
    raw = std::make_unique<TMemoryStream>();
    sink = raw.get();
  }

  TIdIOHandler& io = *IOHandler();
  // A transfer coding that does not end in chunked leaves only the close to end the body.
  const TIdBodyFraming& framing = response.Framing;
  if (framing.Chunked) {
    ReadChunked(response, sink);
  } else if (!framing.TransferCoded && response.LengthKnown() && response.ContentLength > 0) {
    ReadCounted(response, sink);
  } else if (!framing.TransferCoded && IsMediaType(response.ContentType, "multipart")) {
    ReadMultipart(response, sink);
  } else if (sink != nullptr) {
    TransferToStream(*sink, -1);
  } else {
    io.SkipToEnd();
  }

  if (decode) {
    raw->SetPosition(0);
    if (deflate) {
      FCompressor->DecompressDeflateStream(*raw, *target);
    } else {
      FCompressor->DecompressGZipStream(*raw, *target);
    }
  }
  if (html) {
    response.MetaEquiv.ProcessMetaHTTPEquiv(*target);
    response.ApplyMetaEquiv();
  }
  if (htmlTemp) caller->CopyFrom(*htmlTemp, 0);
}

void TIdCustomHTTP::SkipBody(TIdHTTPRequest& request, TIdHTTPResponse& response) {
  TStream* const saved = response.BodyStream;
  response.BodyStream = nullptr;
  try {
    ReadBody(request, response);
  } catch (...) {
    response.BodyStream = saved;
    throw;
  }
  response.BodyStream = saved;
}

void TIdCustomHTTP::ReadCounted(TIdHTTPResponse& response, TStream* target) {
  TIdIOHandler& io = *IOHandler();
  const std::int64_t length = response.ContentLength;
  if (target == nullptr) {
    try {
      io.SkipBytes(length);
    } catch (const EIdConnClosedGracefully&) {
      // A skipped body cut short costs nothing.
    }
    return;
  }
  const std::int64_t start = target->Position();
  if (auto* memory = dynamic_cast<TMemoryStream*>(target)) {
    std::int64_t wanted = start + std::min(length, kMaxPresize);
    // A capped stream never holds more than its cap, whatever the server announces.
    if (const auto* capped = dynamic_cast<const TIdLimitedMemoryStream*>(memory)) {
      wanted = std::min(wanted, capped->Limit());
    }
    if (memory->Capacity() < wanted) memory->SetCapacity(wanted);
  }
  // The outer phase announces the length, so that work events can show a share of it.
  const TWorkScope work(*this, wmRead, length);
  const std::int64_t received = TransferToStream(*target, length);
  // The bytes received stay in the stream, but a short body is not a download.
  if (received < length) throw EIdHTTPIncompleteBody(received, length);
}

std::int64_t TIdCustomHTTP::TransferToStream(TStream& target, std::int64_t count) {
  // Straight from the input buffer into the stream, one copy per receive; the
  // handler's ReadToStream would size the stream for the whole claimed count
  // up front and copy each piece once more on its way.
  TIdIOHandler& io = *IOHandler();
  const TWorkScope work(*this, wmRead);
  std::int64_t moved = 0;
  for (;;) {
    TIdBuffer& buffer = io.InBuffer();
    if (buffer.Size() > 0) {
      const std::int64_t wanted = count < 0 ? buffer.Size() : std::min<std::int64_t>(buffer.Size(), count - moved);
      buffer.ExtractToStream(target, static_cast<int>(wanted));
      moved += wanted;
    }
    if (count >= 0 && moved >= count) return moved;
    // 0: the peer closed (what it sent before is in the buffer, taken above).
    // One receive asks for as much of the body as is still to come.
    const std::int64_t rest = count < 0 ? kStreamPieceSize : count - moved;
    const auto awaited = static_cast<int>(std::min<std::int64_t>(rest, kStreamPieceSize));
    if (io.FillInput(false, kTimeoutDefault, true, awaited) <= 0 && io.InBuffer().Size() == 0) {
      return moved;
    }
  }
}

void TIdCustomHTTP::ReadChunked(TIdHTTPResponse& response, TStream* target) {
  ReportStatus(hsStatusText, {"Chunk Started"});
  const TWorkScope work(*this, wmRead);
  TIdIOHandler& io = *IOHandler();
  const auto nextSize = [this] {
    const std::string line = ReadResponseLine();
    std::int64_t size = 0;
    // A broken size line would otherwise end the body early and silently.
    if (!TryParseChunkSize(line, size)) {
      throw EIdHTTPBadResponse(Format("Invalid chunk size line \"%s\".", {Excerpt(line)}));
    }
    return size;
  };
  for (std::int64_t size = nextSize(); size != 0; size = nextSize()) {
    if (target == nullptr) {
      io.SkipBytes(size);
    } else if (TransferToStream(*target, size) < size) {
      throw EIdConnClosedGracefully();  // a cut chunk is never absorbed
    }
    ExpectChunkEnd(io, size);
  }
  int count = 0;
  for (std::string line = ReadResponseLine(); !line.empty(); line = ReadResponseLine()) {
    if (HeaderLineLimit > 0 && ++count > HeaderLineLimit) {
      throw EIdHTTPHeaderTooLarge(Format("The response has more than %d trailer lines.", {HeaderLineLimit}));
    }
    response.HeaderLines.Add(line);
  }
}

void TIdCustomHTTP::ReadMultipart(TIdHTTPResponse& response, TStream* target) {
  const std::string terminator = "--" + SubItemOf(response.ContentType, "boundary") + "--";
  const TWorkScope work(*this, wmRead);
  TIdIOHandler& io = *IOHandler();
  const auto transfer = [&io, target](std::int64_t count) {
    if (target != nullptr) {
      io.ReadToStream(*target, count, false);
    } else {
      io.SkipBytes(count);
    }
  };
  const int keep = static_cast<int>(terminator.size()) - 1;
  try {
    for (;;) {
      TIdBuffer& buffer = io.InBuffer();
      const int found = buffer.Size() > 0 ? buffer.IndexOf(terminator) : -1;
      if (found >= 0) {
        transfer(found + static_cast<std::int64_t>(terminator.size()));
        ReadResponseLine();
        return;
      }
      if (buffer.Size() > keep) transfer(buffer.Size() - keep);
      // Waits for more input (rather than polling without a wait); a closed peer raises.
      io.FillInput(true, kTimeoutDefault, true);
    }
  } catch (const EIdConnClosedGracefully&) {
    TIdBuffer& buffer = io.InBuffer();
    if (target != nullptr && buffer.Size() > 0) {
      buffer.ExtractToStream(*target);
    } else {
      buffer.Clear();
    }
  }
}

// ---- the request loop -----------------------------------------------------

void TIdCustomHTTP::Get(const std::string& url, TStream* stream) { Get(url, stream, {}); }

void TIdCustomHTTP::Get(const std::string& url, TStream* stream, const std::set<int>& acceptedCodes) {
  RunRequest("GET", url, nullptr, stream, acceptedCodes);
}

void TIdCustomHTTP::RunRequest(const std::string& method, const std::string& url, TStream* sendStream,
                               TStream* bodyStream, const std::set<int>& acceptedCodes) {
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
  FInRequest = true;
  try {
    for (bool again = true; again;) {
      PrepareTarget(request);
      if (auto* tls = dynamic_cast<TIdSSLIOHandlerSocketBase*>(IOHandler())) tls->URIToCheck = FCurrentURI.URI();
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
    FInRequest = false;
    try {
      if (FCloseAfterRequest || !response.KeepConnection()) Disconnect();
    } catch (const std::exception&) {
      // The protocol error is the one to report.
    }
    throw;
  } catch (...) {
    // Anything else may leave part of an answer unread: never reuse that connection.
    FInRequest = false;
    try {
      Disconnect();
    } catch (const std::exception&) {
      // The first error is the one to report.
    }
    throw;
  }
  FInRequest = false;
  if (FCloseAfterRequest || !response.KeepConnection()) Disconnect();
}

TIdHTTPOutcome TIdCustomHTTP::Decide(TIdHTTPRequest& request, TIdHTTPResponse& response,
                                     const std::set<int>& acceptedCodes) {
  if (OnHeadersAvailable) {
    bool continueRequest = true;
    OnHeadersAvailable(this, response.HeaderLines, continueRequest);
    if (!continueRequest) {
      FCloseAfterRequest = true;
      return TIdHTTPOutcome::Done;
    }
  }
  const int code = response.StatusCode();
  if (code / 100 == 3 && code != 304) return DecideRedirect(request, response, acceptedCodes);

  bool credentialsPending = false;
  if (code == 401 || code == 407) {
    const bool proxy = code == 407;
    int& attempts = proxy ? FProxyAuthAttempts : FAuthAttempts;
    const int limit = MaxAuthRetries;
    const bool retry = attempts < limit && (proxy ? AuthorizeProxyRetry(request, response) : AuthorizeRetry(request, response));
    if (!retry) {
      TIdAuthentication* auth = proxy ? ProxyParams.Authentication.get() : request.Authenticator.get();
      if (auth != nullptr) auth->Reset();
      RaiseProtocolError(request, response, acceptedCodes);
      return TIdHTTPOutcome::Done;
    }
    credentialsPending = HTTPOptions.Has(hoInProcessAuth);
    // Without a retry here the call has failed: a 401 body is not the caller's result.
    if (!credentialsPending) {
      RaiseProtocolError(request, response, acceptedCodes);
      return TIdHTTPOutcome::Done;
    }
  } else if (code / 100 != 2) {
    RaiseProtocolError(request, response, acceptedCodes);
    return TIdHTTPOutcome::Done;
  }

  if (credentialsPending) {
    SkipBody(request, response);
    return TIdHTTPOutcome::WithCredentials;
  }
  if (IsVerb(request, "HEAD") || code == 204) {
    SkipBody(request, response);
  } else {
    ReadBody(request, response);
  }
  return TIdHTTPOutcome::Done;
}

TIdHTTPOutcome TIdCustomHTTP::DecideRedirect(TIdHTTPRequest& request, TIdHTTPResponse& response,
                                             const std::set<int>& acceptedCodes) {
  if (response.Location.empty()) {
    RaiseProtocolError(request, response, acceptedCodes);
    return TIdHTTPOutcome::Done;
  }
  ++FRedirectsTaken;
  std::string location = response.Location;
  std::string method = request.Verb;
  if (!ApproveRedirect(location, method, FRedirectsTaken)) {
    RaiseProtocolError(request, response, acceptedCodes);
    return TIdHTTPOutcome::Done;
  }
  const int code = response.StatusCode();
  TIdHTTPOutcome outcome = TIdHTTPOutcome::Done;
  if (HandleRedirects && FRedirectsTaken < RedirectMaximum) {
    outcome = TIdHTTPOutcome::ToLocation;
    request.Target = location;
    if (code == 303 || (code == 302 && HTTPOptions.Has(hoTreat302Like303))) {
      request.SendStream = nullptr;
      request.Verb = "GET";
    } else {
      request.Verb = method;
    }
    request.MethodOverride.clear();
  } else {
    response.Location = location;
    // Too many redirects: the caller would otherwise get an empty result as if all went well.
    if (HandleRedirects) {
      RaiseProtocolError(request, response, acceptedCodes);
      return TIdHTTPOutcome::Done;
    }
  }
  if (Connected()) SkipBody(request, response);
  return outcome;
}

bool TIdCustomHTTP::ApproveRedirect(std::string& location, std::string& method, int count) {
  bool handled = HandleRedirects;
  if (OnRedirect) OnRedirect(this, location, method, count, handled);
  return handled;
}

void TIdCustomHTTP::RaiseProtocolError(TIdHTTPRequest& request, TIdHTTPResponse& response,
                                       const std::set<int>& acceptedCodes) {
  TIdLimitedMemoryStream errorBody(kMaxErrorBody);
  TStream* const saved = response.BodyStream;
  response.BodyStream = &errorBody;
  try {
    try {
      ReadBody(request, response);
    } catch (const EIdHTTPIncompleteBody&) {
      // Part of an error page still explains the error.
    } catch (const EIdHTTPBodyTooLarge&) {
      // What fitted is kept; the rest stays unread, so the connection is done.
      Disconnect();
    }
  } catch (...) {
    response.BodyStream = saved;
    throw;
  }
  response.BodyStream = saved;
  const int code = response.StatusCode();
  if (HTTPOptions.Has(hoNoProtocolErrorException) || acceptedCodes.count(code) != 0) return;
  errorBody.SetPosition(0);
  const std::string charset = IsXMLMediaType(response.ContentType) ? XMLCharsetOf(errorBody) : response.CharSet;
  const auto bytes = errorBody.Bytes().subspan(static_cast<std::size_t>(errorBody.Position()));
  const std::string text = DecodeCharset(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), charset);
  throw EIdHTTPProtocolException(code, response.StatusLine(), text);
}

// ---- authentication -------------------------------------------------------

bool TIdCustomHTTP::StepAuthenticator(TIdAuthentication& auth, const TAuthorizationEvent& handler) {
  for (int step = 0; step < kMaxAuthSteps; ++step) {
    switch (auth.Next()) {
      case TIdAuthWhatsNext::wnDoRequest:
        return true;
      case TIdAuthWhatsNext::wnFail:
        return false;
      case TIdAuthWhatsNext::wnAskTheProgram: {
        // Nobody to ask: the same credentials would only be refused again.
        if (!handler) return false;
        bool handled = false;
        handler(this, auth, handled);
        if (!handled) return false;
        break;
      }
    }
  }
  return false;
}

namespace {

TIdAuthenticationFactory ChooseScheme(const TIdHeaderList& challenges) {
  for (int i = 0; i < challenges.Count(); ++i) {
    const std::string& challenge = challenges[i];
    if (auto factory = FindAuthClass(challenge.substr(0, challenge.find(' ')))) return factory;
  }
  return {};
}

}  // namespace

bool TIdCustomHTTP::AuthorizeRetry(TIdHTTPRequest& request, TIdHTTPResponse& response) {
  ++FAuthAttempts;
  if (!request.Authenticator) {
    TIdAuthenticationFactory chosen = ChooseScheme(response.WWWAuthenticate);
    if (OnSelectAuthorization) OnSelectAuthorization(this, chosen, response.WWWAuthenticate);
    if (!chosen) return false;
    request.Authenticator = chosen();
  }
  if (!OnAuthorization && Trim(request.Password).empty()) return false;
  TIdAuthentication& auth = *request.Authenticator;
  auth.Username = request.Username;
  auth.Password = request.Password;
  auth.Params.Assign(response.WWWAuthenticate);
  const bool ready = StepAuthenticator(auth, OnAuthorization);
  request.Username = auth.Username;
  request.Password = auth.Password;
  return ready;
}

bool TIdCustomHTTP::AuthorizeProxyRetry(TIdHTTPRequest& /*request*/, TIdHTTPResponse& response) {
  ++FProxyAuthAttempts;
  if (!ProxyParams.Authentication) {
    TIdAuthenticationFactory chosen = ChooseScheme(response.ProxyAuthenticate);
    if (OnSelectProxyAuthorization) OnSelectProxyAuthorization(this, chosen, response.ProxyAuthenticate);
    if (!chosen) return false;
    ProxyParams.Authentication = chosen();
  }
  if (!OnProxyAuthorization) return false;
  TIdAuthentication& auth = *ProxyParams.Authentication;
  auth.Username = ProxyParams.ProxyUsername;
  auth.Password = ProxyParams.ProxyPassword;
  auth.Params.Assign(response.ProxyAuthenticate);
  const bool ready = StepAuthenticator(auth, OnProxyAuthorization);
  ProxyParams.ProxyUsername = auth.Username;
  ProxyParams.ProxyPassword = auth.Password;
  return ready;
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
  if (request.Authenticator && request.Authenticator->CurrentStep() >= request.Authenticator->Steps()) {
    request.Authenticator.reset();
  }
  TIdAuthentication* proxyAuth = ProxyParams.Authentication.get();
  if (proxyAuth != nullptr && proxyAuth->CurrentStep() >= proxyAuth->Steps()) proxyAuth->Reset();
}
