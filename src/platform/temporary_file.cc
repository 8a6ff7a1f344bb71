#include "platform/temporary_file.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/files.h"
#include "platform/interruption.h"
#include "platform/process.h"

namespace quarn::platform {

std::string temporaryDirectory() {
  const char* dir = std::getenv("TMPDIR");
  return dir != nullptr && *dir != '\0' ? std::string(dir) : std::string("/tmp");
}

TemporaryFile::~TemporaryFile() { remove(); }

bool TemporaryFile::create(std::string_view suffix) {
  if (fd_ >= 0) return false;
  std::string pattern = temporaryDirectory();
  if (pattern.back() != '/') pattern.push_back('/');
  pattern.append("quarn-XXXXXX").append(suffix);
  if (pattern.size() > kMaxPathLength) return false;
  // mkostemps opens with O_EXCL under a fresh random name: nobody's file.
  fd_ = createRegisteredFile(
      [&](std::string& registered) {
        const int fd = mkostemps(pattern.data(), static_cast<int>(suffix.size()), O_CLOEXEC);
        registered = pattern;
        return fd;
      },
      interruptHandle_);
  if (fd_ < 0) return false;
  path_ = pattern;
  cleanup_ = registerCleanup([this] { remove(); });
  return true;
}

void TemporaryFile::remove() {
  if (fd_ < 0) return;
  close(fd_);
  fd_ = -1;
  unlink(path_.c_str());
  unregisterFile(interruptHandle_);
  unregisterCleanup(cleanup_);
}

}  // namespace quarn::platform
