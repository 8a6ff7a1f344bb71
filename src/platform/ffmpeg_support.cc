#include "platform/ffmpeg_support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdarg>
#include <cstdlib>
#include <mutex>

extern "C" {
#include <libavutil/log.h>
#include <libavutil/mem.h>
}

namespace quarn::platform::ffmpeg {
namespace {

// Large blocks: an uncompressed 1080p video is written at 6 MB per frame.
constexpr int kWriteBlock = 4 << 20;
constexpr int kReadBlock = 1 << 20;

std::atomic<int> complaints{0};

void toStandardError(void* object, int level, const char* format, va_list args) {
  if (level <= AV_LOG_WARNING) ++complaints;
  if (level > av_log_get_level()) return;
  (void)object;
  std::vfprintf(stderr, format, args);
}

void toNowhere(void*, int level, const char*, va_list) {
  if (level <= AV_LOG_WARNING) ++complaints;
}

using ReadPacket = int (*)(void*, uint8_t*, int);
using WritePacket = int (*)(void*, uint8_t*, int);
using Seek = int64_t (*)(void*, int64_t, int);

// An AVIO context of `block` bytes over `self`'s callbacks; empty when the
// memory cannot be had.
IoContext makeIo(void* self, int block, ReadPacket read, WritePacket write, Seek seek) {
  auto* buffer = static_cast<uint8_t*>(av_malloc(static_cast<size_t>(block)));
  if (buffer == nullptr) return {};
  IoContext io(avio_alloc_context(buffer, block, write != nullptr ? 1 : 0, self, read, write, seek));
  if (!io) av_free(buffer);
  return io;
}

}  // namespace

void IoContextFree::operator()(AVIOContext* io) const {
  if (io == nullptr) return;
  av_freep(&io->buffer);
  avio_context_free(&io);
}

int libraryComplaints() { return complaints.load(); }

void quietLibraryLog() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (const char* level = std::getenv("QUARN_FFMPEG_LOG"); level != nullptr && *level != '\0') {
      av_log_set_level(std::strcmp(level, "warning") == 0 ? AV_LOG_WARNING : AV_LOG_VERBOSE);
      av_log_set_callback(toStandardError);
    } else {
      av_log_set_level(AV_LOG_WARNING);
      av_log_set_callback(toNowhere);
    }
  });
}

namespace {

// The position a seek in `size` bytes goes to, or a negative error; no
// position past `limit`.
int64_t seekTarget(int64_t at, int64_t size, int64_t offset, int whence, int64_t limit) {
  int64_t base = 0;
  switch (whence & ~AVSEEK_FORCE) {
    case SEEK_SET:
      break;
    case SEEK_CUR:
      base = at;
      break;
    case SEEK_END:
      base = size;
      break;
    default:
      return AVERROR(EINVAL);
  }
  if (offset > limit - base || base + offset < 0) return AVERROR(EINVAL);
  return base + offset;
}

}  // namespace

FileReader::FileReader(int fd, std::vector<ByteOverlay> overlays) : fd_(fd), overlays_(std::move(overlays)) {
  io_ = makeIo(this, kReadBlock, &FileReader::read, nullptr, &FileReader::seek);
}

FileReader::~FileReader() = default;

int FileReader::read(void* self, uint8_t* buffer, int size) {
  auto* reader = static_cast<FileReader*>(self);
  while (true) {
    const ssize_t n = ::pread(reader->fd_, buffer, static_cast<size_t>(size), static_cast<off_t>(reader->at_));
    if (n > 0) {
      for (const ByteOverlay& overlay : reader->overlays_) {
        for (size_t i = 0; i < overlay.bytes.size(); ++i) {
          const uint64_t at = overlay.position + i;
          if (at >= uint64_t(reader->at_) && at < uint64_t(reader->at_ + n)) buffer[at - reader->at_] = overlay.bytes[i];
        }
      }
      reader->at_ += n;
      return static_cast<int>(n);
    }
    if (n == 0) return AVERROR_EOF;
    if (errno == EINTR) continue;
    reader->readFailed_ = true;
    return AVERROR(errno);
  }
}

int64_t FileReader::seek(void* self, int64_t offset, int whence) {
  auto* reader = static_cast<FileReader*>(self);
  struct stat info {};
  if (fstat(reader->fd_, &info) != 0) return AVERROR(errno);
  const auto size = static_cast<int64_t>(info.st_size);
  if (whence == AVSEEK_SIZE) return size;
  // Any position at or after the start, as lseek allows; reads past the
  // end find the end.
  const int64_t to = seekTarget(reader->at_, size, offset, whence, INT64_MAX);
  if (to >= 0) reader->at_ = to;
  return to;
}

MemoryReader::MemoryReader(const uint8_t* data, size_t size) : data_(data), size_(size) {
  io_ = makeIo(this, kReadBlock, &MemoryReader::read, nullptr, &MemoryReader::seek);
}

int MemoryReader::read(void* self, uint8_t* buffer, int size) {
  auto* reader = static_cast<MemoryReader*>(self);
  const size_t n = std::min(static_cast<size_t>(size), reader->size_ - reader->at_);
  if (n == 0) return AVERROR_EOF;
  std::memcpy(buffer, reader->data_ + reader->at_, n);
  reader->at_ += n;
  return static_cast<int>(n);
}


int64_t MemoryReader::seek(void* self, int64_t offset, int whence) {
  auto* reader = static_cast<MemoryReader*>(self);
  const auto size = static_cast<int64_t>(reader->size_);
  if (whence == AVSEEK_SIZE) return size;
  const int64_t to = seekTarget(static_cast<int64_t>(reader->at_), size, offset, whence, size);
  if (to >= 0) reader->at_ = static_cast<size_t>(to);
  return to;
}

MemoryWriter::MemoryWriter() {
  io_ = makeIo(this, kReadBlock, nullptr, &MemoryWriter::write, &MemoryWriter::seek);
}

int MemoryWriter::write(void* self, uint8_t* buffer, int size) {
  auto* writer = static_cast<MemoryWriter*>(self);
  const size_t end = writer->at_ + static_cast<size_t>(size);
  if (end > writer->bytes_.size()) writer->bytes_.resize(end);
  std::memcpy(writer->bytes_.data() + writer->at_, buffer, static_cast<size_t>(size));
  writer->at_ = end;
  return size;
}

int64_t MemoryWriter::seek(void* self, int64_t offset, int whence) {
  auto* writer = static_cast<MemoryWriter*>(self);
  const auto size = static_cast<int64_t>(writer->bytes_.size());
  if (whence == AVSEEK_SIZE) return size;
  const int64_t to = seekTarget(static_cast<int64_t>(writer->at_), size, offset, whence, size);
  if (to >= 0) writer->at_ = static_cast<size_t>(to);
  return to;
}

FileWriter::FileWriter(std::FILE* file) : file_(file) {
  io_ = makeIo(this, kWriteBlock, nullptr, &FileWriter::write, &FileWriter::seek);
}

int FileWriter::write(void* self, uint8_t* buffer, int size) {
  auto* writer = static_cast<FileWriter*>(self);
  if (writer->failed_) return AVERROR(EIO);
  if (std::fwrite(buffer, 1, static_cast<size_t>(size), writer->file_) != static_cast<size_t>(size)) {
    writer->failed_ = true;
    return AVERROR(EIO);
  }
  return size;
}

int64_t FileWriter::seek(void* self, int64_t offset, int whence) {
  auto* writer = static_cast<FileWriter*>(self);
  if (whence == AVSEEK_SIZE) return AVERROR(ENOSYS);
  if (fseeko(writer->file_, static_cast<off_t>(offset), whence & ~AVSEEK_FORCE) != 0) {
    writer->failed_ = true;
    return AVERROR(EIO);
  }
  return static_cast<int64_t>(ftello(writer->file_));
}

CodecContext openStreamDecoder(const AVStream* stream) {
  const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
  if (codec == nullptr) return {};
  CodecContext decoder(avcodec_alloc_context3(codec));
  if (!decoder || avcodec_parameters_to_context(decoder.get(), stream->codecpar) < 0) return {};
  decoder->thread_count = 0;
  decoder->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
  decoder->pkt_timebase = stream->time_base;
  if (avcodec_open2(decoder.get(), codec, nullptr) < 0) return {};
  return decoder;
}

int cleanlyDecodedPictures(const uint8_t* bytes, size_t size, const char* demuxerName) {
  MemoryReader memory(bytes, size);
  AVFormatContext* format = avformat_alloc_context();
  if (memory.io() == nullptr || format == nullptr) {
    avformat_free_context(format);
    return -1;
  }
  format->pb = memory.io();
  format->flags |= AVFMT_FLAG_CUSTOM_IO;
  const int complaintsBefore = libraryComplaints();
  if (avformat_open_input(&format, nullptr, av_find_input_format(demuxerName), nullptr) < 0) return -1;
  std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> owned(
      format, [](AVFormatContext* f) { avformat_close_input(&f); });
  const int stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (stream < 0) return -1;
  const AVCodec* codec = avcodec_find_decoder(format->streams[stream]->codecpar->codec_id);
  CodecContext decoder(codec != nullptr ? avcodec_alloc_context3(codec) : nullptr);
  if (!decoder || avcodec_parameters_to_context(decoder.get(), format->streams[stream]->codecpar) < 0 ||
      avcodec_open2(decoder.get(), codec, nullptr) < 0) {
    return -1;
  }
  Packet packet(av_packet_alloc());
  Frame picture(av_frame_alloc());
  if (!packet || !picture) return -1;
  int pictures = 0;
  bool more = true;
  while (more) {
    more = av_read_frame(format, packet.get()) >= 0;
    if (more && packet->stream_index != stream) {
      av_packet_unref(packet.get());
      continue;
    }
    const int sent = avcodec_send_packet(decoder.get(), more ? packet.get() : nullptr);
    av_packet_unref(packet.get());
    if (sent < 0) return -1;
    int received = 0;
    while ((received = avcodec_receive_frame(decoder.get(), picture.get())) == 0) ++pictures;
    if (received != AVERROR(EAGAIN) && received != AVERROR_EOF) return -1;
  }
  return libraryComplaints() == complaintsBefore ? pictures : -1;
}

}  // namespace quarn::platform::ffmpeg
