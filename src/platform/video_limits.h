// video_limits.h: what a video's header may claim before the program takes
// memory for its pictures. Sizes from a file are untrusted.
#pragma once

#include <cstdint>

#include "platform/pixels.h"

namespace quarn::platform {

// A decoded picture of more bytes than this must come from a file of at
// least 1/kPlausibleRatio of them: a tiny file cannot make the program
// claim gigabytes for a picture its data could never describe.
inline constexpr uint64_t kAlwaysPlausibleFrame = uint64_t{64} << 20;
inline constexpr uint64_t kPlausibleRatio = 4096;
inline constexpr uint32_t kMaxSide = 32767;
// Pictures of more bytes than this are not taken on: a run holds several
// of them, and the decoder its own.
inline constexpr uint64_t kMaxFrameBytes = uint64_t{512} << 20;

// Whether pictures of width x height (as blue-green-red rows) are
// believable in a file of `fileSize` bytes.
inline bool plausibleFrame(uint32_t width, uint32_t height, uint64_t fileSize) {
  const uint64_t frameBytes = rowStride(width, 3) * height;
  const bool plausible = frameBytes <= kAlwaysPlausibleFrame || frameBytes / kPlausibleRatio <= fileSize;
  return width <= kMaxSide && height <= kMaxSide && plausible;
}

// Makes `fd` a blocking descriptor of a regular file and gives its size;
// false (the descriptor then closed) for anything else.
bool takeRegularFile(int fd, uint64_t& size);

}  // namespace quarn::platform
