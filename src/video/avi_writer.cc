#include "video/avi_writer.h"

#include <algorithm>

#include "platform/video_encoders.h"

namespace quarn::video {
namespace {

constexpr const char* kChooserCaption = "Компресия на видеото";
constexpr const char* kChooserText = "Изберете компресиращ кодек:";
constexpr const char* kUncompressedName = "Full Frames (Uncompressed)";
constexpr const char* kUncompressedCode = "0000";
// Sound goes into the file in chunks of at most this many bytes.
constexpr size_t kSoundChunk = 1 << 20;

// The sound sample frames that lie before the end of the frame at
// `position`: (position + 1) x samplesPerSec x scale / rate, rounded down.
uint64_t soundFramesUpTo(int64_t position, const FrameRate& rate, uint32_t samplesPerSec) {
  const unsigned __int128 end = static_cast<unsigned __int128>(position + 1) * samplesPerSec * rate.scale / rate.rate;
  return end > UINT64_MAX ? UINT64_MAX : static_cast<uint64_t>(end);
}

// Writes the sound up to byte `target` (whole sample frames). False when
// the file refused it; a source that ends early ends the sound there.
bool writeSoundTo(AviWriter& w, uint64_t target) {
  SoundToCarry& sound = *w.sound;
  target = std::min(target, sound.totalBytes);
  const size_t block = sound.format.blockAlign;
  while (w.soundBytesWritten < target) {
    size_t want = static_cast<size_t>(std::min<uint64_t>(target - w.soundBytesWritten, kSoundChunk));
    want -= want % block;
    if (want == 0) return true;
    w.soundBlock.resize(want);
    size_t got = 0;
    while (got < want) {
      const size_t n = sound.read(w.soundBlock.data() + got, want - got);
      if (n == 0) break;
      got += n;
    }
    got -= got % block;
    if (got > 0 && w.backend->writeSound(w.soundBlock.data(), got) != platform::AviWriteStatus::kOk) return false;
    w.soundBytesWritten += got;
    if (got < want) {  // the source ended early: that is all the sound there is
      sound.totalBytes = w.soundBytesWritten;
      return true;
    }
  }
  return true;
}

AviResult failWith(AviWriter& w, AviResult result) {
  w.failed = true;
  return result;
}

// Declares the streams and writes the file header.
AviResult makeStreams(AviWriter& w, const FrameBitmap& frame, const CompressOptions& options) {
  platform::AviVideoTrack track;
  track.fourcc = options.fccHandler == kFourccUncompressed ? platform::kFourccDib : options.fccHandler;
  track.width = frame.width;
  track.height = frame.height;
  track.rate = w.rate.rate;
  track.scale = w.rate.scale;
  track.quality = options.dwQuality;
  track.expectedFrames = w.expectedFrames;
  switch (w.backend->begin(track, w.sound ? &w.sound->format : nullptr)) {
    case platform::AviWriteStatus::kOk:
      break;
    case platform::AviWriteStatus::kCodecUnusable:
      return failWith(w, kAviCompressor);
    case platform::AviWriteStatus::kWriteFailed:
      return failWith(w, kAviFileWrite);
  }
  if (w.sound) {
    w.backend->setBeforeFrame([&w](int64_t position) {
      const uint64_t frames = soundFramesUpTo(position, w.rate, w.sound->format.samplesPerSec);
      const uint64_t bytes = frames > UINT64_MAX / w.sound->format.blockAlign ? UINT64_MAX
                                                                              : frames * w.sound->format.blockAlign;
      return writeSoundTo(w, bytes);
    });
  }
  w.streamsMade = true;
  return kAviOk;
}

AviResult checkFrame(const AviWriter* w, const FrameBitmap* frame) {
  if (w == nullptr) return kAviBadHandle;
  if (frame == nullptr || frame->pixels == nullptr || frame->width == 0 || frame->height == 0) return kAviBadParam;
  if (w->failed) return kAviError;
  return kAviOk;
}

}  // namespace

platform::CreateStatus createAviWriter(const std::string& path, FrameRate rate, int64_t expectedFrames,
                                       std::unique_ptr<AviWriter>& writer) {
  auto made = std::make_unique<AviWriter>();
  const platform::CreateStatus status = made->file.create(path);
  if (status != platform::CreateStatus::kCreated) return status;
  made->backend = platform::AviWriterBackend::create(made->file.stream());
  made->rate = rate;
  made->expectedFrames = expectedFrames;
  writer = std::move(made);
  return status;
}

void setAviWriterSound(AviWriter* writer, SoundToCarry sound) {
  if (writer == nullptr || writer->streamsMade || sound.totalBytes == 0 || !sound.read ||
      !platform::canCarrySound(sound.format)) {
    return;
  }
  writer->sound = std::move(sound);
}

AviResult setVideoCompression(AviWriter* writer, const FrameBitmap* frame, CompressOptions& options,
                              bool showChooser, platform::MessageBoxes& chooser) {
  if (const AviResult checked = checkFrame(writer, frame); checked != kAviOk) return checked;
  if (writer->streamsMade) return kAviCompressor;
  if (showChooser) {
    std::vector<uint32_t> fourccs;
    const std::vector<platform::ChoiceItem> items = codecChoices(fourccs);
    const std::optional<size_t> picked = chooser.choose(kChooserCaption, kChooserText, items);
    if (!picked) return failWith(*writer, kAviUserAbort);
    options.fccHandler = fourccs[*picked];
    if (options.dwQuality == 0) options.dwQuality = kChooserQuality;
  }
  return makeStreams(*writer, *frame, options);
}

AviResult addVideoFrame(AviWriter* writer, const FrameBitmap* frame) {
  if (const AviResult checked = checkFrame(writer, frame); checked != kAviOk) return checked;
  if (!writer->streamsMade) {
    CompressOptions uncompressed;
    uncompressed.fccHandler = kFourccUncompressed;
    if (const AviResult made = makeStreams(*writer, *frame, uncompressed); made != kAviOk) return made;
  }
  if (writer->backend->writePicture(frame->pixels) != platform::AviWriteStatus::kOk) {
    return failWith(*writer, kAviFileWrite);
  }
  ++writer->frameCount;
  return kAviOk;
}

AviResult closeAviWriter(std::unique_ptr<AviWriter>& writer) {
  if (!writer) return kAviBadHandle;
  AviWriter& w = *writer;
  AviResult result = kAviOk;
  if (!w.streamsMade || w.frameCount == 0) {
    result = kAviBadFormat;
  } else if (w.failed) {
    result = kAviError;
  } else if (w.backend->flushPictures() != platform::AviWriteStatus::kOk ||
             (w.sound && !writeSoundTo(w, w.sound->totalBytes)) ||
             w.backend->finish() != platform::AviWriteStatus::kOk) {
    result = kAviFileWrite;
  }
  w.backend.reset();
  if (result != kAviOk) {
    w.file.discard();
  } else if (!w.file.commit()) {
    result = kAviFileWrite;
  }
  writer.reset();
  return result;
}

std::vector<platform::ChoiceItem> codecChoices(std::vector<uint32_t>& fourccs) {
  std::vector<platform::ChoiceItem> items;
  fourccs.clear();
  for (const platform::VideoEncoderEntry& e : platform::usableVideoEncoders()) {
    items.push_back({e.description, platform::fourccString(e.fourcc)});
    fourccs.push_back(e.fourcc);
  }
  items.push_back({kUncompressedName, kUncompressedCode});
  fourccs.push_back(kFourccUncompressed);
  return items;
}

}  // namespace quarn::video
