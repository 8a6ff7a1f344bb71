// ffmpeg_media_input.h: what the writer of today's containers needs of the
// input beside its pictures: the demuxed streams (their parameters and
// tags) and their packets in file order, from a second demuxer over the
// same open file. Only ffmpeg_*.cc include it.
#pragma once

#include <memory>

#include "platform/ffmpeg_pictures.h"
#include "platform/ffmpeg_support.h"

namespace quarn::platform::ffmpeg {

struct FormatClose {
  void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};
using InputFormat = std::unique_ptr<AVFormatContext, FormatClose>;

// Packets of the input in file order, every stream's.
class PacketSource {
 public:
  virtual ~PacketSource() = default;
  // The next packet (the caller unreferences it); false at the end or when
  // the file cannot be read further.
  virtual bool next(AVPacket* packet) = 0;
};

class MediaInput {
 public:
  virtual ~MediaInput() = default;
  // The demuxer the pictures come through: its streams, tags and times.
  virtual const AVFormatContext* demuxer() const = 0;
  virtual int videoIndex() const = 0;
  // The colours the pictures are decoded with, as the stream tells them.
  virtual Colours colours() const = 0;
  // Whether the pictures are turned a quarter to stand upright.
  virtual bool turnedQuarter() const = 0;
  // A second demuxer over the same file, from its start; nullptr when it
  // cannot be had. Its streams are the first one's, index for index.
  virtual std::unique_ptr<PacketSource> openPacketSource() = 0;
};

}  // namespace quarn::platform::ffmpeg
