// avi_audio.h: the first sound stream of an AVI file, read directly as
// RIFF: its format block (whose length tells its kind, which the video
// library does not say) and the bytes of its chunks.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "video/riff_reader.h"

namespace quarn::video {

enum class AviAudioStatus {
  kFound,
  kNotAvi,         // no "RIFF" "AVI " with a header list
  kNoAudioStream,  // no stream list whose header's type is "auds"
  kNoFormat,       // that list has no "strf" chunk wholly inside it and the file
};

struct AviAudioStream {
  AviAudioStatus status = AviAudioStatus::kNotAvi;
  uint32_t number = 0;          // position of its list among the stream lists, from 0
  uint32_t formatLength = 0;    // of the "strf" chunk: 16 PCM, 18 WAVEFORMATEX, 30 MP3
  std::vector<uint8_t> format;  // the "strf" data, when no longer than kMaxFormatRead
};
inline constexpr uint32_t kMaxFormatRead = 1024;

AviAudioStream findFirstAudioStream(RiffReader& reader);

// The first video stream's rate as its header gives it: frames per second
// = rate / scale. nullopt without such a stream or header.
struct AviStreamRate {
  uint32_t rate = 0;
  uint32_t scale = 0;
};
std::optional<AviStreamRate> firstVideoStreamRate(RiffReader& reader);

// Gives `take` the data of each chunk of stream `number` whose id is its
// two digits and "wb", in file order: in the "movi" list, in its rec
// lists, and in the "AVIX" RIFFs (OpenDML) after the first. A chunk's
// data is cut where its list or the file ends. `take` returns false to
// stop. Streams from 100 on have no such chunks.
void forEachAudioChunk(RiffReader& reader, uint32_t number,
                       const std::function<bool(uint64_t position, uint64_t length)>& take);

}  // namespace quarn::video
