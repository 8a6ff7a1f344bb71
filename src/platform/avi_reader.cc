#include "platform/avi_reader.h"

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

}  // namespace quarn::platform
