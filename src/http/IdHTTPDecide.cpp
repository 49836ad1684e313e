// The HTTP client's decisions on an answer: take it, follow a redirect,
// retry with credentials, or raise the refused status with its error page.
#include "http/IdCharsets.h"
#include "http/IdHTTP.h"
#include "http/IdHTTPBodyLimit.h"
#include "http/IdHeaderValues.h"
#include "rtl/ScopeExit.h"
#include "rtl/Text.h"

namespace {

// Steps of one authenticator before it counts as failed.
constexpr int kMaxAuthSteps = 8;
// An error page only explains its status line: no server may fill memory with one.
constexpr std::int64_t kMaxErrorBody = 64 * 1024;

bool IsXMLMediaType(std::string_view contentType) {
  if (IsMediaType(contentType, {"application/xml", "application/xml-external-parsed-entity",
                                "application/xml-dtd"})) {
    return true;
  }
  const std::string sub = LowerCase(MediaSubtype(contentType));
  return !IsMediaType(contentType, "text") && sub.size() >= 4 &&
         sub.compare(sub.size() - 4, 4, "+xml") == 0;
}

}  // namespace

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
    const bool retry = attempts < limit && (proxy ? AuthorizeProxyRetry(request, response)
                                                  : AuthorizeRetry(request, response));
    if (!retry) {
      TIdAuthentication* auth =
          proxy ? ProxyParams.Authentication.get() : request.Authenticator.get();
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
  if (request.IsVerb("HEAD") || code == 204) {
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
  {
    TStream* const saved = response.BodyStream;
    const auto restore = ScopeExit([&] { response.BodyStream = saved; });
    response.BodyStream = &errorBody;
    try {
      ReadBody(request, response);
    } catch (const EIdHTTPIncompleteBody&) {
      // Part of an error page still explains the error.
    } catch (const EIdHTTPBodyTooLarge&) {
      // What fitted is kept; the rest stays unread, so the connection is done.
      Disconnect();
    }
  }
  const int code = response.StatusCode();
  if (HTTPOptions.Has(hoNoProtocolErrorException) || acceptedCodes.count(code) != 0) return;
  errorBody.SetPosition(0);
  const std::string charset =
      IsXMLMediaType(response.ContentType) ? XMLCharsetOf(errorBody) : response.CharSet;
  const auto bytes = errorBody.Bytes().subspan(static_cast<std::size_t>(errorBody.Position()));
  const std::string text = DecodeCharset(
      std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), charset);
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

bool TIdCustomHTTP::AuthorizeParty(const TAuthParty& party) {
  if (!party.Authenticator) {
    TIdAuthenticationFactory chosen = ChooseScheme(party.Challenges);
    if (party.OnSelect) party.OnSelect(this, chosen, party.Challenges);
    if (!chosen) return false;
    party.Authenticator = chosen();
  }
  const bool passwordKnown = party.PasswordSuffices && !Trim(party.Password).empty();
  if (!party.OnAuthorize && !passwordKnown) return false;
  TIdAuthentication& auth = *party.Authenticator;
  auth.Username = party.Username;
  auth.Password = party.Password;
  auth.Params.Assign(party.Challenges);
  const bool ready = StepAuthenticator(auth, party.OnAuthorize);
  party.Username = auth.Username;
  party.Password = auth.Password;
  return ready;
}

bool TIdCustomHTTP::AuthorizeRetry(TIdHTTPRequest& request, TIdHTTPResponse& response) {
  ++FAuthAttempts;
  return AuthorizeParty({request.Authenticator, response.WWWAuthenticate, OnSelectAuthorization,
                         OnAuthorization, request.Username, request.Password, true});
}

bool TIdCustomHTTP::AuthorizeProxyRetry(TIdHTTPRequest& /*request*/, TIdHTTPResponse& response) {
  ++FProxyAuthAttempts;
  // A proxy is only answered through its handler, never with stored text alone.
  return AuthorizeParty({ProxyParams.Authentication, response.ProxyAuthenticate,
                         OnSelectProxyAuthorization, OnProxyAuthorization,
                         ProxyParams.ProxyUsername, ProxyParams.ProxyPassword, false});
}
