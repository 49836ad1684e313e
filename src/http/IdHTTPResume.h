// A GET that survives a transient network failure: a connect that is refused
// or fails, and a body that breaks off (closed or reset early, read time-out,
// a link too slow to count as alive), are tried again a bounded number of
// times with waits between. A file of known size goes on from where its body
// stopped, with "Range" (and "If-Range" when the first answer named a
// validator); any other file is fetched again whole. The first request is the
// plain GET; only later ones carry the range.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "http/IdHTTP.h"
#include "http/IdHTTPBodyLimit.h"

// A transfer that moved too few bytes in its window: the link counts as broken.
class EIdSlowTransfer : public EIdException {
 public:
  EIdSlowTransfer(std::int64_t bytes, int windowMs);
};

// The answer to a range request continues no part of the download that was asked for.
class EIdHTTPRangeMismatch : public EIdException {
 public:
  using EIdException::EIdException;
};

struct TIdRetryOptions {
  // The size the file must have (the signed one); -1 when not known, which
  // fetches the file again whole after a break.
  std::int64_t ExpectedSize = -1;
  int MaxRetries = 4;
  // The wait before each further try (ms); the last one serves any later try.
  std::vector<int> WaitsMs{1000, 2000, 4000, 8000};
  // Fewer than SlowLinkBytes in any SlowLinkWindowMs of a body break it.
  std::int64_t SlowLinkBytes = 1024;
  int SlowLinkWindowMs = 60000;
};

// Before each further try: the bytes the download holds, the size it has (or
// the best one known, -1 for none), the try's number (1...) and the most tries.
using TIdRetryEvent =
    std::function<void(std::int64_t received, std::int64_t total, int attempt, int maxAttempts)>;

// Watches one body: a window of the given length in which fewer than the
// given bytes arrived breaks it (EIdSlowTransfer). Told of every receive.
class TIdSlowLinkGuard {
 public:
  using TClock = std::chrono::steady_clock;
  TIdSlowLinkGuard(std::int64_t minBytes, int windowMs)
      : FMinBytes(minBytes), FWindowMs(windowMs) {}
  void Start(TClock::time_point now);
  // count: the body's bytes so far. Raises for a window that has just ended.
  void Moved(std::int64_t count, TClock::time_point now);

 private:
  struct TSample {
    TClock::time_point Time;
    std::int64_t Count;
  };
  std::int64_t FMinBytes;
  int FWindowMs;
  bool FStarted = false;
  TClock::time_point FStart;
  std::int64_t FLast = 0;
  std::deque<TSample> FSamples;  // the last one at or before each window's start, and later ones
};

// GET url into body (at most its limit) with the retries of options. Raises
// what the last try raised, or at once for a failure that no retry mends (a
// refused status, a body too large, a failed look-up, EAbort). The client's
// abort flag also ends a wait between tries. onRetry may be empty.
void GetWithRetries(TIdCustomHTTP& http, const std::string& url, TIdLimitedMemoryStream& body,
                    const TIdRetryOptions& options, const TIdRetryEvent& onRetry);
