// A cap on the body one GET may deliver, kept on the caller's side: a response
// that announces a longer body is refused before any of it is read, and a body
// without a length (chunked, or up to the close) stops as soon as it runs past
// the cap. The request on the wire is the same as without a cap.
#pragma once

#include <cstdint>
#include <string>

#include "http/IdHTTP.h"
#include "rtl/Streams.h"

class EIdHTTPBodyTooLarge : public EIdException {
 public:
  using EIdException::EIdException;
};

// A memory stream that holds at most Limit bytes; a write or a size past it
// raises EIdHTTPBodyTooLarge and leaves the stream as it was. A memory stream,
// so that the client sizes it and reads into it as it does any other.
class TIdLimitedMemoryStream : public TMemoryStream {
 public:
  explicit TIdLimitedMemoryStream(std::int64_t limit) : FLimit(limit < 0 ? 0 : limit) {}
  std::int64_t Limit() const { return FLimit; }
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  void SetSize(std::int64_t size) override;

 private:
  std::int64_t FLimit;
};

// http.Get(url) into body, refusing a body longer than body's limit. Raises
// EIdHTTPBodyTooLarge for that, and whatever TIdHTTP.Get raises otherwise.
void GetLimited(TIdCustomHTTP& http, const std::string& url, TIdLimitedMemoryStream& body);
