// The reader of today's containers over libavformat and libavcodec.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>

#include "platform/ffmpeg_media_input.h"
#include "platform/ffmpeg_pictures.h"
#include "platform/ffmpeg_support.h"
#include "platform/media_reader.h"
#include "platform/orientation.h"
#include "platform/video_limits.h"

extern "C" {
#include <libavutil/display.h>
#include <libavutil/pixdesc.h>
}

namespace quarn::platform {
namespace {

using namespace ffmpeg;

// Streams the demuxers may make: a file claiming more is refused.
constexpr int kMaxStreams = 64;

const char* demuxerName(InputDemuxer demuxer) {
  switch (demuxer) {
    case InputDemuxer::kMov:
      return "mov";
    case InputDemuxer::kMatroska:
      return "matroska";
    case InputDemuxer::kMpegTs:
      return "mpegts";
    case InputDemuxer::kMpegPs:
      return "mpeg";
    case InputDemuxer::kAsf:
      return "asf";
    case InputDemuxer::kFlv:
      return "flv";
    case InputDemuxer::kOgg:
      return "ogg";
  }
  return "";
}

// No demuxer of ours opens another file or a protocol: the file the user
// named is all that is read.
int refuseOpening(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) { return AVERROR(EPERM); }

// Opens the demuxer named by `demuxer` over `reader`. Negative AVERROR on
// failure (the context is then freed).
int openDemuxer(FileReader& reader, InputDemuxer demuxer, InputFormat& opened) {
  if (reader.io() == nullptr) return AVERROR(ENOMEM);
  AVFormatContext* format = avformat_alloc_context();
  if (format == nullptr) return AVERROR(ENOMEM);
  format->pb = reader.io();
  format->flags |= AVFMT_FLAG_CUSTOM_IO;
  format->io_open = refuseOpening;
  format->max_streams = kMaxStreams;
  AVDictionary* options = nullptr;
  av_dict_set(&options, "format_whitelist", demuxerName(demuxer), 0);
  av_dict_set(&options, "protocol_whitelist", "none", 0);
  const int status = avformat_open_input(&format, nullptr, av_find_input_format(demuxerName(demuxer)), &options);
  av_dict_free(&options);
  if (status < 0) return status;
  opened.reset(format);
  return 0;
}

// How players turn the pictures for the display matrix: a quarter turn
// and a mirroring where the matrix has them, as FFmpeg's own tools do.
Orientation orientationOf(const AVStream* stream) {
  Orientation o;
  const auto* m = reinterpret_cast<const int32_t*>(av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr));
  if (m == nullptr) return o;
  const double angle = av_display_rotation_get(m);
  if (std::isnan(angle)) return o;
  double theta = -std::round(angle);
  theta -= 360 * std::floor(theta / 360 + 0.9 / 360);
  // A matrix that swaps the axes without a turn's sign change is a turn
  // and a mirroring left to right.
  if (std::fabs(theta - 90) < 1.0) {
    o.clockwiseQuarters = 1;
    o.flipHorizontal = m[3] > 0;
  } else if (std::fabs(theta - 180) < 1.0) {
    o.flipHorizontal = m[0] < 0;
    o.flipVertical = m[4] < 0;
  } else if (std::fabs(theta - 270) < 1.0) {
    o.clockwiseQuarters = 3;
    o.flipHorizontal = m[3] < 0;
  } else if (std::fabs(theta) < 1.0) {
    o.flipVertical = m[4] < 0;
  }
  return o;
}

class DemuxedPackets final : public PacketSource {
 public:
  explicit DemuxedPackets(int fd) : fd_(fd), file_(fd) {}
  ~DemuxedPackets() override {
    format_.reset();
    close(fd_);
  }
  bool open(InputDemuxer demuxer) { return openDemuxer(file_, demuxer, format_) >= 0; }
  bool next(AVPacket* packet) override { return av_read_frame(format_.get(), packet) >= 0; }

 private:
  int fd_;
  FileReader file_;
  InputFormat format_;
};

class FfmpegMediaReader final : public MediaReader, public MediaInput {
 public:
  FfmpegMediaReader(int fd, uint64_t fileSize, InputDemuxer demuxer)
      : fd_(fd), fileSize_(fileSize), demuxer_(demuxer), file_(fd) {}
  ~FfmpegMediaReader() override {
    format_.reset();
    close(fd_);
  }

  AviOpenStatus openFormat() {
    const int opened = openDemuxer(file_, demuxer_, format_);
    if (opened < 0) {
      if (opened == AVERROR(ENOMEM)) return AviOpenStatus::kOutOfMemory;
      return file_.readFailed() ? AviOpenStatus::kFileRead : AviOpenStatus::kBadFormat;
    }
    // Streams that only show their parameters in their packets (transport
    // streams) need a look at the first ones.
    if (avformat_find_stream_info(format_.get(), nullptr) < 0 && file_.readFailed()) return AviOpenStatus::kFileRead;
    findVideo();
    return AviOpenStatus::kOpened;
  }

  const VideoFacts* video() const override { return stream_ != nullptr ? &facts_ : nullptr; }
  const MediaFacts& media() const override { return media_; }

  bool openDecoder() override {
    if (stream_ == nullptr) return false;
    decoder_ = openStreamDecoder(stream_);
    if (!decoder_) return false;
    packet_.reset(av_packet_alloc());
    decoded_.reset(av_frame_alloc());
    return packet_ && decoded_;
  }

  FrameStatus nextFrame(Picture& pixels) override {
    if (!decoder_) return FrameStatus::kEnd;
    // Every step takes a picture out or a packet in, or ends the stream: a
    // decoder that keeps failing cannot hold the loop.
    while (true) {
      const int received = avcodec_receive_frame(decoder_.get(), decoded_.get());
      if (received == 0) {
        const FrameStatus status = give(pixels);
        av_frame_unref(decoded_.get());
        return status;
      }
      if (received == AVERROR_EOF || endOfInput_) return FrameStatus::kEnd;
      if (!packetHeld_ && !readPacket()) {
        endOfInput_ = true;
        avcodec_send_packet(decoder_.get(), nullptr);
        continue;
      }
      const int sent = avcodec_send_packet(decoder_.get(), packet_.get());
      if (sent == AVERROR(EAGAIN)) {
        // Full, yet it gave nothing: broken, and the stream ends here.
        if (received == AVERROR(EAGAIN)) return FrameStatus::kEnd;
        continue;
      }
      av_packet_unref(packet_.get());
      packetHeld_ = false;
      if (sent < 0 && sent != AVERROR_EOF) return FrameStatus::kUndecodable;
    }
  }

  // MediaInput
  const AVFormatContext* demuxer() const override { return format_.get(); }
  int videoIndex() const override { return stream_ != nullptr ? stream_->index : -1; }
  Colours colours() const override { return colours_; }
  bool turnedQuarter() const override { return orientation_.swapsSides(); }
  std::unique_ptr<PacketSource> openPacketSource() override {
    const int fd = dup(fd_);
    if (fd < 0) return nullptr;
    auto source = std::make_unique<DemuxedPackets>(fd);
    if (!source->open(demuxer_)) return nullptr;
    return source;
  }

 private:
  void findVideo() {
    for (unsigned i = 0; i < format_->nb_streams; ++i) {
      AVStream* s = format_->streams[i];
      if (s->codecpar->codec_type != AVMEDIA_TYPE_VIDEO || (s->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0) {
        continue;
      }
      stream_ = s;
      break;
    }
    if (stream_ == nullptr) return;
    const AVCodecParameters* p = stream_->codecpar;
    const auto width = static_cast<uint32_t>(std::max(0, p->width));
    const auto height = static_cast<uint32_t>(std::max(0, p->height));
    if (plausibleFrame(width, height, fileSize_)) {
      decodedWidth_ = width;
      decodedHeight_ = height;
      orientation_ = orientationOf(stream_);
      orientedSize(orientation_, width, height, facts_.width, facts_.height);
    }
    media_.clockwiseQuarters = orientation_.clockwiseQuarters;
    media_.mirrored = orientation_.flipHorizontal != orientation_.flipVertical;
    media_.timeBaseNum = stream_->time_base.num;
    media_.timeBaseDen = stream_->time_base.den;
    AVRational rate = stream_->avg_frame_rate;
    if (rate.num <= 0 || rate.den <= 0) rate = stream_->r_frame_rate;
    if (rate.num > 0 && rate.den > 0) {
      facts_.rate.rate = static_cast<uint32_t>(rate.num);
      facts_.rate.scale = static_cast<uint32_t>(rate.den);
    } else if (stream_->time_base.num > 0 && stream_->time_base.den > 0) {
      // Frames of their own times only: the rate is only a name here.
      facts_.rate = {1, 1};
      rate = AVRational{1, 1};
    }
    // The frame count for the progress display: as the file says, or as
    // its duration makes it; every frame takes at least a byte.
    int64_t frames = stream_->nb_frames;
    if (frames <= 0 && rate.num > 0) {
      if (stream_->duration > 0) {
        frames = av_rescale_q(stream_->duration, stream_->time_base, av_inv_q(rate));
      } else if (format_->duration > 0) {
        frames = av_rescale_q(format_->duration, AV_TIME_BASE_Q, av_inv_q(rate));
      }
    }
    facts_.length = std::clamp<int64_t>(frames, 0, static_cast<int64_t>(std::min<uint64_t>(fileSize_, INT32_MAX)));
    colours_.matrix = p->color_space;
    colours_.range = isFullRangeFormat(static_cast<AVPixelFormat>(p->format)) ? AVCOL_RANGE_JPEG : p->color_range;
    colours_.primaries = p->color_primaries;
    colours_.transfer = p->color_trc;
    if (p->color_trc == AVCOL_TRC_SMPTE2084) media_.hdrTransfer = "PQ";
    if (p->color_trc == AVCOL_TRC_ARIB_STD_B67) media_.hdrTransfer = "HLG";
  }

  bool readPacket() {
    while (av_read_frame(format_.get(), packet_.get()) >= 0) {
      if (packet_->stream_index == stream_->index) {
        packetHeld_ = true;
        return true;
      }
      av_packet_unref(packet_.get());
    }
    return false;
  }

  // The decoded picture as upright rows, at its own time; a picture
  // without a time of its own follows the one before.
  FrameStatus give(Picture& pixels) {
    int64_t at = decoded_->best_effort_timestamp;
    if (at == AV_NOPTS_VALUE) at = haveTime_ ? lastTime_ + std::max<int64_t>(1, decoded_->pkt_duration) : 0;
    haveTime_ = true;
    lastTime_ = at;
    pixels.setTime(at);
    if (!pixels.reserve(facts_.width, facts_.height)) return FrameStatus::kOutOfMemory;
    if (orientation_.upright()) {
      return rows_.convert(decoded_.get(), pixels.view()) ? FrameStatus::kFrame : FrameStatus::kUndecodable;
    }
    if (!unturned_.reserve(decodedWidth_, decodedHeight_)) return FrameStatus::kOutOfMemory;
    if (!rows_.convert(decoded_.get(), unturned_.view())) return FrameStatus::kUndecodable;
    orientPixels(unturned_.view(), pixels.view(), orientation_);
    return FrameStatus::kFrame;
  }

  int fd_;
  uint64_t fileSize_;
  InputDemuxer demuxer_;
  FileReader file_;
  InputFormat format_;
  AVStream* stream_ = nullptr;
  VideoFacts facts_;
  MediaFacts media_;
  Colours colours_;
  Orientation orientation_;
  uint32_t decodedWidth_ = 0, decodedHeight_ = 0;
  CodecContext decoder_;
  Packet packet_;
  Frame decoded_;
  // The pictures go on to a lossy encoder: exact colours cost less there.
  RowsFromPictures rows_{true};
  Picture unturned_;  // the decoded picture before it is turned
  int64_t lastTime_ = 0;
  bool haveTime_ = false, endOfInput_ = false, packetHeld_ = false;
};

}  // namespace

AviOpenStatus MediaReader::open(int fd, InputDemuxer demuxer, std::unique_ptr<MediaReader>& reader) {
  quietLibraryLog();
  uint64_t size = 0;
  if (!takeRegularFile(fd, size)) return AviOpenStatus::kFileOpen;
  auto media = std::make_unique<FfmpegMediaReader>(fd, size, demuxer);
  const AviOpenStatus status = media->openFormat();
  if (status == AviOpenStatus::kOpened) reader = std::move(media);
  return status;
}

}  // namespace quarn::platform
