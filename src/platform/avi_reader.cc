#include "platform/avi_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/video_limits.h"

namespace quarn::platform {

const char* aviOpenFailureText(AviOpenStatus status) {
  switch (status) {
    case AviOpenStatus::kOpened:
      return "";
    case AviOpenStatus::kBadFormat:
      return " Veroqtno faila e povreden ili e ot nepoddurjan format!";
    case AviOpenStatus::kOutOfMemory:
      return " Nedostatacho pamet!";
    case AviOpenStatus::kFileRead:
      return " Diskova greshka pri cheteneto!";
    case AviOpenStatus::kFileOpen:
      return " Diskova greshka pri otvarqneto!";
  }
  return "";
}

bool takeRegularFile(int fd, uint64_t& size) {
  if (fd < 0) return false;
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return false;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  size = static_cast<uint64_t>(info.st_size);
  return true;
}

}  // namespace quarn::platform
