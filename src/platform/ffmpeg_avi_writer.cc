// The AVI writer over libavformat's AVI muxer and libavcodec's encoders.
#include <algorithm>
#include <cstring>
#include <deque>
#include <string>

#include "platform/avi_writer_backend.h"
#include "platform/ffmpeg_encoder.h"
#include "platform/ffmpeg_pictures.h"
#include "platform/ffmpeg_sound_copy.h"
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
// What players of AVI files take Y'CbCr pictures to be: BT.601, limited
// range (the yuvj formats full range).
constexpr Colours kAviColours = {AVCOL_SPC_SMPTE170M, AVCOL_RANGE_MPEG, AVCOL_PRI_UNSPECIFIED, AVCOL_TRC_UNSPECIFIED};
// The muxer wants about 16 bytes of OpenDML super index per gigabyte.
constexpr int64_t kIndexBytesPerGigabyte = 16;
constexpr int64_t kIndexSpareBytes = 1024;

AVCodecID soundCodec(const SoundFormat& s) {
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

  AviWriteStatus begin(const AviVideoTrack& video, const SoundFormat* sound, SoundCopy* copied) override {
    quietLibraryLog();
    if (io_ == nullptr || video.width == 0 || video.height == 0 || !video.rate.known()) {
      return AviWriteStatus::kCodecUnusable;
    }
    track_ = video;
    stride_ = rowStride(video.width, 3);
    av_reduce(&frameRate_.num, &frameRate_.den, video.rate.rate, video.rate.scale, INT32_MAX);
    exactTimeBase_ = av_inv_q(frameRate_);
    raw_ = video.fourcc == kFourCCDib;
    if (!raw_) {
      OpenedEncoder opened = openEncoder(video.fourcc, static_cast<int>(video.width), static_cast<int>(video.height),
                                         frameRate_, video.quality, kAviColours);
      if (!opened.context) return AviWriteStatus::kCodecUnusable;
      encoder_ = std::move(opened.context);
      quantiser_ = opened.quantiser;
      const AVCodecDescriptor* descriptor = avcodec_descriptor_get(encoder_->codec_id);
      intraOnly_ = descriptor != nullptr && (descriptor->props & AV_CODEC_PROP_INTRA_ONLY) != 0;
    }
    AVFormatContext* format = nullptr;
    if (avformat_alloc_output_context2(&format, nullptr, "avi", nullptr) < 0) return AviWriteStatus::kCodecUnusable;
    format_.reset(format);
    format_->pb = io_;
    format_->flags |= AVFMT_FLAG_CUSTOM_IO;
    if (!addVideoStream() || (sound != nullptr && !addSoundStream(*sound)) ||
        (copied != nullptr && !addCopiedStreams(static_cast<FfmpegSoundCopy&>(*copied)))) {
      return AviWriteStatus::kCodecUnusable;
    }

    AVDictionary* options = nullptr;
    if (raw_) av_dict_set(&options, "flipped_raw_rgb", "1", 0);
    const int64_t expectedBytes =
        static_cast<int64_t>(stride_ * video.height) * std::max<int64_t>(video.expectedFrames, 1);
    const int64_t indexBytes = expectedBytes / (int64_t{1} << 30) * kIndexBytesPerGigabyte + kIndexSpareBytes;
    av_dict_set_int(&options, "reserve_index_space", std::min<int64_t>(indexBytes, INT32_MAX), 0);
    const int written = avformat_write_header(format_.get(), &options);
    av_dict_free(&options);
    if (written < 0) return writeFailed() ? AviWriteStatus::kWriteFailed : AviWriteStatus::kCodecUnusable;
    headerWritten_ = true;
    soundPacket_.reset(av_packet_alloc());
    if (!soundPacket_) return AviWriteStatus::kWriteFailed;
    if (!raw_ && !pictures_.prepare(encoder_.get(), video.width, video.height, kAviColours)) {
      return AviWriteStatus::kCodecUnusable;
    }
    return AviWriteStatus::kOk;
  }

  AviWriteStatus encode(const PixelView& picture, int64_t position) override {
    if (!headerWritten_ || picture.width != track_.width || picture.height != track_.height) {
      return AviWriteStatus::kWriteFailed;
    }
    if (raw_) return keepRawPicture(picture, position);
    AVFrame* converted = pictures_.convert(picture);
    if (converted == nullptr) return AviWriteStatus::kWriteFailed;
    converted->pts = position;
    converted->quality = quantiser_;
    if (avcodec_send_frame(encoder_.get(), converted) < 0) return AviWriteStatus::kWriteFailed;
    return receivePackets();
  }

  AviWriteStatus flushPictures() override {
    if (!headerWritten_) return AviWriteStatus::kWriteFailed;
    if (raw_ || flushed_) return AviWriteStatus::kOk;
    flushed_ = true;
    if (avcodec_send_frame(encoder_.get(), nullptr) < 0) return AviWriteStatus::kWriteFailed;
    return receivePackets();
  }

  std::optional<int64_t> nextPacket() const override {
    if (waiting_.empty()) return std::nullopt;
    return waiting_.front().position;
  }

  // The packet is the frame's chunk at its position; its key-frame flag is
  // the encoder's own, but a player starts at the first frame and can start
  // at any picture of an intra-only codec, whatever the encoder flagged.
  AviWriteStatus writePacket() override {
    if (!headerWritten_ || waiting_.empty()) return AviWriteStatus::kWriteFailed;
    Waiting& next = waiting_.front();
    AVPacket* packet = next.packet.get();
    if (!anyWritten_ || intraOnly_) packet->flags |= AV_PKT_FLAG_KEY;
    anyWritten_ = true;
    packet->stream_index = video_->index;
    packet->pts = packet->dts = av_rescale_q(next.position, exactTimeBase_, video_->time_base);
    packet->duration = 0;
    const int written = av_write_frame(format_.get(), packet);
    av_packet_unref(packet);
    if (!next.raw.empty()) spareRaw_ = std::move(next.raw);
    sparePacket_ = std::move(next.packet);
    waiting_.pop_front();
    return written < 0 || writeFailed() ? AviWriteStatus::kWriteFailed : AviWriteStatus::kOk;
  }

  AviWriteStatus writeSound(const uint8_t* bytes, size_t size) override {
    if (!headerWritten_ || sound_ == nullptr || size == 0) return AviWriteStatus::kOk;
    if (size > INT32_MAX) return AviWriteStatus::kWriteFailed;
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

  AviWriteStatus writeCopiedSound(int64_t position) override {
    if (!headerWritten_ || copied_ == nullptr) return AviWriteStatus::kOk;
    size_t track = 0;
    while (AVPacket* packet = copied_->peek(track)) {
      const AVRational from = copied_->stream(track)->time_base;
      const int64_t start = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
      if (position != INT64_MAX && start != AV_NOPTS_VALUE &&
          av_compare_ts(start, from, position + 1, exactTimeBase_) >= 0) {
        break;
      }
      AVStream* to = copiedStreams_[track];
      av_packet_rescale_ts(packet, from, to->time_base);
      // The muxer counts a stream's time in its own units; two packets that
      // land on one would be refused.
      int64_t& last = lastCopiedDts_[track];
      if (packet->dts != AV_NOPTS_VALUE && last != AV_NOPTS_VALUE && packet->dts <= last) {
        packet->dts = last + 1;
        if (packet->pts != AV_NOPTS_VALUE && packet->pts < packet->dts) packet->pts = packet->dts;
      }
      if (packet->dts != AV_NOPTS_VALUE) last = packet->dts;
      packet->stream_index = to->index;
      packet->pos = -1;
      const int written = av_write_frame(format_.get(), packet);
      copied_->drop();
      if (written < 0 || writeFailed()) return AviWriteStatus::kWriteFailed;
    }
    return AviWriteStatus::kOk;
  }

  AviWriteStatus finish() override {
    if (!headerWritten_) return AviWriteStatus::kWriteFailed;
    headerWritten_ = false;
    if (av_write_trailer(format_.get()) < 0) return AviWriteStatus::kWriteFailed;
    avio_flush(io_);
    return writeFailed() ? AviWriteStatus::kWriteFailed : AviWriteStatus::kOk;
  }

 private:
  // An encoded picture waiting to be written, with its frame's position.
  struct Waiting {
    int64_t position = 0;
    Packet packet;
    std::vector<uint8_t> raw;  // the bytes of an uncompressed picture's packet
  };

  bool writeFailed() const { return io_->error < 0; }

  Packet newPacket() {
    if (sparePacket_) return std::move(sparePacket_);
    return Packet(av_packet_alloc());
  }

  // An uncompressed picture is its packet: rows bottom-up, each padded with
  // zeros to a multiple of 4 bytes.
  AviWriteStatus keepRawPicture(const PixelView& picture, int64_t position) {
    Waiting waiting{position, newPacket(), std::move(spareRaw_)};
    if (!waiting.packet) return AviWriteStatus::kWriteFailed;
    const size_t rowBytes = size_t{track_.width} * 3, padding = static_cast<size_t>(stride_) - rowBytes;
    waiting.raw.resize(static_cast<size_t>(stride_) * track_.height);
    const PixelView rows = picture.bottomFirst();
    for (uint32_t y = 0; y < track_.height; ++y) {
      uint8_t* to = waiting.raw.data() + static_cast<size_t>(stride_) * y;
      std::memcpy(to, rows.rows + rows.stride * static_cast<ptrdiff_t>(y), rowBytes);
      std::memset(to + rowBytes, 0, padding);
    }
    AVPacket* packet = waiting.packet.get();
    packet->data = waiting.raw.data();
    packet->size = static_cast<int>(waiting.raw.size());
    packet->flags = AV_PKT_FLAG_KEY;
    waiting_.push_back(std::move(waiting));
    return AviWriteStatus::kOk;
  }

  // Takes every packet the encoder has ready.
  AviWriteStatus receivePackets() {
    while (true) {
      Packet packet = newPacket();
      if (!packet) return AviWriteStatus::kWriteFailed;
      const int received = avcodec_receive_packet(encoder_.get(), packet.get());
      if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) {
        sparePacket_ = std::move(packet);
        return AviWriteStatus::kOk;
      }
      if (received < 0) return AviWriteStatus::kWriteFailed;
      const int64_t position = packet->pts != AV_NOPTS_VALUE ? packet->pts : nextPacket_;
      nextPacket_ = position + 1;
      waiting_.push_back({position, std::move(packet), {}});
    }
  }

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

  bool addSoundStream(const SoundFormat& s) {
    const AVCodecID codec = soundCodec(s);
    if (codec == AV_CODEC_ID_NONE || s.blockAlign == 0 || s.samplesPerSec == 0 || s.samplesPerSec > INT32_MAX) {
      return false;
    }
    sound_ = avformat_new_stream(format_.get(), nullptr);
    if (sound_ == nullptr) return false;
    AVCodecParameters* p = sound_->codecpar;
    p->codec_type = AVMEDIA_TYPE_AUDIO;
    p->codec_id = codec;
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

  // A stream for each copied track, with the parameters of its input, so
  // that the muxer writes the header the input had: packets with a time of
  // their own (no sample size, which the muxer takes from the block
  // alignment) where the input's were, counted in the input's units of
  // time. AC-3 and MP3 frames are such packets whatever a writer declared.
  bool addCopiedStreams(FfmpegSoundCopy& copied) {
    for (size_t track = 0; track < copied.tracks(); ++track) {
      const AVStream* from = copied.stream(track);
      AVStream* stream = avformat_new_stream(format_.get(), nullptr);
      if (stream == nullptr || avcodec_parameters_copy(stream->codecpar, from->codecpar) < 0) return false;
      AVCodecParameters* p = stream->codecpar;
      const bool mp3Frames = p->codec_id == AV_CODEC_ID_MP3 &&
                             (p->block_align == 1 || p->block_align == 576 || p->block_align == 1152);
      if (copied.variablePackets(track) || p->codec_id == AV_CODEC_ID_AC3 || mp3Frames) p->block_align = 0;
      if (p->frame_size == 0 && p->sample_rate > 0 && from->time_base.num > 0 &&
          int64_t{from->time_base.num} * p->sample_rate % from->time_base.den == 0) {
        p->frame_size = static_cast<int>(int64_t{from->time_base.num} * p->sample_rate / from->time_base.den);
      }
      stream->time_base = from->time_base;
      copiedStreams_.push_back(stream);
      lastCopiedDts_.push_back(AV_NOPTS_VALUE);
    }
    copied_ = &copied;
    return true;
  }

  AVIOContext* io_;
  AviVideoTrack track_;
  uint64_t stride_ = 0;
  AVRational frameRate_{0, 1}, exactTimeBase_{0, 1};
  bool raw_ = false, headerWritten_ = false, flushed_ = false;
  bool intraOnly_ = false, anyWritten_ = false;
  CodecContext encoder_;
  int quantiser_ = 0;
  std::unique_ptr<AVFormatContext, FormatFree> format_;
  AVStream* video_ = nullptr;
  AVStream* sound_ = nullptr;
  int soundRate_ = 1;
  uint32_t soundBlock_ = 1;
  int64_t soundFrames_ = 0;
  FfmpegSoundCopy* copied_ = nullptr;
  std::vector<AVStream*> copiedStreams_;
  std::vector<int64_t> lastCopiedDts_;
  PicturesFromRows pictures_;
  Packet soundPacket_, sparePacket_;
  std::deque<Waiting> waiting_;
  std::vector<uint8_t> spareRaw_;
  int64_t nextPacket_ = 0;
};

class FileAviWriter final : public AviWriterBackend {
 public:
  explicit FileAviWriter(std::FILE* file) : file_(file), writer_(file_.io()) {}
  AviWriteStatus begin(const AviVideoTrack& v, const SoundFormat* s, SoundCopy* c) override {
    return writer_.begin(v, s, c);
  }
  AviWriteStatus encode(const PixelView& p, int64_t at) override { return writer_.encode(p, at); }
  AviWriteStatus flushPictures() override { return writer_.flushPictures(); }
  std::optional<int64_t> nextPacket() const override { return writer_.nextPacket(); }
  AviWriteStatus writePacket() override { return writer_.writePacket(); }
  AviWriteStatus writeSound(const uint8_t* b, size_t n) override { return writer_.writeSound(b, n); }
  AviWriteStatus writeCopiedSound(int64_t at) override { return writer_.writeCopiedSound(at); }
  AviWriteStatus finish() override {
    const AviWriteStatus status = writer_.finish();
    return status == AviWriteStatus::kOk && file_.failed() ? AviWriteStatus::kWriteFailed : status;
  }

 private:
  FileWriter file_;
  FfmpegAviWriter writer_;
};

}  // namespace

bool canCarrySound(const SoundFormat& s) {
  // Samples of PCM are whole: a sample frame is one sample of each channel.
  const bool pcm = s.formatTag == kWaveFormatPcm || s.formatTag == kWaveFormatIeeeFloat;
  if (pcm && s.blockAlign != uint32_t{s.channels} * s.bitsPerSample / 8) return false;
  return s.channels > 0 && s.channels <= kMaxSoundChannels && s.samplesPerSec > 0 && s.samplesPerSec <= INT32_MAX &&
         s.blockAlign > 0 && soundCodec(s) != AV_CODEC_ID_NONE;
}

std::unique_ptr<AviWriterBackend> AviWriterBackend::create(std::FILE* file) {
  return std::make_unique<FileAviWriter>(file);
}

bool canWriteFourCC(FourCC fourcc, uint32_t width, uint32_t height) {
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
    track.rate = {25, 1};
    track.quality = 5000;
    track.expectedFrames = 2;
    std::vector<uint8_t> pixels = probePicture(width, height);
    const size_t stride = size_t{width} * 3;
    const PixelView picture{pixels.data(), static_cast<ptrdiff_t>(stride), width, height, true};
    const auto writeWaiting = [&writer] {
      while (writer.nextPacket()) {
        if (writer.writePacket() != AviWriteStatus::kOk) return false;
      }
      return true;
    };
    // Refused attempts at other sizes and formats complain; only what comes
    // after the set-up counts.
    written = writer.begin(track, nullptr, nullptr) == AviWriteStatus::kOk &&
              (complaintsBefore = libraryComplaints(), true) &&
              writer.encode(picture, 0) == AviWriteStatus::kOk && writeWaiting() &&
              writer.encode(picture, 1) == AviWriteStatus::kOk && writeWaiting() &&
              writer.flushPictures() == AviWriteStatus::kOk && writeWaiting() &&
              writer.finish() == AviWriteStatus::kOk;
  }
  avio_flush(io);
  // What was written must also read back: two pictures, and not a word
  // from the encoder or the decoder about them.
  return written && libraryComplaints() == complaintsBefore &&
         cleanlyDecodedPictures(memory.bytes().data(), memory.bytes().size(), "avi") == 2;
}

}  // namespace quarn::platform
