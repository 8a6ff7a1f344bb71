#include "video/audio_extraction.h"

#include <algorithm>
#include <new>

#include "platform/child_process.h"
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
ExtractionResult failed(SoundTrack& track, platform::TemporaryFile* wav, ExtractionResult result) {
  say(track, "proval! Videoto e konvertirano bez zvuk!\n");
  if (wav != nullptr) wav->remove();
  pause(track);
  return result;
}

// F, the bytes of a sample frame as the reads count them.
uint64_t readFrameBytes(uint32_t channels, uint32_t bitsPerSample) {
  const uint64_t frameBytes = uint64_t{channels} * bitsPerSample / 8;
  return frameBytes == 0 || frameBytes > kMaxAudioRead ? 1 : frameBytes;
}

bool holdsPcmLikeWav(const std::string& path) {
  const std::unique_ptr<FileSource> file = FileSource::open(path);
  if (!file) return false;
  RiffReader reader(*file);
  const std::optional<WavLayout> layout = readWavLayout(reader);
  return layout && isPcmLike(layout->format);
}

}  // namespace

ExtractionResult dropUnsupportedTrack(SoundTrack& track) {
  say(track, " tip - neizvesten audio format!\n Videoto e konvertirano bez zvuk!\n");
  pause(track);
  return kSoundUnsupported;
}

AudioReadSize chooseAudioReadSize(uint32_t channels, uint32_t bitsPerSample, uint64_t sampleFrames) {
  const uint64_t frameBytes = readFrameBytes(channels, bitsPerSample);
  AudioReadSize size;
  const uint64_t total = sampleFrames > UINT64_MAX / frameBytes ? UINT64_MAX : sampleFrames * frameBytes;
  size.bufferBytes = total < kMaxAudioRead ? total : kMaxAudioRead / frameBytes * frameBytes;
  size.samplesPerRead = size.bufferBytes / frameBytes;
  return size;
}

PcmCopy writePcmWav(RiffReader& avi, const AviAudioStream& stream, ByteSink& wav) {
  const std::optional<SoundFormat> format = parseWaveFormat(stream.format.data(), stream.format.size());
  if (!format) return PcmCopy::kWriteFailed;
  const std::optional<uint16_t> cbSize =
      stream.format.size() >= 18 ? std::optional<uint16_t>(static_cast<uint16_t>(stream.format[16] | stream.format[17] << 8))
                                 : std::nullopt;
  WavWriter writer(wav, *format, cbSize);

  uint64_t total = 0;
  forEachAudioChunk(avi, stream.number, [&](uint64_t, uint64_t length) {
    total += length;
    return true;
  });
  const uint64_t frameBytes = readFrameBytes(format->channels, format->bitsPerSample);
  const uint64_t frames = total / frameBytes + (total % frameBytes != 0);
  const AudioReadSize size = chooseAudioReadSize(format->channels, format->bitsPerSample, frames);
  std::unique_ptr<uint8_t[]> buffer;
  if (size.bufferBytes != 0) {
    buffer.reset(new (std::nothrow) uint8_t[size.bufferBytes]);
    if (!buffer) return PcmCopy::kNoReadBuffer;
  }

  // The chunks' bytes gather in the buffer, which goes out whenever full.
  uint64_t filled = 0;
  bool writeFailed = false;
  forEachAudioChunk(avi, stream.number, [&](uint64_t position, uint64_t length) {
    while (length != 0 && size.bufferBytes != 0) {
      const uint64_t n = std::min(length, size.bufferBytes - filled);
      if (!avi.read(position, buffer.get() + filled, static_cast<size_t>(n))) return false;
      filled += n;
      position += n;
      length -= n;
      if (filled == size.bufferBytes) {
        writeFailed = !wav.write(buffer.get(), static_cast<size_t>(filled));
        filled = 0;
        if (writeFailed) return false;
      }
    }
    return true;
  });
  if (filled != 0 && !writeFailed) writeFailed = !wav.write(buffer.get(), static_cast<size_t>(filled));
  return !writeFailed && writer.finishWav() ? PcmCopy::kCopied : PcmCopy::kWriteFailed;
}

ExtractionResult extractAudioTrack(const std::string& inputPath, bool fullCommandLine,
                                   platform::MessageBoxes& boxes, SoundTrack& track) {
  say(track, "\n Izvlichane na audio dannite ...");
  const std::unique_ptr<FileSource> input = FileSource::open(inputPath);
  std::optional<RiffReader> avi;
  AviAudioStream stream;
  if (input) {
    avi.emplace(*input);
    stream = findFirstAudioStream(*avi);
  }
  switch (stream.status) {
    case AviAudioStatus::kNotAvi:
      say(track, " Greshka! Faila ne moje da se otvori!");
      return kInputNotOpened;
    case AviAudioStatus::kNoAudioStream:
      say(track, " lipsvat audio danni!");
      return kNoSoundTrack;
    case AviAudioStatus::kNoFormat:
      say(track, " greshka! Audio formata ne moje da bude razpoznat!");
      return kFormatUnreadable;
    case AviAudioStatus::kFound:
      break;
  }

  // 16 and 18 bytes: WAVEFORMAT and WAVEFORMATEX.
  const std::optional<SoundFormat> format = parseWaveFormat(stream.format.data(), stream.format.size());
  switch (stream.formatLength) {
    case 16:
      say(track, " tip - pcm - poddurjano!\n");
      break;
    case 18:
      say(track, " tip - waveformatex - poddurjano!\n");
      if (format->bitsPerSample == 0) {  // an unknown compression
        if (fullCommandLine) return kSoundExtracted;
        if (boxes.show(kUnknownCompressionCaption, kUnknownCompressionText, platform::BoxStyle::kWarningYesNo) ==
            platform::BoxAnswer::kYes) {
          say(track, " Audio izvlichaneto e otkazano!\n");
          return kSoundExtracted;
        }
        say(track,
            " Izvlichane na audio s nepoznata kompresiq ...\n Vazmojna e poqva na greshki i povrejdane na "
            "konvertiraniq fail!\n");
      }
      break;
    case 30:
      return decodeMp3WithTool(inputPath, track);
    default:
      return dropUnsupportedTrack(track);
  }
  // Sample frames without a size (no block alignment) cannot be carried.
  if (!isPcmLike(*format)) return dropUnsupportedTrack(track);

  track.reportBeforeReading = track.report.size();
  platform::TemporaryFile* wav = newTemporaryFile(track, ".wav");
  if (wav == nullptr) return kWavNotWritten;
  PcmCopy copied;
  {
    FileSink sink(wav->descriptor());
    copied = writePcmWav(*avi, stream, sink);
  }
  switch (copied) {
    case PcmCopy::kNoReadBuffer:
      say(track, "\n greshka! nedostatachno pamet!");
      pause(track);
      wav->remove();
      return kNoReadBuffer;
    case PcmCopy::kWriteFailed:
      say(track, " Izvlichane ... ");
      return failed(track, wav, kWavNotWritten);
    case PcmCopy::kCopied:
      break;
  }
  say(track, " Izvlichane ... ");
  say(track, "gotovo!\n Finalizirane ... ");
  say(track, "gotovo!\n");
  track.wavPath = wav->path();
  return kSoundExtracted;
}

ExtractionResult decodeMp3WithTool(const std::string& inputPath, SoundTrack& track) {
  say(track, " tip - mp3 - poddurjano!\n");
  track.reportBeforeReading = track.report.size();
  say(track, " Izvlichane ... ");
  platform::TemporaryFile* mp3 = newTemporaryFile(track, ".mp3");
  if (mp3 == nullptr || copyMp3Chunks(inputPath, *mp3) != kWalkEnded) return failed(track, mp3, kSoundUnsupported);
  say(track, "gotovo!");
  const std::string tool = platform::findOnPath("lame");
  platform::TemporaryFile* wav = newTemporaryFile(track, ".wav");
  if (tool.empty() || wav == nullptr) {
    mp3->remove();
    return failed(track, wav, kSoundUnsupported);
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
    say(track, " lame ne napredna " + std::to_string(seconds) + " sekundi i beshe sprqn!\n");
  }
  if (!run.started || run.exitStatus != 0 || !holdsPcmLikeWav(wav->path())) {
    return failed(track, wav, kSoundUnsupported);
  }
  track.wavPath = wav->path();
  return kSoundExtracted;
}

}  // namespace quarn::video
