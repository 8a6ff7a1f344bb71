// console_lines.h: the console lines every picture branch shares.
#pragma once

#include <cstdint>
#include <string>

#include "engine/conversion_result.h"
#include "engine/conversion_settings.h"
#include "platform/console.h"

namespace quarn::engine {

// The depth a picture branch shows before converting: the automatic depth
// of the picture's width, or the given depth with its sign. Only shown; the
// conversion takes and may round its own.
int32_t depthToShow(const ConversionSettings& settings, int32_t pictureWidth);

// The depth line, the colour optimisation line, the 3D+ line and the
// loading line (which has no line end: the result message follows it).
void printSettingsLines(platform::Console& console, int32_t depth, bool colourOptimisation, bool plus3D);

// The message of `result`; the one of kOutputExists shows `outputPath`.
// A value outside the table prints nothing.
void printConversionResult(platform::Console& console, ConversionResult result, const std::string& outputPath);

}  // namespace quarn::engine
