// tiff_branch.h: the run of a TIFF picture: decode, convert, save as TIFF.
#pragma once

#include <string>

#include "engine/conversion_settings.h"
#include "engine/run_outcome.h"
#include "platform/console.h"

namespace quarn::codecs {

// Prints every step and failure on `console` and returns how the run
// ended. Nothing at `outputPath` is ever replaced.
engine::RunOutcome runTiffBranch(const std::string& inputPath, const std::string& outputPath,
                                 const engine::ConversionSettings& settings, platform::Console& console);

}  // namespace quarn::codecs
