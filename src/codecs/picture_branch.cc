#include "codecs/picture_branch.h"

#include <memory>
#include <new>

#include "engine/bitmap_buffer.h"
#include "engine/bitmap_file.h"
#include "engine/console_lines.h"
#include "engine/memory_conversion.h"

namespace quarn::codecs {

void runPictureBranch(const PictureDecoder& decoder, const std::string& inputPath,
                      const engine::ConversionSettings& settings, platform::Console& console,
                      const PictureSaver& save) {
  console.print(" Dekompresirane na %s ...", decoder.kind);
  const int64_t size = decoder.bitmapSize(inputPath);
  if (size < 0) {
    console.write(" proval pri purvonachalno otvarqne na faila!");
    return;
  }
  engine::BitmapBuffer source;
  // Every byte of the destination that is read later is written by the
  // conversion first, so it is not cleared.
  std::unique_ptr<uint8_t[]> destination(new (std::nothrow) uint8_t[static_cast<size_t>(size)]);
  if (destination == nullptr || !engine::tryResize(source, static_cast<size_t>(size))) {
    console.write(" proval! Ne moje da se zadeli pamet!");
    return;
  }
  if (decoder.readBitmap(inputPath, source.data(), source.size()) != kPictureRead) {
    console.write(" proval pri dekompresiraneto!");
    return;
  }
  console.write(" gotovo!\n");

  const int32_t width = engine::loadLe32Signed(source.data() + engine::field::kWidth);
  engine::printSettingsLines(console, engine::depthToShow(settings, width), settings.colourOptimisation,
                             settings.plus3D);
  const engine::ConversionResult result =
      engine::convertBitmapBuffer(source, destination.get(), static_cast<size_t>(size), settings);
  engine::printConversionResult(console, result, "");
  if (result != engine::kConverted) return;
  source = engine::BitmapBuffer();  // the writers may need the memory
  save(destination.get(), static_cast<size_t>(size));
}

void savePicture(platform::Console& console, const char* kind, const std::string& outputPath,
                 const std::function<PictureWriteResult()>& write) {
  console.print("\n Suhranenie kato %s ...", kind);
  switch (write()) {
    case kPictureWritten:
      console.write(" gotovo!");
      return;
    case kPictureOutputExists:
      engine::printConversionResult(console, engine::kOutputExists, outputPath);
      return;
    case kPictureCannotCreate:
    case kPictureWrongBitmap:
    case kPictureWriteFailed:
      console.write(" proval!");
      return;
  }
}

}  // namespace quarn::codecs

namespace quarn::codecs {

PictureWriteResult createPictureOutput(platform::OutputFile& file, const std::string& path) {
  switch (file.create(path)) {
    case platform::CreateStatus::kCreated:
      return kPictureWritten;
    case platform::CreateStatus::kExists:
      return kPictureOutputExists;
    case platform::CreateStatus::kFailed:
      break;
  }
  return kPictureCannotCreate;
}

void saveBitmapOutput(platform::Console& console, const std::string& outputPath, const uint8_t* bitmap,
                      size_t size) {
  switch (const engine::ConversionResult written =
              engine::writeBitmapFile(outputPath, bitmap, size, engine::kHeaderSize)) {
    case engine::kConverted:
      return;
    case engine::kCannotCreateOutput:
      console.write(" greshka! Ne moje da se suzdade izhoden fail!");
      return;
    default:
      engine::printConversionResult(console, written, outputPath);
      return;
  }
}

}  // namespace quarn::codecs
