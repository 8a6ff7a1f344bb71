// Builds for processors without SSE2 have only the plain row loops.
#include "engine/anaglyph_kernels.h"

namespace quarn::engine::kernels {

const Kernels* sse2Kernels() { return nullptr; }

}  // namespace quarn::engine::kernels
