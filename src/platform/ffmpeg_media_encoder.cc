#include "platform/ffmpeg_media_encoder.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "platform/ffmpeg_encoder.h"

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

namespace quarn::platform::ffmpeg {
namespace {

constexpr double kMaxQuality = 10000;
// The key-frame distance of the x264 and x265 defaults, used by all; at
// most 10 seconds apart in any case.
constexpr int kDefaultKeyFrameDistance = 250;
constexpr int kKeyFrameSeconds = 10;

const MediaCodecFamily kFamilies[] = {
    {AV_CODEC_ID_H264, {"H264", "avc1", "X264"}, {"libx264"}, true, true, true, false},
    {AV_CODEC_ID_HEVC, {"HEVC", "hvc1", "hev1", "H265", "X265"}, {"libx265"}, true, true, true, false},
    {AV_CODEC_ID_AV1, {"AV01"}, {"libsvtav1", "libaom-av1"}, true, false, true, true},
    {AV_CODEC_ID_VP9, {"VP90"}, {"libvpx-vp9"}, false, false, true, true},
    {AV_CODEC_ID_VP8, {"VP80"}, {"libvpx"}, false, false, true, true},
    {AV_CODEC_ID_MPEG4, {"FMP4", "XVID", "DIVX", "mp4v"}, {"mpeg4"}, true, true, true, false},
    {AV_CODEC_ID_MJPEG, {"MJPG"}, {"mjpeg"}, false, true, true, false},
    {AV_CODEC_ID_FFV1, {"FFV1"}, {"ffv1"}, false, false, true, false},
};

bool sameCodeAnyCase(FourCC fourcc, const char* code) {
  for (int i = 0; i < 4; ++i) {
    const auto c = static_cast<unsigned char>(fourcc >> (8 * i));
    if (std::toupper(c) != std::toupper(static_cast<unsigned char>(code[i]))) return false;
  }
  return true;
}

const MediaCodecFamily* familyOfId(AVCodecID id) {
  for (const MediaCodecFamily& f : kFamilies) {
    if (f.id == id) return &f;
  }
  return nullptr;
}

// The quality as the encoder's own scale: constant rate factors for the
// modern encoders (never their lossless 0), the quantiser for MPEG-4 and
// Motion JPEG. Quality 0 leaves the encoder's default.
void applyQuality(AVCodecContext* c, AVCodecID id, uint32_t quality, int& quantiser) {
  if (quality == 0 || c->priv_data == nullptr) return;
  const double q = std::min<double>(quality, kMaxQuality) / kMaxQuality;
  switch (id) {
    case AV_CODEC_ID_H264:
    case AV_CODEC_ID_HEVC:
      av_opt_set_double(c->priv_data, "crf", std::max(1.0, std::round(51.0 * (1.0 - q))), 0);
      return;
    case AV_CODEC_ID_AV1:
    case AV_CODEC_ID_VP9:
    case AV_CODEC_ID_VP8:
      c->bit_rate = 0;
      av_opt_set_int(c->priv_data, "crf", std::max<int64_t>(4, std::lround(63.0 * (1.0 - q))), 0);
      return;
    default:
      quantiser = applyQuantiserQuality(c, quality);
      return;
  }
}

// The encoder's first pixel format the picture converter can make: the
// one players expect of it (8-bit 4:2:0 for the lossy ones); for a
// lossless encoder the one that loses least of blue-green-red rows.
AVPixelFormat pixelFormatOf(const AVCodec* codec) {
  if (codec->pix_fmts == nullptr) return AV_PIX_FMT_YUV420P;
  std::vector<AVPixelFormat> formats;
  for (const AVPixelFormat* f = codec->pix_fmts; *f != AV_PIX_FMT_NONE; ++f) {
    if (sws_isSupportedOutput(*f) > 0) formats.push_back(*f);
  }
  if (formats.empty()) return AV_PIX_FMT_NONE;
  const AVCodecDescriptor* d = avcodec_descriptor_get(codec->id);
  if (d == nullptr || (d->props & AV_CODEC_PROP_LOSSY) != 0) return formats.front();
  formats.push_back(AV_PIX_FMT_NONE);
  return avcodec_find_best_pix_fmt_of_list(formats.data(), AV_PIX_FMT_BGR24, 0, nullptr);
}

CodecContext tryOpen(const AVCodec* codec, const MediaEncoderSettings& s, AVRational timeBase, int& quantiser) {
  CodecContext c(avcodec_alloc_context3(codec));
  if (!c) return c;
  c->pix_fmt = pixelFormatOf(codec);
  const AVPixFmtDescriptor* format = av_pix_fmt_desc_get(c->pix_fmt);
  if (format == nullptr) return {};
  // Where colour is kept at half the resolution, the sides are padded to
  // whole colour samples.
  c->width = (s.width + (1 << format->log2_chroma_w) - 1) & ~((1 << format->log2_chroma_w) - 1);
  c->height = (s.height + (1 << format->log2_chroma_h) - 1) & ~((1 << format->log2_chroma_h) - 1);
  c->time_base = timeBase;
  c->framerate = s.frameRate;
  c->sample_aspect_ratio = s.aspect;
  c->colorspace = s.colours.matrix;
  c->color_range = isFullRangeFormat(c->pix_fmt) ? AVCOL_RANGE_JPEG : s.colours.range;
  c->color_primaries = s.colours.primaries;
  c->color_trc = s.colours.transfer;
  c->thread_count = s.threads;
  c->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
  if (s.globalHeader) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  const double fps = s.frameRate.num > 0 && s.frameRate.den > 0 ? av_q2d(s.frameRate) : 30.0;
  const int tenSeconds = static_cast<int>(std::clamp(fps * kKeyFrameSeconds, 1.0, double(INT32_MAX)));
  c->gop_size = std::min(c->gop_size > 0 ? c->gop_size : kDefaultKeyFrameDistance, tenSeconds);
  if (c->priv_data != nullptr) {
    if (codec->id == AV_CODEC_ID_VP9) av_opt_set_int(c->priv_data, "row-mt", 1, 0);
    // libaom's own default takes minutes a frame at large sizes.
    if (std::string_view(codec->name) == "libaom-av1") av_opt_set_int(c->priv_data, "cpu-used", 6, 0);
    if (codec->id == AV_CODEC_ID_HEVC) av_opt_set(c->priv_data, "x265-params", "log-level=none", 0);
  }
  applyQuality(c.get(), codec->id, s.quality, quantiser);
  if (avcodec_open2(c.get(), codec, nullptr) < 0) return {};
  return c;
}

}  // namespace

const MediaCodecFamily* mediaCodecFamilies(size_t& count) {
  count = std::size(kFamilies);
  return kFamilies;
}

bool containerTakes(const MediaCodecFamily& f, ResultContainer container) {
  switch (container) {
    case ResultContainer::kMp4:
      return f.inMp4;
    case ResultContainer::kMov:
      return f.inMov;
    case ResultContainer::kMatroska:
      return f.inMatroska;
    case ResultContainer::kWebm:
      return f.inWebm;
  }
  return false;
}

const MediaCodecFamily* familyFor(FourCC fourcc, ResultContainer container, AVCodecID inputCodec) {
  const MediaCodecFamily* family = nullptr;
  if (fourcc == kFourCCDib) {
    family = familyOfId(inputCodec);
    if (family == nullptr || family->id == AV_CODEC_ID_MPEG4 || family->id == AV_CODEC_ID_MJPEG ||
        !containerTakes(*family, container)) {
      family = familyOfId(container == ResultContainer::kWebm ? AV_CODEC_ID_VP9 : AV_CODEC_ID_H264);
    }
    return family;
  }
  // An exact code first, then one in another letter case.
  for (const bool exact : {true, false}) {
    for (const MediaCodecFamily& f : kFamilies) {
      for (const char* const* code = f.codes; code < std::end(f.codes) && *code != nullptr; ++code) {
        const bool same = exact ? fourCCText(fourcc) == *code : sameCodeAnyCase(fourcc, *code);
        if (same) return containerTakes(f, container) ? &f : nullptr;
      }
    }
  }
  return nullptr;
}

MediaEncoder openMediaEncoder(const MediaCodecFamily& family, const MediaEncoderSettings& settings) {
  quietLibraryLog();
  MediaEncoder opened;
  if (settings.width <= 0 || settings.height <= 0 || settings.timeBase.num <= 0 || settings.timeBase.den <= 0) {
    return opened;
  }
  AVRational near{};
  av_reduce(&near.num, &near.den, settings.timeBase.num, settings.timeBase.den, 65535);
  for (const char* const* name = family.encoders; name < std::end(family.encoders) && *name != nullptr; ++name) {
    const AVCodec* codec = avcodec_find_encoder_by_name(*name);
    if (codec == nullptr) continue;
    // SVT-AV1 reports its settings on standard error unless told to keep
    // to its errors; a level the user set stays.
    if (std::string_view(codec->name) == "libsvtav1") setenv("SVT_LOG", "1", 0);
    for (const AVRational timeBase : {settings.timeBase, near}) {
      opened.context = tryOpen(codec, settings, timeBase, opened.quantiser);
      if (opened.context) return opened;
    }
  }
  return opened;
}

}  // namespace quarn::platform::ffmpeg
