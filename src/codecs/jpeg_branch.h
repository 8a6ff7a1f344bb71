// jpeg_branch.h: the run of a JPEG picture: decode, convert, save as JPEG
// or as BMP.
#pragma once

#include <string>

#include "engine/conversion_settings.h"
#include "engine/run_outcome.h"
#include "platform/console.h"

namespace quarn::codecs {

// Prints every step and failure on `console` and returns how the run
// ended. Nothing at `outputPath` is ever replaced. A fatal error of the JPEG library ends the process (see
// jpeg_codec.h).
engine::RunOutcome runJpegBranch(const std::string& inputPath, const std::string& outputPath, bool jpegOutput,
                                 const engine::ConversionSettings& settings, platform::Console& console);

}  // namespace quarn::codecs
