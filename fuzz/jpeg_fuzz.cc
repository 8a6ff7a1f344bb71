// Arbitrary bytes as a JPEG file through the size check and the reader.
//
// The program ends the process on the library's fatal errors. Here the
// standard manager the reader sets up is kept quiet, and a fatal error
// unwinds back to this function instead (through the reader's own
// clean-up), so that the next input can follow.
#include <dlfcn.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

#include <jpeglib.h>

#include "codecs/jpeg_codec.h"
#include "memory_file.h"

namespace {

struct FatalJpegError {};

[[noreturn]] void throwFatal() { throw FatalJpegError{}; }
void stayQuiet(j_common_ptr) {}

}  // namespace

extern "C" struct jpeg_error_mgr* jpeg_std_error(struct jpeg_error_mgr* errors) {
  using StdError = struct jpeg_error_mgr* (*)(struct jpeg_error_mgr*);
  static const auto library = reinterpret_cast<StdError>(dlsym(RTLD_NEXT, "jpeg_std_error"));
  library(errors);
  errors->output_message = stayQuiet;
  return errors;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  quarn::codecs::setJpegFatalEnd(throwFatal);
  const MemoryFile file(data, size);
  if (!file.ok()) return 0;
  try {
    const std::optional<uint32_t> bitmapSize = quarn::codecs::GetJpegBitmapSize(file.path());
    if (bitmapSize && *bitmapSize <= kMaxFuzzBitmapSize) {
      std::vector<uint8_t> bitmap(*bitmapSize);
      quarn::codecs::ReadJpegBitmap(file.path(), bitmap.data(), bitmap.size());  // any result is fine
    }
  } catch (const FatalJpegError&) {
  }
  return 0;
}
