// Arbitrary bytes as a video of today's containers through the reading of
// the frame pipeline: the demuxer the last byte picks (as a file's ending
// would), the video stream's facts, its decoder and its first few pictures
// as upright blue-green-red rows (the libraries decode; this program's
// part is what it makes of them, the turning included).
#include <fcntl.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "memory_file.h"
#include "video_pictures.h"
#include "platform/media_reader.h"

using namespace quarn;

namespace {
constexpr int kFramesPerInput = 3;
constexpr platform::InputDemuxer kDemuxers[] = {
    platform::InputDemuxer::kMov,    platform::InputDemuxer::kMatroska, platform::InputDemuxer::kMpegTs,
    platform::InputDemuxer::kMpegPs, platform::InputDemuxer::kAsf,      platform::InputDemuxer::kFlv,
    platform::InputDemuxer::kOgg,
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const platform::InputDemuxer demuxer = kDemuxers[data[size - 1] % std::size(kDemuxers)];
  MemoryFile file(data, size - 1);
  if (!file.ok()) return 0;
  std::unique_ptr<platform::MediaReader> reader;
  const int fd = open(file.path().c_str(), O_RDONLY | O_CLOEXEC);
  if (platform::MediaReader::open(fd, demuxer, reader) != platform::AviOpenStatus::kOpened) return 0;
  readFewPictures(*reader, kFramesPerInput);
  return 0;
}
