// The HTTP client's reading side: the status line, the header block and the
// body in each of its framings (counted, chunked, multipart, up to the close).
#include <algorithm>

#include "http/IdHTTP.h"
#include "http/IdHTTPBodyLimit.h"
#include "http/IdHeaderValues.h"
#include "rtl/ScopeExit.h"
#include "rtl/Text.h"

namespace {

// Pre-sizing a memory stream from Content-Length saves copies while growing;
// a server's claim beyond this is not trusted with memory up front.
constexpr std::int64_t kMaxPresize = 512LL * 1024 * 1024;
// How long a body may be awaited for answers that normally have none.
constexpr int kUnexpectedDataWaitMs = 100;
constexpr int kRedirectBodyWaitMs = 5000;
// Interim (1xx) answers skipped before the final one; a server sending them
// without end would otherwise hold the request forever.
constexpr int kMaxInterimResponses = 16;

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
  if (next[0] != LF)
    throw EIdHTTPBadResponse(Format("Chunk data of %d bytes is not followed by CRLF.", {size}));
}

}  // namespace

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
      throw EIdHTTPHeaderTooLarge(
          Format("The response has more than %d header lines.", {HeaderLineLimit}));
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
  if (request.IsVerb("HEAD") || (code >= 100 && code <= 199) || code == 204 || code == 304) {
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
                    IsMediaType(response.ContentType,
                                {"text/html", "text/html-sandboxed", "application/xhtml+xml"});
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
  const auto restore = ScopeExit([&] { response.BodyStream = saved; });
  response.BodyStream = nullptr;
  ReadBody(request, response);
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
  const TIdWorkScope work(*this, wmRead, length);
  const std::int64_t received = TransferToStream(*target, length);
  // The bytes received stay in the stream, but a short body is not a download.
  if (received < length) throw EIdHTTPIncompleteBody(received, length);
}

std::int64_t TIdCustomHTTP::TransferToStream(TStream& target, std::int64_t count) {
  // Straight from the input buffer into the stream, one copy per receive; the
  // handler's ReadToStream would size the stream for the whole claimed count
  // up front and copy each piece once more on its way.
  TIdIOHandler& io = *IOHandler();
  const TIdWorkScope work(*this, wmRead);
  std::int64_t moved = 0;
  for (;;) {
    TIdBuffer& buffer = io.InBuffer();
    if (buffer.Size() > 0) {
      const std::int64_t wanted =
          count < 0 ? buffer.Size() : std::min<std::int64_t>(buffer.Size(), count - moved);
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
  const TIdWorkScope work(*this, wmRead);
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
      throw EIdHTTPHeaderTooLarge(
          Format("The response has more than %d trailer lines.", {HeaderLineLimit}));
    }
    response.HeaderLines.Add(line);
  }
}

void TIdCustomHTTP::ReadMultipart(TIdHTTPResponse& response, TStream* target) {
  const std::string terminator = "--" + SubItemOf(response.ContentType, "boundary") + "--";
  const TIdWorkScope work(*this, wmRead);
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
