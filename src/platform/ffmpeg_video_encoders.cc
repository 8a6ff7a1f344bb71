// The codec catalogue: FFmpeg's AVI tags, tried one by one.
#include <map>

#include "platform/avi_writer_backend.h"
#include "platform/ffmpeg_encoder.h"
#include "platform/video_encoders.h"

namespace quarn::platform {
namespace {

// Odd on both sides: an encoder that needs even or aligned sizes is only
// listed when the writer's padding makes it work.
constexpr uint32_t kProbeWidth = 161;
constexpr uint32_t kProbeHeight = 97;

bool printable(uint32_t fourcc) {
  for (int shift = 0; shift < 32; shift += 8) {
    const auto c = static_cast<unsigned char>(fourcc >> shift);
    if (c < 0x20 || c > 0x7e) return false;
  }
  return true;
}

}  // namespace

std::vector<VideoEncoderEntry> usableVideoEncoders() {
  ffmpeg::quietLibraryLog();
  std::vector<VideoEncoderEntry> entries;
  std::map<const AVCodec*, size_t> entryOf;
  for (const uint32_t fourcc : ffmpeg::riffVideoFourCCs()) {
    if (!printable(fourcc)) continue;
    const AVCodec* codec = ffmpeg::encoderForFourCC(fourcc);
    if (codec == nullptr || !canWriteFourCC(fourcc, kProbeWidth, kProbeHeight)) continue;
    const auto [it, added] = entryOf.emplace(codec, entries.size());
    if (added) {
      entries.push_back({codec->long_name != nullptr ? codec->long_name : codec->name, fourcc, {}});
    } else {
      entries[it->second].others.push_back(fourcc);
    }
  }
  return entries;
}

}  // namespace quarn::platform
