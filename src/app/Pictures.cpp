// The pictures' bytes are generated into PictureData.cpp; decoded on demand.
#include "app/Pictures.h"

#include <cstddef>
#include <cstdint>
#include <span>

#include "ui/PictureDecoder.h"

extern const std::uint8_t kNotchJpeg[], kDatabaseGif[], kProgressGif[], kState0Png[], kState1Png[],
    kState2Png[], kState3Png[];
extern const std::size_t kNotchJpegSize, kDatabaseGifSize, kProgressGifSize, kState0PngSize,
    kState1PngSize, kState2PngSize, kState3PngSize;

TPicture NotchPicture() { return DecodePicture({kNotchJpeg, kNotchJpegSize}); }
TPicture DatabasePicture() { return DecodePicture({kDatabaseGif, kDatabaseGifSize}); }
TPicture ProgressAnimation() { return DecodePicture({kProgressGif, kProgressGifSize}); }

std::vector<TBitmap32> StateImages() {
  const std::span<const std::uint8_t> sources[] = {{kState0Png, kState0PngSize},
                                                   {kState1Png, kState1PngSize},
                                                   {kState2Png, kState2PngSize},
                                                   {kState3Png, kState3PngSize}};
  std::vector<TBitmap32> images;
  for (const auto& bytes : sources) images.push_back(DecodePicture(bytes).Frames.front());
  return images;
}
