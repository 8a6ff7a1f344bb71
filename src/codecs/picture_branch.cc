#include "codecs/picture_branch.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "codecs/exif_data.h"
#include "codecs/jpeg_codec.h"
#include "engine/bitmap_buffer.h"
#include "engine/bitmap_file.h"
#include "engine/console_lines.h"
#include "engine/memory_conversion.h"
#include "platform/memory.h"

namespace quarn::codecs {
namespace {

// The two buffers of a conversion, made when the decoder knows its
// picture's shape: the source it decodes into and the destination. The
// destination is not cleared (every byte of it that is read later is
// written first), so it takes no memory until it is written. Both have
// room for the picture as stored and as it stands upright.
struct ConversionBuffers {
  engine::BitmapBuffer source;
  std::unique_ptr<uint8_t[]> destination;
  size_t destinationSize = 0;
  Orientation orientation = Orientation::kTopLeft;

  uint8_t* provide(const BitmapShape& shape) {
    const std::optional<uint32_t> stored = storedBitmapSize(shape);
    if (!stored) return nullptr;
    const size_t room =
        std::max<size_t>(*stored, *uprightBitmapSize(shape.width, shape.height, shape.bitsPerPixel, shape.orientation));
    destination.reset(new (std::nothrow) uint8_t[room]);
    destinationSize = room;
    source = engine::BitmapBuffer();
    try {
      source.reserve(room);
    } catch (const std::exception&) {
      return nullptr;
    }
    if (destination == nullptr) return nullptr;
    platform::adviseLargePages(destination.get(), room);
    platform::adviseLargePages(source.data(), room);
    if (!engine::tryResize(source, *stored)) return nullptr;
    orientation = shape.orientation;
    return source.data();
  }

  // The destination serves as the room to turn the source in.
  void standUpright() {
    if (orientation == Orientation::kTopLeft) return;
    writeUpright(source.data(), orientation, destination.get());
    source.resize(engine::loadLe32(destination.get() + engine::field::kFileSize));  // within its room
    std::memcpy(source.data(), destination.get(), source.size());
  }
};

uint32_t bitmapWidth(const uint8_t* bitmap) { return engine::loadLe32(bitmap + engine::field::kWidth); }
uint32_t bitmapHeight(const uint8_t* bitmap) { return engine::loadLe32(bitmap + engine::field::kHeight); }

engine::RunOutcome saveAsBmp(platform::Console& console, const std::string& outputPath, const uint8_t* bitmap) {
  // The converted picture's own header says how much of the buffer it is.
  const unsigned bytes = engine::loadLe16(bitmap + engine::field::kBitsPerPixel) / 8;
  const size_t size = engine::kHeaderSize + engine::rowStride(bitmapWidth(bitmap), bytes) * bitmapHeight(bitmap);
  return saveBitmapOutput(console, outputPath, bitmap, size);
}

}  // namespace

engine::RunOutcome runPictureBranch(const PictureDecoder& decoder, const std::string& inputPath,
                                    const engine::ConversionSettings& settings, platform::Console& console,
                                    const PictureSaver& save) {
  console.write(decoder.announcement);
  ConversionBuffers buffers;
  PictureMetadata metadata;
  const PictureReadResult read =
      decoder.decode(inputPath, [&](const BitmapShape& shape) { return buffers.provide(shape); }, metadata);
  console.write(pictureReadMessage(read));
  if (read != kPictureRead) return engine::RunOutcome::kInputFailed;
  buffers.standUpright();

  const auto width = static_cast<int32_t>(bitmapWidth(buffers.source.data()));
  engine::printSettingsLines(console, engine::depthToShow(settings, width), settings.colourOptimisation,
                             settings.plus3D);
  const engine::ConversionResult result =
      engine::convertBitmapBuffer(buffers.source, buffers.destination.get(), buffers.destinationSize, settings);
  engine::printConversionResult(console, result, "");
  if (result != engine::kConverted) return engine::outcomeOf(result);
  buffers.source = engine::BitmapBuffer();  // the writers may need the memory
  return save(buffers.destination.get(), buffers.destinationSize, metadata);
}

engine::RunOutcome runPhotoBranch(const PictureDecoder& decoder, const std::string& inputPath,
                                  const std::string& outputPath, bool jpegOutput,
                                  const engine::ConversionSettings& settings, platform::Console& console) {
  return runPictureBranch(decoder, inputPath, settings, console,
                          [&](uint8_t* bitmap, size_t size, const PictureMetadata& metadata) {
                            if (!jpegOutput) return saveAsBmp(console, outputPath, bitmap);
                            const PictureMetadata carried{
                                metadata.iccProfile,
                                exifForUprightResult(metadata.exif, bitmapWidth(bitmap), bitmapHeight(bitmap))};
                            return savePicture(console, "JPEG", outputPath,
                                               [&] { return WriteJpegBitmap(outputPath, bitmap, size, carried); });
                          });
}

engine::RunOutcome savePicture(platform::Console& console, const char* kind, const std::string& outputPath,
                               const std::function<PictureWriteResult()>& write) {
  console.print("\n Suhranenie kato %s ...", kind);
  switch (write()) {
    case kPictureWritten:
      console.write(" gotovo!");
      return engine::RunOutcome::kDone;
    case kPictureOutputExists:
      engine::printConversionResult(console, engine::kOutputExists, outputPath);
      break;
    case kPictureCannotCreate:
    case kPictureWrongBitmap:
    case kPictureWriteFailed:
      console.write(" proval!");
      break;
  }
  return engine::RunOutcome::kOutputFailed;
}

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

engine::RunOutcome saveBitmapOutput(platform::Console& console, const std::string& outputPath,
                                    const uint8_t* bitmap, size_t size) {
  const engine::ConversionResult written = engine::writeBitmapFile(outputPath, bitmap, size, engine::kHeaderSize);
  if (written == engine::kCannotCreateOutput) {
    console.write(" greshka! Ne moje da se suzdade izhoden fail!");
  } else if (written != engine::kConverted) {
    engine::printConversionResult(console, written, outputPath);
  }
  return engine::outcomeOf(written);
}

}  // namespace quarn::codecs
