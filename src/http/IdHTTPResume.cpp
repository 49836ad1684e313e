#include "http/IdHTTPResume.h"

#include <algorithm>
#include <thread>
#include <utility>

#include "rtl/Text.h"

namespace {

// Puts an event of the client back however a try ends.
template <class TEvent>
class TEventScope {
 public:
  TEventScope(TEvent& slot, TEvent hook)
      : FSlot(slot), FSaved(std::exchange(slot, std::move(hook))) {}
  TEventScope(const TEventScope&) = delete;
  TEventScope& operator=(const TEventScope&) = delete;
  ~TEventScope() { FSlot = std::move(FSaved); }
  const TEvent& Saved() const { return FSaved; }

 private:
  TEvent& FSlot;
  TEvent FSaved;
};

// What one try has seen so far.
struct TTryState {
  bool Connected = false;   // the TCP connection was made
  bool Answered = false;    // a 2xx head arrived: its body is the download
  std::int64_t Offset = 0;  // bytes of the download before this try's body
};

bool IsResolverCode(int code) { return code >= kWsaHostNotFound && code <= kWsaHostNotFound + 3; }

// Whether a failure of a try is one that another try may mend.
bool Transient(const EIdException& e, const TTryState& state) {
  if (dynamic_cast<const EIdHTTPProtocolException*>(&e) != nullptr ||
      dynamic_cast<const EIdHTTPBodyTooLarge*>(&e) != nullptr ||
      dynamic_cast<const EIdHTTPRangeMismatch*>(&e) != nullptr ||
      dynamic_cast<const EIdHTTPBadResponse*>(&e) != nullptr) {
    return false;
  }
  const auto* socket = dynamic_cast<const EIdSocketError*>(&e);
  if (!state.Connected) {
    // A refused or failed connect; a name that does not resolve stays so.
    if (dynamic_cast<const EIdConnectTimeout*>(&e) != nullptr) return true;
    return socket != nullptr && !IsResolverCode(socket->SocketErrorCode());
  }
  if (!state.Answered) return false;
  return socket != nullptr || dynamic_cast<const EIdConnClosedGracefully*>(&e) != nullptr ||
         dynamic_cast<const EIdReadTimeout*>(&e) != nullptr ||
         dynamic_cast<const EIdSlowTransfer*>(&e) != nullptr;
}

// Waits ms, ended at once by the abort flag (EAbort).
void WaitBeforeTry(const std::atomic<bool>* abort, int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  constexpr auto kStep = std::chrono::milliseconds(20);
  for (;;) {
    if (abort != nullptr && abort->load()) throw EAbort();
    const auto now = std::chrono::steady_clock::now();
    if (now >= end) return;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(kStep, end - now));
  }
}

std::string RangeText(const TIdHTTPResponse& r) {
  return Format("%d-%d/%d", {r.ContentRangeStart, r.ContentRangeEnd, r.ContentRangeInstanceLength});
}

// The request of a try: the plain GET, or the rest from "from" on.
void PrepareTry(TIdHTTPRequest& request, TIdLimitedMemoryStream& body, std::int64_t from,
                const std::string& validator) {
  request.Ranges.Clear();
  request.CustomHeaders.PutValue("If-Range", "");
  if (from > 0) {
    request.Ranges.Items.push_back({from, -1, -1});
    request.CustomHeaders.PutValue("If-Range", validator);
    body.SetPosition(from);
  } else {
    body.SetSize(0);
    body.SetPosition(0);
  }
}

// Only the rest of the very file asked for continues it.
void CheckContinues(const TIdHTTPResponse& response, std::int64_t from, std::int64_t expected) {
  if (response.ContentRangeStart == from && response.ContentRangeInstanceLength == expected &&
      (response.ContentRangeEnd < 0 || response.ContentRangeEnd == expected - 1)) {
    return;
  }
  throw EIdHTTPRangeMismatch(
      Format("%s (Content-Range %s where %d-%d/%d was asked for)",
             {response.StatusLine(), RangeText(response), from, expected - 1, expected}));
}

}  // namespace

EIdSlowTransfer::EIdSlowTransfer(std::int64_t bytes, int windowMs)
    : EIdException(Format("The transfer moved fewer than %d bytes in %d ms.", {bytes, windowMs})) {}

void TIdSlowLinkGuard::Start(TClock::time_point now) {
  FStarted = true;
  FStart = now;
  FLast = 0;
  FSamples.assign(1, {now, 0});
}

void TIdSlowLinkGuard::Moved(std::int64_t count, TClock::time_point now) {
  if (!FStarted) Start(now);
  const auto window = std::chrono::milliseconds(FWindowMs);
  // The window that ends now, before this receive: the read time-out ends any
  // longer silence, so checking at each receive misses no window.
  if (now - FStart >= window) {
    const auto windowStart = now - window;
    while (FSamples.size() > 1 && FSamples[1].Time <= windowStart) FSamples.pop_front();
    if (FLast - FSamples.front().Count < FMinBytes) throw EIdSlowTransfer(FMinBytes, FWindowMs);
  }
  FLast = count;
  FSamples.push_back({now, count});
}

void GetWithRetries(TIdCustomHTTP& http, const std::string& url, TIdLimitedMemoryStream& body,
                    const TIdRetryOptions& options, const TIdRetryEvent& onRetry) {
  TIdHTTPRequest& request = http.Request();
  TIdHTTPResponse& response = http.Response();
  const std::int64_t expected = options.ExpectedSize;
  std::string validator;        // the first answer's ETag, else its Last-Modified
  std::int64_t announced = -1;  // the whole size as the answers told it
  for (int attempt = 0;; ++attempt) {
    TTryState state;
    const std::int64_t from = expected >= 0 && attempt > 0 ? body.Size() : 0;
    const bool ranged = from > 0;
    PrepareTry(request, body, from, validator);
    TIdSlowLinkGuard guard(options.SlowLinkBytes, options.SlowLinkWindowMs);

    const TEventScope status(http.OnStatus, TIdStatusEvent());
    http.OnStatus = [&state, &saved = status.Saved()](TObject* sender, TIdStatus s,
                                                      const std::string& text) {
      if (s == hsConnected) state.Connected = true;
      if (saved) saved(sender, s, text);
    };
    const TEventScope headers(http.OnHeadersAvailable, THeadersAvailableEvent());
    http.OnHeadersAvailable = [&, &saved = headers.Saved()](TObject* sender, TIdHeaderList& lines,
                                                            bool& go) {
      const int code = response.StatusCode();
      if (code / 100 == 2) {
        if (ranged && code == 206) {
          CheckContinues(response, from, expected);
        } else if (ranged && code != 200) {
          throw EIdHTTPProtocolException(code, response.StatusLine(), "");
        } else if (ranged) {
          // The server sends the whole file again (it changed, or ignores ranges).
          body.SetSize(0);
          body.SetPosition(0);
        }
        if (code == 200) {
          validator = !response.ETag.empty() ? response.ETag : lines.ValueOf("Last-Modified");
          if (response.LengthKnown()) announced = response.ContentLength;
        }
        state.Answered = true;
        state.Offset = body.Position();
        guard.Start(TIdSlowLinkGuard::TClock::now());
      }
      if (saved) saved(sender, lines, go);
    };
    // The work events count the whole download, not only this try's part.
    const TEventScope workBegin(http.OnWorkBegin, TWorkBeginEvent());
    http.OnWorkBegin = [&state, &saved = workBegin.Saved()](TObject* sender, TWorkMode mode,
                                                            std::int64_t countMax) {
      if (saved)
        saved(sender, mode, mode == wmRead && countMax > 0 ? countMax + state.Offset : countMax);
    };
    const TEventScope work(http.OnWork, TWorkEvent());
    http.OnWork = [&state, &guard, &saved = work.Saved()](TObject* sender, TWorkMode mode,
                                                          std::int64_t count) {
      if (mode == wmRead && state.Answered) guard.Moved(count, TIdSlowLinkGuard::TClock::now());
      if (saved) saved(sender, mode, mode == wmRead ? count + state.Offset : count);
    };

    try {
      GetLimited(http, url, body);
      return;
    } catch (const EIdException& e) {
      if (attempt >= options.MaxRetries || !Transient(e, state)) throw;
    }
    const std::int64_t total = expected >= 0 ? expected : announced;
    if (onRetry) onRetry(body.Size(), total, attempt + 1, options.MaxRetries);
    const std::size_t step =
        std::min<std::size_t>(static_cast<std::size_t>(attempt),
                              options.WaitsMs.empty() ? 0 : options.WaitsMs.size() - 1);
    WaitBeforeTry(http.AbortFlag(), options.WaitsMs.empty() ? 0 : options.WaitsMs[step]);
  }
}
