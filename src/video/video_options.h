// video_options.h: what the video pipeline reads of the run settings.
#pragma once

#include <cstdint>

#include "platform/fourcc.h"

namespace quarn::video {

// What the video writer is told about its codec.
struct CompressOptions {
  platform::FourCC fccHandler = 0;  // codec; kFourCCDib: uncompressed; 0: ask the user
  uint32_t dwQuality = 0;           // 0 .. 10000
};

// The quality a codec chosen in the chooser gets: the user was not asked.
inline constexpr uint32_t kChooserQuality = 7500;

}  // namespace quarn::video
