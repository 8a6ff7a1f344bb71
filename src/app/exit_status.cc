#include "app/exit_status.h"

namespace quarn::app {

int exitStatusFor(engine::RunOutcome outcome) {
  switch (outcome) {
    case engine::RunOutcome::kDone:
      return kExitDone;
    case engine::RunOutcome::kArgumentError:
    case engine::RunOutcome::kNotStarted:
    case engine::RunOutcome::kUnsupportedKind:
    case engine::RunOutcome::kInputFailed:
    case engine::RunOutcome::kOutputFailed:
      break;
  }
  return kExitFailed;  // also a value outside the enumeration: never report success by accident
}

}  // namespace quarn::app
