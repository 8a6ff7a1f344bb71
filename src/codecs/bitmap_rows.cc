#include "codecs/bitmap_rows.h"

#include <cstring>

namespace quarn::codecs {

void swapRedBlue32Pixels(uint8_t* pixels, size_t count) {
  // Whole words: the compiler turns this into shuffles.
  for (size_t i = 0; i < count; ++i) {
    uint32_t v;
    std::memcpy(&v, pixels + 4 * i, 4);
    v = (v & 0xff00ff00u) | ((v & 0xffu) << 16) | ((v >> 16) & 0xffu);
    std::memcpy(pixels + 4 * i, &v, 4);
  }
}

}  // namespace quarn::codecs
