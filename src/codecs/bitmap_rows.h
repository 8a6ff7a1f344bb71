// bitmap_rows.h: the byte order of BitmapBuffer pixels, turned around in
// place. The codecs read or write blue-green-red directly where their
// libraries allow; this is the step for the places where they cannot.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quarn::codecs {

// Exchanges bytes 0 and 2 of `count` 4-byte pixels starting at `pixels`
// (no header): the swap of a band of rows.
void swapRedBlue32Pixels(uint8_t* pixels, size_t count);

}  // namespace quarn::codecs
