#include "app/ProgressText.h"

namespace {
constexpr double kBytesPerMB = 1024.0 * 1024.0;
}  // namespace

std::string FormatProgressText(const TProgressSnapshot& progress, double bytesPerSecond,
                               const TFormatSettings& settings) {
  const double done = static_cast<double>(progress.Done);
  const double total = static_cast<double>(progress.Total);
  switch (progress.Unit) {
    case TProgressUnit::None:
      return "";
    case TProgressUnit::Bytes:
      if (progress.Total < 0) {
        return Format("%.1n MB (%.1n MB/s)", {done / kBytesPerMB, bytesPerSecond / kBytesPerMB},
                      settings);
      }
      return Format("%.1n MB od %.1n MB (%.1n MB/s)",
                    {done / kBytesPerMB, total / kBytesPerMB, bytesPerSecond / kBytesPerMB},
                    settings);
    case TProgressUnit::Files:
      if (progress.Total < 0) return Format("Datoteka %.0n", {done}, settings);
      return Format("Datoteka %.0n od %.0n", {done, total}, settings);
  }
  return "";
}

void TTransferRate::Sample(std::uint32_t ticks, std::int64_t bytes) {
  FSamples.emplace_back(ticks, bytes);
  while (FSamples.size() > 2 && ticks - FSamples[1].first >= kWindowMs) FSamples.pop_front();
}

double TTransferRate::BytesPerSecond() const {
  if (FSamples.size() < 2) return 0;
  const std::uint32_t span = FSamples.back().first - FSamples.front().first;
  if (span == 0) return 0;
  const double bytes = static_cast<double>(FSamples.back().second - FSamples.front().second);
  return bytes < 0 ? 0 : bytes * 1000.0 / span;
}
