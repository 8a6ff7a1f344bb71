// bmp_file.h: the BMP branch: one BMP file in, its anaglyph as a new BMP
// file beside it.
#pragma once

#include <string>

#include "engine/conversion_result.h"
#include "engine/conversion_settings.h"
#include "platform/console.h"

namespace quarn::engine {

// Loads `inputPath` whole, checks it, converts it and writes `outputPath`.
// Keeps the given depth as it is (limited to width - 1), keeps every row,
// and 3D+ (on pictures of more than 5 rows) drops exactly 3. Prints the
// depth, colour optimisation, 3D+ and loading lines, and nothing else; the
// caller prints the message of the result. Codes -1 to -6 and -10 come
// before any line, -7 to -9 after all four. The input is never changed and
// nothing is ever written over an existing file; after -9 no output stays.
ConversionResult convertBmpFile(const std::string& inputPath, const std::string& outputPath,
                                const ConversionSettings& settings, platform::Console& console);

}  // namespace quarn::engine
