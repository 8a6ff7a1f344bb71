// video_encoders.h: the video encoders this machine can write to AVI, for
// the codec list and the codec chooser.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/fourcc.h"

namespace quarn::platform {

struct VideoEncoderEntry {
  std::string description;       // the encoder's long name
  FourCC fourcc = 0;             // the first code that selects it
  std::vector<FourCC> others;    // further codes that select it
};

// Every encoder reachable through a printable FourCC of FFmpeg's AVI tag
// table that really writes an AVI here, also at an odd picture size (each
// code is tried). In the table's order. Takes a moment: encoders are opened.
std::vector<VideoEncoderEntry> usableVideoEncoders();

}  // namespace quarn::platform
