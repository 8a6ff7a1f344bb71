// mp3_chunks.h: the compressed sound of an AVI copied out as one raw byte
// stream for an MP3 decoder: the first audio stream's format block, then
// the data of every audio chunk of the "movi" list, stream by stream.
//
// The walk expects a plain layout and looks at little else: the main header
// right after the header list's id, the stream lists one after another up
// to the first one whose header says "auds", then only JUNK chunks and
// INFO, odml (and stray strh, strf, strl, strn) lists before "movi".
// Chunks belong to stream s when their id's first two characters read as
// the decimal number s ("%2d") and end in "wb"; rec lists are skipped whole.
// Wherever the file is not laid out so (an idx1 or other list before
// "movi", a main header not 56 bytes long, a stream list not opening with
// its header, a format block over 500 bytes, an odd length before "movi",
// a length past the end of the file) the walk ends: nothing more is
// copied, what was copied stays, and the result is still kWalkEnded.
#pragma once

#include <string>

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
