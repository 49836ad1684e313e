// The progress line of a long step: what has come of how much and how fast, in
// the user's number format. Portable: the main window only shows the text.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <utility>

#include "app/OperationMonitor.h"
#include "rtl/Text.h"

// "12,3 MB od 187,0 MB (8,4 MB/s)", without a known total "12,3 MB (8,4 MB/s)";
// "Datoteka 123 od 2.954" for files. MB are 2^20 bytes, as the system counts them.
std::string FormatProgressText(const TProgressSnapshot& progress, double bytesPerSecond,
                               const TFormatSettings& settings);

// The rate over the last few seconds, so that a stall shows at once rather than
// being averaged away over the whole transfer.
class TTransferRate {
 public:
  void Reset() { FSamples.clear(); }
  void Sample(std::uint32_t ticks, std::int64_t bytes);
  // 0 until two samples lie apart in time.
  double BytesPerSecond() const;

 private:
  static constexpr std::uint32_t kWindowMs = 3000;
  std::deque<std::pair<std::uint32_t, std::int64_t>> FSamples;
};
