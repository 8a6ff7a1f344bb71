// tiff_branch.h: the run of a TIFF picture: decode, convert, save as TIFF.
#pragma once

#include <string>

#include "engine/conversion_settings.h"
#include "platform/console.h"

namespace quarn::codecs {

// Prints every step and failure on `console`. Nothing at `outputPath` is
// ever replaced.
void runTiffBranch(const std::string& inputPath, const std::string& outputPath,
                   const engine::ConversionSettings& settings, platform::Console& console);

}  // namespace quarn::codecs
