// Arbitrary bytes as a WebP file through the libwebp adapter, from memory,
// then the turn its EXIF orientation asks for. The last byte says whether
// alpha is kept; bitmaps past the fuzzing bound are refused as the program
// refuses what it has no memory for.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "codecs/orientation.h"
#include "codecs/webp_codec.h"
#include "memory_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const bool keepAlpha = (data[size - 1] & 1) != 0;
  std::vector<uint8_t> bitmap;
  quarn::codecs::BitmapShape shape;
  const quarn::codecs::BitmapProvider provide = [&](const quarn::codecs::BitmapShape& s) -> uint8_t* {
    const std::optional<uint32_t> bytes = quarn::codecs::storedBitmapSize(s);
    if (!bytes || *bytes > kMaxFuzzBitmapSize) return nullptr;
    shape = s;
    bitmap.assign(*bytes, 0);
    return bitmap.data();
  };
  quarn::codecs::PictureMetadata metadata;
  if (quarn::codecs::decodeWebp({data, size - 1}, keepAlpha, provide, metadata) != quarn::codecs::kPictureRead) {
    return 0;  // any result is fine; a crash is not
  }
  const std::optional<uint32_t> upright =
      quarn::codecs::uprightBitmapSize(shape.width, shape.height, shape.bitsPerPixel, shape.orientation);
  std::vector<uint8_t> turned(upright.value_or(0));
  if (upright) quarn::codecs::writeUpright(bitmap.data(), shape.orientation, turned.data());
  return 0;
}
