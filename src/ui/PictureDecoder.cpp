// stb_image behind one call; only JPEG, GIF and PNG are compiled in.
#include "ui/PictureDecoder.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "rtl/Exceptions.h"

#define STBI_ONLY_JPEG
#define STBI_ONLY_GIF
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>

namespace {
struct TStbFree {
  void operator()(void* p) const { stbi_image_free(p); }
};

bool IsGif(std::span<const std::uint8_t> bytes) {
  return bytes.size() >= 6 && std::memcmp(bytes.data(), "GIF8", 4) == 0;
}

TBitmap32 CopyFrame(const stbi_uc* pixels, int width, int height) {
  TBitmap32 b;
  b.Width = width;
  b.Height = height;
  const std::size_t n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
  b.Rgba.assign(pixels, pixels + n);
  return b;
}
}  // namespace

TPicture DecodePicture(std::span<const std::uint8_t> bytes) {
  if (bytes.empty() || bytes.size() > static_cast<std::size_t>(INT32_MAX))
    throw Exception("Picture: no data");
  const int size = static_cast<int>(bytes.size());
  TPicture picture;
  int width = 0, height = 0, channels = 0;
  if (IsGif(bytes)) {
    int* delays = nullptr;
    int frames = 0;
    std::unique_ptr<stbi_uc, TStbFree> pixels(stbi_load_gif_from_memory(
        bytes.data(), size, &delays, &width, &height, &frames, &channels, 4));
    std::unique_ptr<int, TStbFree> delayHolder(delays);
    if (!pixels) throw Exception(std::string("Picture: ") + stbi_failure_reason());
    const std::size_t frameBytes =
        static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
    for (int i = 0; i < frames; ++i) {
      picture.Frames.push_back(
          CopyFrame(pixels.get() + frameBytes * static_cast<std::size_t>(i), width, height));
      picture.DelaysMs.push_back(delays != nullptr ? delays[i] : 0);
    }
    return picture;
  }
  std::unique_ptr<stbi_uc, TStbFree> pixels(
      stbi_load_from_memory(bytes.data(), size, &width, &height, &channels, 4));
  if (!pixels) throw Exception(std::string("Picture: ") + stbi_failure_reason());
  picture.Frames.push_back(CopyFrame(pixels.get(), width, height));
  picture.DelaysMs.push_back(0);
  return picture;
}
