// ffmpeg_pictures.h: decoded pictures into blue-green-red rows, and rows
// into an encoder's pictures, with the colours the streams say they have.
// Only ffmpeg_*.cc include it.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "platform/ffmpeg_support.h"
#include "platform/pixels.h"

namespace quarn::platform::ffmpeg {

// How a stream's values stand for colours: the matrix between Y'CbCr and
// R'G'B', the range of the values, and what else a result is tagged with.
struct Colours {
  AVColorSpace matrix = AVCOL_SPC_UNSPECIFIED;
  AVColorRange range = AVCOL_RANGE_UNSPECIFIED;
  AVColorPrimaries primaries = AVCOL_PRI_UNSPECIFIED;
  AVColorTransferCharacteristic transfer = AVCOL_TRC_UNSPECIFIED;
};

// The yuvj formats: Y'CbCr over the full range of the values.
bool isFullRangeFormat(AVPixelFormat format);
// A format of luma and colour differences (not RGB, not grey).
bool isYCbCr(AVPixelFormat format);

// The colours of a decoded picture as FFmpeg's own decoding takes them: the
// yuvj formats are full range whatever the picture says.
Colours coloursOf(const AVFrame* picture);

// Decoded pictures as rows, scaled to the rows' size where theirs differs.
class RowsFromPictures {
 public:
  // `exactColour`: every pixel gets its own colour samples, interpolated
  // and rounded exactly (slower, and closer to the picture, so a lossy
  // encoder afterwards spends fewer bits); otherwise the library's quick
  // conversion.
  explicit RowsFromPictures(bool exactColour = false) : exactColour_(exactColour) {}
  bool convert(const AVFrame* picture, const PixelView& rows);

 private:
  bool exactColour_;
  Scaler scaler_;
  std::array<int, 5> key_{};  // the sizes and format `scaler_` was made for
  int matrix_ = -1, fullRange_ = -1;  // the colours it converts with
};

// Rows into an encoder's pictures: its pixel format and size (where that is
// larger, the last column and row are repeated to fill it), with the
// matrix and range of `colours` (unspecified: the library's BT.601, limited
// range for Y'CbCr formats other than the yuvj ones).
class PicturesFromRows {
 public:
  // `exactColour`: colour samples rounded exactly (see RowsFromPictures).
  explicit PicturesFromRows(bool exactColour = false) : exactColour_(exactColour) {}
  bool prepare(const AVCodecContext* encoder, uint32_t width, uint32_t height, const Colours& colours);
  // The encoder's picture holding `rows` (width x height); nullptr when it
  // cannot be made.
  AVFrame* convert(const PixelView& rows);

 private:
  bool exactColour_;
  Frame picture_;
  Scaler scaler_;
  uint32_t width_ = 0, height_ = 0;
  bool padded_ = false;
  std::vector<uint8_t> paddedPixels_;
};

// A picture with edges and gradients (flat ones pass where real ones would
// not), width x height rows of 3-byte pixels without padding: what an
// encoder is tried with before it is offered.
std::vector<uint8_t> probePicture(uint32_t width, uint32_t height);

}  // namespace quarn::platform::ffmpeg
