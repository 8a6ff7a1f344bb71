#include "video/audio_extraction.h"

#include <unistd.h>

#include <algorithm>
#include <iterator>

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

// Why a track is lost on the way, said before the failure line.
constexpr const char* kNoTemporaryFile = "vremenen fail ne moje da bude suzdaden - ";
constexpr const char* kNoTool = "lame ne e nameren - ";
constexpr const char* kToolFailed = "lame zavurshi s greshka - ";
constexpr const char* kNoWave = "lame ne suzdade wave fail - ";
constexpr const char* kShortWave = "wave failut e po-kratuk ot obqveniq - ";
constexpr const char* kUnknownCompression = "nepoznata kompresiq - ";

// The sound is lost on the way: the texts say why, on a line of their own,
// and the WAV goes.
void failed(SoundTrack& track, platform::TemporaryFile* wav, const char* reason) {
  const bool lineEnded = !track.report.empty() && track.report.back().text.ends_with('\n');
  say(track, std::string(lineEnded ? " " : "\n ") + reason + "proval! Videoto e konvertirano bez zvuk!\n");
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

namespace {

constexpr uint16_t kWaveFormatPcm = 1;
constexpr uint16_t kWaveFormatIeeeFloat = 3;
constexpr uint16_t kWaveFormatAlaw = 6;
constexpr uint16_t kWaveFormatMulaw = 7;
constexpr uint16_t kWaveFormatExtensible = 0xFFFE;

// Formats whose data is a run of whole sample frames, as PCM's is: the
// samples are carried as bytes.
bool isPcmFamily(uint16_t tag) {
  return tag == kWaveFormatPcm || tag == kWaveFormatIeeeFloat || tag == kWaveFormatAlaw || tag == kWaveFormatMulaw;
}

// PCM or float samples in a WAVE_FORMAT_EXTENSIBLE block (40 bytes or
// more): the plain format of the same samples, or nullopt.
std::optional<SoundFormat> extensiblePcm(const std::vector<uint8_t>& block) {
  // cbSize 22, then wValidBitsPerSample, dwChannelMask and the SubFormat
  // GUID, whose first two bytes are the plain format tag.
  static constexpr uint8_t kGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                            0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
  constexpr size_t kSubFormat = 24;
  if (block.size() < kSubFormat + 16) return std::nullopt;
  std::optional<SoundFormat> format = parseWaveFormat(block.data(), block.size());
  const auto subFormat = static_cast<uint16_t>(block[kSubFormat] | block[kSubFormat + 1] << 8);
  if (format->formatTag != kWaveFormatExtensible ||
      (subFormat != kWaveFormatPcm && subFormat != kWaveFormatIeeeFloat) ||
      !std::equal(std::begin(kGuidTail), std::end(kGuidTail), block.begin() + kSubFormat + 2)) {
    return std::nullopt;
  }
  format->formatTag = subFormat;
  format->extra.clear();
  return format;
}

// PCM-like samples straight from the input's chunks.
void carryPcm(SoundTrack& track, ByteSource& input, uint32_t number, SoundFormat format) {
  // The extra bytes a WAVEFORMATEX announces are not carried. Sample frames
  // without a size (no block alignment) cannot be, nor can a format the
  // writer cannot declare.
  format.extra.clear();
  if (!isPcmLike(format) || !platform::canCarrySound(format)) return dropUnsupportedTrack(track);
  say(track, " Izvlichane ... gotovo!\n Finalizirane ... gotovo!\n");
  carry(track, std::move(format), audioChunkSamples(input, number));
}

// The first track by the length of its format block, as the program has
// always read it: 16 bytes PCM, 18 a WAVEFORMATEX, 30 MP3. False for a
// track that is better copied as it is.
bool learnByFormatLength(SoundTrack& track, ByteSource& input, const AviAudioStream& stream, bool fullCommandLine,
                         platform::MessageBoxes& boxes) {
  std::optional<SoundFormat> format = parseWaveFormat(stream.format.data(), stream.format.size());
  const bool pcm = format && isPcmFamily(format->formatTag);
  switch (stream.formatLength) {
    case 16:
      if (!pcm && platform::canCopySound(format->formatTag)) return false;
      say(track, " tip - pcm - poddurjano!\n");
      break;
    case 18:
      if (!pcm && platform::canCopySound(format->formatTag)) return false;
      say(track, " tip - waveformatex - poddurjano!\n");
      if (format->bitsPerSample == 0) {  // an unknown compression
        if (fullCommandLine) {  // nobody to ask: it stays out, and the user is told
          failed(track, nullptr, kUnknownCompression);
          return true;
        }
        if (boxes.show(kUnknownCompressionCaption, kUnknownCompressionText, platform::BoxStyle::kWarningYesNo) ==
            platform::BoxAnswer::kYes) {
          say(track, " Audio izvlichaneto e otkazano!\n");
          return true;
        }
        say(track,
            " Izvlichane na audio s nepoznata kompresiq ...\n Vazmojna e poqva na greshki i povrejdane na "
            "konvertiraniq fail!\n");
      }
      break;
    case 30:
      decodeMp3WithTool(input, track);
      return true;
    default:
      if (const std::optional<SoundFormat> plain = extensiblePcm(stream.format)) {
        say(track, " tip - pcm - poddurjano!\n");
        carryPcm(track, input, stream.number, *plain);
        return true;
      }
      if (format && platform::canCopySound(format->formatTag)) return false;
      dropUnsupportedTrack(track);
      return true;
  }
  carryPcm(track, input, stream.number, std::move(*format));
  return true;
}

}  // namespace

SoundTrack prepareSoundTrack(ByteSource& input, int descriptor, bool fullCommandLine,
                             platform::MessageBoxes& boxes) {
  SoundTrack track;
  RiffReader avi(input);
  AviAudioStatus status = AviAudioStatus::kNotAvi;
  const std::vector<AviAudioStream> streams = findAudioStreams(avi, status);
  say(track, "\n Izvlichane na audio dannite ...");
  if (status == AviAudioStatus::kNotAvi) say(track, " Greshka! Faila ne moje da se otvori!");
  if (status == AviAudioStatus::kNoAudioStream) say(track, " lipsvat audio danni!");

  // The tracks copied as they are, and where their texts go once the copy
  // knows their codecs' names.
  std::vector<platform::SoundCopy::Track> copied;
  std::vector<size_t> copiedTexts;
  for (size_t i = 0; i < streams.size(); ++i) {
    const AviAudioStream& stream = streams[i];
    if (i > 0) {
      const std::string& last = track.report.back().text;
      say(track, last.empty() || last.back() == '\n' ? " Izvlichane na audio dannite ..."
                                                     : "\n Izvlichane na audio dannite ...");
    }
    if (stream.status == AviAudioStatus::kNoFormat) {
      say(track, " greshka! Audio formata ne moje da bude razpoznat!");
      continue;
    }
    if (i == 0 && learnByFormatLength(track, input, stream, fullCommandLine, boxes)) continue;
    const std::optional<SoundFormat> format = parseWaveFormat(stream.format.data(), stream.format.size());
    if (!format || !platform::canCopySound(format->formatTag) || format->channels == 0 ||
        format->samplesPerSec == 0 || format->samplesPerSec > INT32_MAX) {
      dropUnsupportedTrack(track);
      continue;
    }
    copied.push_back({stream.number, stream.sampleSize});
    copiedTexts.push_back(track.report.size());
    say(track, "");
  }
  if (copied.empty()) return track;
  track.copied =
      platform::SoundCopy::open(descriptor >= 0 ? dup(descriptor) : -1, copied, soundFormatStandIns(avi));
  for (size_t t = 0; t < copiedTexts.size(); ++t) {
    track.report[copiedTexts[t]].text = track.copied ? " tip - " + track.copied->codecName(t) + " - kopirano!\n"
                                                     : " tip - neizvesten audio format!\n Videoto e konvertirano bez zvuk!\n";
  }
  return track;
}

void decodeMp3WithTool(ByteSource& input, SoundTrack& track) {
  say(track, " tip - mp3 - poddurjano!\n");
  const size_t reportBeforeReading = track.report.size();
  say(track, " Izvlichane ... ");
  platform::TemporaryFile* mp3 = newTemporaryFile(track, ".mp3");
  if (mp3 == nullptr) return failed(track, nullptr, kNoTemporaryFile);
  if (copyMp3Chunks(input, *mp3) != kWalkEnded) return failed(track, mp3, kNoTemporaryFile);
  say(track, "gotovo!");
  const std::string tool = platform::findOnPath("lame");
  platform::TemporaryFile* wav = newTemporaryFile(track, ".wav");
  if (tool.empty() || wav == nullptr) {
    mp3->remove();
    return failed(track, wav, tool.empty() ? kNoTool : kNoTemporaryFile);
  }
  say(track, std::string("\n Konvertirane na mp3 v wave ...\n") + kToolLine);
  // A tool that stops making progress is ended; of its output, the last
  // part is shown.
  const platform::ChildLimits limits = platform::ChildLimits::forTool(wav->path());
  const platform::ChildResult run =
      platform::runChild({tool, "--decode", mp3->path(), wav->path()}, platform::ChildOutput::kCapture, limits);
  say(track, platform::outputForUser(run));
  say(track, std::string("\n") + kToolLine);
  mp3->remove();
  if (run.endedForSilence) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(limits.silence).count();
    const std::string stopped = "lame ne napredna " + std::to_string(seconds) + " sekundi i beshe sprqn - ";
    return failed(track, wav, stopped.c_str());
  }
  if (!run.started || run.exitStatus != 0) return failed(track, wav, kToolFailed);

  // The muxing's reading of the WAV: by its chunks, never past its end.
  std::unique_ptr<FileSource> decoded = FileSource::open(wav->path());
  std::optional<WavLayout> layout;
  if (decoded) {
    RiffReader reader(*decoded);
    layout = readWavLayout(reader);
  }
  if (!layout || !isPcmLike(layout->format)) return failed(track, wav, kNoWave);
  // A tool that ran out of room leaves a WAV whose header claims more.
  if (layout->cut) return failed(track, wav, kShortWave);
  if (!platform::canCarrySound(layout->format)) {
    track.report.resize(reportBeforeReading);
    return dropUnsupportedTrack(track);
  }
  carry(track, layout->format, makeSoundSamples(std::move(decoded), layout->dataPosition, layout->dataLength));
}

}  // namespace quarn::video
