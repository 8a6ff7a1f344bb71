// ffmpeg_support.h: what the FFmpeg adapters of this layer share: owning
// handles, AVIO over this program's own files, and the library's log. Only
// ffmpeg_*.cc include it.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/video_reader.h"

namespace quarn::platform::ffmpeg {

struct CodecContextFree {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFree {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct ScaleFree {
  void operator()(SwsContext* s) const { sws_freeContext(s); }
};
struct IoContextFree {
  void operator()(AVIOContext* io) const;  // frees the buffer too
};
using CodecContext = std::unique_ptr<AVCodecContext, CodecContextFree>;
using Frame = std::unique_ptr<AVFrame, FrameFree>;
using Packet = std::unique_ptr<AVPacket, PacketFree>;
using Scaler = std::unique_ptr<SwsContext, ScaleFree>;
using IoContext = std::unique_ptr<AVIOContext, IoContextFree>;

// The library's messages are its own diagnostics, not the program's text:
// they go nowhere unless QUARN_FFMPEG_LOG is set in the environment (then
// to standard error). Called by every adapter before it uses the library.
void quietLibraryLog();

// How many warnings and errors the library has logged so far.
int libraryComplaints();

// Reads a file through a descriptor this program opened (so no name is
// ever parsed as a protocol), at a position of its own: readers of the same
// open file (dup()) cannot disturb each other. Read errors are remembered:
// readFailed().
class FileReader {
 public:
  explicit FileReader(int fd, std::vector<ByteOverlay> overlays = {});
  ~FileReader();
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;
  AVIOContext* io() { return io_.get(); }
  bool readFailed() const { return readFailed_; }

 private:
  static int read(void* self, uint8_t* buffer, int size);
  static int64_t seek(void* self, int64_t offset, int whence);
  int fd_;
  std::vector<ByteOverlay> overlays_;
  int64_t at_ = 0;
  bool readFailed_ = false;
  IoContext io_;
};

// Reads bytes held in memory.
class MemoryReader {
 public:
  MemoryReader(const uint8_t* data, size_t size);
  MemoryReader(const MemoryReader&) = delete;
  MemoryReader& operator=(const MemoryReader&) = delete;
  AVIOContext* io() { return io_.get(); }

 private:
  static int read(void* self, uint8_t* buffer, int size);
  static int64_t seek(void* self, int64_t offset, int whence);
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
  IoContext io_;
};

// Writes and seeks bytes held in memory, as a file would take them.
class MemoryWriter {
 public:
  MemoryWriter();
  MemoryWriter(const MemoryWriter&) = delete;
  MemoryWriter& operator=(const MemoryWriter&) = delete;
  AVIOContext* io() { return io_.get(); }
  // What was written, after avio_flush(io()).
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  static int write(void* self, uint8_t* buffer, int size);
  static int64_t seek(void* self, int64_t offset, int whence);
  std::vector<uint8_t> bytes_;
  size_t at_ = 0;
  IoContext io_;
};

// Writes and seeks a stdio stream of a file this run created, in large
// blocks. Write and seek errors are remembered: failed().
class FileWriter {
 public:
  explicit FileWriter(std::FILE* file);
  FileWriter(const FileWriter&) = delete;
  FileWriter& operator=(const FileWriter&) = delete;
  AVIOContext* io() { return io_.get(); }
  bool failed() const { return failed_ || (io_ && io_->error < 0); }

 private:
  static int write(void* self, uint8_t* buffer, int size);
  static int64_t seek(void* self, int64_t offset, int whence);
  std::FILE* file_;
  bool failed_ = false;
  IoContext io_;
};

// A decoder for `stream` working with the library's threads, its packets'
// times in the stream's time base; empty when none can read it.
CodecContext openStreamDecoder(const AVStream* stream);

// How many pictures FFmpeg decodes from a file held in memory, read with
// the demuxer named `demuxerName`, without a single complaint from the
// library; -1 when it complains or fails.
int cleanlyDecodedPictures(const uint8_t* bytes, size_t size, const char* demuxerName);

}  // namespace quarn::platform::ffmpeg
