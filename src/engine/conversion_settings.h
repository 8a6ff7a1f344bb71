// conversion_settings.h: what the user asked of a conversion, as the engine
// reads it.
#pragma once

#include <cstdint>

namespace quarn::engine {

// Numeric variant of the colour optimisation, fixed for the run by the
// processor features: kSse2 when SSE2 is usable, else kMmx3DNow when MMX
// and 3DNow! are, else kPlain.
enum class OptimisationVariant { kPlain, kSse2, kMmx3DNow };

OptimisationVariant chooseVariant(bool useSse2, bool useMmx3DNow);

struct ConversionSettings {
  bool autoDepth = false;      // depth chosen from the picture width
  int32_t depth = 0;           // magnitude, never negative
  bool negativeDepth = false;  // the effective depth is minus `depth`
  bool plus3D = false;
  bool colourOptimisation = false;
  OptimisationVariant variant = OptimisationVariant::kPlain;
};

}  // namespace quarn::engine
