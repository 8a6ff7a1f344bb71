// The AVI writer over libavformat's AVI muxer and libavcodec's encoders.
#include <algorithm>
#include <cstring>
#include <string>

#include "platform/avi_writer_backend.h"
#include "platform/ffmpeg_encoder.h"
#include "platform/ffmpeg_support.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/mem.h>
}

namespace quarn::platform {
namespace {

using namespace ffmpeg;

constexpr uint16_t kWaveFormatPcm = 1;
constexpr uint16_t kWaveFormatIeeeFloat = 3;
// More channels than any sound format of an AVI has; FFmpeg's decoders
// refuse far fewer than the 65535 a format block can claim.
constexpr uint16_t kMaxSoundChannels = 64;
// The muxer wants about 16 bytes of OpenDML super index per gigabyte.
constexpr int64_t kIndexBytesPerGigabyte = 16;
constexpr int64_t kIndexSpareBytes = 1024;

int bottomUpStride(uint32_t width) { return static_cast<int>((uint64_t{width} * 3 + 3) & ~uint64_t{3}); }

AVCodecID soundCodec(const AviSoundTrack& s) {
  if (s.formatTag == kWaveFormatPcm) {
    switch (s.bitsPerSample) {
      case 8:
        return AV_CODEC_ID_PCM_U8;
      case 16:
        return AV_CODEC_ID_PCM_S16LE;
      case 24:
        return AV_CODEC_ID_PCM_S24LE;
      case 32:
        return AV_CODEC_ID_PCM_S32LE;
      default:
        return AV_CODEC_ID_NONE;
    }
  }
  if (s.formatTag == kWaveFormatIeeeFloat) {
    if (s.bitsPerSample == 32) return AV_CODEC_ID_PCM_F32LE;
    if (s.bitsPerSample == 64) return AV_CODEC_ID_PCM_F64LE;
    return AV_CODEC_ID_NONE;
  }
  const AVCodecTag* const tables[] = {avformat_get_riff_audio_tags(), nullptr};
  return av_codec_get_id(tables, s.formatTag);
}

struct FormatFree {
  void operator()(AVFormatContext* f) const { avformat_free_context(f); }
};

class FfmpegAviWriter final : public AviWriterBackend {
 public:
  explicit FfmpegAviWriter(AVIOContext* io) : io_(io) {}

  AviWriteStatus begin(const AviVideoTrack& video, const AviSoundTrack* sound) override {
    quietLibraryLog();
    if (io_ == nullptr || video.width == 0 || video.height == 0 || video.rate == 0 || video.scale == 0) {
      return AviWriteStatus::kCodecUnusable;
    }
    track_ = video;
    stride_ = bottomUpStride(video.width);
    av_reduce(&frameRate_.num, &frameRate_.den, video.rate, video.scale, INT32_MAX);
    exactTimeBase_ = av_inv_q(frameRate_);
    raw_ = video.fourcc == kFourccDib;
    if (!raw_) {
      OpenedEncoder opened = openEncoder(video.fourcc, static_cast<int>(video.width), static_cast<int>(video.height),
                                         frameRate_, video.quality);
      if (!opened.context) return AviWriteStatus::kCodecUnusable;
      encoder_ = std::move(opened.context);
      quantiser_ = opened.quantiser;
    }
    AVFormatContext* format = nullptr;
    if (avformat_alloc_output_context2(&format, nullptr, "avi", nullptr) < 0) return AviWriteStatus::kCodecUnusable;
    format_.reset(format);
    format_->pb = io_;
    format_->flags |= AVFMT_FLAG_CUSTOM_IO;
    if (!addVideoStream() || (sound != nullptr && !addSoundStream(*sound))) return AviWriteStatus::kCodecUnusable;

    AVDictionary* options = nullptr;
    if (raw_) av_dict_set(&options, "flipped_raw_rgb", "1", 0);
    const int64_t expectedBytes = int64_t{stride_} * video.height * std::max<int64_t>(video.expectedFrames, 1);
    const int64_t indexBytes = expectedBytes / (int64_t{1} << 30) * kIndexBytesPerGigabyte + kIndexSpareBytes;
    av_dict_set_int(&options, "reserve_index_space", std::min<int64_t>(indexBytes, INT32_MAX), 0);
    const int written = avformat_write_header(format_.get(), &options);
    av_dict_free(&options);
    if (written < 0) return writeFailed() ? AviWriteStatus::kWriteFailed : AviWriteStatus::kCodecUnusable;
    headerWritten_ = true;
    packet_.reset(av_packet_alloc());
    soundPacket_.reset(av_packet_alloc());
    if (!packet_ || !soundPacket_) return AviWriteStatus::kWriteFailed;
    if (!raw_ && !preparePicture()) return AviWriteStatus::kCodecUnusable;
    return AviWriteStatus::kOk;
  }

  void setBeforeFrame(BeforeFrame beforeFrame) override { beforeFrame_ = std::move(beforeFrame); }

  AviWriteStatus writePicture(const uint8_t* pixels) override {
    if (!headerWritten_) return AviWriteStatus::kWriteFailed;
    const int64_t position = nextPosition_++;
    if (raw_) {
      packet_->data = const_cast<uint8_t*>(pixels);
      packet_->size = stride_ * static_cast<int>(track_.height);
      packet_->pts = position;
      packet_->flags = AV_PKT_FLAG_KEY;
      const AviWriteStatus status = writeVideoPacket(position);
      packet_->data = nullptr;
      packet_->size = 0;
      return status;
    }
    if (!toEncoderPicture(pixels)) return AviWriteStatus::kWriteFailed;
    picture_->pts = position;
    picture_->quality = quantiser_;
    if (avcodec_send_frame(encoder_.get(), picture_.get()) < 0) return AviWriteStatus::kWriteFailed;
    return drainEncoder();
  }

  AviWriteStatus writeSound(const uint8_t* bytes, size_t size) override {
    if (!headerWritten_ || sound_ == nullptr || size == 0) return AviWriteStatus::kOk;
    if (size > INT32_MAX) return AviWriteStatus::kWriteFailed;
    // Its own packet: sound is written while a picture's packet waits.
    soundPacket_->data = const_cast<uint8_t*>(bytes);
    soundPacket_->size = static_cast<int>(size);
    soundPacket_->stream_index = sound_->index;
    soundPacket_->pts = soundPacket_->dts =
        av_rescale_q(soundFrames_, AVRational{1, soundRate_}, sound_->time_base);
    soundPacket_->flags = AV_PKT_FLAG_KEY;
    soundFrames_ += static_cast<int64_t>(size / soundBlock_);
    const int written = av_write_frame(format_.get(), soundPacket_.get());
    soundPacket_->data = nullptr;
    soundPacket_->size = 0;
    return written < 0 || writeFailed() ? AviWriteStatus::kWriteFailed : AviWriteStatus::kOk;
  }

  AviWriteStatus flushPictures() override {
    if (!headerWritten_) return AviWriteStatus::kWriteFailed;
    if (raw_ || flushed_) return AviWriteStatus::kOk;
    flushed_ = true;
    if (avcodec_send_frame(encoder_.get(), nullptr) < 0) return AviWriteStatus::kWriteFailed;
    return drainEncoder();
  }

  AviWriteStatus finish() override {
    if (!headerWritten_) return AviWriteStatus::kWriteFailed;
    headerWritten_ = false;
    if (av_write_trailer(format_.get()) < 0) return AviWriteStatus::kWriteFailed;
    avio_flush(io_);
    return writeFailed() ? AviWriteStatus::kWriteFailed : AviWriteStatus::kOk;
  }

 private:
  bool writeFailed() const { return io_->error < 0; }

  bool addVideoStream() {
    video_ = avformat_new_stream(format_.get(), nullptr);
    if (video_ == nullptr) return false;
    AVCodecParameters* p = video_->codecpar;
    if (raw_) {
      p->codec_type = AVMEDIA_TYPE_VIDEO;
      p->codec_id = AV_CODEC_ID_RAWVIDEO;
      p->codec_tag = 0;  // BI_RGB
      p->format = AV_PIX_FMT_BGR24;
      p->width = static_cast<int>(track_.width);
      p->height = static_cast<int>(track_.height);
      p->bits_per_coded_sample = 24;
    } else {
      if (avcodec_parameters_from_context(p, encoder_.get()) < 0) return false;
      p->codec_tag = track_.fourcc;
    }
    video_->time_base = exactTimeBase_;
    video_->avg_frame_rate = frameRate_;
    return true;
  }

  bool addSoundStream(const AviSoundTrack& s) {
    if (!canCarrySound(s)) return false;
    sound_ = avformat_new_stream(format_.get(), nullptr);
    if (sound_ == nullptr) return false;
    AVCodecParameters* p = sound_->codecpar;
    p->codec_type = AVMEDIA_TYPE_AUDIO;
    p->codec_id = soundCodec(s);
    p->codec_tag = s.formatTag;
    p->sample_rate = static_cast<int>(s.samplesPerSec);
    av_channel_layout_default(&p->ch_layout, s.channels);
    p->block_align = s.blockAlign;
    p->bits_per_coded_sample = s.bitsPerSample;
    p->bit_rate = int64_t{s.avgBytesPerSec} * 8;
    if (!s.extra.empty()) {
      p->extradata = static_cast<uint8_t*>(av_mallocz(s.extra.size() + AV_INPUT_BUFFER_PADDING_SIZE));
      if (p->extradata == nullptr) return false;
      std::memcpy(p->extradata, s.extra.data(), s.extra.size());
      p->extradata_size = static_cast<int>(s.extra.size());
    }
    soundRate_ = static_cast<int>(s.samplesPerSec);
    soundBlock_ = s.blockAlign;
    sound_->time_base = AVRational{1, soundRate_};
    return true;
  }

  bool preparePicture() {
    picture_.reset(av_frame_alloc());
    if (!picture_) return false;
    picture_->format = encoder_->pix_fmt;
    picture_->width = encoder_->width;
    picture_->height = encoder_->height;
    if (av_frame_get_buffer(picture_.get(), 0) < 0) return false;
    padded_ = encoder_->width != static_cast<int>(track_.width) || encoder_->height != static_cast<int>(track_.height);
    if (padded_) paddedPixels_.resize(size_t(encoder_->width) * 3 * size_t(encoder_->height));
    scaler_.reset(sws_getContext(encoder_->width, encoder_->height, AV_PIX_FMT_BGR24, encoder_->width,
                                 encoder_->height, encoder_->pix_fmt, SWS_BICUBIC, nullptr, nullptr, nullptr));
    return scaler_ != nullptr;
  }

  // Our bottom-up rows into the encoder's picture. Where the encoder wants a
  // larger picture, the last column and row are repeated to fill it.
  bool toEncoderPicture(const uint8_t* pixels) {
    if (av_frame_make_writable(picture_.get()) < 0) return false;
    const int width = static_cast<int>(track_.width), height = static_cast<int>(track_.height);
    const uint8_t* source = pixels + static_cast<ptrdiff_t>(stride_) * (height - 1);
    int sourceStride = -stride_;
    if (padded_) {
      const int paddedWidth = encoder_->width, paddedStride = paddedWidth * 3;
      for (int y = 0; y < encoder_->height; ++y) {
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
    return sws_scale(scaler_.get(), planes, strides, 0, encoder_->height, picture_->data, picture_->linesize) ==
           encoder_->height;
  }

  AviWriteStatus drainEncoder() {
    while (true) {
      const int received = avcodec_receive_packet(encoder_.get(), packet_.get());
      if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) return AviWriteStatus::kOk;
      if (received < 0) return AviWriteStatus::kWriteFailed;
      const int64_t position = packet_->pts != AV_NOPTS_VALUE ? packet_->pts : nextPacket_;
      const AviWriteStatus status = writeVideoPacket(position);
      av_packet_unref(packet_.get());
      if (status != AviWriteStatus::kOk) return status;
    }
  }

  // The packet of the frame at `position`, after the sound before it. Its
  // key-frame flag is the encoder's own.
  AviWriteStatus writeVideoPacket(int64_t position) {
    if (beforeFrame_ && !beforeFrame_(position)) return AviWriteStatus::kWriteFailed;
    nextPacket_ = position + 1;
    packet_->stream_index = video_->index;
    packet_->pts = packet_->dts = av_rescale_q(position, exactTimeBase_, video_->time_base);
    packet_->duration = 0;
    const int written = av_write_frame(format_.get(), packet_.get());
    return written < 0 || writeFailed() ? AviWriteStatus::kWriteFailed : AviWriteStatus::kOk;
  }

  AVIOContext* io_;
  AviVideoTrack track_;
  int stride_ = 0;
  AVRational frameRate_{0, 1}, exactTimeBase_{0, 1};
  bool raw_ = false, padded_ = false, headerWritten_ = false, flushed_ = false;
  CodecContext encoder_;
  int quantiser_ = 0;
  std::unique_ptr<AVFormatContext, FormatFree> format_;
  AVStream* video_ = nullptr;
  AVStream* sound_ = nullptr;
  int soundRate_ = 1;
  uint32_t soundBlock_ = 1;
  int64_t soundFrames_ = 0;
  Frame picture_;
  Packet packet_, soundPacket_;
  Scaler scaler_;
  std::vector<uint8_t> paddedPixels_;
  BeforeFrame beforeFrame_;
  int64_t nextPosition_ = 0, nextPacket_ = 0;
};

class FileAviWriter final : public AviWriterBackend {
 public:
  explicit FileAviWriter(std::FILE* file) : file_(file), writer_(file_.io()) {}
  AviWriteStatus begin(const AviVideoTrack& v, const AviSoundTrack* s) override { return writer_.begin(v, s); }
  void setBeforeFrame(BeforeFrame b) override { writer_.setBeforeFrame(std::move(b)); }
  AviWriteStatus writePicture(const uint8_t* p) override { return writer_.writePicture(p); }
  AviWriteStatus writeSound(const uint8_t* b, size_t n) override { return writer_.writeSound(b, n); }
  AviWriteStatus flushPictures() override { return writer_.flushPictures(); }
  AviWriteStatus finish() override {
    const AviWriteStatus status = writer_.finish();
    return status == AviWriteStatus::kOk && file_.failed() ? AviWriteStatus::kWriteFailed : status;
  }

 private:
  FileWriter file_;
  FfmpegAviWriter writer_;
};

}  // namespace

bool canCarrySound(const AviSoundTrack& s) {
  // Samples of PCM are whole: a sample frame is one sample of each channel.
  const bool pcm = s.formatTag == kWaveFormatPcm || s.formatTag == kWaveFormatIeeeFloat;
  if (pcm && s.blockAlign != uint32_t{s.channels} * s.bitsPerSample / 8) return false;
  return s.channels > 0 && s.channels <= kMaxSoundChannels && s.samplesPerSec > 0 && s.samplesPerSec <= INT32_MAX &&
         s.blockAlign > 0 && soundCodec(s) != AV_CODEC_ID_NONE;
}

std::unique_ptr<AviWriterBackend> AviWriterBackend::create(std::FILE* file) {
  return std::make_unique<FileAviWriter>(file);
}

namespace {

// How many pictures FFmpeg decodes from an AVI in memory, without a single
// complaint; -1 when it complains or fails.
int cleanlyDecodedPictures(const uint8_t* bytes, size_t size) {
  MemoryReader memory(bytes, size);
  AVFormatContext* format = avformat_alloc_context();
  if (memory.io() == nullptr || format == nullptr) {
    avformat_free_context(format);
    return -1;
  }
  format->pb = memory.io();
  format->flags |= AVFMT_FLAG_CUSTOM_IO;
  const int complaintsBefore = libraryComplaints();
  if (avformat_open_input(&format, nullptr, av_find_input_format("avi"), nullptr) < 0) return -1;
  std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> owned(
      format, [](AVFormatContext* f) { avformat_close_input(&f); });
  const int stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (stream < 0) return -1;
  const AVCodec* codec = avcodec_find_decoder(format->streams[stream]->codecpar->codec_id);
  CodecContext decoder(codec != nullptr ? avcodec_alloc_context3(codec) : nullptr);
  if (!decoder || avcodec_parameters_to_context(decoder.get(), format->streams[stream]->codecpar) < 0 ||
      avcodec_open2(decoder.get(), codec, nullptr) < 0) {
    return -1;
  }
  Packet packet(av_packet_alloc());
  Frame picture(av_frame_alloc());
  if (!packet || !picture) return -1;
  int pictures = 0;
  bool more = true;
  while (more) {
    more = av_read_frame(format, packet.get()) >= 0;
    if (more && packet->stream_index != stream) {
      av_packet_unref(packet.get());
      continue;
    }
    const int sent = avcodec_send_packet(decoder.get(), more ? packet.get() : nullptr);
    av_packet_unref(packet.get());
    if (sent < 0) return -1;
    int received = 0;
    while ((received = avcodec_receive_frame(decoder.get(), picture.get())) == 0) ++pictures;
    if (received != AVERROR(EAGAIN) && received != AVERROR_EOF) return -1;
  }
  return libraryComplaints() == complaintsBefore ? pictures : -1;
}

}  // namespace

bool canWriteFourcc(uint32_t fourcc, uint32_t width, uint32_t height) {
  MemoryWriter memory;
  AVIOContext* io = memory.io();
  if (io == nullptr) return false;
  bool written = false;
  int complaintsBefore = 0;
  {
    FfmpegAviWriter writer(io);
    AviVideoTrack track;
    track.fourcc = fourcc;
    track.width = width;
    track.height = height;
    track.rate = 25;
    track.scale = 1;
    track.quality = 5000;
    track.expectedFrames = 2;
    // A pattern with edges and gradients: flat pictures pass where real
    // ones would not.
    const size_t stride = size_t(bottomUpStride(width));
    std::vector<uint8_t> picture(stride * height);
    for (size_t y = 0; y < height; ++y) {
      for (size_t x = 0; x < size_t{width} * 3; ++x) picture[y * stride + x] = uint8_t(x * 5 + y * 3 + (x / 24) * 40);
    }
    // Refused attempts at other sizes and formats complain; only what comes
    // after the set-up counts.
    written = writer.begin(track, nullptr) == AviWriteStatus::kOk &&
              (complaintsBefore = libraryComplaints(), true) &&
              writer.writePicture(picture.data()) == AviWriteStatus::kOk &&
              writer.writePicture(picture.data()) == AviWriteStatus::kOk &&
              writer.flushPictures() == AviWriteStatus::kOk && writer.finish() == AviWriteStatus::kOk;
  }
  avio_flush(io);
  // What was written must also read back: two pictures, and not a word
  // from the encoder or the decoder about them.
  return written && libraryComplaints() == complaintsBefore &&
         cleanlyDecodedPictures(memory.bytes().data(), memory.bytes().size()) == 2;
}

}  // namespace quarn::platform
