// memory_file.h: fuzz input handed to a reader that opens files by path.
// The bytes sit in an anonymous memory file, reached through /proc, so the
// disk is never touched and every thread can open the file on its own.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

class MemoryFile {
 public:
  MemoryFile(const uint8_t* data, size_t size) {
    fd_ = memfd_create("fuzz_input", 0);
    if (fd_ >= 0 && size != 0 && write(fd_, data, size) != static_cast<ssize_t>(size)) {
      close(fd_);
      fd_ = -1;
    }
  }
  ~MemoryFile() {
    if (fd_ >= 0) close(fd_);
  }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  bool ok() const { return fd_ >= 0; }
  std::string path() const { return "/proc/self/fd/" + std::to_string(fd_); }

 private:
  int fd_ = -1;
};

// Decoded pictures up to this size are read whole; larger ones only cost time.
inline constexpr int64_t kMaxFuzzBitmapSize = int64_t{16} << 20;
