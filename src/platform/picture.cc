#include <new>

#include "platform/pixels.h"

namespace quarn::platform {
namespace {

// Rows start at multiples of this, as the vector code of the libraries
// wants them, and a row's bytes are padded to it.
constexpr uint64_t kRowAlignment = 64;

}  // namespace

bool Picture::reserve(uint32_t width, uint32_t height) {
  // Three bytes a pixel over a width rounded up to the alignment: every row
  // ends on the alignment, with room for a converter's last vector block.
  const uint64_t stride = 3 * ((uint64_t{width} + kRowAlignment - 1) / kRowAlignment * kRowAlignment);
  const uint64_t bytes = stride * (uint64_t{height} + 1);  // one spare row after the last
  if (bytes > capacity_) {
    data_.reset();
    capacity_ = 0;
    if (bytes > SIZE_MAX / 2) return false;
    data_.reset(new (std::nothrow) uint8_t[static_cast<size_t>(bytes)]);
    if (!data_) {
      width_ = height_ = 0;
      return false;
    }
    capacity_ = static_cast<size_t>(bytes);
  }
  stride_ = static_cast<ptrdiff_t>(stride);
  width_ = width;
  height_ = height;
  return true;
}

}  // namespace quarn::platform
