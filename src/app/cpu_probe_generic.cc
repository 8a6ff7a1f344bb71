// Builds for processors other than x86 know none of the extensions.
#include "app/cpu_features.h"

namespace quarn::app {

CpuIdentification identifyCpu() { return {}; }

int probeFeature(uint32_t feature) {
  switch (feature) {
    case FeatureMmx:
    case FeatureSse:
    case FeatureSse2:
    case Feature3DNow:
      return 0;
    default:
      return 1;
  }
}

bool runtimeFloatingPointIsSse2() { return false; }

}  // namespace quarn::app
