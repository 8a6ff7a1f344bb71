#include "video/sound_track.h"

namespace quarn::video {

bool isPcmLike(const SoundFormat& format) {
  return format.channels != 0 && format.samplesPerSec != 0 && format.blockAlign != 0;
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
  track.carried.reset();
  track.copied.reset();
  for (const std::unique_ptr<platform::TemporaryFile>& file : track.temporaryFiles) file->remove();
  track.temporaryFiles.clear();
  console.write("gotovo!");
}

}  // namespace quarn::video
