// bitmap_rows.h: the row order and byte order of BitmapBuffer pixels, turned
// around in place. The codecs address rows bottom-up and read or write
// blue-green-red directly where their libraries allow; these are the plain
// forms of those steps, for the places that need them and as the reference
// the direct forms are checked against.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quarn::codecs {

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

// Exchanges bytes 0 and 2 of `count` 4-byte pixels starting at `pixels`
// (no header): the swap of a band of rows.
void swapRedBlue32Pixels(uint8_t* pixels, size_t count);

}  // namespace quarn::codecs
