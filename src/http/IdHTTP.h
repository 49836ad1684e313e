// The HTTP/1.1 client: one request loop (prepare target, connect and send,
// read status and headers, decide by status code, read or skip the body) over
// the TCP client of the transport. Everything runs on the calling thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>

#include "http/IdAuthentication.h"
#include "http/IdCookieManager.h"
#include "http/IdHTTPHeaderInfo.h"
#include "http/IdURI.h"
#include "transport/IdException.h"
#include "transport/IdIOHandlerStack.h"
#include "transport/IdTCPClient.h"

class EIdReplyError : public EIdException {
 public:
  using EIdException::EIdException;
};

class EIdReplyRFCError : public EIdReplyError {
 public:
  EIdReplyRFCError(int replyCode, std::string message)
      : EIdReplyError(std::move(message)), FReplyCode(replyCode) {}
  int ReplyCode() const noexcept { return FReplyCode; }

 private:
  int FReplyCode;
};

// A refused status: the message is the status line as received.
class EIdHTTPProtocolException : public EIdReplyRFCError {
 public:
  EIdHTTPProtocolException(int replyCode, std::string statusLine, std::string errorBody)
      : EIdReplyRFCError(replyCode, std::move(statusLine)), FErrorBody(std::move(errorBody)) {}
  const std::string& ErrorBody() const noexcept { return FErrorBody; }

 private:
  std::string FErrorBody;
};

class EIdUnknownProtocol : public EIdException {
 public:
  EIdUnknownProtocol() : EIdException("Unknown Protocol") {}
};

class EIdIOHandlerPropInvalid : public EIdException {
 public:
  EIdIOHandlerPropInvalid() : EIdException("IOHandler value is not valid") {}
};

// The server closed the connection before the announced body was complete.
class EIdHTTPIncompleteBody : public EIdConnClosedGracefully {
 public:
  EIdHTTPIncompleteBody(std::int64_t received, std::int64_t expected);
};

// An answer that breaks HTTP's framing rules: where its body ends, or which
// answer is the final one, cannot be trusted.
class EIdHTTPBadResponse : public EIdException {
 public:
  using EIdException::EIdException;
};

// A header block of more lines than the client accepts.
class EIdHTTPHeaderTooLarge : public EIdException {
 public:
  using EIdException::EIdException;
};

// A TLS-capable handler: none comes with this system, so an https URL fails
// with EIdIOHandlerPropInvalid unless one is attached.
class TIdSSLIOHandlerSocketBase : public TIdIOHandlerStack {
 public:
  using TIdIOHandlerStack::TIdIOHandlerStack;
  bool PassThrough = true;
  std::string URIToCheck;
};

// Content decoding; none is attached by default, so bodies are stored as received.
class TIdZLibCompressorBase : public TComponent {
 public:
  using TComponent::TComponent;
  virtual bool IsReady() const = 0;
  virtual void DecompressDeflateStream(TStream& source, TStream& target) = 0;
  virtual void DecompressGZipStream(TStream& source, TStream& target) = 0;
};

enum TIdHTTPProtocolVersion { pv1_0, pv1_1 };

enum TIdHTTPOption {
  hoInProcessAuth,
  hoKeepOrigProtocol,
  hoForceEncodeParams,
  hoNonSSLProxyUseConnectVerb,
  hoNoParseMetaHTTPEquiv,
  hoWaitForUnexpectedData,
  hoTreat302Like303,
  hoNoProtocolErrorException,
  hoNoReadMultipartMIME
};

// A set of the nine options, stored in 16 bits.
class TIdHTTPOptions {
 public:
  constexpr TIdHTTPOptions() = default;
  constexpr TIdHTTPOptions(std::initializer_list<TIdHTTPOption> options) {
    for (const TIdHTTPOption o : options) FBits = static_cast<std::uint16_t>(FBits | Bit(o));
  }
  constexpr bool Has(TIdHTTPOption o) const { return (FBits & Bit(o)) != 0; }
  constexpr void Include(TIdHTTPOption o) { FBits = static_cast<std::uint16_t>(FBits | Bit(o)); }
  constexpr void Exclude(TIdHTTPOption o) { FBits = static_cast<std::uint16_t>(FBits & ~Bit(o)); }
  constexpr std::uint16_t Bits() const { return FBits; }

 private:
  static constexpr std::uint16_t Bit(TIdHTTPOption o) {
    return static_cast<std::uint16_t>(1u << o);
  }
  std::uint16_t FBits = 0;
};

enum TIdHTTPRouteKind { rkDirect, rkTLS, rkProxy, rkTLSProxy };

class TIdProxyConnectionInfo : public TObject {
 public:
  std::string ProxyServer;
  std::uint16_t ProxyPort = 0;
  std::string ProxyUsername;
  std::string ProxyPassword;
  bool BasicAuthentication = false;
  std::unique_ptr<TIdAuthentication> Authentication;
  // Adds "Proxy-Authorization" when there is something to send.
  void SetHeaders(TIdHeaderList& headers);
};

class TIdCustomHTTP;

class TIdHTTPRequest : public TIdRequestHeaderInfo {
 public:
  explicit TIdHTTPRequest(TIdCustomHTTP& client) : FClient(&client) {}
  TIdCustomHTTP& Client() const { return *FClient; }
  // Whether verb is this request's method, sent or overridden.
  bool IsVerb(std::string_view verb) const;

  std::string Target;
  std::string Verb;
  TStream* SendStream = nullptr;  // not owned
  TIdHTTPRouteKind RouteKind = rkDirect;
  std::string Destination;  // host:port of the last request
  TIdIPVersion IPVersion = Id_IPv4;

 private:
  TIdCustomHTTP* FClient;  // we don't own it: it owns us
};

class TIdHTTPResponse : public TIdResponseHeaderInfo {
 public:
  explicit TIdHTTPResponse(TIdCustomHTTP& client) : FClient(&client) {}
  TIdCustomHTTP& Client() const { return *FClient; }

  const std::string& StatusLine() const { return FStatusLine; }
  void SetStatusLine(std::string line) {
    FStatusLine = std::move(line);
    FStatusCodeParsed = false;
  }
  // Parsed from the status line on first use; -1 when it has no number.
  int StatusCode();
  // Whether the connection may be kept, evaluated afresh on every read.
  bool KeepConnection();

  TStream* BodyStream = nullptr;  // not owned; none skips the body

 private:
  TIdCustomHTTP* FClient;  // we don't own it: it owns us
  std::string FStatusLine;
  int FStatusCode = -1;
  bool FStatusCodeParsed = false;
};

// One exchange: the request and the response of a client.
class TIdHTTPProtocol : public TObject {
 public:
  explicit TIdHTTPProtocol(TIdCustomHTTP& client);
  TIdCustomHTTP& Client() const { return *FClient; }
  TIdHTTPRequest& Request() { return *FRequest; }
  TIdHTTPResponse& Response() { return *FResponse; }

 private:
  TIdCustomHTTP* FClient;  // we don't own it
  std::unique_ptr<TIdHTTPRequest> FRequest;
  std::unique_ptr<TIdHTTPResponse> FResponse;
};

enum class TIdHTTPOutcome { ToLocation, Done, WithCredentials };

using THeadersAvailableEvent =
    std::function<void(TObject* Sender, TIdHeaderList& headers, bool& continueRequest)>;
using TRedirectEvent = std::function<void(TObject* Sender, std::string& location,
                                          std::string& method, int count, bool& handled)>;
using TSelectAuthorizationEvent = std::function<void(
    TObject* Sender, TIdAuthenticationFactory& authClass, const TIdHeaderList& challenges)>;
using TAuthorizationEvent =
    std::function<void(TObject* Sender, TIdAuthentication& authentication, bool& handled)>;

class TIdCustomHTTP : public TIdTCPClientCustom {
 public:
  explicit TIdCustomHTTP(TComponent* owner = nullptr);
  ~TIdCustomHTTP() override;

  // GET url into stream; a status in acceptedCodes raises nothing.
  void Get(const std::string& url, TStream* stream);
  void Get(const std::string& url, TStream* stream, const std::set<int>& acceptedCodes);

  // The request loop, virtual in this order.
  virtual void RunRequest(const std::string& method, const std::string& url, TStream* sendStream,
                          TStream* bodyStream, const std::set<int>& acceptedCodes);
  virtual std::unique_ptr<TIdHTTPProtocol> MakeExchange();
  virtual bool AuthorizeRetry(TIdHTTPRequest& request, TIdHTTPResponse& response);
  virtual bool AuthorizeProxyRetry(TIdHTTPRequest& request, TIdHTTPResponse& response);
  virtual bool ApproveRedirect(std::string& location, std::string& method, int count);

  // The steps of one pass, in the order RunRequest takes them.
  void PrepareTarget(TIdHTTPRequest& request);
  TIdHTTPRouteKind ChooseEndpoint();
  void OpenAndSend(TIdHTTPRequest& request, TIdHTTPResponse& response);
  void EnsureConnected(TIdHTTPRequest& request, TIdHTTPResponse& response);
  void SendRequestHead(TIdHTTPRequest& request, const TIdURI* uri);
  std::string ReadResponseLine();
  void ReadStatusAndHeaders(TIdHTTPRequest& request, TIdHTTPResponse& response);
  void ReadHeaderBlock(TIdHTTPResponse& response);
  void ReadBody(TIdHTTPRequest& request, TIdHTTPResponse& response);
  TIdHTTPOutcome Decide(TIdHTTPRequest& request, TIdHTTPResponse& response,
                        const std::set<int>& acceptedCodes);
  void RaiseProtocolError(TIdHTTPRequest& request, TIdHTTPResponse& response,
                          const std::set<int>& acceptedCodes);
  void StoreCookies(TIdHTTPRequest& request, TIdHTTPResponse& response);

  // Settings.
  TIdHTTPProtocolVersion ProtocolVersion = pv1_1;
  bool HandleRedirects = false;
  int RedirectMaximum = 15;
  bool AllowCookies = true;
  int MaxAuthRetries = 3;
  TIdHTTPOptions HTTPOptions{hoForceEncodeParams};
  TIdProxyConnectionInfo ProxyParams;
  int HeaderLineLimit = 255;

  TIdHTTPRequest& Request() { return FExchange->Request(); }
  TIdHTTPResponse& Response() { return FExchange->Response(); }
  TIdURI& CurrentURI() { return FCurrentURI; }
  TIdCookieManager* CookieManager() const { return FCookieManager; }
  void SetCookieManager(TIdCookieManager* manager);
  bool OwnsCookieManager() const { return FOwnsCookieManager; }
  TIdZLibCompressorBase* Compressor() const { return FCompressor; }
  void SetCompressor(TIdZLibCompressorBase* compressor);

  // Connected, with a peer close noticed; a reset connection counts as closed.
  bool StillConnected();

  int RedirectsTaken() const { return FRedirectsTaken; }
  int AuthAttempts() const { return FAuthAttempts; }
  int ProxyAuthAttempts() const { return FProxyAuthAttempts; }

  THeadersAvailableEvent OnHeadersAvailable;
  TRedirectEvent OnRedirect;
  TSelectAuthorizationEvent OnSelectAuthorization;
  TSelectAuthorizationEvent OnSelectProxyAuthorization;
  TAuthorizationEvent OnAuthorization;
  TAuthorizationEvent OnProxyAuthorization;

 protected:
  void Notification(TComponent* component, TOperation operation) override;
  void NotifyDisconnected() override;

 private:
  void OpenTunnel(TIdHTTPRequest& request);
  void ReadChunked(TIdHTTPResponse& response, TStream* target);
  void ReadMultipart(TIdHTTPResponse& response, TStream* target);
  void ReadCounted(TIdHTTPResponse& response, TStream* target);
  // Moves count body bytes (-1: until the peer closes) into target; answers how many came.
  std::int64_t TransferToStream(TStream& target, std::int64_t count);
  bool BodyToBeRead(TIdHTTPRequest& request, TIdHTTPResponse& response);
  void SkipBody(TIdHTTPRequest& request, TIdHTTPResponse& response);
  bool StepAuthenticator(TIdAuthentication& auth, const TAuthorizationEvent& handler);
  // One side's credentials for a retry: the origin server's or the proxy's.
  struct TAuthParty {
    std::unique_ptr<TIdAuthentication>& Authenticator;
    const TIdHeaderList& Challenges;
    const TSelectAuthorizationEvent& OnSelect;
    const TAuthorizationEvent& OnAuthorize;
    std::string& Username;
    std::string& Password;
    bool PasswordSuffices;  // a stored password is enough to try without the handler
  };
  // Chooses a scheme once, hands over the credentials and challenges, steps
  // the authenticator and takes back what it changed.
  bool AuthorizeParty(const TAuthParty& party);
  TIdHTTPOutcome DecideRedirect(TIdHTTPRequest& request, TIdHTTPResponse& response,
                                const std::set<int>& acceptedCodes);

  std::unique_ptr<TIdHTTPProtocol> FExchange;
  TIdURI FCurrentURI;
  TIdCookieManager* FCookieManager = nullptr;  // owned when FOwnsCookieManager
  bool FOwnsCookieManager = false;
  TIdZLibCompressorBase* FCompressor = nullptr;  // not owned
  int FRedirectsTaken = 0;
  int FAuthAttempts = 0;
  int FProxyAuthAttempts = 0;
  bool FInRequest = false;
  bool FCloseAfterRequest = false;
};

// The client with its settings published; it adds nothing.
class TIdHTTP : public TIdCustomHTTP {
 public:
  using TIdCustomHTTP::TIdCustomHTTP;
};
