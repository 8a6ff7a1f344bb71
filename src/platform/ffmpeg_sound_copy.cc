// The sound copy over a second reading of the AVI by libavformat, which
// knows the timing of every kind of sound stream (whole blocks, variable
// packets, the quirks of the writers of such files).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/ffmpeg_sound_copy.h"

namespace quarn::platform {
namespace ffmpeg {
namespace {

struct FormatClose {
  void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};

class AviSoundCopy final : public FfmpegSoundCopy {
 public:
  AviSoundCopy(int fd, std::vector<ByteOverlay> overlays) : fd_(fd), file_(fd, std::move(overlays)) {}
  ~AviSoundCopy() override {
    format_.reset();
    close(fd_);
  }

  bool open(const std::vector<Track>& tracks) {
    AVFormatContext* format = avformat_alloc_context();
    if (file_.io() == nullptr || format == nullptr) {
      avformat_free_context(format);
      return false;
    }
    format->pb = file_.io();
    format->flags |= AVFMT_FLAG_CUSTOM_IO;
    if (avformat_open_input(&format, nullptr, av_find_input_format("avi"), nullptr) < 0) return false;
    format_.reset(format);
    // Only the copied streams are read; the demuxer skips the others' data.
    for (unsigned i = 0; i < format_->nb_streams; ++i) format_->streams[i]->discard = AVDISCARD_ALL;
    for (const Track& track : tracks) {
      if (track.number >= format_->nb_streams) return false;
      AVStream* s = format_->streams[track.number];
      if (s->codecpar->codec_type != AVMEDIA_TYPE_AUDIO || s->codecpar->codec_id == AV_CODEC_ID_NONE) return false;
      s->discard = AVDISCARD_DEFAULT;
      streams_.push_back(s);
      variable_.push_back(track.sampleSize == 0);
    }
    packet_.reset(av_packet_alloc());
    return packet_ != nullptr;
  }

  size_t tracks() const override { return streams_.size(); }
  std::string codecName(size_t track) const override {
    return avcodec_get_name(streams_.at(track)->codecpar->codec_id);
  }
  const AVStream* stream(size_t track) const override { return streams_.at(track); }
  bool variablePackets(size_t track) const override { return variable_.at(track); }

  AVPacket* peek(size_t& track) override {
    while (!held_ && !ended_) {
      if (av_read_frame(format_.get(), packet_.get()) < 0) {
        ended_ = true;
        break;
      }
      for (size_t t = 0; t < streams_.size(); ++t) {
        if (streams_[t]->index == packet_->stream_index && packet_->size > 0) {
          heldTrack_ = t;
          held_ = true;
        }
      }
      if (!held_) av_packet_unref(packet_.get());
    }
    track = heldTrack_;
    return held_ ? packet_.get() : nullptr;
  }

  void drop() override {
    av_packet_unref(packet_.get());
    held_ = false;
  }

 private:
  int fd_;
  FileReader file_;
  std::unique_ptr<AVFormatContext, FormatClose> format_;
  std::vector<AVStream*> streams_;
  std::vector<bool> variable_;
  Packet packet_;
  size_t heldTrack_ = 0;
  bool held_ = false, ended_ = false;
};

}  // namespace
}  // namespace ffmpeg

bool canCopySound(uint16_t formatTag) {
  const AVCodecTag* const tables[] = {avformat_get_riff_audio_tags(), nullptr};
  return av_codec_get_id(tables, formatTag) != AV_CODEC_ID_NONE;
}

std::unique_ptr<SoundCopy> SoundCopy::open(int fd, const std::vector<Track>& tracks,
                                           const std::vector<ByteOverlay>& overlays) {
  ffmpeg::quietLibraryLog();
  if (fd < 0) return nullptr;
  auto copy = std::make_unique<ffmpeg::AviSoundCopy>(fd, overlays);
  if (tracks.empty() || !copy->open(tracks)) return nullptr;
  return copy;
}

}  // namespace quarn::platform
