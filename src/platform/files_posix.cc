#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include "platform/files.h"

namespace quarn::platform {

bool isReadableRegularFile(const std::string& path) {
  if (path.empty() || path.size() > kMaxPathLength) return false;
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  const bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  close(fd);
  return ok;
}

bool pathExists(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0;
}

ReadStatus readWholeFile(const std::string& path, std::vector<uint8_t>& bytes) {
  bytes.clear();
  if (path.empty() || path.size() > kMaxPathLength) return ReadStatus::kCannotOpen;
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return ReadStatus::kCannotOpen;
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return ReadStatus::kCannotOpen;
  }
  try {
    bytes.resize(static_cast<size_t>(info.st_size));
  } catch (const std::bad_alloc&) {
    close(fd);
    return ReadStatus::kOutOfMemory;
  }
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t got = read(fd, bytes.data() + done, bytes.size() - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;  // the file shrank, or a read error: keep what was read
    done += static_cast<size_t>(got);
  }
  close(fd);
  bytes.resize(done);
  return ReadStatus::kRead;
}

}  // namespace quarn::platform
