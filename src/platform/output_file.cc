#include "platform/output_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <functional>

#include "platform/files.h"
#include "platform/process.h"

namespace quarn::platform {

OutputFile::~OutputFile() {
  if (file_ != nullptr) closeAndRemove();
}

CreateStatus OutputFile::create(const std::string& path) {
  if (file_ != nullptr) return CreateStatus::kFailed;
  if (path.empty() || path.size() > kMaxPathLength) return CreateStatus::kFailed;
  // O_EXCL: an existing file, a link (even a dangling one) or anything else
  // at the path is never opened, so nothing the user had is replaced. Open
  // for reading too: a writer that moves its index to the front reads back
  // what it wrote.
  int error = 0;
  int fd = -1;
  cleanup_ = registerUndo([&]() -> std::function<void()> {
    fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    error = errno;
    if (fd < 0) return {};
    return [path] { unlink(path.c_str()); };
  });
  if (fd < 0) return error == EEXIST ? CreateStatus::kExists : CreateStatus::kFailed;
  path_ = path;
  file_ = fdopen(fd, "wb");
  if (file_ == nullptr) {
    close(fd);
    undoNow(cleanup_);
    return CreateStatus::kFailed;
  }
  failed_ = false;
  return CreateStatus::kCreated;
}

bool OutputFile::write(const void* data, size_t size) {
  if (file_ == nullptr || failed_) return false;
  if (size != 0 && std::fwrite(data, 1, size, file_) != size) failed_ = true;
  return !failed_;
}

bool OutputFile::commit() {
  if (file_ == nullptr) return false;
  const bool flushed = std::fflush(file_) == 0 && std::ferror(file_) == 0;
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  if (failed_ || !flushed || !closed) {
    undoNow(cleanup_);
    return false;
  }
  unregisterCleanup(cleanup_);
  return true;
}

void OutputFile::discard() {
  if (file_ != nullptr) closeAndRemove();
}

void OutputFile::closeAndRemove() {
  std::fclose(file_);
  file_ = nullptr;
  undoNow(cleanup_);
}

}  // namespace quarn::platform
