// anaglyph_kernels.h: the row loops of the transform, in a plain form and
// (where the build targets x86) an SSE2 form, picked once per process.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quarn::engine::kernels {

// Copies the red byte (byte 2) of `pixels` pixels of `bytesPerPixel` (3 or
// 4) bytes from src to dst; every other byte of dst stays. src and dst may
// overlap either way, as with memmove: each red byte is read before the
// pass overwrites it.
using MoveRedFn = void (*)(uint8_t* dst, const uint8_t* src, size_t pixels, unsigned bytesPerPixel);

// Sets the red byte of each of `pixels` pixels of dst to
// table[green << 8 | blue] of the pixel at the same index in src. Only red
// bytes are written and only blue and green read, so src and dst may
// overlap in any way.
using MoveOptimisedRedFn = void (*)(uint8_t* dst, const uint8_t* src, size_t pixels, unsigned bytesPerPixel,
                                    const uint8_t* table);

struct Kernels {
  const char* name;
  MoveRedFn moveRed;
  MoveOptimisedRedFn moveOptimisedRed;
};

// The word-at-a-time form of moveOptimisedRed that the fast kernels share.
void moveOptimisedRedWords(uint8_t* dst, const uint8_t* src, size_t pixels, unsigned bytesPerPixel,
                           const uint8_t* table);

const Kernels& plainKernels();
// nullptr when this build has no SSE2 form.
const Kernels* sse2Kernels();
// The fastest form this processor runs.
const Kernels& activeKernels();

}  // namespace quarn::engine::kernels
