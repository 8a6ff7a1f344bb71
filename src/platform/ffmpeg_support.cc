#include "platform/ffmpeg_support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

void toStandardError(void* object, int level, const char* format, va_list args) {
  if (level > av_log_get_level()) return;
  (void)object;
  std::vfprintf(stderr, format, args);
}

void toNowhere(void*, int, const char*, va_list) {}

}  // namespace

void IoContextFree::operator()(AVIOContext* io) const {
  if (io == nullptr) return;
  av_freep(&io->buffer);
  avio_context_free(&io);
}

void quietLibraryLog() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (const char* level = std::getenv("QUARN_FFMPEG_LOG"); level != nullptr && *level != '\0') {
      av_log_set_level(AV_LOG_VERBOSE);
      av_log_set_callback(toStandardError);
    } else {
      av_log_set_level(AV_LOG_QUIET);
      av_log_set_callback(toNowhere);
    }
  });
}

FileReader::FileReader(int fd) : fd_(fd) {
  auto* buffer = static_cast<uint8_t*>(av_malloc(kReadBlock));
  if (buffer == nullptr) return;
  io_.reset(avio_alloc_context(buffer, kReadBlock, 0, this, &FileReader::read, nullptr, &FileReader::seek));
  if (!io_) av_free(buffer);
}

FileReader::~FileReader() = default;

int FileReader::read(void* self, uint8_t* buffer, int size) {
  auto* reader = static_cast<FileReader*>(self);
  while (true) {
    const ssize_t n = ::read(reader->fd_, buffer, static_cast<size_t>(size));
    if (n > 0) return static_cast<int>(n);
    if (n == 0) return AVERROR_EOF;
    if (errno == EINTR) continue;
    reader->readFailed_ = true;
    return AVERROR(errno);
  }
}

int64_t FileReader::seek(void* self, int64_t offset, int whence) {
  auto* reader = static_cast<FileReader*>(self);
  if (whence == AVSEEK_SIZE) {
    struct stat info {};
    return fstat(reader->fd_, &info) == 0 ? static_cast<int64_t>(info.st_size) : AVERROR(errno);
  }
  const off_t at = lseek(reader->fd_, offset, whence & ~AVSEEK_FORCE);
  return at < 0 ? AVERROR(errno) : static_cast<int64_t>(at);
}

FileWriter::FileWriter(std::FILE* file) : file_(file) {
  auto* buffer = static_cast<uint8_t*>(av_malloc(kWriteBlock));
  if (buffer == nullptr) return;
  io_.reset(avio_alloc_context(buffer, kWriteBlock, 1, this, nullptr, &FileWriter::write, &FileWriter::seek));
  if (!io_) av_free(buffer);
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

}  // namespace quarn::platform::ffmpeg
