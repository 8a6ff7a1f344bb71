// The adapter of libwebp and its demuxer.
#include "codecs/webp_codec.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <algorithm>
#include <memory>

#include "codecs/exif_data.h"
#include "codecs/picture_size.h"
#include "engine/bitmap_buffer.h"

namespace quarn::codecs {
namespace {

struct DemuxDelete {
  void operator()(WebPDemuxer* demux) const { WebPDemuxDelete(demux); }
};
struct AnimDecoderDelete {
  void operator()(WebPAnimDecoder* decoder) const { WebPAnimDecoderDelete(decoder); }
};

std::vector<uint8_t> chunk(WebPDemuxer* demux, const char (&fourcc)[5]) {
  WebPChunkIterator it;
  if (!WebPDemuxGetChunk(demux, fourcc, 1, &it)) return {};
  std::vector<uint8_t> bytes(it.chunk.bytes, it.chunk.bytes + it.chunk.size);
  WebPDemuxReleaseChunkIterator(&it);
  return bytes;
}

// A still picture, decoded by the library straight into the bitmap's rows:
// blue-green-red(-alpha), the last row first, each row padded.
PictureReadResult decodeStill(std::span<const uint8_t> bytes, const BitmapShape& shape, uint8_t* bitmap) {
  WebPDecoderConfig config;
  if (!WebPInitDecoderConfig(&config)) return kPictureUnreadable;
  const unsigned pixelBytes = shape.bitsPerPixel / 8;
  const size_t stride = engine::rowStride(shape.width, pixelBytes);
  config.options.flip = 1;
  config.output.colorspace = pixelBytes == 4 ? MODE_BGRA : MODE_BGR;
  config.output.is_external_memory = 1;
  config.output.u.RGBA.rgba = bitmap + engine::kHeaderSize;
  config.output.u.RGBA.stride = static_cast<int>(stride);
  config.output.u.RGBA.size = stride * shape.height;
  const VP8StatusCode status = WebPDecode(bytes.data(), bytes.size(), &config);
  WebPFreeDecBuffer(&config.output);  // frees nothing of external memory
  return status == VP8_STATUS_OK ? kPictureRead : kPictureUnreadable;
}

// The first frame of an animation on its canvas, then copied into the
// bitmap's rows: the canvas is the library's.
PictureReadResult decodeFirstFrame(std::span<const uint8_t> bytes, const BitmapShape& shape,
                                   const BitmapProvider& provide) {
  WebPAnimDecoderOptions options;
  if (!WebPAnimDecoderOptionsInit(&options)) return kPictureUnreadable;
  options.color_mode = MODE_BGRA;
  options.use_threads = 0;
  const WebPData data{bytes.data(), bytes.size()};
  const std::unique_ptr<WebPAnimDecoder, AnimDecoderDelete> decoder(WebPAnimDecoderNew(&data, &options));
  if (decoder == nullptr) return kPictureUnreadable;
  uint8_t* canvas = nullptr;
  int timestamp = 0;
  if (!WebPAnimDecoderGetNext(decoder.get(), &canvas, &timestamp) || canvas == nullptr) return kPictureUnreadable;
  uint8_t* bitmap = provide(shape);
  if (bitmap == nullptr) return kPictureOutOfMemory;
  const unsigned pixelBytes = shape.bitsPerPixel / 8;
  const size_t stride = engine::rowStride(shape.width, pixelBytes);
  for (uint32_t y = 0; y < shape.height; ++y) {
    const uint8_t* from = canvas + size_t{4} * shape.width * y;
    uint8_t* to = bitmap + engine::kHeaderSize + stride * (shape.height - 1 - y);
    for (uint32_t x = 0; x < shape.width; ++x, from += 4, to += pixelBytes) {
      std::copy(from, from + pixelBytes, to);
    }
  }
  engine::writeBitmapHeader(bitmap, shape.width, shape.height, shape.bitsPerPixel);
  return kPictureRead;
}

}  // namespace

PictureReadResult decodeWebp(std::span<const uint8_t> bytes, bool keepAlpha, const BitmapProvider& provide,
                             PictureMetadata& metadata) {
  const WebPData data{bytes.data(), bytes.size()};
  const std::unique_ptr<WebPDemuxer, DemuxDelete> demux(WebPDemux(&data));
  WebPBitstreamFeatures features;
  if (demux == nullptr || WebPGetFeatures(bytes.data(), bytes.size(), &features) != VP8_STATUS_OK) {
    return kPictureCannotOpen;
  }
  const uint32_t width = WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_WIDTH);
  const uint32_t height = WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_HEIGHT);
  const unsigned bits = keepAlpha && features.has_alpha ? 32 : 24;
  metadata.iccProfile = chunk(demux.get(), "ICCP");
  const std::vector<uint8_t> exif = chunk(demux.get(), "EXIF");
  const std::span<const uint8_t> block = withoutExifPrefix(exif);
  metadata.exif.assign(block.begin(), block.end());
  const BitmapShape shape{width, height, bits, exifOrientation(metadata.exif)};
  if (width == 0 || height == 0 || !plausibleCodedBitmapSize(width, height, bits, bytes.size()) ||
      !storedBitmapSize(shape)) {
    return kPictureCannotOpen;
  }
  if (features.has_animation) return decodeFirstFrame(bytes, shape, provide);
  uint8_t* bitmap = provide(shape);
  if (bitmap == nullptr) return kPictureOutOfMemory;
  const PictureReadResult read = decodeStill(bytes, shape, bitmap);
  if (read == kPictureRead) engine::writeBitmapHeader(bitmap, width, height, bits);
  return read;
}

}  // namespace quarn::codecs
