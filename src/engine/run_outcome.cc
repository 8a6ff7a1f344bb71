#include "engine/run_outcome.h"

namespace quarn::engine {

RunOutcome outcomeOf(ConversionResult result) {
  switch (result) {
    case kConverted:
      return RunOutcome::kDone;
    case kOutputExists:
    case kCannotCreateOutput:
    case kWriteFailed:
      return RunOutcome::kOutputFailed;
    case kInputNotFound:
    case kOutOfMemory:
    case kNotBmp:
    case kUnsupportedHeader:
    case kUnsupportedBitDepth:
    case kCompressed:
    case kTooSmall:
      break;
  }
  return RunOutcome::kInputFailed;
}

}  // namespace quarn::engine
