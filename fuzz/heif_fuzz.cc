// Arbitrary bytes as a HEIF file through the libheif adapter, from memory.
// The last byte says whether alpha is kept; bitmaps past the fuzzing bound
// are refused as the program refuses what it has no memory for.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "codecs/heif_codec.h"
#include "memory_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const bool keepAlpha = (data[size - 1] & 1) != 0;
  std::vector<uint8_t> bitmap;
  const quarn::codecs::BitmapProvider provide = [&](const quarn::codecs::BitmapShape& shape) -> uint8_t* {
    const std::optional<uint32_t> bytes = quarn::codecs::storedBitmapSize(shape);
    if (!bytes || *bytes > kMaxFuzzBitmapSize) return nullptr;
    bitmap.assign(*bytes, 0);
    return bitmap.data();
  };
  quarn::codecs::PictureMetadata metadata;
  std::string message;
  quarn::codecs::decodeHeif({data, size - 1}, keepAlpha, provide, metadata, message);  // any result is fine
  return 0;
}
