// byte_source.h: the bytes of an input read at any position (a file, or
// memory for tests and fuzzing), and output written in order. Reads are checked against the size: a
// range not wholly inside is refused, never read in part.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quarn::video {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t size() const = 0;
  // Exactly `length` bytes from `position`. False when that range is not
  // wholly inside the source or reading failed; `into` is then undefined.
  virtual bool read(uint64_t position, void* into, size_t length) = 0;

  // True when [position, position + length) lies inside the source.
  bool holds(uint64_t position, uint64_t length) const {
    return position <= size() && length <= size() - position;
  }
};

// Bytes owned by the caller, who keeps them alive as long as the source.
class MemorySource final : public ByteSource {
 public:
  MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint64_t size() const override { return size_; }
  bool read(uint64_t position, void* into, size_t length) override;

 private:
  const uint8_t* data_;
  size_t size_;
};

// A regular file opened read-only; its size is taken once, at opening.
// Small reads are served from a window of the file, so walking chunk
// headers costs few system calls.
class FileSource final : public ByteSource {
 public:
  // Null when `path` is not a regular file that can be read.
  static std::unique_ptr<FileSource> open(const std::string& path);
  ~FileSource() override;
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  uint64_t size() const override { return size_; }
  bool read(uint64_t position, void* into, size_t length) override;
  // The open file, for another reader of it; this source reads only at
  // positions of its own, never through the descriptor's offset.
  int descriptor() const { return fd_; }

 private:
  FileSource(int fd, uint64_t size) : fd_(fd), size_(size) {}
  bool readDirect(uint64_t position, uint8_t* into, size_t length);

  int fd_;
  uint64_t size_;
  std::vector<uint8_t> window_;
  uint64_t windowStart_ = 0;
};

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Appends; false once any write has failed (later writes do nothing).
  virtual bool write(const void* data, size_t length) = 0;
  // Everything written has reached its destination; false when any write
  // or this flush failed.
  virtual bool finish() = 0;
  virtual uint64_t size() const = 0;  // bytes written so far
};

class MemorySink final : public ByteSink {
 public:
  bool write(const void* data, size_t length) override;
  bool finish() override { return true; }
  uint64_t size() const override { return bytes.size(); }

  std::vector<uint8_t> bytes;
};

// Writes from offset 0 of an empty file through a descriptor the caller
// owns and keeps open (a temporary file of this run). What finish() has
// not written when the sink goes is dropped.
class FileSink final : public ByteSink {
 public:
  explicit FileSink(int fd) : fd_(fd) {}
  FileSink(const FileSink&) = delete;
  FileSink& operator=(const FileSink&) = delete;

  bool write(const void* data, size_t length) override;
  bool finish() override;
  uint64_t size() const override { return written_ + pending_.size(); }

 private:
  bool writeAt(uint64_t position, const uint8_t* data, size_t length);

  int fd_;
  uint64_t written_ = 0;  // bytes already on the file
  std::vector<uint8_t> pending_;
  bool failed_ = false;
};

}  // namespace quarn::video
