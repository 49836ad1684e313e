#include "http/IdHTTPBodyLimit.h"

#include <utility>

#include "rtl/Text.h"

namespace {

[[noreturn]] void RaiseRunsPast(std::int64_t limit) {
  throw EIdHTTPBodyTooLarge(Format("The response body runs past %d bytes.", {limit}));
}

// Puts the client's own headers hook back however the request ends.
class THeadersHookScope {
 public:
  THeadersHookScope(TIdCustomHTTP& http, THeadersAvailableEvent hook)
      : FHttp(http), FSaved(std::exchange(http.OnHeadersAvailable, std::move(hook))) {}
  THeadersHookScope(const THeadersHookScope&) = delete;
  THeadersHookScope& operator=(const THeadersHookScope&) = delete;
  ~THeadersHookScope() { FHttp.OnHeadersAvailable = std::move(FSaved); }

 private:
  TIdCustomHTTP& FHttp;
  THeadersAvailableEvent FSaved;
};

}  // namespace

std::int64_t TIdLimitedMemoryStream::Write(const void* buffer, std::int64_t count) {
  if (count > 0 && Position() > FLimit - count) RaiseRunsPast(FLimit);
  return TMemoryStream::Write(buffer, count);
}

void TIdLimitedMemoryStream::SetSize(std::int64_t size) {
  if (size > FLimit) RaiseRunsPast(FLimit);
  TMemoryStream::SetSize(size);
}

void GetLimited(TIdCustomHTTP& http, const std::string& url, TIdLimitedMemoryStream& body) {
  const std::int64_t limit = body.Limit();
  THeadersAvailableEvent previous = http.OnHeadersAvailable;
  // The headers are in before the body is read: a body announced too long is
  // refused there, without a byte of it taken. Only a body that becomes the
  // caller's result counts; an error page is the client's own business.
  const THeadersHookScope scope(http, [&http, limit, previous](TObject* sender,
                                                               TIdHeaderList& headers,
                                                               bool& continueRequest) {
    TIdHTTPResponse& response = http.Response();
    if (response.StatusCode() / 100 == 2 && response.LengthKnown() &&
        response.ContentLength > limit) {
      throw EIdHTTPBodyTooLarge(Format("The server announces %d bytes; at most %d are accepted.",
                                       {response.ContentLength, limit}));
    }
    if (previous) previous(sender, headers, continueRequest);
  });
  http.Get(url, &body);
}
