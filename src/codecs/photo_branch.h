// photo_branch.h: the runs of the pictures phones and the web make: HEIF
// (HEVC in .heic and .heif, AV1 in .avif) and WebP. Each is decoded,
// converted, and saved as a JPEG or a BMP file, as a JPEG input is.
#pragma once

#include <string>

#include "engine/conversion_settings.h"
#include "engine/run_outcome.h"
#include "platform/console.h"

namespace quarn::codecs {

// Print every step and failure on `console` and return how the run ended.
// `kind` names the file's kind in the decoding line: "HEIC", "HEIF" or
// "AVIF". A JPEG result holds no alpha; a BMP result of a picture with
// alpha is a 32-bit one that keeps it, as a PNG's. The library's own text
// of a failure goes to standard error. Nothing at `outputPath` is ever
// replaced.
engine::RunOutcome runHeifBranch(const char* kind, const std::string& inputPath, const std::string& outputPath,
                                 bool jpegOutput, const engine::ConversionSettings& settings,
                                 platform::Console& console);
engine::RunOutcome runWebpBranch(const std::string& inputPath, const std::string& outputPath, bool jpegOutput,
                                 const engine::ConversionSettings& settings, platform::Console& console);

}  // namespace quarn::codecs
