#include "platform/temporary_file.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>

#include "platform/files.h"
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
  cleanup_ = registerUndo([&]() -> std::function<void()> {
    fd_ = mkostemps(pattern.data(), static_cast<int>(suffix.size()), O_CLOEXEC);
    if (fd_ < 0) return {};
    return [pattern] { unlink(pattern.c_str()); };
  });
  if (fd_ < 0) return false;
  path_ = pattern;
  return true;
}

void TemporaryFile::remove() {
  if (fd_ < 0) return;
  close(fd_);
  fd_ = -1;
  undoNow(cleanup_);
}

}  // namespace quarn::platform
