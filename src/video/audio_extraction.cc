#include "video/audio_extraction.h"

#include <algorithm>

#include "platform/child_process.h"
#include "video/avi_audio.h"
#include "video/mp3_chunks.h"
#include "video/wav_file.h"

namespace quarn::video {
namespace {

constexpr int kReaderPause = 5000;
constexpr const char* kToolLine = " --------------------------------------------------------\n";
constexpr const char* kUnknownCompressionCaption = "Внимание! Опастност от възникване на грешка!";
constexpr const char* kUnknownCompressionText =
    "Внимание! Аудио данните са с непозната компресия!\nСъществува опастност от възникване на грешка и "
    "повреждане на целия конвертиран файл!\nОтказването на аудио обработката ще предоотврати възможни "
    "грешки, но в\nконвертирания файл ще липсва звук!\n\n\t\t\t Отказ на аудио обработката?";

void say(SoundTrack& track, std::string text) { track.report.push_back({std::move(text), 0}); }
void pause(SoundTrack& track) { track.report.push_back({"", kReaderPause}); }

platform::TemporaryFile* newTemporaryFile(SoundTrack& track, const char* suffix) {
  auto file = std::make_unique<platform::TemporaryFile>();
  if (!file->create(suffix)) return nullptr;
  track.temporaryFiles.push_back(std::move(file));
  return track.temporaryFiles.back().get();
}

// The sound is lost on the way: the texts say so and the WAV goes.
void failed(SoundTrack& track, platform::TemporaryFile* wav) {
  say(track, "proval! Videoto e konvertirano bez zvuk!\n");
  if (wav != nullptr) wav->remove();
  pause(track);
}

// The track is of a kind the output cannot carry.
void dropUnsupportedTrack(SoundTrack& track) {
  say(track, " tip - neizvesten audio format!\n Videoto e konvertirano bez zvuk!\n");
  pause(track);
}

// Carries `samples` in `format` when there is at least one whole sample
// frame of them: an empty track gives the output no sound stream.
void carry(SoundTrack& track, SoundFormat format, std::unique_ptr<SoundSamples> samples) {
  if (samples->holdsAtLeast(format.blockAlign)) track.carried = SoundToCarry{std::move(format), std::move(samples)};
}

class ChunkSamples final : public SoundSamples {
 public:
  ChunkSamples(ByteSource& input, uint32_t number)
      : reader_(input), number_(number), chunks_(StreamChunks::sound(reader_, number)) {}

  size_t read(uint8_t* into, size_t bytes) override {
    size_t done = 0;
    while (done < bytes && !ended_) {
      if (left_ == 0) {
        const std::optional<StreamChunks::Data> chunk = chunks_.next();
        if (!chunk) break;
        at_ = chunk->position;
        left_ = chunk->length;
        continue;
      }
      const size_t n = static_cast<size_t>(std::min<uint64_t>(bytes - done, left_));
      // A read error ends the track where it was.
      if (!reader_.read(at_, into + done, n)) {
        ended_ = true;
        break;
      }
      at_ += n;
      left_ -= n;
      done += n;
    }
    return done;
  }

  bool holdsAtLeast(uint64_t bytes) override {
    StreamChunks chunks = StreamChunks::sound(reader_, number_);
    for (uint64_t total = 0; total < bytes;) {
      const std::optional<StreamChunks::Data> chunk = chunks.next();
      if (!chunk) return false;
      total += chunk->length;
    }
    return true;
  }

 private:
  RiffReader reader_;
  uint32_t number_;
  StreamChunks chunks_;
  uint64_t at_ = 0, left_ = 0;
  bool ended_ = false;
};

}  // namespace

std::unique_ptr<SoundSamples> audioChunkSamples(ByteSource& input, uint32_t number) {
  return std::make_unique<ChunkSamples>(input, number);
}

SoundTrack prepareSoundTrack(ByteSource& input, bool fullCommandLine, platform::MessageBoxes& boxes) {
  SoundTrack track;
  say(track, "\n Izvlichane na audio dannite ...");
  RiffReader avi(input);
  const AviAudioStream stream = findFirstAudioStream(avi);
  switch (stream.status) {
    case AviAudioStatus::kNotAvi:
      say(track, " Greshka! Faila ne moje da se otvori!");
      return track;
    case AviAudioStatus::kNoAudioStream:
      say(track, " lipsvat audio danni!");
      return track;
    case AviAudioStatus::kNoFormat:
      say(track, " greshka! Audio formata ne moje da bude razpoznat!");
      return track;
    case AviAudioStatus::kFound:
      break;
  }

  // 16 and 18 bytes: WAVEFORMAT and WAVEFORMATEX.
  std::optional<SoundFormat> format = parseWaveFormat(stream.format.data(), stream.format.size());
  switch (stream.formatLength) {
    case 16:
      say(track, " tip - pcm - poddurjano!\n");
      break;
    case 18:
      say(track, " tip - waveformatex - poddurjano!\n");
      if (format->bitsPerSample == 0) {  // an unknown compression
        if (fullCommandLine) return track;
        if (boxes.show(kUnknownCompressionCaption, kUnknownCompressionText, platform::BoxStyle::kWarningYesNo) ==
            platform::BoxAnswer::kYes) {
          say(track, " Audio izvlichaneto e otkazano!\n");
          return track;
        }
        say(track,
            " Izvlichane na audio s nepoznata kompresiq ...\n Vazmojna e poqva na greshki i povrejdane na "
            "konvertiraniq fail!\n");
      }
      break;
    case 30:
      decodeMp3WithTool(input, track);
      return track;
    default:
      dropUnsupportedTrack(track);
      return track;
  }
  // The extra bytes a WAVEFORMATEX announces are not carried. Sample frames
  // without a size (no block alignment) cannot be, nor can a format the
  // writer cannot declare.
  format->extra.clear();
  if (!isPcmLike(*format) || !platform::canCarrySound(*format)) {
    dropUnsupportedTrack(track);
    return track;
  }
  say(track, " Izvlichane ... gotovo!\n Finalizirane ... gotovo!\n");
  carry(track, std::move(*format), audioChunkSamples(input, stream.number));
  return track;
}

void decodeMp3WithTool(ByteSource& input, SoundTrack& track) {
  say(track, " tip - mp3 - poddurjano!\n");
  const size_t reportBeforeReading = track.report.size();
  say(track, " Izvlichane ... ");
  platform::TemporaryFile* mp3 = newTemporaryFile(track, ".mp3");
  if (mp3 == nullptr || copyMp3Chunks(input, *mp3) != kWalkEnded) return failed(track, mp3);
  say(track, "gotovo!");
  const std::string tool = platform::findOnPath("lame");
  platform::TemporaryFile* wav = newTemporaryFile(track, ".wav");
  if (tool.empty() || wav == nullptr) {
    mp3->remove();
    return failed(track, wav);
  }
  say(track, std::string("\n Konvertirane na mp3 v wave ...\n") + kToolLine);
  const platform::ChildResult run =
      platform::runChild({tool, "--decode", mp3->path(), wav->path()}, platform::ChildOutput::kCapture);
  say(track, run.output);
  say(track, std::string("\n") + kToolLine);
  mp3->remove();
  if (!run.started || run.exitStatus != 0) return failed(track, wav);

  // The muxing's reading of the WAV: by its chunks, never past its end.
  std::unique_ptr<FileSource> decoded = FileSource::open(wav->path());
  std::optional<WavLayout> layout;
  if (decoded) {
    RiffReader reader(*decoded);
    layout = readWavLayout(reader);
  }
  if (!layout || !isPcmLike(layout->format)) return failed(track, wav);
  if (!platform::canCarrySound(layout->format)) {
    track.report.resize(reportBeforeReading);
    return dropUnsupportedTrack(track);
  }
  carry(track, layout->format, makeSoundSamples(std::move(decoded), layout->dataPosition, layout->dataLength));
}

}  // namespace quarn::video
