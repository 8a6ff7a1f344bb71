// The AVI reader over libavformat and libavcodec.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>

#include "platform/avi_reader.h"
#include "platform/ffmpeg_pictures.h"
#include "platform/ffmpeg_support.h"
#include "platform/video_limits.h"

extern "C" {
#include <libavutil/imgutils.h>
}

namespace quarn::platform {
namespace {

using namespace ffmpeg;

struct FormatClose {
  void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};

class FfmpegAviReader final : public AviVideoReader {
 public:
  FfmpegAviReader(int fd, uint64_t fileSize, std::vector<ByteOverlay> overlays)
      : fd_(fd), fileSize_(fileSize), file_(fd, std::move(overlays)) {}
  ~FfmpegAviReader() override {
    format_.reset();
    close(fd_);
  }

  AviOpenStatus openFormat() {
    if (file_.io() == nullptr) return AviOpenStatus::kOutOfMemory;
    AVFormatContext* format = avformat_alloc_context();
    if (format == nullptr) return AviOpenStatus::kOutOfMemory;
    format->pb = file_.io();
    format->flags |= AVFMT_FLAG_CUSTOM_IO;
    const int opened = avformat_open_input(&format, nullptr, av_find_input_format("avi"), nullptr);
    if (opened < 0) {  // the library has freed the context
      if (opened == AVERROR(ENOMEM)) return AviOpenStatus::kOutOfMemory;
      return file_.readFailed() ? AviOpenStatus::kFileRead : AviOpenStatus::kBadFormat;
    }
    format_.reset(format);
    findVideo();
    return AviOpenStatus::kOpened;
  }

  const VideoFacts* video() const override { return stream_ != nullptr ? &facts_ : nullptr; }

  bool openDecoder() override {
    if (stream_ == nullptr) return false;
    decoder_ = openStreamDecoder(stream_);
    if (!decoder_) return false;
    packet_.reset(av_packet_alloc());
    decoded_.reset(av_frame_alloc());
    last_.reset(av_frame_alloc());
    return packet_ && decoded_ && last_;
  }

  FrameStatus nextFrame(Picture& pixels) override {
    if (!decoder_) return FrameStatus::kEnd;
    while (true) {
      if (havePending_ && pendingPosition_ < position_) {  // a late or doubled picture
        havePending_ = false;
        av_frame_unref(decoded_.get());
        continue;
      }
      if (havePending_ && pendingPosition_ == position_) {
        havePending_ = false;
        av_frame_unref(last_.get());
        av_frame_move_ref(last_.get(), decoded_.get());
        haveLast_ = true;
        return give(last_.get(), pixels);
      }
      // A picture further on, or the stream's end before its last real
      // chunk: this position has no picture of its own. A dropped frame (an
      // empty chunk) repeats the picture before it, as does one the decoder
      // refused, after saying so; before the first picture, the next one
      // stands in.
      if (havePending_ || (drained_ && position_ <= lastSent_)) {
        const bool refused = sent_.erase(position_) != 0;
        const AVFrame* standIn = haveLast_ ? last_.get() : havePending_ ? decoded_.get() : nullptr;
        if (standIn == nullptr) {  // no picture at all, and none to come
          ++position_;
          if (refused) return FrameStatus::kUndecodable;
          continue;
        }
        const FrameStatus status = give(standIn, pixels);
        return refused && status == FrameStatus::kFrame ? FrameStatus::kRepeated : status;
      }
      if (drained_) return FrameStatus::kEnd;
      receiveOrFeed();
    }
  }

 private:
  void findVideo() {
    for (unsigned i = 0; i < format_->nb_streams; ++i) {
      AVStream* s = format_->streams[i];
      if (s->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) continue;
      stream_ = s;
      break;
    }
    if (stream_ == nullptr) return;
    facts_.width = static_cast<uint32_t>(std::max(0, stream_->codecpar->width));
    facts_.height = static_cast<uint32_t>(std::max(0, stream_->codecpar->height));
    facts_.rate.rate = static_cast<uint32_t>(std::max(0, stream_->time_base.den));
    facts_.rate.scale = static_cast<uint32_t>(std::max(0, stream_->time_base.num));
    facts_.length = indexedPositions();
    if (!plausibleFrame(facts_.width, facts_.height, fileSize_)) facts_.width = facts_.height = 0;
  }

  // The positions up to the last chunk with data that the file's index
  // (idx1, or the OpenDML indexes) lists: the header's length is only a
  // claim, which writers that cannot seek leave at a placeholder. -1
  // without an index.
  int64_t indexedPositions() const {
    const int entries = avformat_index_get_entries_count(stream_);
    if (entries <= 0) return -1;
    int64_t last = -1;
    for (int i = 0; i < entries; ++i) {
      const AVIndexEntry* entry = avformat_index_get_entry(stream_, i);
      if (entry != nullptr && entry->size > 0) last = std::max(last, entry->timestamp);
    }
    return last + 1;
  }

  // One step of decoding: a picture out of the decoder, or a packet into it.
  // Every step takes a picture out or a packet in, or ends the stream: a
  // decoder that keeps failing cannot hold the loop.
  void receiveOrFeed() {
    const int received = avcodec_receive_frame(decoder_.get(), decoded_.get());
    if (received == 0) {
      int64_t at = decoded_->best_effort_timestamp;
      if (at != AV_NOPTS_VALUE) {
        // An AVI has no times but its positions: a picture takes the
        // position of the packet that brought it out, which lies as many
        // positions later as the decoder holds pictures back to reorder
        // them. The first picture tells how many, up to what the decoder
        // says it holds.
        if (!delayKnown_) {
          const int64_t held = std::max(0, decoder_->has_b_frames);
          delay_ = std::clamp<int64_t>(at - (sent_.empty() ? at : *sent_.begin()), 0, held);
          delayKnown_ = true;
        }
        at -= delay_;
      }
      pendingPosition_ = at == AV_NOPTS_VALUE || at < nextDecoded_ ? nextDecoded_ : at;
      nextDecoded_ = pendingPosition_ + 1;
      havePending_ = true;
      return;
    }
    // Anything else than a picture: that picture is lost (its position
    // shows it), or the decoder wants input.
    if (received == AVERROR_EOF || endOfInput_) {
      drained_ = true;
      return;
    }
    while (!packetHeld_) {
      if (av_read_frame(format_.get(), packet_.get()) < 0) {
        endOfInput_ = true;
        avcodec_send_packet(decoder_.get(), nullptr);
        return;
      }
      if (packet_->stream_index == stream_->index) {
        packetHeld_ = true;
        if (packet_->dts != AV_NOPTS_VALUE) {
          sent_.insert(packet_->dts);
          lastSent_ = std::max(lastSent_, packet_->dts);
        }
      } else {
        av_packet_unref(packet_.get());
      }
    }
    // A decoder that is full keeps the packet for the next step; one that
    // wants neither input nor output is broken, and the stream ends there.
    if (avcodec_send_packet(decoder_.get(), packet_.get()) == AVERROR(EAGAIN)) {
      if (received == AVERROR(EAGAIN)) drained_ = true;
      return;
    }
    av_packet_unref(packet_.get());
    packetHeld_ = false;
  }

  FrameStatus give(const AVFrame* picture, Picture& pixels) {
    sent_.erase(sent_.begin(), sent_.upper_bound(position_));
    pixels.setTime(position_++);
    if (!pixels.reserve(facts_.width, facts_.height)) return FrameStatus::kOutOfMemory;
    return rows_.convert(picture, pixels.view()) ? FrameStatus::kFrame : FrameStatus::kUndecodable;
  }

  int fd_;
  uint64_t fileSize_;
  FileReader file_;
  std::unique_ptr<AVFormatContext, FormatClose> format_;
  AVStream* stream_ = nullptr;
  VideoFacts facts_;
  CodecContext decoder_;
  Packet packet_;
  Frame decoded_, last_;
  RowsFromPictures rows_;
  std::set<int64_t> sent_;  // positions whose packet went to the decoder and has not come out yet
  int64_t position_ = 0;    // the next position to give
  int64_t nextDecoded_ = 0;
  int64_t pendingPosition_ = 0;
  int64_t lastSent_ = -1;  // the last position whose chunk has data
  int64_t delay_ = 0;      // positions between a packet and the picture it brings out
  bool delayKnown_ = false;
  bool havePending_ = false, haveLast_ = false, endOfInput_ = false, drained_ = false, packetHeld_ = false;
};

bool isRiffAvi(int fd) {
  uint8_t head[12];
  size_t got = 0;
  while (got < sizeof head) {
    const ssize_t n = pread(fd, head + got, sizeof head - got, static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    got += static_cast<size_t>(n);
  }
  return std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "AVI ", 4) == 0;
}

}  // namespace

AviOpenStatus AviVideoReader::open(const std::string& path, std::unique_ptr<AviVideoReader>& reader) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno == ENOMEM ? AviOpenStatus::kOutOfMemory : AviOpenStatus::kFileOpen;
  return open(fd, reader);
}

AviOpenStatus AviVideoReader::open(int fd, std::unique_ptr<AviVideoReader>& reader,
                                   const std::vector<ByteOverlay>& overlays) {
  quietLibraryLog();
  uint64_t size = 0;
  if (!takeRegularFile(fd, size)) return AviOpenStatus::kFileOpen;
  if (!isRiffAvi(fd)) {
    close(fd);
    return AviOpenStatus::kBadFormat;
  }
  auto avi = std::make_unique<FfmpegAviReader>(fd, size, overlays);
  const AviOpenStatus status = avi->openFormat();
  if (status == AviOpenStatus::kOpened) reader = std::move(avi);
  return status;
}

}  // namespace quarn::platform
