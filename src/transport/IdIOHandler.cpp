// The handler's shared code: everything here is built on the socket side's
// receive, send, socket test, Connected, CheckClosed, Close, Open and WaitReadable.
#include "transport/IdIOHandler.h"

#include <algorithm>
#include <limits>

#include "rtl/Exceptions.h"
#include "rtl/ScopeExit.h"
#include "rtl/Text.h"
#include "rtl/Threads.h"
#include "transport/IdException.h"

void TIdConnectionIntercept::Connect(TComponent* /*connection*/) {}
void TIdConnectionIntercept::Disconnect() {}

namespace {

// Elapsed milliseconds of the 32-bit tick counter, across its wrap.
std::uint32_t TicksBetween(std::uint32_t start, std::uint32_t now) {
  if (now >= start) return now - start;
  return static_cast<std::uint32_t>(now - start - 1);
}

void PutBigEndian(TIdBytes& bytes, std::uint64_t value, int size) {
  for (int i = size - 1; i >= 0; --i) bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

}  // namespace

TIdIOHandler::TIdIOHandler(TComponent* owner)
    : TIdComponent(owner), FInBuffer(std::make_unique<TIdBuffer>([this](TIdBuffer&, int count) {
        WorkProgress(wmRead, count);
      })) {}

TIdIOHandler::~TIdIOHandler() = default;

void TIdIOHandler::SetIntercept(TIdConnectionIntercept* value) {
  if (value == FIntercept) return;
  if (FIntercept != nullptr) RemoveFreeNotification(FIntercept);
  FIntercept = value;
  if (FIntercept != nullptr) FreeNotification(FIntercept);
}

void TIdIOHandler::Notification(TComponent* component, TOperation operation) {
  if (operation == TOperation::opRemove && component == FIntercept) FIntercept = nullptr;
  TIdComponent::Notification(component, operation);
}

int TIdIOHandler::EffectiveTimeout(int timeout) const {
  if (timeout != kTimeoutDefault) return timeout;
  return FReadTimeout == -1 || FReadTimeout == 0 ? IdTimeoutInfinite : FReadTimeout;
}

// ---------------------------------------------------------------- state

void TIdIOHandler::Open() {
  FIsOpen = false;
  FPeerClosed = false;
  ClearWriteBuffer();
  FInBuffer->Clear();
  FIsOpen = true;
}

void TIdIOHandler::Close() {
  if (FIntercept != nullptr) FIntercept->Disconnect();
  FIsOpen = false;
  ClearWriteBuffer();
}

bool TIdIOHandler::Connected() {
  CheckClosed(false, false);
  return (!FPeerClosed || FInBuffer->Size() > 0) && FIsOpen;
}

void TIdIOHandler::CheckClosed(bool raiseWhenClosed, bool ignoreBuffer) {
  bool closed;
  if (FPeerClosed) {
    if (SourceIsAvailable()) {
      Close();
      ReportStatus(hsDisconnected);
    }
    closed = true;
  } else {
    closed = !SourceIsAvailable();
  }
  if (closed && (ignoreBuffer || FInBuffer->Size() == 0) && raiseWhenClosed)
    throw EIdConnClosedGracefully();
}

// ---------------------------------------------------------------- reading

int TIdIOHandler::FillInput(bool raiseWhenClosed, int timeout, bool raiseOnTimeout, int awaited) {
  timeout = EffectiveTimeout(timeout);
  CheckClosed(raiseWhenClosed, false);
  if (!SourceIsAvailable()) {
    if (raiseWhenClosed) throw EIdNotConnected();
    return 0;
  }
  while (true) {
    int n = 0;
    // Without a time limit the blocking receive does the waiting itself; a
    // readiness wait in front of it would only cost one more call per receive.
    // An abortable handler always waits first, so that it can be stopped.
    if ((timeout >= 0 || !FIsOpen || FAbortFlag != nullptr) && !WaitForInput(timeout)) {
      if (raiseOnTimeout) throw EIdReadTimeout();
      return -1;
    }
    if (FIsOpen) {
      if (SourceIsAvailable()) {
        // Straight into the input buffer, which keeps its block between receives.
        const int wanted = std::max({FRecvBufferSize, 1, std::min(awaited, kStreamPieceSize)});
        const int length =
            std::min(wanted, std::numeric_limits<std::int32_t>::max() - FInBuffer->Size());
        n = ReadDataFromSource(FInBuffer->AppendArea(length), length);
        if (n > 0) FInBuffer->CommitAppend(n);
      } else if (raiseWhenClosed) {
        throw EIdClosedSocket();
      }
    } else if (raiseWhenClosed) {
      throw EIdNotConnected();
    }
    if (n == 0) FPeerClosed = true;
    CheckClosed(raiseWhenClosed, false);
    if (n != 0 || !SourceIsAvailable()) return n;
  }
}

void TIdIOHandler::CheckAbort() const {
  if (FAbortFlag != nullptr && FAbortFlag->load()) throw EAbort();
}

// The stop request is looked at before every slice, so a flood of input that
// never lets a wait block cannot hide it either.
bool TIdIOHandler::WaitForInput(int timeout) {
  if (FAbortFlag == nullptr) return WaitReadable(timeout);
  const std::uint32_t start = GetTickCount32();
  for (;;) {
    CheckAbort();
    int slice = kAbortPollMs;
    if (timeout >= 0) {
      const std::uint32_t elapsed = TicksBetween(start, GetTickCount32());
      const std::int64_t left = std::int64_t{timeout} - std::int64_t{elapsed};
      slice = static_cast<int>(std::clamp<std::int64_t>(left, 0, kAbortPollMs));
    }
    if (WaitReadable(slice)) return true;
    if (timeout >= 0 &&
        TicksBetween(start, GetTickCount32()) >= static_cast<std::uint32_t>(timeout))
      return false;
  }
}

bool TIdIOHandler::PollInput(int timeout) {
  const int before = FInBuffer->Size();
  if (!Connected()) return false;
  if (FInBuffer->Size() > before) return true;
  return FillInput(false, timeout, false) > 0;
}

std::string TIdIOHandler::ReadLine(std::string_view terminator, int timeout, int maxLength,
                                   const TIdTextEncoding* encoding) {
  const TIdTextEncoding& wire = encoding != nullptr ? *encoding : *FWireEncoding;
  if (maxLength < 0) maxLength = FMaxLineLength;
  if (terminator.empty()) terminator = "\n";
  const TIdBytes term = wire.GetBytes(terminator);
  const int termLength = static_cast<int>(term.size());
  FLineSplit = false;
  FLineTimedOut = false;
  int found = -1;
  int searchStart = 0;
  const std::uint32_t startTicks = GetTickCount32();
  do {
    const int size = FInBuffer->Size();
    if (size > 0) {
      found = searchStart < size ? FInBuffer->IndexOf(term, searchStart) : -1;
      // The next search covers only new bytes, and a terminator straddling two receives.
      searchStart = std::max(size - (termLength - 1), 0);
    }
    // Without a terminator the line is at least as long as the bytes no terminator can
    // still start in: checked now, so that a line that never ends cannot fill memory.
    const int lineAtLeast = found >= 0 ? found : searchStart;
    if (maxLength > 0 && lineAtLeast > maxLength) {
      if (FMaxLineAction == maException) throw EIdReadLnMaxLineLengthExceeded();
      FLineSplit = true;
      return FInBuffer->ExtractToString(maxLength, wire);
    }
    if (found == -1) {
      CheckClosed(true, true);
      FLineTimedOut = FillInput(true, timeout, false) == -1;
      if (!FLineTimedOut && timeout >= 0 &&
          TicksBetween(startTicks, GetTickCount32()) >= static_cast<std::uint32_t>(timeout)) {
        FLineTimedOut = true;
      }
      if (FLineTimedOut) return "";
    }
  } while (found == -1);
  int lineLength = found;
  int dropped = termLength;
  if (terminator == "\n" && found > 0 && FInBuffer->Peek(found - 1) == CR) {
    --lineLength;
    ++dropped;
  }
  std::string line = FInBuffer->ExtractToString(lineLength, wire);
  FInBuffer->Remove(dropped);
  return line;
}

void TIdIOHandler::ReadCount(TIdBytes& bytes, int count, bool append) {
  if (count > 0) {
    while (FInBuffer->Size() < count) {
      if (FillInput(false, kTimeoutDefault, true) > 0 && FInBuffer->Size() >= count) break;
      CheckClosed(true, true);
    }
    FInBuffer->ExtractToBytes(bytes, count, append);
  } else if (count < 0) {
    FillInput(false, FReadTimeout, false);
    CheckClosed(true, true);
    FInBuffer->ExtractToBytes(bytes, -1, append);
  }
}

void TIdIOHandler::ReadToStream(TStream& stream, std::int64_t count, bool untilClose) {
  if (count == -1 && !untilClose) {
    TIdBytes size;
    const int width = FLargeStream ? 8 : 4;
    ReadCount(size, width, false);
    std::uint64_t value = 0;
    for (int i = 0; i < width; ++i) value = value << 8 | size[static_cast<std::size_t>(i)];
    count = FLargeStream ? static_cast<std::int64_t>(value) : static_cast<std::int32_t>(value);
  }
  if (count >= 0) {
    const std::int64_t position = stream.Position();
    if (std::numeric_limits<std::int64_t>::max() - position < count)
      throw EIdIOHandlerStreamDataTooLarge();
    stream.SetSize(position + count);
    stream.SetPosition(position);
  }
  const bool readAll = count < 0;
  // Also when an exception passes: end the work phase, then cut the stream at what arrived.
  const auto cut = ScopeExit([&stream] {
    try {
      if (stream.Size() > stream.Position()) stream.SetSize(stream.Position());
    } catch (...) {
      // The error that ended the read is the one to report; an uncut stream only holds spare room.
    }
  });
  const TIdWorkScope work(*this, wmRead, readAll ? 0 : count);

  const int buffered = FInBuffer->Size();
  if (readAll) {
    FInBuffer->ExtractToStream(stream, -1);
  } else {
    const int take = static_cast<int>(std::min<std::int64_t>(count, buffered));
    FInBuffer->ExtractToStream(stream, take);
    count -= take;
  }
  // Pieces of up to kStreamPieceSize bytes, each moved from the input buffer
  // to the stream in one copy rather than through a chunk array.
  const int chunkLength = std::max(FRecvBufferSize, kStreamPieceSize);
  while (true) {
    const int n =
        readAll ? chunkLength : static_cast<int>(std::min<std::int64_t>(count, chunkLength));
    if (n < 1) break;
    try {
      // ReadCount's wait for n bytes.
      while (FInBuffer->Size() < n) {
        if (FillInput(false, kTimeoutDefault, true, n - FInBuffer->Size()) > 0 &&
            FInBuffer->Size() >= n)
          break;
        CheckClosed(true, true);
      }
    } catch (const Exception& e) {
      const int rest = std::min(n, FInBuffer->Size());
      if (rest > 0) FInBuffer->ExtractToStream(stream, rest);
      if (readAll && dynamic_cast<const EIdConnClosedGracefully*>(&e) != nullptr) break;
      throw;
    }
    FInBuffer->ExtractToStream(stream, n);
    if (!readAll) count -= n;
  }
}

void TIdIOHandler::SkipBytes(std::int64_t count) {
  if (count <= 0) return;
  const TIdWorkScope work(*this, wmRead, count);
  while (true) {
    const int m = static_cast<int>(std::min<std::int64_t>(
        {count, std::numeric_limits<std::int32_t>::max(), FInBuffer->Size()}));
    if (m > 0) {
      FInBuffer->Remove(m);
      count -= m;
      if (count < 1) break;
    }
    if (FillInput(false, kTimeoutDefault, true) < 1) CheckClosed(true, true);
  }
}

void TIdIOHandler::SkipToEnd() {
  const TIdWorkScope work(*this, wmRead);
  FInBuffer->Clear();
  // Whatever ends the loop, nothing of the rest stays buffered.
  const auto clear = ScopeExit([this] { FInBuffer->Clear(); });
  try {
    while (true) {
      if (FillInput(false, kTimeoutDefault, true) > 0) {
        FInBuffer->Clear();
      } else {
        CheckClosed(true, true);
      }
    }
  } catch (const EIdConnClosedGracefully&) {
    // The peer's close is the end this call waits for.
  }
}

// ---------------------------------------------------------------- writing

void TIdIOHandler::Write(std::string_view text, const TIdTextEncoding* encoding) {
  if (text.empty()) return;
  Write((encoding != nullptr ? *encoding : *FWireEncoding).GetBytes(text));
}

void TIdIOHandler::WriteLine(std::string_view text, const TIdTextEncoding* encoding) {
  std::string line(text);
  line += EOL;
  Write(line, encoding);
}

void TIdIOHandler::Write(const TIdBytes& bytes, int length, int offset) {
  offset = std::max(offset, 0);  // a negative offset would read before the bytes
  const int available = std::max(static_cast<int>(bytes.size()) - offset, 0);
  const int n = length < 0 ? available : std::min(length, available);
  if (n < 1) return;
  if (FOutBuffer) {
    FOutBuffer->Write(bytes, n, offset);
    if (FOutThreshold > 0) {
      while (FOutBuffer && FOutBuffer->Size() >= FOutThreshold) FlushWriteBuffer(FOutThreshold);
    }
    return;
  }
  SendDirect(bytes, n, offset);
}

void TIdIOHandler::SendDirect(const TIdBytes& bytes, int length, int offset) {
  CheckClosed(true, true);
  offset = std::max(offset, 0);  // a negative offset would read before the bytes
  const int available = std::max(static_cast<int>(bytes.size()) - offset, 0);
  int remaining = length < 0 ? available : std::min(length, available);
  int position = offset;
  while (remaining > 0) {
    const int sent = WriteDataToTarget(bytes, position, remaining);
    if (sent == 0) FPeerClosed = true;
    CheckClosed(true, false);
    WorkProgress(wmWrite, sent);
    position += sent;
    remaining -= sent;
  }
}

void TIdIOHandler::Write(TStream& stream, std::int64_t count, bool writeCount) {
  if (count < 0) {
    count = stream.Size() - stream.Position();
  } else if (count == 0) {
    stream.SetPosition(0);
    count = stream.Size();
  }
  if (writeCount) {
    TIdBytes size;
    if (FLargeStream) {
      PutBigEndian(size, static_cast<std::uint64_t>(count), 8);
    } else {
      if (count > std::numeric_limits<std::int32_t>::max()) throw EIdIOHandlerRequiresLargeStream();
      PutBigEndian(size, static_cast<std::uint64_t>(count), 4);
    }
    Write(size);
  }
  const TIdWorkScope work(*this, wmWrite, count);
  TIdBytes chunk;
  while (count > 0) {
    const int want = static_cast<int>(std::min<std::int64_t>(count, std::max(FSendBufferSize, 1)));
    chunk.resize(static_cast<std::size_t>(want));
    const auto got = static_cast<int>(stream.Read(chunk.data(), want));
    if (got <= 0) throw EIdNoDataToRead();
    Write(chunk, got, 0);
    count -= got;
  }
}

void TIdIOHandler::BeginBufferedWrite(int threshold) {
  if (FOutBuffer) {
    FOutBuffer->Clear();
  } else {
    FOutBuffer = std::make_unique<TIdBuffer>();
  }
  FOutThreshold = threshold;
}

void TIdIOHandler::FlushWriteBuffer(int count) {
  if (!FOutBuffer || FOutBuffer->Size() == 0) return;
  TIdBytes bytes;
  FOutBuffer->ExtractToBytes(bytes, count, true);
  SendDirect(bytes);
}

void TIdIOHandler::EndBufferedWrite() {
  if (!FOutBuffer) return;
  const auto release = ScopeExit([this] { FOutBuffer.reset(); });
  FlushWriteBuffer(-1);
}

void TIdIOHandler::CancelBufferedWrite() {
  ClearWriteBuffer();
  EndBufferedWrite();
}

void TIdIOHandler::ClearWriteBuffer() {
  if (FOutBuffer) FOutBuffer->Clear();
}
