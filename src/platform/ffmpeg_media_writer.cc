// The writer of today's containers over libavformat's MP4, MOV, Matroska
// and WebM muxers, libavcodec's encoders and libswresample.
#include <algorithm>
#include <cstring>
#include <functional>
#include <string_view>

#include "platform/ffmpeg_media_encoder.h"
#include "platform/ffmpeg_media_input.h"
#include "platform/ffmpeg_pictures.h"
#include "platform/ffmpeg_support.h"
#include "platform/media_writer_backend.h"

extern "C" {
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

namespace quarn::platform {
namespace {

using namespace ffmpeg;

struct OutputFree {
  void operator()(AVFormatContext* f) const { avformat_free_context(f); }
};
struct ResamplerFree {
  void operator()(SwrContext* s) const { swr_free(&s); }
};
struct FifoFree {
  void operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); }
};

// Samples in an encoded sound frame when the encoder takes any number.
constexpr int kSoundFrameSamples = 1024;

const char* muxerName(ResultContainer container) {
  switch (container) {
    case ResultContainer::kMp4:
      return "mp4";
    case ResultContainer::kMov:
      return "mov";
    case ResultContainer::kMatroska:
      return "matroska";
    case ResultContainer::kWebm:
      return "webm";
  }
  return "";
}

bool isQuickTime(ResultContainer container) {
  return container == ResultContainer::kMp4 || container == ResultContainer::kMov;
}

// The sound codecs a container carries as they are, for players as well
// as for the muxer: MP4 what browsers and phones play, MOV that and PCM,
// WebM its two, Matroska whatever its muxer takes.
bool carriesSound(ResultContainer container, const AVOutputFormat* muxer, AVCodecID id) {
  static constexpr AVCodecID kMp4[] = {AV_CODEC_ID_AAC, AV_CODEC_ID_MP3,  AV_CODEC_ID_AC3,
                                       AV_CODEC_ID_EAC3, AV_CODEC_ID_ALAC, AV_CODEC_ID_OPUS};
  static constexpr AVCodecID kMov[] = {AV_CODEC_ID_AAC,       AV_CODEC_ID_MP3,       AV_CODEC_ID_AC3,
                                       AV_CODEC_ID_EAC3,      AV_CODEC_ID_ALAC,      AV_CODEC_ID_PCM_S16LE,
                                       AV_CODEC_ID_PCM_S16BE, AV_CODEC_ID_PCM_S24LE, AV_CODEC_ID_PCM_S24BE,
                                       AV_CODEC_ID_PCM_S32LE, AV_CODEC_ID_PCM_S32BE, AV_CODEC_ID_PCM_F32LE,
                                       AV_CODEC_ID_PCM_F32BE};
  static constexpr AVCodecID kWebm[] = {AV_CODEC_ID_OPUS, AV_CODEC_ID_VORBIS};
  const auto among = [id](const auto& list) { return std::find(std::begin(list), std::end(list), id) != std::end(list); };
  switch (container) {
    case ResultContainer::kMp4:
      return among(kMp4);
    case ResultContainer::kMov:
      return among(kMov);
    case ResultContainer::kWebm:
      return among(kWebm);
    case ResultContainer::kMatroska:
      return avformat_query_codec(muxer, id, FF_COMPLIANCE_NORMAL) == 1;
  }
  return false;
}

// Matroska also keeps subtitles; the others leave them out.
bool carriesSubtitles(ResultContainer container, const AVOutputFormat* muxer, AVCodecID id) {
  return container == ResultContainer::kMatroska && avformat_query_codec(muxer, id, FF_COMPLIANCE_NORMAL) == 1;
}

// Sound a container cannot carry is encoded once, to what it plays best.
const char* soundEncoderFor(ResultContainer container) {
  return container == ResultContainer::kWebm ? "libopus" : "aac";
}

// A sound stream decoded and encoded once: the samples resampled to what
// the encoder takes, in frames of its size, each at the time its first
// sample had in the input.
class SoundEncoder {
 public:
  using Emit = std::function<bool(AVPacket*)>;

  bool open(const AVStream* in, const char* encoderName, bool globalHeader) {
    inTimeBase_ = in->time_base;
    const AVCodec* decoding = avcodec_find_decoder(in->codecpar->codec_id);
    const AVCodec* encoding = avcodec_find_encoder_by_name(encoderName);
    if (decoding == nullptr || encoding == nullptr) return false;
    decoder_.reset(avcodec_alloc_context3(decoding));
    if (!decoder_ || avcodec_parameters_to_context(decoder_.get(), in->codecpar) < 0) return false;
    decoder_->pkt_timebase = in->time_base;
    if (avcodec_open2(decoder_.get(), decoding, nullptr) < 0) return false;
    encoder_.reset(avcodec_alloc_context3(encoding));
    if (!encoder_) return false;
    encoder_->sample_fmt = encoding->sample_fmts != nullptr ? encoding->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
    encoder_->sample_rate = chooseRate(encoding, in->codecpar->sample_rate);
    // More than two channels are mixed down to two: every player takes those.
    av_channel_layout_default(&encoder_->ch_layout, in->codecpar->ch_layout.nb_channels == 1 ? 1 : 2);
    encoder_->time_base = AVRational{1, encoder_->sample_rate};
    if (globalHeader) encoder_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(encoder_.get(), encoding, nullptr) < 0) return false;
    frameSamples_ = (encoding->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) != 0 || encoder_->frame_size <= 0
                        ? kSoundFrameSamples
                        : encoder_->frame_size;
    fifo_.reset(av_audio_fifo_alloc(encoder_->sample_fmt, encoder_->ch_layout.nb_channels, frameSamples_));
    decoded_.reset(av_frame_alloc());
    frame_.reset(av_frame_alloc());
    packet_.reset(av_packet_alloc());
    return fifo_ && decoded_ && frame_ && packet_;
  }

  const AVCodecContext* encoder() const { return encoder_.get(); }

  // Decodes `packet` (nullptr: the input ended) and encodes what it gives;
  // each encoded packet goes to `emit`, in the encoder's time base.
  bool feed(const AVPacket* packet, const Emit& emit) {
    const int sent = avcodec_send_packet(decoder_.get(), packet);
    // A packet the decoder refuses is a moment of silence lost, not the end.
    if (sent < 0 && sent != AVERROR(EAGAIN) && packet == nullptr) return false;
    while (avcodec_receive_frame(decoder_.get(), decoded_.get()) == 0) {
      const bool resampled = resample(decoded_.get());
      av_frame_unref(decoded_.get());
      if (!resampled || !encodeWhole(emit, false)) return false;
    }
    if (packet != nullptr) return true;
    // The end: what the resampler holds, the last short frame, the encoder's last.
    if (resampler_ && !resample(nullptr)) return false;
    if (!encodeWhole(emit, true)) return false;
    return avcodec_send_frame(encoder_.get(), nullptr) >= 0 && receive(emit);
  }

 private:
  static int chooseRate(const AVCodec* codec, int rate) {
    if (codec->supported_samplerates == nullptr) return rate > 0 ? rate : 48000;
    for (const int* r = codec->supported_samplerates; *r != 0; ++r) {
      if (*r == rate) return rate;
    }
    return 48000;
  }

  bool resample(const AVFrame* frame) {
    if (frame != nullptr && !resampler_) {
      SwrContext* made = nullptr;
      if (swr_alloc_set_opts2(&made, &encoder_->ch_layout, encoder_->sample_fmt, encoder_->sample_rate,
                              const_cast<AVChannelLayout*>(&frame->ch_layout), static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0,
                              nullptr) < 0) {
        return false;
      }
      resampler_.reset(made);
      if (swr_init(made) < 0) return false;
      const int64_t at = frame->best_effort_timestamp;
      nextPts_ = at == AV_NOPTS_VALUE ? 0 : av_rescale_q(at, inTimeBase_, encoder_->time_base);
    }
    if (!resampler_) return true;
    const int room = swr_get_out_samples(resampler_.get(), frame != nullptr ? frame->nb_samples : 0);
    if (room < 0) return false;
    if (room == 0) return true;
    uint8_t** buffer = nullptr;
    if (av_samples_alloc_array_and_samples(&buffer, nullptr, encoder_->ch_layout.nb_channels, room,
                                           encoder_->sample_fmt, 0) < 0) {
      return false;
    }
    const int made = swr_convert(resampler_.get(), buffer, room, frame != nullptr ? const_cast<const uint8_t**>(frame->extended_data) : nullptr,
                                 frame != nullptr ? frame->nb_samples : 0);
    const bool kept = made >= 0 && av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(buffer), made) == made;
    av_freep(&buffer[0]);
    av_freep(&buffer);
    return kept;
  }

  // Encodes the waiting samples in whole frames (and the rest with `last`).
  bool encodeWhole(const Emit& emit, bool last) {
    while (av_audio_fifo_size(fifo_.get()) >= frameSamples_ || (last && av_audio_fifo_size(fifo_.get()) > 0)) {
      const int n = std::min(frameSamples_, av_audio_fifo_size(fifo_.get()));
      av_frame_unref(frame_.get());
      frame_->nb_samples = n;
      frame_->format = encoder_->sample_fmt;
      frame_->sample_rate = encoder_->sample_rate;
      if (av_channel_layout_copy(&frame_->ch_layout, &encoder_->ch_layout) < 0 ||
          av_frame_get_buffer(frame_.get(), 0) < 0 ||
          av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(frame_->data), n) != n) {
        return false;
      }
      frame_->pts = nextPts_;
      nextPts_ += n;
      if (avcodec_send_frame(encoder_.get(), frame_.get()) < 0 || !receive(emit)) return false;
    }
    return true;
  }

  bool receive(const Emit& emit) {
    int received = 0;
    while ((received = avcodec_receive_packet(encoder_.get(), packet_.get())) == 0) {
      if (!emit(packet_.get())) return false;
    }
    return received == AVERROR(EAGAIN) || received == AVERROR_EOF;
  }

  AVRational inTimeBase_{1, 1};
  CodecContext decoder_, encoder_;
  std::unique_ptr<SwrContext, ResamplerFree> resampler_;
  std::unique_ptr<AVAudioFifo, FifoFree> fifo_;
  Frame decoded_, frame_;
  Packet packet_;
  int frameSamples_ = kSoundFrameSamples;
  int64_t nextPts_ = 0;
};

// A stream of the input the result carries.
struct Carried {
  const AVStream* in = nullptr;
  AVStream* out = nullptr;
  std::unique_ptr<SoundEncoder> encoder;  // nullptr: its packets are copied
  int64_t lastDts = AV_NOPTS_VALUE;       // of the last copied packet, in the result's time base
};

// Tags of the container the result keeps: when and where it was recorded.
bool keptTag(std::string_view key) {
  return key == "creation_time" || key.substr(0, 8) == "location" || key == "com.apple.quicktime.location.ISO6709" ||
         key == "com.apple.quicktime.creationdate";
}

class FfmpegMediaWriter final : public MediaWriterBackend {
 public:
  FfmpegMediaWriter(AVIOContext* io, std::FILE* file, ResultContainer container, MediaInput* input)
      : io_(io), file_(file), container_(container), input_(input) {}

  MediaWriteStatus begin(const MediaVideoTrack& track) override {
    quietLibraryLog();
    if (io_ == nullptr || track.width == 0 || track.height == 0) return MediaWriteStatus::kCodecUnusable;
    track_ = track;
    const AVStream* inVideo = input_ != nullptr && input_->videoIndex() >= 0
                                  ? input_->demuxer()->streams[input_->videoIndex()]
                                  : nullptr;
    const MediaCodecFamily* family =
        familyFor(track.fourcc, container_, inVideo != nullptr ? inVideo->codecpar->codec_id : AV_CODEC_ID_NONE);
    if (family == nullptr) return MediaWriteStatus::kCodecUnusable;
    AVFormatContext* format = nullptr;
    if (avformat_alloc_output_context2(&format, nullptr, muxerName(container_), nullptr) < 0) {
      return MediaWriteStatus::kCodecUnusable;
    }
    format_.reset(format);
    format_->pb = io_;
    format_->flags |= AVFMT_FLAG_CUSTOM_IO;
    if (input_ != nullptr) {
      const int64_t start = input_->demuxer()->start_time;
      shift_ = start != AV_NOPTS_VALUE && start > 0 ? start : 0;
    }
    if (!openVideo(*family, inVideo)) return MediaWriteStatus::kCodecUnusable;
    if (input_ != nullptr && !addOtherStreams()) return MediaWriteStatus::kWriteFailed;
    keepTags();

    AVDictionary* options = nullptr;
    // Times are written as they are, not moved to start at zero: Matroska
    // takes Opus's first samples as negative times of their own, and
    // moving all streams by them would move the picture against the sound.
    if (!isQuickTime(container_)) av_dict_set(&options, "avoid_negative_ts", "disabled", 0);
    if (isQuickTime(container_) && file_ != nullptr) {
      // The index goes to the front in a second pass, which reads the file back.
      av_dict_set(&options, "movflags", "+faststart", 0);
      format_->opaque = this;
      format_->io_open = openReadBack;
      format_->io_close = closeReadBack;
    }
    const int written = avformat_write_header(format_.get(), &options);
    av_dict_free(&options);
    if (written < 0) return io_->error < 0 ? MediaWriteStatus::kWriteFailed : MediaWriteStatus::kCodecUnusable;
    headerWritten_ = true;
    if (!pictures_.prepare(encoder_.get(), track.width, track.height, colours_)) return MediaWriteStatus::kCodecUnusable;
    packet_.reset(av_packet_alloc());
    pending_.reset(av_packet_alloc());
    if (!packet_ || !pending_) return MediaWriteStatus::kWriteFailed;
    if (!carried_.empty()) {
      others_ = input_->openPacketSource();
      if (!others_) return MediaWriteStatus::kWriteFailed;
    }
    return MediaWriteStatus::kOk;
  }

  MediaWriteStatus encode(const PixelView& picture, int64_t time) override {
    if (!headerWritten_ || picture.width != track_.width || picture.height != track_.height) {
      return MediaWriteStatus::kWriteFailed;
    }
    AVFrame* converted = pictures_.convert(picture);
    if (converted == nullptr) return MediaWriteStatus::kWriteFailed;
    int64_t pts = av_rescale_q(time, inTimeBase_, encoder_->time_base) -
                  av_rescale_q(shift_, AV_TIME_BASE_Q, encoder_->time_base);
    // Two pictures at one time (or out of order) cannot be encoded: the
    // later one goes a tick after.
    if (havePts_ && pts <= lastPts_) pts = lastPts_ + 1;
    havePts_ = true;
    lastPts_ = pts;
    converted->pts = pts;
    converted->quality = quantiser_;
    if (avcodec_send_frame(encoder_.get(), converted) < 0) return MediaWriteStatus::kWriteFailed;
    return writeVideoPackets();
  }

  MediaWriteStatus finish() override {
    if (!headerWritten_) return MediaWriteStatus::kWriteFailed;
    headerWritten_ = false;
    if (avcodec_send_frame(encoder_.get(), nullptr) < 0 || writeVideoPackets() != MediaWriteStatus::kOk ||
        !writeOthersUpTo(INT64_MAX)) {
      return MediaWriteStatus::kWriteFailed;
    }
    for (Carried& c : carried_) {
      if (c.encoder && !c.encoder->feed(nullptr, emitFor(c))) return MediaWriteStatus::kWriteFailed;
    }
    if (av_write_trailer(format_.get()) < 0) return MediaWriteStatus::kWriteFailed;
    avio_flush(io_);
    return io_->error < 0 ? MediaWriteStatus::kWriteFailed : MediaWriteStatus::kOk;
  }

  const std::vector<StreamNote>& streams() const override { return notes_; }

 private:
  static int openReadBack(AVFormatContext* s, AVIOContext** pb, const char*, int flags, AVDictionary**) {
    auto* self = static_cast<FfmpegMediaWriter*>(s->opaque);
    if ((flags & AVIO_FLAG_WRITE) != 0 || self == nullptr || self->file_ == nullptr) return AVERROR(EPERM);
    // The muxer has flushed its own buffer; ours goes to the file too.
    if (std::fflush(self->file_) != 0) return AVERROR(EIO);
    self->readBack_ = std::make_unique<FileReader>(fileno(self->file_));
    if (self->readBack_->io() == nullptr) return AVERROR(ENOMEM);
    *pb = self->readBack_->io();
    return 0;
  }

  static void closeReadBack(AVFormatContext* s, AVIOContext* pb) {
    auto* self = static_cast<FfmpegMediaWriter*>(s->opaque);
    if (self != nullptr && self->readBack_ && self->readBack_->io() == pb) self->readBack_.reset();
  }

  bool openVideo(const MediaCodecFamily& family, const AVStream* inVideo) {
    MediaEncoderSettings s;
    s.width = static_cast<int>(track_.width);
    s.height = static_cast<int>(track_.height);
    if (inVideo != nullptr) {
      inTimeBase_ = inVideo->time_base;
      s.timeBase = inVideo->time_base;
      s.frameRate = inVideo->avg_frame_rate.num > 0 ? inVideo->avg_frame_rate : inVideo->r_frame_rate;
      AVRational aspect = inVideo->sample_aspect_ratio.num > 0 ? inVideo->sample_aspect_ratio
                                                                : inVideo->codecpar->sample_aspect_ratio;
      if (aspect.num <= 0 || aspect.den <= 0) aspect = AVRational{1, 1};
      // A picture turned a quarter has its pixels turned too.
      if (input_->turnedQuarter()) aspect = av_inv_q(aspect);
      s.aspect = aspect;
      colours_ = input_->colours();
    } else {
      inTimeBase_ = s.timeBase;
      // A trial of the encoder on two small pictures: one thread. libvpx's
      // threads wait for each other by spinning, and two runs trying their
      // encoders at once on a busy machine then took minutes.
      s.threads = 1;
    }
    s.quality = track_.quality;
    s.colours = colours_;
    s.globalHeader = (format_->oformat->flags & AVFMT_GLOBALHEADER) != 0;
    MediaEncoder opened = openMediaEncoder(family, s);
    if (!opened.context) return false;
    encoder_ = std::move(opened.context);
    quantiser_ = opened.quantiser;
    video_ = avformat_new_stream(format_.get(), nullptr);
    if (video_ == nullptr || avcodec_parameters_from_context(video_->codecpar, encoder_.get()) < 0) return false;
    // Apple's players take HEVC only under this tag.
    if (family.id == AV_CODEC_ID_HEVC && isQuickTime(container_)) video_->codecpar->codec_tag = MKTAG('h', 'v', 'c', '1');
    video_->time_base = encoder_->time_base;
    video_->avg_frame_rate = s.frameRate;
    video_->sample_aspect_ratio = s.aspect;
    if (inVideo != nullptr) av_dict_set(&video_->metadata, "language", language(inVideo), 0);
    return true;
  }

  static const char* language(const AVStream* s) {
    const AVDictionaryEntry* e = av_dict_get(s->metadata, "language", nullptr, 0);
    return e != nullptr && std::strcmp(e->value, "und") != 0 ? e->value : nullptr;
  }

  bool addOtherStreams() {
    const AVFormatContext* in = input_->demuxer();
    carriedOf_.assign(in->nb_streams, -1);
    const bool globalHeader = (format_->oformat->flags & AVFMT_GLOBALHEADER) != 0;
    for (unsigned i = 0; i < in->nb_streams; ++i) {
      const AVStream* s = in->streams[i];
      if (static_cast<int>(i) == input_->videoIndex()) continue;
      StreamNote note;
      note.index = static_cast<int>(i);
      const char* type = av_get_media_type_string(s->codecpar->codec_type);
      note.type = type != nullptr ? type : "data";
      if ((s->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0) note.type = "attachment";
      note.codec = avcodec_get_name(s->codecpar->codec_id);
      Carried carried;
      carried.in = s;
      const AVCodecID id = s->codecpar->codec_id;
      if (s->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
        if (carriesSound(container_, format_->oformat, id)) {
          note.fate = StreamNote::Fate::kCopied;
        } else {
          auto encoder = std::make_unique<SoundEncoder>();
          if (encoder->open(s, soundEncoderFor(container_), globalHeader)) {
            note.fate = StreamNote::Fate::kEncoded;
            note.encodedAs = avcodec_get_name(encoder->encoder()->codec_id);
            carried.encoder = std::move(encoder);
          }
        }
      } else if (s->codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE && carriesSubtitles(container_, format_->oformat, id)) {
        note.fate = StreamNote::Fate::kCopied;
      }
      notes_.push_back(note);
      if (note.fate == StreamNote::Fate::kLeftOut) continue;
      carried.out = avformat_new_stream(format_.get(), nullptr);
      if (carried.out == nullptr) return false;
      const int params = carried.encoder
                             ? avcodec_parameters_from_context(carried.out->codecpar, carried.encoder->encoder())
                             : avcodec_parameters_copy(carried.out->codecpar, s->codecpar);
      if (params < 0) return false;
      if (!carried.encoder) carried.out->codecpar->codec_tag = 0;  // the result's own tag for the codec
      carried.out->time_base = carried.encoder ? carried.encoder->encoder()->time_base : s->time_base;
      carried.out->disposition = s->disposition & ~AV_DISPOSITION_ATTACHED_PIC;
      av_dict_set(&carried.out->metadata, "language", language(s), 0);
      carriedOf_[i] = static_cast<int>(carried_.size());
      carried_.push_back(std::move(carried));
    }
    return true;
  }

  void keepTags() {
    if (input_ == nullptr) return;
    const AVDictionaryEntry* e = nullptr;
    while ((e = av_dict_get(input_->demuxer()->metadata, "", e, AV_DICT_IGNORE_SUFFIX)) != nullptr) {
      if (keptTag(e->key)) av_dict_set(&format_->metadata, e->key, e->value, 0);
    }
    // Phones of one maker keep the place under their own key only; the
    // QuickTime muxers write the common one.
    const AVDictionaryEntry* place = av_dict_get(format_->metadata, "com.apple.quicktime.location.ISO6709", nullptr, 0);
    if (place != nullptr && av_dict_get(format_->metadata, "location", nullptr, 0) == nullptr) {
      av_dict_set(&format_->metadata, "location", place->value, 0);
    }
  }

  // Every packet the video encoder has ready, each after the other
  // streams' packets of times before it.
  MediaWriteStatus writeVideoPackets() {
    while (true) {
      const int received = avcodec_receive_packet(encoder_.get(), packet_.get());
      if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) return MediaWriteStatus::kOk;
      if (received < 0) return MediaWriteStatus::kWriteFailed;
      av_packet_rescale_ts(packet_.get(), encoder_->time_base, video_->time_base);
      packet_->stream_index = video_->index;
      const int64_t at = packet_->dts != AV_NOPTS_VALUE ? packet_->dts : packet_->pts;
      if (at != AV_NOPTS_VALUE && !writeOthersUpTo(av_rescale_q(at, video_->time_base, AV_TIME_BASE_Q))) {
        return MediaWriteStatus::kWriteFailed;
      }
      if (av_interleaved_write_frame(format_.get(), packet_.get()) < 0 || io_->error < 0) {
        return MediaWriteStatus::kWriteFailed;
      }
    }
  }

  // The other streams' packets in file order, up to the first of a time
  // after `limit` (in AV_TIME_BASE, on the result's clock).
  bool writeOthersUpTo(int64_t limit) {
    while (others_ && !othersEnded_) {
      if (!pendingHeld_) {
        if (!others_->next(pending_.get())) {
          othersEnded_ = true;
          break;
        }
        pendingHeld_ = true;
      }
      const int index = pending_->stream_index;
      if (index < 0 || static_cast<size_t>(index) >= carriedOf_.size() || carriedOf_[index] < 0) {
        av_packet_unref(pending_.get());
        pendingHeld_ = false;
        continue;
      }
      Carried& c = carried_[static_cast<size_t>(carriedOf_[index])];
      const int64_t at = pending_->dts != AV_NOPTS_VALUE ? pending_->dts : pending_->pts;
      if (limit != INT64_MAX && at != AV_NOPTS_VALUE &&
          av_rescale_q(at, c.in->time_base, AV_TIME_BASE_Q) - shift_ > limit) {
        return true;
      }
      const bool written = c.encoder ? c.encoder->feed(pending_.get(), emitFor(c)) : copy(c, pending_.get());
      av_packet_unref(pending_.get());
      pendingHeld_ = false;
      if (!written) return false;
    }
    return true;
  }

  std::function<bool(AVPacket*)> emitFor(Carried& c) {
    return [this, &c](AVPacket* packet) {
      av_packet_rescale_ts(packet, c.encoder->encoder()->time_base, c.out->time_base);
      return write(c, packet);
    };
  }

  bool copy(Carried& c, AVPacket* packet) {
    av_packet_rescale_ts(packet, c.in->time_base, c.out->time_base);
    packet->pos = -1;
    // Matroska's reader takes Opus's first samples (its codec delay) off
    // the times, and its writer does not put them back: they are put back
    // here, so the sound reads back at the times it had.
    const AVCodecParameters* p = c.in->codecpar;
    if (!isQuickTime(container_) && p->codec_id == AV_CODEC_ID_OPUS && p->initial_padding > 0 && p->sample_rate > 0) {
      const int64_t delay = av_rescale_q(p->initial_padding, AVRational{1, p->sample_rate}, c.out->time_base);
      if (packet->pts != AV_NOPTS_VALUE) packet->pts += delay;
      if (packet->dts != AV_NOPTS_VALUE) packet->dts += delay;
    }
    return write(c, packet);
  }

  // One packet of a carried stream, at the result's clock. A packet whose
  // time goes back (a damaged input) is left out: the muxer would refuse it.
  bool write(Carried& c, AVPacket* packet) {
    const int64_t shift = av_rescale_q(shift_, AV_TIME_BASE_Q, c.out->time_base);
    if (packet->pts != AV_NOPTS_VALUE) packet->pts -= shift;
    if (packet->dts != AV_NOPTS_VALUE) packet->dts -= shift;
    if (packet->dts != AV_NOPTS_VALUE && c.lastDts != AV_NOPTS_VALUE && packet->dts <= c.lastDts) {
      av_packet_unref(packet);
      return true;
    }
    if (packet->dts != AV_NOPTS_VALUE) c.lastDts = packet->dts;
    packet->stream_index = c.out->index;
    return av_interleaved_write_frame(format_.get(), packet) >= 0 && io_->error >= 0;
  }

  AVIOContext* io_;
  std::FILE* file_;  // nullptr: a result in memory, with its index at the end
  ResultContainer container_;
  MediaInput* input_;
  MediaVideoTrack track_;
  std::unique_ptr<AVFormatContext, OutputFree> format_;
  CodecContext encoder_;
  int quantiser_ = 0;
  Colours colours_;
  AVStream* video_ = nullptr;
  AVRational inTimeBase_{1, 25};
  int64_t shift_ = 0;  // AV_TIME_BASE units taken off every time: the input's start
  int64_t lastPts_ = 0;
  bool havePts_ = false, headerWritten_ = false;
  PicturesFromRows pictures_{true};
  Packet packet_, pending_;
  std::vector<Carried> carried_;
  std::vector<int> carriedOf_;  // input stream index -> carried_ index, or -1
  std::vector<StreamNote> notes_;
  std::unique_ptr<PacketSource> others_;
  bool pendingHeld_ = false, othersEnded_ = false;
  std::unique_ptr<FileReader> readBack_;
};

class FileMediaWriter final : public MediaWriterBackend {
 public:
  FileMediaWriter(std::FILE* file, ResultContainer container, MediaInput* input)
      : file_(file), writer_(file_.io(), file, container, input) {}
  MediaWriteStatus begin(const MediaVideoTrack& v) override { return writer_.begin(v); }
  MediaWriteStatus encode(const PixelView& p, int64_t time) override { return writer_.encode(p, time); }
  MediaWriteStatus finish() override {
    const MediaWriteStatus status = writer_.finish();
    return status == MediaWriteStatus::kOk && file_.failed() ? MediaWriteStatus::kWriteFailed : status;
  }
  const std::vector<StreamNote>& streams() const override { return writer_.streams(); }

 private:
  FileWriter file_;
  FfmpegMediaWriter writer_;
};

}  // namespace

const char* resultExtension(ResultContainer container) {
  switch (container) {
    case ResultContainer::kMp4:
      return ".mp4";
    case ResultContainer::kMov:
      return ".mov";
    case ResultContainer::kMatroska:
      return ".mkv";
    case ResultContainer::kWebm:
      return ".webm";
  }
  return "";
}

std::unique_ptr<MediaWriterBackend> MediaWriterBackend::create(std::FILE* file, ResultContainer container,
                                                               MediaReader& input) {
  return std::make_unique<FileMediaWriter>(file, container, dynamic_cast<MediaInput*>(&input));
}

bool canWriteMediaCodec(FourCC fourcc, ResultContainer container, uint32_t width, uint32_t height) {
  MemoryWriter memory;
  AVIOContext* io = memory.io();
  if (io == nullptr) return false;
  bool written = false;
  int complaintsBefore = 0;
  {
    FfmpegMediaWriter writer(io, nullptr, container, nullptr);
    MediaVideoTrack track;
    track.fourcc = fourcc;
    track.width = width;
    track.height = height;
    track.quality = 5000;
    std::vector<uint8_t> pixels = probePicture(width, height);
    const size_t stride = size_t{width} * 3;
    const PixelView picture{pixels.data(), static_cast<ptrdiff_t>(stride), width, height, false};
    // Refused attempts at other settings complain; only what comes after
    // the set-up counts.
    written = writer.begin(track) == MediaWriteStatus::kOk && (complaintsBefore = libraryComplaints(), true) &&
              writer.encode(picture, 0) == MediaWriteStatus::kOk && writer.encode(picture, 1) == MediaWriteStatus::kOk &&
              writer.finish() == MediaWriteStatus::kOk;
  }
  avio_flush(io);
  const char* demuxer = isQuickTime(container) ? "mov" : "matroska";
  return written && libraryComplaints() == complaintsBefore &&
         cleanlyDecodedPictures(memory.bytes().data(), memory.bytes().size(), demuxer) == 2;
}

}  // namespace quarn::platform

namespace quarn::platform {
namespace {

// Odd on both sides, and taller than wide as a phone's upright picture.
constexpr uint32_t kProbeWidth = 97;
constexpr uint32_t kProbeHeight = 161;

FourCC codeOf(const char* text) {
  FourCC code = 0;
  for (int i = 0; i < 4 && text[i] != '\0'; ++i) code |= static_cast<FourCC>(static_cast<uint8_t>(text[i])) << (8 * i);
  return code;
}

}  // namespace

std::vector<MediaCodecEntry> usableMediaCodecs(ResultContainer container) {
  ffmpeg::quietLibraryLog();
  std::vector<MediaCodecEntry> entries;
  size_t count = 0;
  const ffmpeg::MediaCodecFamily* families = ffmpeg::mediaCodecFamilies(count);
  for (size_t i = 0; i < count; ++i) {
    const ffmpeg::MediaCodecFamily& f = families[i];
    if (!ffmpeg::containerTakes(f, container)) continue;
    const FourCC first = codeOf(f.codes[0]);
    if (!canWriteMediaCodec(first, container, kProbeWidth, kProbeHeight)) continue;
    MediaCodecEntry entry;
    entry.fourcc = first;
    for (const char* const* code = f.codes + 1; code < std::end(f.codes) && *code != nullptr; ++code) {
      entry.others.push_back(codeOf(*code));
    }
    for (const char* const* name = f.encoders; name < std::end(f.encoders) && *name != nullptr; ++name) {
      if (const AVCodec* codec = avcodec_find_encoder_by_name(*name)) {
        entry.description = codec->long_name != nullptr ? codec->long_name : codec->name;
        break;
      }
    }
    entries.push_back(std::move(entry));
  }
  return entries;
}

}  // namespace quarn::platform
