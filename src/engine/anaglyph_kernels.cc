#include "engine/anaglyph_kernels.h"

namespace quarn::engine::kernels {
namespace {

void moveRedPlain(uint8_t* dst, const uint8_t* src, size_t pixels, unsigned p) {
  if (dst <= src) {
    for (size_t i = 0; i < pixels; ++i) dst[i * p + 2] = src[i * p + 2];
  } else {
    for (size_t i = pixels; i-- > 0;) dst[i * p + 2] = src[i * p + 2];
  }
}

}  // namespace

const Kernels& plainKernels() {
  static const Kernels kernels{"plain", moveRedPlain};
  return kernels;
}

const Kernels& activeKernels() {
  static const Kernels& active = [] () -> const Kernels& {
    if (const Kernels* sse2 = sse2Kernels()) return *sse2;
    return plainKernels();
  }();
  return active;
}

}  // namespace quarn::engine::kernels
