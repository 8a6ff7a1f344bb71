#include "video/byte_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace quarn::video {
namespace {

constexpr size_t kWindowSize = size_t{64} << 10;
constexpr size_t kSinkBuffer = size_t{1} << 20;

// Repeats a pread or pwrite until all `length` bytes are through. False on
// an error, a full disk, or a file that ends first.
template <typename Transfer, typename Byte>
bool transferAll(Transfer transfer, Byte* bytes, uint64_t position, size_t length) {
  while (length != 0) {
    const ssize_t done = transfer(bytes, length, static_cast<off_t>(position));
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return false;
    bytes += done;
    position += static_cast<uint64_t>(done);
    length -= static_cast<size_t>(done);
  }
  return true;
}

}  // namespace

bool MemorySource::read(uint64_t position, void* into, size_t length) {
  if (!holds(position, length)) return false;
  if (length != 0) std::memcpy(into, data_ + position, length);
  return true;
}

std::unique_ptr<FileSource> FileSource::open(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return nullptr;
  }
  return std::unique_ptr<FileSource>(new FileSource(fd, static_cast<uint64_t>(info.st_size)));
}

FileSource::~FileSource() { close(fd_); }

bool FileSource::readDirect(uint64_t position, uint8_t* into, size_t length) {
  return transferAll([this](uint8_t* p, size_t n, off_t at) { return pread(fd_, p, n, at); }, into, position, length);
}

bool FileSource::read(uint64_t position, void* into, size_t length) {
  if (!holds(position, length)) return false;
  uint8_t* out = static_cast<uint8_t*>(into);
  if (length > kWindowSize / 2) return readDirect(position, out, length);
  const bool inWindow = position >= windowStart_ && position - windowStart_ <= window_.size() &&
                        length <= window_.size() - (position - windowStart_);
  if (!inWindow) {
    window_.resize(static_cast<size_t>(std::min<uint64_t>(kWindowSize, size_ - position)));
    windowStart_ = position;
    if (!readDirect(position, window_.data(), window_.size())) {
      window_.clear();
      return false;
    }
  }
  if (length != 0) std::memcpy(out, window_.data() + (position - windowStart_), length);
  return true;
}

bool MemorySink::write(const void* data, size_t length) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  bytes.insert(bytes.end(), p, p + length);
  return true;
}

bool FileSink::writeAt(uint64_t position, const uint8_t* data, size_t length) {
  return transferAll([this](const uint8_t* p, size_t n, off_t at) { return pwrite(fd_, p, n, at); }, data, position,
                     length);
}

bool FileSink::write(const void* data, size_t length) {
  if (failed_) return false;
  const uint8_t* p = static_cast<const uint8_t*>(data);
  if (pending_.size() + length > kSinkBuffer) {
    if (!finish()) return false;
    if (length >= kSinkBuffer) {
      failed_ = !writeAt(written_, p, length);
      if (!failed_) written_ += length;
      return !failed_;
    }
  }
  pending_.insert(pending_.end(), p, p + length);
  return true;
}

bool FileSink::finish() {
  if (failed_) return false;
  if (!pending_.empty()) {
    failed_ = !writeAt(written_, pending_.data(), pending_.size());
    if (!failed_) written_ += pending_.size();
    pending_.clear();
  }
  return !failed_;
}

}  // namespace quarn::video
