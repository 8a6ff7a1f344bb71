// Arbitrary bytes as a JPEG file through the size check and the reader.
//
// The program leaves the library's fatal errors to its standard error
// manager, which ends the process. Here the manager the reader sets up is
// taken over so that a fatal error unwinds back to this function instead
// (through the reader's own clean-up), and the next input can follow.
#include <dlfcn.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include <jpeglib.h>

#include "codecs/jpeg_codec.h"
#include "memory_file.h"

namespace {

struct FatalJpegError {};

[[noreturn]] void throwFatal(j_common_ptr) { throw FatalJpegError{}; }
void stayQuiet(j_common_ptr) {}

}  // namespace

extern "C" struct jpeg_error_mgr* jpeg_std_error(struct jpeg_error_mgr* errors) {
  using StdError = struct jpeg_error_mgr* (*)(struct jpeg_error_mgr*);
  static const auto library = reinterpret_cast<StdError>(dlsym(RTLD_NEXT, "jpeg_std_error"));
  library(errors);
  errors->error_exit = throwFatal;
  errors->output_message = stayQuiet;
  return errors;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const MemoryFile file(data, size);
  if (!file.ok()) return 0;
  try {
    const int64_t bitmapSize = quarn::codecs::GetJpegBitmapSize(file.path());
    if (bitmapSize > 0 && bitmapSize <= kMaxFuzzBitmapSize) {
      std::vector<uint8_t> bitmap(static_cast<size_t>(bitmapSize));
      quarn::codecs::ReadJpegBitmap(file.path(), bitmap.data(), bitmap.size());  // any result is fine
    }
  } catch (const FatalJpegError&) {
  }
  return 0;
}
