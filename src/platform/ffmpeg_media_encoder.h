// ffmpeg_media_encoder.h: the video encoders of today's containers, by the
// codes a user gives, and opening them at a constant quality. Only
// ffmpeg_*.cc include it.
#pragma once

#include <cstdint>

#include "platform/ffmpeg_pictures.h"
#include "platform/ffmpeg_support.h"
#include "platform/fourcc.h"
#include "platform/media_writer_backend.h"

namespace quarn::platform::ffmpeg {

// One codec family: the codes that name it, its encoders (the first that
// opens is used) and the containers that take it.
struct MediaCodecFamily {
  AVCodecID id;
  const char* codes[6];     // ends at the first nullptr
  const char* encoders[2];  // ends at the first nullptr
  bool inMp4, inMov, inMatroska, inWebm;
};

// Every family, in the order they are offered (H.264 first).
const MediaCodecFamily* mediaCodecFamilies(size_t& count);

bool containerTakes(const MediaCodecFamily& family, ResultContainer container);

// The family `fourcc` names (exactly or in any letter case) that
// `container` takes; nullptr when none. kFourCCDib names the input's own
// family (`inputCodec`): H.264, HEVC, VP8, VP9 and AV1 stay themselves,
// anything else becomes H.264 (VP9 in WebM).
const MediaCodecFamily* familyFor(FourCC fourcc, ResultContainer container, AVCodecID inputCodec);

struct MediaEncoderSettings {
  int width = 0, height = 0;  // of the pictures; the encoder may get them padded to even sides
  AVRational timeBase{1, 25};  // of the pictures' times
  AVRational frameRate{25, 1}; // on average, for rate control and key frames
  AVRational aspect{1, 1};     // of a pixel
  uint32_t quality = 0;
  Colours colours;
  bool globalHeader = false;   // the container wants the codec's headers apart
  int threads = 0;             // 0: as many as the machine has
};

struct MediaEncoder {
  CodecContext context;
  int quantiser = 0;  // for the quantiser-scaled encoders: the lambda set on every picture
};

// Opens the first encoder of `family` that accepts the settings, at the
// settings' time base or, where that is refused, the nearest one with a
// denominator of at most 65535. Empty context: none did.
MediaEncoder openMediaEncoder(const MediaCodecFamily& family, const MediaEncoderSettings& settings);

}  // namespace quarn::platform::ffmpeg
