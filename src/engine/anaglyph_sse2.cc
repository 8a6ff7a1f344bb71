// SSE2 form of the row loops: 16 bytes at a time, red bytes blended in with
// a mask, the rest written back unchanged.
#include <emmintrin.h>

#include "engine/anaglyph_kernels.h"

namespace quarn::engine::kernels {
namespace {

// Bytes k of a 48-byte block (16 pixels of 3 bytes) with k % 3 == 2, as
// three 16-byte masks.
__m128i redMask3(int part) {
  alignas(16) uint8_t m[16];
  for (int k = 0; k < 16; ++k) m[k] = ((part * 16 + k) % 3 == 2) ? 0xFF : 0x00;
  return _mm_load_si128(reinterpret_cast<const __m128i*>(m));
}

inline void blend16(uint8_t* dst, const uint8_t* src, __m128i mask) {
  const __m128i keep = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst));
  const __m128i take = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(dst),
                   _mm_or_si128(_mm_andnot_si128(mask, keep), _mm_and_si128(mask, take)));
}

void moveRedSse2(uint8_t* dst, const uint8_t* src, size_t pixels, unsigned p) {
  // Both loads of a block happen before its store; blocks go in the
  // direction that never reads a byte an earlier block already stored.
  const size_t block = p == 3 ? 48 : 16;
  const size_t blockPixels = block / p;
  const size_t blocks = pixels / blockPixels;
  const size_t bytes = blocks * block;
  static const __m128i m0 = redMask3(0), m1 = redMask3(1), m2 = redMask3(2);
  static const __m128i m4 = _mm_set1_epi32(0x00FF0000);
  if (dst <= src) {
    for (size_t i = 0; i < bytes; i += block) {
      if (p == 3) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + i + 16));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + i + 32));
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 16));
        const __m128i z = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 32));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_or_si128(_mm_andnot_si128(m0, a), _mm_and_si128(m0, x)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i + 16), _mm_or_si128(_mm_andnot_si128(m1, b), _mm_and_si128(m1, y)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i + 32), _mm_or_si128(_mm_andnot_si128(m2, c), _mm_and_si128(m2, z)));
      } else {
        blend16(dst + i, src + i, m4);
      }
    }
    for (size_t k = blocks * blockPixels; k < pixels; ++k) dst[k * p + 2] = src[k * p + 2];
  } else {
    // Backward: the tail first, then whole blocks from the end of the run.
    const size_t tail = pixels - blocks * blockPixels;
    for (size_t k = pixels; k > pixels - tail; --k) dst[(k - 1) * p + 2] = src[(k - 1) * p + 2];
    // Blocks cover pixels [0, blocks * blockPixels); go from the last one down.
    for (size_t i = bytes; i > 0;) {
      i -= block;
      if (p == 3) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + i + 16));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + i + 32));
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 16));
        const __m128i z = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 32));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i + 32), _mm_or_si128(_mm_andnot_si128(m2, c), _mm_and_si128(m2, z)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i + 16), _mm_or_si128(_mm_andnot_si128(m1, b), _mm_and_si128(m1, y)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_or_si128(_mm_andnot_si128(m0, a), _mm_and_si128(m0, x)));
      } else {
        blend16(dst + i, src + i, m4);
      }
    }
  }
}

}  // namespace

const Kernels* sse2Kernels() {
  static const Kernels kernels{"sse2", moveRedSse2, moveOptimisedRedWords};
  return __builtin_cpu_supports("sse2") ? &kernels : nullptr;
}

}  // namespace quarn::engine::kernels
