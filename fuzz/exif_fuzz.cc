// Arbitrary bytes as an EXIF block through the libexif adapter: the
// orientation read, and the block rewritten for an upright result, which
// must fit a JPEG segment and read back upright.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "codecs/exif_data.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> block(data, size);
  quarn::codecs::exifOrientation(block);  // any value is fine
  const std::vector<uint8_t> result = quarn::codecs::exifForUprightResult(block, 4032, 3024);
  if (result.size() > quarn::codecs::kMaxExifInJpeg) std::abort();
  if (quarn::codecs::exifOrientation(result) != quarn::codecs::Orientation::kTopLeft) std::abort();
  return 0;
}
