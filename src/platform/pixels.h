// pixels.h: pictures in memory as the video pipeline passes them along:
// rows of blue-green-red pixels, 3 bytes each, from the decoder through the
// anaglyph to the encoder, without a file header in between.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace quarn::platform {

// Bytes of one row of `width` pixels of `bytesPerPixel` bytes, padded up to
// a multiple of 4, as BMP files and uncompressed AVI frames lay rows out.
// 64-bit, so no width read from a file can overflow it.
inline uint64_t rowStride(uint64_t width, unsigned bytesPerPixel) {
  return (width * bytesPerPixel + 3) & ~uint64_t{3};
}

// Rows someone else owns. Row i of memory starts at rows + i * stride.
struct PixelView {
  uint8_t* rows = nullptr;
  ptrdiff_t stride = 0;   // may be negative
  uint32_t width = 0;     // pixels of a row
  uint32_t height = 0;    // rows
  bool bottomUp = false;  // the first row in memory is the picture's bottom row

  // The same rows with the picture's top row first.
  PixelView topDown() const {
    if (!bottomUp || height == 0) return *this;
    return {rows + stride * static_cast<ptrdiff_t>(height - 1), -stride, width, height, false};
  }
  // The same rows with the picture's bottom row first.
  PixelView bottomFirst() const {
    if (bottomUp || height == 0) return *this;
    return {rows + stride * static_cast<ptrdiff_t>(height - 1), -stride, width, height, true};
  }
};

// The memory of one decoded picture, top row first. It is only had once a
// picture of known size needs it, and kept for pictures no larger. Every row
// (and the memory after the last) leaves room for the whole vector blocks
// that colour converters write past a row's end.
class Picture {
 public:
  // Room for width x height; false when the memory cannot be had (the
  // picture is then empty).
  bool reserve(uint32_t width, uint32_t height);
  PixelView view() const { return {data_.get(), stride_, width_, height_, false}; }

  // The frame's time, in the unit its reader states.
  int64_t time() const { return time_; }
  void setTime(int64_t time) { time_ = time; }

 private:
  std::unique_ptr<uint8_t[]> data_;
  size_t capacity_ = 0;
  ptrdiff_t stride_ = 0;
  uint32_t width_ = 0, height_ = 0;
  int64_t time_ = 0;
};

}  // namespace quarn::platform
