// video_options.h: what the video pipeline reads of the run settings.
#pragma once

#include <cstdint>

namespace quarn::video {

// What the video writer is told about its codec.
struct CompressOptions {
  uint32_t fccHandler = 0;  // codec FourCC, first character in the low byte; 0: ask the user
  uint32_t dwQuality = 0;   // 0 .. 10000
};

inline constexpr uint32_t kFourccUncompressed = 0x20424944;  // "DIB "

// The quality a codec chosen in the chooser gets: the user was not asked.
inline constexpr uint32_t kChooserQuality = 7500;

}  // namespace quarn::video
