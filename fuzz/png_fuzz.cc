// Arbitrary bytes as a PNG file through the decoder, from memory, then the
// two post-processing passes of the PNG branch.
#include <cstddef>
#include <cstdint>

#include "codecs/png_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  quarn::platform::RecordingConsole console;
  quarn::codecs::VkRawPngDecoder decoder(console);
  if (decoder.DecodeMemory(data, size) != quarn::codecs::PngDecodeResult::kDecoded) return 0;  // any result is fine; a crash is not
  // Touching a whole store is slow for huge, mostly empty pictures.
  if (uint64_t(decoder.outWidth()) * uint64_t(decoder.outHeight()) <= (uint64_t{1} << 22)) {
    decoder.FlipRows();
    quarn::codecs::SwapRedBlue(decoder);
  }
  return 0;
}
