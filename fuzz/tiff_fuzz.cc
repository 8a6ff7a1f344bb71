// Arbitrary bytes as a TIFF file through the size check and the banded,
// threaded reader.
#include <tiffio.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "codecs/tiff_codec.h"
#include "memory_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool quiet = [] {
    // The library's messages would only slow the run down.
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
    return true;
  }();
  (void)quiet;
  const MemoryFile file(data, size);
  if (!file.ok()) return 0;
  const std::optional<uint32_t> bitmapSize = quarn::codecs::GetTiffBitmapSize(file.path());
  if (bitmapSize && *bitmapSize <= kMaxFuzzBitmapSize) {
    std::vector<uint8_t> bitmap(*bitmapSize);
    quarn::codecs::ReadTiffBitmap(file.path(), bitmap.data(), bitmap.size());  // any result is fine
  }
  return 0;
}
