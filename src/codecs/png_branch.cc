#include "codecs/png_branch.h"

#include <utility>

#include "codecs/exif_data.h"
#include "codecs/orientation.h"
#include "codecs/picture_branch.h"
#include "codecs/png_decoder.h"
#include "engine/bitmap_buffer.h"
#include "engine/console_lines.h"
#include "engine/memory_conversion.h"

namespace quarn::codecs {

engine::RunOutcome runPngBranch(const std::string& inputPath, const std::string& outputPath,
                                const engine::ConversionSettings& settings, platform::Console& console) {
  console.write(" Konvertirane na png v bmp...");
  // The decoder writes its pixels straight into the source bitmap, behind
  // room for the header, so that the picture is held twice at most (source
  // and destination), never three times.
  engine::BitmapBuffer source;
  bool outOfMemory = false;
  VkRawPngDecoder decoder(console);
  decoder.setStoreProvider([&](size_t bytes) -> uint8_t* {
    source.clear();
    if (!engine::tryResize(source, engine::kHeaderSize + bytes + 1)) {
      outOfMemory = true;
      return nullptr;
    }
    return source.data() + engine::kHeaderSize;
  });
  if (const PngDecodeResult decoded = decoder.Decode(inputPath); decoded != PngDecodeResult::kDecoded) {
    console.write(pngDecodeMessage(decoded));
    return engine::RunOutcome::kInputFailed;
  }
  decoder.FlipRows();
  SwapRedBlue(decoder);
  console.write(" gotovo!\n");

  // Prepare has kept width x height x 4 + 55 within 32 bits. A picture it
  // refused is 0 x 0, which the conversion refuses as too small.
  const auto width = static_cast<uint32_t>(decoder.outWidth());
  const auto height = static_cast<uint32_t>(decoder.outHeight());
  const size_t bufferSize = engine::kHeaderSize + size_t{width} * height * 4 + 1;
  engine::BitmapBuffer destination;
  if (outOfMemory || (source.empty() && !engine::tryResize(source, bufferSize)) ||
      !engine::tryResize(destination, bufferSize)) {
    console.write(" proval! Ne moje da se zadeli pamet!");
    return engine::RunOutcome::kInputFailed;
  }
  engine::writeBitmapHeader(source.data(), width, height, 32);
  // The destination, of the same size, is the room to turn the picture in.
  if (const Orientation orientation = exifOrientation(decoder.exifBlock()); orientation != Orientation::kTopLeft) {
    writeUpright(source.data(), orientation, destination.data());
    std::swap(source, destination);
  }

  const auto uprightWidth = static_cast<int32_t>(engine::loadLe32(source.data() + engine::field::kWidth));
  engine::printSettingsLines(console, engine::depthToShow(settings, uprightWidth), settings.colourOptimisation,
                             settings.plus3D);
  const engine::ConversionResult converted =
      engine::convertBitmapBuffer(source, destination.data(), destination.size(), settings);
  engine::printConversionResult(console, converted, outputPath);
  if (converted != engine::kConverted) return engine::outcomeOf(converted);
  source = engine::BitmapBuffer();  // writing needs only the result

  const uint64_t outputSize = uint64_t{engine::loadLe32(destination.data() + engine::field::kWidth)} *
                                  engine::loadLe32(destination.data() + engine::field::kHeight) * 4 +
                              engine::kHeaderSize;
  return saveBitmapOutput(console, outputPath, destination.data(), static_cast<size_t>(outputSize));
}

}  // namespace quarn::codecs
