// ffmpeg_encoder.h: finding and opening the encoder a FourCC names, as the
// AVI writer and the codec catalogue both need it.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/ffmpeg_pictures.h"
#include "platform/ffmpeg_support.h"
#include "platform/fourcc.h"

namespace quarn::platform::ffmpeg {

// How an encoder takes the 0..10000 quality.
enum class QualityScale {
  kNone,       // lossless or no knob: the quality is not used
  kQuantiser,  // qscale 31 (worst) .. 1 (best), also set on every frame
  kTheora,     // 0 (worst) .. 10 (best)
  kCrf51,      // libx264: crf 51 .. 1 (never the lossless 0)
  kCrf63,      // libvpx, libaom: crf 63 .. 4
};

struct OpenedEncoder {
  CodecContext context;
  QualityScale scale = QualityScale::kNone;
  int quantiser = 0;  // kQuantiser: the lambda set on every frame
};

// Sets a quantiser-scaled encoder (MPEG-4, Motion JPEG and their kin) to
// the fixed quantiser q = clamp(round(31^(1 - quality/10000)), 1, 31) and
// returns its lambda, which must also be set on every picture.
int applyQuantiserQuality(AVCodecContext* c, uint32_t quality);

// The encoder FFmpeg's AVI tag table gives for `fourcc` (exact, then any
// letter case), or nullptr. Hardware and experimental encoders, and the
// raw formats (whose layout the tag fixes), count as none.
const AVCodec* encoderForFourCC(uint32_t fourcc);

// Opens that encoder for pictures of width x height at `frameRate` frames
// per second. Where it refuses, it is tried with the next even, then
// multiple-of-4, 8 and 16 size (the writer pads the picture), with a
// frame rate of smaller terms, and with each of its pixel formats; an
// encoder that names its own FourCC must name this one. The context's
// time base is the one it accepted. Empty context: unusable.
// The picture's colours (`tags`) are written where the bitstream carries
// them (H.264, HEVC, VP9, AV1) and the pixel format is Y'CbCr.
OpenedEncoder openEncoder(uint32_t fourcc, int width, int height, AVRational frameRate, uint32_t quality,
                          const Colours& tags);

// Every FourCC of FFmpeg's AVI video tag table, in table order, each once.
std::vector<uint32_t> riffVideoFourCCs();

}  // namespace quarn::platform::ffmpeg
