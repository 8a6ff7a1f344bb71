// audio_extraction.h: how prepareSoundTrack learns the input's first sound
// track, with the console texts the user has always seen for it. PCM tracks
// (a 16- or 18-byte format block) stream from the AVI's chunks; an MP3 track
// (30 bytes) is copied out by the chunk walker and decoded by the LAME tool;
// every other kind is dropped.
#pragma once

#include <cstdint>
#include <memory>

#include "video/byte_source.h"
#include "video/sound_track.h"

namespace quarn::video {

// The bytes of every chunk of sound stream `number` of the AVI in `input`,
// one after another, read from the chunks as they are asked for.
std::unique_ptr<SoundSamples> audioChunkSamples(ByteSource& input, uint32_t number);

// The MP3 path: the chunk walker copies the track into a temporary file,
// and `lame --decode` (found on PATH, started without a shell) decodes it
// into a temporary WAV, which becomes the track. A missing tool, a failing
// one, or output that is not a WAV of PCM-like sound ends in "proval! ...".
void decodeMp3WithTool(ByteSource& input, SoundTrack& track);

}  // namespace quarn::video
