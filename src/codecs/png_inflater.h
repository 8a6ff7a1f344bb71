// png_inflater.h: zlib-wrapped DEFLATE decoder (RFC 1950, RFC 1951) feeding
// a byte sink. Works on memory only; the input is only read.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/console.h"

namespace quarn::codecs {

// A sink's answer to each byte: kStop stops the inflater, and that byte
// counts as handed over (the sink has seen it) but nothing after it is.
enum class SinkAnswer { kMore, kStop };

// How an inflation ended.
enum class InflateEnd {
  kFinished,  // the end of the final block was reached
  kCut,       // the sink stopped it, the input ran out, a code led nowhere or the stream was refused
};

// Receives the decompressed stream in order.
class PngByteSink {
 public:
  virtual ~PngByteSink() = default;
  virtual SinkAnswer PutByte(uint8_t byte) = 0;

  // The same as PutByte on each byte in turn, stopping at the first refusal.
  // Returns `count` when every byte was accepted, otherwise the index of the
  // byte that was refused. Sinks that can take runs override it.
  virtual size_t PutBytes(const uint8_t* bytes, size_t count);
};

class PngInflater {
 public:
  // Both outlive the inflater. The console receives the one message of an
  // unknown compression method.
  PngInflater(PngByteSink& sink, platform::Console& console) : sink_(sink), console_(console) {}

  // Inflates one zlib stream of `length` bytes. kFinished when the end of
  // the final block was reached; kCut when the sink stopped it, the input ran
  // out, a code led nowhere or the stream was refused (compression method
  // other than 8, which prints its message; a preset dictionary). The sink sees exactly
  // the bytes a one-byte-at-a-time decoder would have handed it before the
  // same stop. The header check value and the Adler-32 trailer are ignored;
  // nothing behind the final block is read. Window positions never written
  // read as 0. A stored block header cut short by the end of the input ends
  // the stream like any other read past the end.
  InflateEnd Inflate(size_t length, const uint8_t* bytes);

 private:
  PngByteSink& sink_;
  platform::Console& console_;
};

}  // namespace quarn::codecs
