// bitmap_rows.h: the row order and byte order of BitmapBuffer pixels turned
// around in place, the plain way: the reference the codecs' direct reads
// and writes are checked against.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quarn::testing {

// Reverses the order of the `height` rows of 3 × width + pad bytes that
// follow the 54-byte header of `buffer`. `totalSize` is the buffer's size;
// rows that would not fit in it are left alone.
void ReverseRows24(uint8_t* buffer, size_t totalSize, uint32_t pad, uint32_t width, uint32_t height);

// Exchanges bytes 0 and 2 of every 3-byte pixel of the rows after the
// 54-byte header, stepping over each row's `pad` bytes.
void SwapRedBlue24(uint8_t* buffer, uint32_t pad, uint32_t width, uint32_t height);

// As ReverseRows24 for rows of 4 × width bytes (never padded).
void ReverseRows32(uint8_t* buffer, size_t totalSize, uint32_t width, uint32_t height);

// Exchanges bytes 0 and 2 of every 4-byte pixel of the rows after the
// 54-byte header.
void SwapRedBlue32(uint8_t* buffer, uint32_t width, uint32_t height);

}  // namespace quarn::testing
