#include "video/sound_track.h"

#include "platform/console.h"
#include "video/audio_extraction.h"
#include "video/wav_file.h"

namespace quarn::video {

bool isPcmLike(const SoundFormat& format) {
  return format.channels != 0 && format.samplesPerSec != 0 && format.blockAlign != 0;
}

uint64_t sampleFrames(const SoundFormat& format, uint64_t bytes) {
  return format.blockAlign == 0 ? 0 : bytes / format.blockAlign;
}

SoundTrack prepareSoundTrack(const std::string& inputPath, bool fullCommandLine, platform::MessageBoxes& boxes) {
  SoundTrack track;
  track.result = extractAudioTrack(inputPath, fullCommandLine, boxes, track);
  if (track.wavPath.empty()) return track;
  // The muxing's reading of the WAV: by its chunks, never past its end.
  std::unique_ptr<FileSource> wav = FileSource::open(track.wavPath);
  if (!wav) return track;
  RiffReader reader(*wav);
  const std::optional<WavLayout> layout = readWavLayout(reader);
  if (!layout || !isPcmLike(layout->format) || layout->dataLength == 0) return track;
  track.format = layout->format;
  track.samples = makeSoundSamples(std::move(wav), layout->dataPosition, layout->dataLength);
  return track;
}

void refuseSoundFormat(SoundTrack& track) {
  track.format.reset();
  track.samples.reset();
  if (track.report.size() > track.reportBeforeReading) track.report.resize(track.reportBeforeReading);
  track.result = dropUnsupportedTrack(track);
}

void reportSoundExtraction(SoundTrack& track, platform::Console& console) {
  for (const ConsoleStep& step : track.report) {
    if (!step.text.empty()) console.write(step.text);
    platform::pauseForReader(step.pauseMilliseconds);
  }
  track.report.clear();
}

void removeTemporaryFiles(SoundTrack& track, platform::Console& console) {
  console.write(" Izchistvane na vremennite falove ... ");
  track.samples.reset();
  for (const std::unique_ptr<platform::TemporaryFile>& file : track.temporaryFiles) file->remove();
  track.temporaryFiles.clear();
  track.wavPath.clear();
  console.write("gotovo!");
}

}  // namespace quarn::video
