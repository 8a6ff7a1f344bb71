#include "engine/bmp_file.h"

#include "engine/anaglyph.h"
#include "engine/auto_depth.h"
#include "engine/bitmap_check.h"
#include "engine/bitmap_file.h"
#include "engine/console_lines.h"
#include "platform/files.h"

namespace quarn::engine {

ConversionResult convertBmpFile(const std::string& inputPath, const std::string& outputPath,
                                const ConversionSettings& settings, platform::Console& console) {
  BitmapBuffer buffer;
  switch (platform::readWholeFile(inputPath, buffer)) {
    case platform::ReadStatus::kRead:
      break;
    case platform::ReadStatus::kCannotOpen:
      return kInputNotFound;
    case platform::ReadStatus::kOutOfMemory:
      return kOutOfMemory;
  }
  ConversionState s;
  if (const ConversionResult checked = checkBitmapHeader(buffer, s); checked != kConverted) return checked;

  int32_t d = settings.autoDepth ? autoDepthForImage(s.width) : settings.depth;
  if (d >= s.width) d = s.width - 1;
  s.effectiveDepth = d;
  console.print(" Izpolzvana dulbochina: %d\n", settings.negativeDepth ? -d : d);

  console.print(" Izpolzvane na cvetova optimizaciq: %s\n", settings.colourOptimisation ? "da" : "ne");

  if (settings.plus3D && s.sourceHeight > 5) {
    console.write(" Izpolzvane na 3D+: da\n");
    s.height = s.sourceHeight - 3;
    s.verticalOffset = settings.negativeDepth ? 0 : 3;
  } else {
    console.write(" Izpolzvane na 3D+: ne\n");
    s.height = s.sourceHeight;
    s.verticalOffset = 0;
  }
  s.outputWidth = s.width - d;
  console.write(" Zarejdane & konvertirane .........");

  convertRows(buffer.data(), s, settings);
  writeResultHeader(buffer.data(), s);

  // The output rows are never longer than the source rows: compact them in
  // place and write the result in one sweep.
  copyOutputRows(buffer.data(), buffer.data() + s.pixelOffset, s, settings.negativeDepth);
  return writeBitmapFile(outputPath, buffer.data(), static_cast<size_t>(outputSize(s)), s.pixelOffset);
}

}  // namespace quarn::engine
