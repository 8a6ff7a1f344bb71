#include "engine/conversion_settings.h"

namespace quarn::engine {

OptimisationVariant chooseVariant(bool useSse2, bool useMmx3DNow) {
  if (useSse2) return OptimisationVariant::kSse2;
  if (useMmx3DNow) return OptimisationVariant::kMmx3DNow;
  return OptimisationVariant::kPlain;
}

}  // namespace quarn::engine
