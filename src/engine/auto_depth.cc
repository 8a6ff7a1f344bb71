#include "engine/auto_depth.h"

#include <cmath>

namespace quarn::engine {

int32_t autoDepthForImage(int32_t width) {
  if (width <= 0) return 0;
  const double exponent = width <= 4096 ? 0.39 : 0.462;
  return static_cast<int32_t>(std::floor(std::pow(static_cast<double>(width), exponent)));
}

int32_t autoDepthForVideo(int32_t width) {
  if (width <= 0 || width > 2048) return 0;
  int32_t n = static_cast<int32_t>(std::floor(std::pow(static_cast<double>(width), 0.185)));
  while (n % 4 != 0) ++n;
  if (n < 0 || n > width) return 0;
  return n;
}

}  // namespace quarn::engine
