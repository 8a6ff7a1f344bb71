// mp3_chunks.h: the compressed sound of an AVI copied out as one raw byte
// stream for an MP3 decoder: the first audio stream's format block, then the
// data of every whole chunk of that stream, in file order, wherever the
// bounded RIFF reading finds them (every movi list of every RIFF part, rec
// lists, JUNK anywhere, lists that declare no length). A chunk the file ends
// inside is left out: an MP3 frame cut short is no sound.
#pragma once

#include "platform/temporary_file.h"
#include "video/byte_source.h"

namespace quarn::video {

enum Mp3ChunksResult : int {
  kWalkEnded = 0,      // whether or not anything was copied
  kCannotCopy = -1,    // writing the output failed
};

// The walk itself, from memory or a file into any sink. kCannotCopy only
// when the sink refuses a write.
Mp3ChunksResult walkMp3Chunks(ByteSource& input, ByteSink& output);

// Copies from `input` into `output`, a temporary file this run created and
// nobody has written yet.
Mp3ChunksResult copyMp3Chunks(ByteSource& input, platform::TemporaryFile& output);

}  // namespace quarn::video
