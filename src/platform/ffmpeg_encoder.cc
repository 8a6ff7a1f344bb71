#include "platform/ffmpeg_encoder.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <set>

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

// libavformat's tag tables are arrays of these pairs, ended by
// AV_CODEC_ID_NONE; the public header only names the type. The layout has
// been the same since the tables exist.
struct AVCodecTag {
  enum AVCodecID id;
  unsigned int tag;
};

namespace quarn::platform::ffmpeg {
namespace {

constexpr uint32_t kMaxQuality = 10000;
constexpr size_t kMaxTableEntries = 4096;  // a guard, should the table ever lose its end

uint32_t upperFourCC(uint32_t fourcc) {
  uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const auto c = static_cast<unsigned char>(fourcc >> shift);
    out |= static_cast<uint32_t>(std::toupper(c)) << shift;
  }
  return out;
}

QualityScale scaleOf(const AVCodec* codec) {
  switch (codec->id) {
    case AV_CODEC_ID_MPEG4:
    case AV_CODEC_ID_MSMPEG4V2:
    case AV_CODEC_ID_MSMPEG4V3:
    case AV_CODEC_ID_WMV1:
    case AV_CODEC_ID_WMV2:
    case AV_CODEC_ID_MPEG1VIDEO:
    case AV_CODEC_ID_MPEG2VIDEO:
    case AV_CODEC_ID_MJPEG:
    case AV_CODEC_ID_AMV:
    case AV_CODEC_ID_H261:
    case AV_CODEC_ID_H263:
    case AV_CODEC_ID_H263P:
    case AV_CODEC_ID_FLV1:
    case AV_CODEC_ID_SNOW:
    case AV_CODEC_ID_SPEEDHQ:
      return QualityScale::kQuantiser;
    case AV_CODEC_ID_THEORA:
      return QualityScale::kTheora;
    case AV_CODEC_ID_H264:
      return QualityScale::kCrf51;
    case AV_CODEC_ID_VP8:
    case AV_CODEC_ID_VP9:
    case AV_CODEC_ID_AV1:
      return QualityScale::kCrf63;
    default:
      return QualityScale::kNone;
  }
}

// Sets the encoder's quality from 0..10000; 10000 is the best it offers
// short of a lossless mode.
void applyQuality(AVCodecContext* c, QualityScale scale, uint32_t quality, int& quantiser) {
  const double q = std::min(quality, kMaxQuality) / double(kMaxQuality);
  switch (scale) {
    case QualityScale::kNone:
      return;
    case QualityScale::kQuantiser:
      quantiser = applyQuantiserQuality(c, quality);
      return;
    case QualityScale::kTheora:
      quantiser = static_cast<int>(std::lround(q * 10.0 * FF_QP2LAMBDA));
      c->flags |= AV_CODEC_FLAG_QSCALE;
      c->global_quality = quantiser;
      return;
    case QualityScale::kCrf51:
      if (c->priv_data == nullptr) return;
      av_opt_set_double(c->priv_data, "crf", std::max(1.0, std::round(51.0 * (1.0 - q))), 0);
      return;
    case QualityScale::kCrf63:
      if (c->priv_data == nullptr) return;
      c->bit_rate = 0;
      av_opt_set_int(c->priv_data, "crf", std::max<int64_t>(4, std::lround(63.0 * (1.0 - q))), 0);
      return;
  }
}

bool isLossless(const AVCodec* codec) {
  const AVCodecDescriptor* d = avcodec_descriptor_get(codec->id);
  return d != nullptr && (d->props & AV_CODEC_PROP_LOSSLESS) != 0 && (d->props & AV_CODEC_PROP_LOSSY) == 0;
}

// Pixel formats to try: for a lossless encoder the one that loses least of
// our blue-green-red pictures first, otherwise the encoder's own order
// (its first is what players expect of it).
std::vector<AVPixelFormat> pixelFormatsFor(const AVCodec* codec) {
  std::vector<AVPixelFormat> formats;
  if (codec->pix_fmts == nullptr) return {AV_PIX_FMT_BGR24, AV_PIX_FMT_YUV420P};
  for (const AVPixelFormat* f = codec->pix_fmts; *f != AV_PIX_FMT_NONE; ++f) {
    if (sws_isSupportedOutput(*f) > 0) formats.push_back(*f);
  }
  if (isLossless(codec) && !formats.empty()) {
    formats.push_back(AV_PIX_FMT_NONE);
    const AVPixelFormat best = avcodec_find_best_pix_fmt_of_list(formats.data(), AV_PIX_FMT_BGR24, 0, nullptr);
    formats.pop_back();
    std::stable_partition(formats.begin(), formats.end(), [best](AVPixelFormat f) { return f == best; });
  }
  return formats;
}

std::vector<std::pair<int, int>> sizesToTry(int width, int height) {
  std::vector<std::pair<int, int>> sizes;
  for (const int align : {1, 2, 4, 8, 16}) {
    const std::pair<int, int> size{(width + align - 1) / align * align, (height + align - 1) / align * align};
    if (std::find(sizes.begin(), sizes.end(), size) == sizes.end()) sizes.push_back(size);
  }
  return sizes;
}

std::vector<AVRational> timeBasesToTry(AVRational frameRate) {
  const AVRational exact = av_inv_q(frameRate);
  std::vector<AVRational> bases = {exact};
  AVRational near{};
  av_reduce(&near.num, &near.den, exact.num, exact.den, 65535);
  if (av_cmp_q(near, exact) != 0 || near.den != exact.den) bases.push_back(near);
  return bases;
}

bool carriesColourTags(AVCodecID id) {
  return id == AV_CODEC_ID_H264 || id == AV_CODEC_ID_HEVC || id == AV_CODEC_ID_VP9 || id == AV_CODEC_ID_AV1;
}

CodecContext tryOpen(const AVCodec* codec, uint32_t fourcc, int width, int height, AVRational timeBase,
                     AVRational frameRate, AVPixelFormat format, QualityScale scale, uint32_t quality,
                     const Colours& tags, int& quantiser) {
  CodecContext c(avcodec_alloc_context3(codec));
  if (!c) return c;
  c->width = width;
  c->height = height;
  c->pix_fmt = format;
  c->time_base = timeBase;
  c->framerate = frameRate;
  c->sample_aspect_ratio = AVRational{1, 1};
  if (carriesColourTags(codec->id) && isYCbCr(format)) {
    c->colorspace = tags.matrix;
    c->color_range = isFullRangeFormat(format) ? AVCOL_RANGE_JPEG : tags.range;
    c->color_primaries = tags.primaries;
    c->color_trc = tags.transfer;
  }
  c->thread_count = 0;
  c->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
  // No reordering: a frame's packet is its position's chunk in the file.
  c->max_b_frames = 0;
  // A key frame at least every 10 seconds, so players can seek.
  const int tenSeconds = std::max(1, static_cast<int>(std::min<int64_t>(
                                         INT32_MAX, av_rescale(10, frameRate.num, std::max(1, frameRate.den)))));
  if (c->gop_size <= 0 || c->gop_size > tenSeconds) c->gop_size = tenSeconds;
  if (c->priv_data != nullptr && codec->priv_class != nullptr) {
    // Libraries that look ahead would hold frames back and make hidden ones.
    av_opt_set_int(c->priv_data, "lag-in-frames", 0, 0);
    av_opt_set_int(c->priv_data, "auto-alt-ref", 0, 0);
    av_opt_set_int(c->priv_data, "cpu-used", 6, 0);
  }
  applyQuality(c.get(), scale, quality, quantiser);
  if (avcodec_open2(c.get(), codec, nullptr) < 0) return {};
  if (c->codec_tag != 0 && upperFourCC(c->codec_tag) != upperFourCC(fourcc)) return {};
  return c;
}

}  // namespace

int applyQuantiserQuality(AVCodecContext* c, uint32_t quality) {
  const double q = std::min(quality, kMaxQuality) / double(kMaxQuality);
  const int qscale = std::clamp(static_cast<int>(std::lround(std::pow(31.0, 1.0 - q))), 1, 31);
  c->flags |= AV_CODEC_FLAG_QSCALE;
  c->global_quality = qscale * FF_QP2LAMBDA;
  c->qmin = 1;
  return c->global_quality;
}

std::vector<uint32_t> riffVideoFourCCs() {
  std::vector<uint32_t> fourccs;
  std::set<uint32_t> seen;
  const AVCodecTag* table = avformat_get_riff_video_tags();
  for (size_t i = 0; i < kMaxTableEntries && table[i].id != AV_CODEC_ID_NONE; ++i) {
    if (seen.insert(table[i].tag).second) fourccs.push_back(table[i].tag);
  }
  return fourccs;
}

const AVCodec* encoderForFourCC(uint32_t fourcc) {
  const AVCodecTag* const tables[] = {avformat_get_riff_video_tags(), nullptr};
  const AVCodecID id = av_codec_get_id(tables, fourcc);
  if (id == AV_CODEC_ID_NONE || id == AV_CODEC_ID_RAWVIDEO) return nullptr;
  const AVCodec* codec = avcodec_find_encoder(id);
  constexpr int kUnwanted = AV_CODEC_CAP_EXPERIMENTAL | AV_CODEC_CAP_HARDWARE | AV_CODEC_CAP_HYBRID;
  if (codec == nullptr || (codec->capabilities & kUnwanted) != 0) return nullptr;
  return codec;
}

OpenedEncoder openEncoder(uint32_t fourcc, int width, int height, AVRational frameRate, uint32_t quality,
                          const Colours& tags) {
  quietLibraryLog();
  OpenedEncoder opened;
  const AVCodec* codec = encoderForFourCC(fourcc);
  if (codec == nullptr || width <= 0 || height <= 0) return opened;
  opened.scale = scaleOf(codec);
  const std::vector<AVPixelFormat> formats = pixelFormatsFor(codec);
  // The encoder's own pixel format with padding is better than another
  // pixel format: players expect the first one of a lossy codec.
  for (const AVRational timeBase : timeBasesToTry(frameRate)) {
    for (const AVPixelFormat format : formats) {
      for (const auto& [w, h] : sizesToTry(width, height)) {
        opened.context =
            tryOpen(codec, fourcc, w, h, timeBase, frameRate, format, opened.scale, quality, tags, opened.quantiser);
        if (opened.context) return opened;
      }
    }
  }
  return opened;
}

}  // namespace quarn::platform::ffmpeg
