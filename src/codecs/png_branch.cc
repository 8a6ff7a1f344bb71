#include "codecs/png_branch.h"

#include <cstring>

#include "codecs/picture_branch.h"
#include "codecs/png_decoder.h"
#include "engine/bitmap_buffer.h"
#include "engine/console_lines.h"
#include "engine/memory_conversion.h"

namespace quarn::codecs {
namespace {

// The decoder lends its store to the branch while the pixels are copied
// out; afterwards it frees them itself, whichever way the branch ends.
class LentPixels {
 public:
  explicit LentPixels(VkRawPngDecoder& decoder) : decoder_(decoder) { decoder_.setOwnsPixels(false); }
  ~LentPixels() { decoder_.setOwnsPixels(true); }
  LentPixels(const LentPixels&) = delete;
  LentPixels& operator=(const LentPixels&) = delete;

 private:
  VkRawPngDecoder& decoder_;
};

}  // namespace

engine::RunOutcome runPngBranch(const std::string& inputPath, const std::string& outputPath,
                                const engine::ConversionSettings& settings, platform::Console& console) {
  console.write(" Konvertirane na png v bmp...");
  VkRawPngDecoder decoder(console);
  {
    LentPixels lent(decoder);
    if (decoder.Decode(inputPath) != 1) {
      console.write(" greshka!\n Png faila ne ne moje da se dekodira!\n");
      return engine::RunOutcome::kInputFailed;
    }
  }
  decoder.FlipRows();
  SwapRedBlue(decoder);
  console.write(" gotovo!\n");

  // Prepare has kept width x height x 4 + 55 within 32 bits.
  const auto width = static_cast<uint32_t>(decoder.outWidth());
  const auto height = static_cast<uint32_t>(decoder.outHeight());
  const size_t imageSize = size_t{width} * height * 4;
  const size_t bufferSize = engine::kHeaderSize + imageSize + 1;
  engine::BitmapBuffer source, destination;
  if (!engine::tryResize(source, bufferSize) || !engine::tryResize(destination, bufferSize)) {
    console.write(" proval! Ne moje da se zadeli pamet!");
    return engine::RunOutcome::kInputFailed;
  }
  engine::writeBitmapHeader(source.data(), width, height, 32);
  if (imageSize != 0) std::memcpy(source.data() + engine::kHeaderSize, decoder.pixels(), imageSize);

  engine::printSettingsLines(console, engine::depthToShow(settings, decoder.outWidth()), settings.colourOptimisation,
                             settings.plus3D);
  const engine::ConversionResult converted =
      engine::convertBitmapBuffer(source, destination.data(), destination.size(), settings);
  engine::printConversionResult(console, converted, outputPath);
  if (converted != engine::kConverted) return engine::outcomeOf(converted);

  const uint64_t outputSize = uint64_t{engine::loadLe32(destination.data() + engine::field::kWidth)} *
                                  engine::loadLe32(destination.data() + engine::field::kHeight) * 4 +
                              engine::kHeaderSize;
  return saveBitmapOutput(console, outputPath, destination.data(), static_cast<size_t>(outputSize));
}

}  // namespace quarn::codecs
