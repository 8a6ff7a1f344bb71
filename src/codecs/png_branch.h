// png_branch.h: the PNG branch of the run: decode, convert in memory, write
// the anaglyph as a 32-bit BMP file.
#pragma once

#include <string>

#include "engine/conversion_settings.h"
#include "engine/run_outcome.h"
#include "platform/console.h"

namespace quarn::codecs {

// Prints its steps and outcome on `console` and returns the outcome. Never
// replaces anything at `outputPath`; a failed write leaves no file behind.
engine::RunOutcome runPngBranch(const std::string& inputPath, const std::string& outputPath,
                                const engine::ConversionSettings& settings, platform::Console& console);

}  // namespace quarn::codecs
