#include "platform/output_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

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
  // at the path is never opened, so nothing the user had is replaced.
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return errno == EEXIST ? CreateStatus::kExists : CreateStatus::kFailed;
  file_ = fdopen(fd, "wb");
  if (file_ == nullptr) {
    close(fd);
    unlink(path.c_str());
    return CreateStatus::kFailed;
  }
  path_ = path;
  failed_ = false;
  cleanup_ = registerCleanup([this] {
    if (file_ != nullptr) {
      std::fclose(file_);
      file_ = nullptr;
      unlink(path_.c_str());
    }
  });
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
  unregisterCleanup(cleanup_);
  if (failed_ || !flushed || !closed) {
    unlink(path_.c_str());
    return false;
  }
  return true;
}

void OutputFile::discard() {
  if (file_ != nullptr) closeAndRemove();
}

void OutputFile::closeAndRemove() {
  std::fclose(file_);
  file_ = nullptr;
  unregisterCleanup(cleanup_);
  unlink(path_.c_str());
}

}  // namespace quarn::platform
