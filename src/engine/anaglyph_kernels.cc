#include "engine/anaglyph_kernels.h"

#include <cstring>

namespace quarn::engine::kernels {
namespace {

void moveRedPlain(uint8_t* dst, const uint8_t* src, size_t pixels, unsigned p) {
  if (dst <= src) {
    for (size_t i = 0; i < pixels; ++i) dst[i * p + 2] = src[i * p + 2];
  } else {
    for (size_t i = pixels; i-- > 0;) dst[i * p + 2] = src[i * p + 2];
  }
}

void moveOptimisedRedPlain(uint8_t* dst, const uint8_t* src, size_t pixels, unsigned p, const uint8_t* table) {
  for (size_t i = 0; i < pixels; ++i) dst[i * p + 2] = table[(src[i * p + 1] << 8) | src[i * p]];
}

inline uint64_t load64(const uint8_t* p) {
  uint64_t w;
  std::memcpy(&w, p, 8);
  return w;
}

inline void store64(uint8_t* p, uint64_t w) { std::memcpy(p, &w, 8); }

constexpr uint64_t kByte = 0xFF;

// Blue and green of the pixel whose blue is at bit `shift` of w.
inline unsigned pair(uint64_t w, int shift) { return static_cast<unsigned>((w >> shift) & 0xFFFF); }

}  // namespace

void moveOptimisedRedWords(uint8_t* dst, const uint8_t* src, size_t pixels, unsigned p, const uint8_t* table) {
  // Eight 3-byte pixels are three little-endian words (two 4-byte pixels
  // one word): the lookups of a block are independent and every block is
  // read and written with three loads and stores instead of 24 byte moves.
  size_t i = 0;
  if (p == 3) {
    for (; i + 8 <= pixels; i += 8) {
      const uint8_t* s = src + i * 3;
      uint8_t* d = dst + i * 3;
      const uint64_t s0 = load64(s), s1 = load64(s + 8), s2 = load64(s + 16);
      const uint64_t r0 = table[pair(s0, 0)], r1 = table[pair(s0, 24)], r2 = table[pair(s0, 48)];
      const uint64_t r3 = table[pair(s1, 8)], r4 = table[pair(s1, 32)];
      const uint64_t r5 = table[(s1 >> 56) | ((s2 & kByte) << 8)];
      const uint64_t r6 = table[pair(s2, 16)], r7 = table[pair(s2, 40)];
      const uint64_t d0 = load64(d), d1 = load64(d + 8), d2 = load64(d + 16);
      store64(d, (d0 & ~(kByte << 16 | kByte << 40)) | r0 << 16 | r1 << 40);
      store64(d + 8, (d1 & ~(kByte | kByte << 24 | kByte << 48)) | r2 | r3 << 24 | r4 << 48);
      store64(d + 16, (d2 & ~(kByte << 8 | kByte << 32 | kByte << 56)) | r5 << 8 | r6 << 32 | r7 << 56);
    }
  } else {
    for (; i + 2 <= pixels; i += 2) {
      const uint64_t s0 = load64(src + i * 4);
      const uint64_t r0 = table[pair(s0, 0)], r1 = table[pair(s0, 32)];
      const uint64_t d0 = load64(dst + i * 4);
      store64(dst + i * 4, (d0 & ~(kByte << 16 | kByte << 48)) | r0 << 16 | r1 << 48);
    }
  }
  moveOptimisedRedPlain(dst + i * p, src + i * p, pixels - i, p, table);
}

const Kernels& plainKernels() {
  static const Kernels kernels{"plain", moveRedPlain, moveOptimisedRedPlain};
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
