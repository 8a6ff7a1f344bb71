#include "engine/console_lines.h"

#include "engine/auto_depth.h"

namespace quarn::engine {

int32_t depthToShow(const ConversionSettings& settings, int32_t pictureWidth) {
  if (settings.autoDepth) return autoDepthForImage(pictureWidth);
  return settings.negativeDepth ? -settings.depth : settings.depth;
}

void printSettingsLines(platform::Console& console, int32_t depth, bool colourOptimisation, bool plus3D) {
  console.print(" Izpolzvana dulbochina: %d\n", depth);
  console.print(" Izpolzvane na cvetova optimizaciq: %s\n", colourOptimisation ? "da" : "ne");
  console.print(" Izpolzvane na 3D+: %s\n", plus3D ? "da" : "ne");
  console.write(" Zarejdane & konvertirane .........");
}

void printConversionResult(platform::Console& console, ConversionResult result, const std::string& outputPath) {
  const char* message = conversionMessage(result);
  if (message == nullptr) return;
  if (result == kOutputExists) {
    console.print(message, outputPath.c_str());
  } else {
    console.write(message);
  }
}

}  // namespace quarn::engine
