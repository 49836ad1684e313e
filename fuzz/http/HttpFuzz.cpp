// libFuzzer target for the HTTP response reader: the input is what a server
// sends (status line, headers, chunked, counted, multipart or close-delimited
// bodies, redirects and challenges), served from memory through an I/O handler.
// The first two bytes choose client options and the size of each receive; a short
// line limit lets inputs of a few KiB reach the over-long line paths.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>

#include "http/IdHTTP.h"

namespace {

// A connection whose peer sends the fuzz input and then closes.
class TMemoryIOHandler : public TIdIOHandler {
 public:
  TMemoryIOHandler(std::span<const std::uint8_t> data, int chunk) : FData(data), FChunk(chunk) {}
  bool WaitReadable(int /*timeout*/) override { return true; }

 protected:
  int ReadDataFromSource(std::uint8_t* buffer, int length) override {
    const std::size_t n = std::min({static_cast<std::size_t>(std::max(length, 0)),
                                    FData.size() - FPos, static_cast<std::size_t>(FChunk)});
    if (n > 0) std::memcpy(buffer, FData.data() + FPos, n);
    FPos += n;
    return static_cast<int>(n);
  }
  int WriteDataToTarget(const TIdBytes& /*buffer*/, int /*offset*/, int length) override {
    return length;
  }
  bool SourceIsAvailable() const override { return IsOpen(); }

 private:
  std::span<const std::uint8_t> FData;
  std::size_t FPos = 0;
  int FChunk;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::uint8_t options = data[0];
  const int chunk = 1 + data[1] % 64 * 64;
  TMemoryIOHandler handler({data + 2, size - 2}, chunk);
  if (options & 64) handler.SetMaxLineLength(256);
  if (options & 128) handler.SetMaxLineAction(maSplit);
  TIdHTTP client;
  client.SetIOHandler(&handler);
  client.HandleRedirects = (options & 1) != 0;
  if (options & 2) client.HTTPOptions.Include(hoWaitForUnexpectedData);
  if (options & 4) client.HTTPOptions.Include(hoNoProtocolErrorException);
  if (options & 8) client.ProtocolVersion = pv1_0;
  if (options & 16) {
    client.HTTPOptions.Include(hoInProcessAuth);
    client.Request().Username = "user";
    client.Request().Password = "pw";
  }
  TMemoryStream body;
  try {
    client.Get("http://fuzz.example/a/b.zip", (options & 32) != 0 ? nullptr : &body);
  } catch (const Exception&) {
    // Every refusal is an exception with a message: that is the expected way out.
  }
  client.SetIOHandler(nullptr);
  return 0;
}
