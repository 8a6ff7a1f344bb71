// avi_sound_copy.h: sound streams of an AVI file carried into a result as
// they are, packet for packet, each packet with its own time. The file is
// only read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/video_reader.h"

namespace quarn::platform {

// Whether an AVI result can hold a sound stream of this format tag as it is
// (FFmpeg's AVI tables know its codec).
bool canCopySound(uint16_t formatTag);

class SoundCopy {
 public:
  virtual ~SoundCopy() = default;

  struct Track {
    uint32_t number = 0;   // its place among the file's streams, from 0
    uint32_t sampleSize = 0;  // its header's: 0 when each chunk is a packet with a time of its own
  };

  // The sound streams `tracks` of the AVI file open at `fd`, which the copy
  // owns from now on (closed on failure too); it reads at positions of its
  // own. nullptr when the file or one of the streams cannot be read so.
  static std::unique_ptr<SoundCopy> open(int fd, const std::vector<Track>& tracks,
                                         const std::vector<ByteOverlay>& overlays = {});

  virtual size_t tracks() const = 0;
  // The name FFmpeg gives the track's codec ("ac3").
  virtual std::string codecName(size_t track) const = 0;
};

}  // namespace quarn::platform
