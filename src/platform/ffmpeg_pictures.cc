#include "platform/ffmpeg_pictures.h"

#include <algorithm>
#include <array>
#include <cstring>

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace quarn::platform::ffmpeg {
namespace {

// The library's own matrix: BT.601, which unspecified and both BT.601
// variants mean.
bool isDefaultMatrix(AVColorSpace matrix) {
  return matrix == AVCOL_SPC_UNSPECIFIED || matrix == AVCOL_SPC_BT470BG || matrix == AVCOL_SPC_SMPTE170M ||
         matrix == AVCOL_SPC_RESERVED || matrix == AVCOL_SPC_RGB;
}

}  // namespace

bool isFullRangeFormat(AVPixelFormat format) {
  switch (format) {
    case AV_PIX_FMT_YUVJ420P:
    case AV_PIX_FMT_YUVJ422P:
    case AV_PIX_FMT_YUVJ444P:
    case AV_PIX_FMT_YUVJ440P:
    case AV_PIX_FMT_YUVJ411P:
      return true;
    default:
      return false;
  }
}

bool isYCbCr(AVPixelFormat format) {
  const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
  return d != nullptr && (d->flags & AV_PIX_FMT_FLAG_RGB) == 0 && d->nb_components >= 3;
}

Colours coloursOf(const AVFrame* picture) {
  Colours c;
  c.matrix = picture->colorspace;
  c.range = isFullRangeFormat(static_cast<AVPixelFormat>(picture->format)) ? AVCOL_RANGE_JPEG : picture->color_range;
  c.primaries = picture->color_primaries;
  c.transfer = picture->color_trc;
  return c;
}

bool RowsFromPictures::convert(const AVFrame* picture, const PixelView& target) {
  const PixelView rows = target.topDown();
  const int width = static_cast<int>(rows.width), height = static_cast<int>(rows.height);
  const auto format = static_cast<AVPixelFormat>(picture->format);
  if (format == AV_PIX_FMT_BGR24 && picture->width == width && picture->height == height) {
    for (int y = 0; y < height; ++y) {
      std::memcpy(rows.rows + rows.stride * y, picture->data[0] + picture->linesize[0] * y,
                  static_cast<size_t>(width) * 3);
    }
    return true;
  }
  const std::array<int, 5> key = {picture->width, picture->height, picture->format, width, height};
  const bool fresh = !scaler_ || key != key_;
  if (fresh) {
    key_ = key;
    const int flags = SWS_BICUBIC | (exactColour_ ? SWS_FULL_CHR_H_INT | SWS_ACCURATE_RND : 0);
    scaler_.reset(sws_getContext(picture->width, picture->height, format, width, height, AV_PIX_FMT_BGR24, flags,
                                 nullptr, nullptr, nullptr));
    if (!scaler_) return false;
  }
  // The library converts by BT.601, and the yuvj formats as full range, by
  // itself; only other colours need telling, so that pictures it converts
  // right stay exactly as it converts them.
  const Colours colours = coloursOf(picture);
  const int matrix = isYCbCr(format) && !isDefaultMatrix(colours.matrix) ? colours.matrix : AVCOL_SPC_UNSPECIFIED;
  const int fullRange = colours.range == AVCOL_RANGE_JPEG ? 1 : 0;
  const bool special = matrix != AVCOL_SPC_UNSPECIFIED || (fullRange != 0 && !isFullRangeFormat(format));
  if (fresh ? special : (matrix != matrix_ || fullRange != fullRange_)) {
    sws_setColorspaceDetails(scaler_.get(), sws_getCoefficients(matrix), fullRange,
                             sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
  }
  matrix_ = matrix;
  fullRange_ = fullRange;
  uint8_t* const planes[4] = {rows.rows, nullptr, nullptr, nullptr};
  const int strides[4] = {static_cast<int>(rows.stride), 0, 0, 0};
  return sws_scale(scaler_.get(), picture->data, picture->linesize, 0, picture->height, planes, strides) == height;
}

bool PicturesFromRows::prepare(const AVCodecContext* encoder, uint32_t width, uint32_t height,
                               const Colours& colours) {
  width_ = width;
  height_ = height;
  picture_.reset(av_frame_alloc());
  if (!picture_) return false;
  picture_->format = encoder->pix_fmt;
  picture_->width = encoder->width;
  picture_->height = encoder->height;
  if (av_frame_get_buffer(picture_.get(), 0) < 0) return false;
  padded_ = encoder->width != static_cast<int>(width) || encoder->height != static_cast<int>(height);
  if (padded_) paddedPixels_.resize(size_t(encoder->width) * 3 * size_t(encoder->height));
  const int flags = SWS_BICUBIC | (exactColour_ ? SWS_ACCURATE_RND : 0);
  scaler_.reset(sws_getContext(encoder->width, encoder->height, AV_PIX_FMT_BGR24, encoder->width, encoder->height,
                               encoder->pix_fmt, flags, nullptr, nullptr, nullptr));
  if (!scaler_) return false;
  const bool fullRange = colours.range == AVCOL_RANGE_JPEG && !isFullRangeFormat(encoder->pix_fmt);
  if (isYCbCr(encoder->pix_fmt) && (!isDefaultMatrix(colours.matrix) || fullRange)) {
    sws_setColorspaceDetails(scaler_.get(), sws_getCoefficients(SWS_CS_DEFAULT), 1,
                             sws_getCoefficients(colours.matrix), fullRange ? 1 : 0, 0, 1 << 16, 1 << 16);
  }
  return true;
}

AVFrame* PicturesFromRows::convert(const PixelView& target) {
  if (!picture_ || av_frame_make_writable(picture_.get()) < 0) return nullptr;
  const PixelView rows = target.topDown();
  const int width = static_cast<int>(width_), height = static_cast<int>(height_);
  const uint8_t* source = rows.rows;
  auto sourceStride = static_cast<int>(rows.stride);
  if (padded_) {
    const int paddedWidth = picture_->width, paddedStride = paddedWidth * 3;
    for (int y = 0; y < picture_->height; ++y) {
      const uint8_t* from = source + static_cast<ptrdiff_t>(sourceStride) * std::min(y, height - 1);
      uint8_t* to = paddedPixels_.data() + static_cast<ptrdiff_t>(paddedStride) * y;
      std::memcpy(to, from, size_t(width) * 3);
      for (int x = width; x < paddedWidth; ++x) std::memcpy(to + x * 3, from + (width - 1) * 3, 3);
    }
    source = paddedPixels_.data();
    sourceStride = paddedStride;
  }
  const uint8_t* const planes[4] = {source, nullptr, nullptr, nullptr};
  const int strides[4] = {sourceStride, 0, 0, 0};
  if (sws_scale(scaler_.get(), planes, strides, 0, picture_->height, picture_->data, picture_->linesize) !=
      picture_->height) {
    return nullptr;
  }
  return picture_.get();
}

std::vector<uint8_t> probePicture(uint32_t width, uint32_t height) {
  const size_t stride = size_t{width} * 3;
  std::vector<uint8_t> pixels(stride * height);
  for (size_t y = 0; y < height; ++y) {
    for (size_t x = 0; x < stride; ++x) pixels[y * stride + x] = uint8_t(x * 5 + y * 3 + (x / 24) * 40);
  }
  return pixels;
}

}  // namespace quarn::platform::ffmpeg
