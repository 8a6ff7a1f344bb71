// ffmpeg_sound_copy.h: the FFmpeg side of a SoundCopy, as the AVI writer
// reads it. Only ffmpeg_*.cc include it.
#pragma once

#include "platform/avi_sound_copy.h"
#include "platform/ffmpeg_support.h"

namespace quarn::platform::ffmpeg {

class FfmpegSoundCopy : public SoundCopy {
 public:
  // The stream a track comes from: its codec's parameters and time base.
  virtual const AVStream* stream(size_t track) const = 0;
  // Whether each of the track's chunks is a packet with a time of its own.
  virtual bool variablePackets(size_t track) const = 0;
  // The next packet of any track, in file order, with the track it belongs
  // to; nullptr when none is left. It stays valid until drop().
  virtual AVPacket* peek(size_t& track) = 0;
  virtual void drop() = 0;
};

}  // namespace quarn::platform::ffmpeg
