// auto_depth.h: the depth the program picks itself from the width in pixels.
#pragma once

#include <cstdint>

namespace quarn::engine {

// Still pictures: floor(width^0.39) up to 4096 pixels, floor(width^0.462)
// above (so 4096 gives 25 and 4097 gives 46). 0 for widths of 0 or less.
int32_t autoDepthForImage(int32_t width);

// Videos: floor(width^0.185) raised to a multiple of 4, or 0 when that
// exceeds the width; 0 above 2048 pixels. In effect 4 for widths 4..2048.
int32_t autoDepthForVideo(int32_t width);

}  // namespace quarn::engine
