// Arbitrary bytes as a BMP file through the file conversion, with the
// settings taken from the first bytes. The input is a memory file; the
// result goes to a directory of its own in memory (/dev/shm) and is removed
// after each input. A result must be complete and readable by standard
// tools; a refusal must leave no file.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/bmp_file.h"
#include "memory_file.h"
#include "platform/files.h"
#include "platform/temporary_file.h"
#include "support/fuzz_input.h"

namespace {

const std::string& resultPath() {
  static const std::string path = [] {
    std::string dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : quarn::platform::temporaryDirectory();
    dir += "/quarn-fuzz-XXXXXX";
    if (mkdtemp(dir.data()) == nullptr) std::abort();
    static std::string made = dir;
    std::atexit([] { rmdir(made.c_str()); });
    return dir + "/result.bmp";
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quarn;
  if (size < testing::kSettingsBytes) return 0;
  const engine::ConversionSettings settings = testing::settingsFromBytes(data);
  const MemoryFile input(data + testing::kSettingsBytes, size - testing::kSettingsBytes);
  if (!input.ok()) return 0;
  platform::RecordingConsole console;
  const engine::ConversionResult result = engine::convertBmpFile(input.path(), resultPath(), settings, console);
  std::vector<uint8_t> written;
  const bool exists = platform::readWholeFile(resultPath(), written) == platform::ReadStatus::kRead;
  unlink(resultPath().c_str());
  if (result != engine::kConverted ? exists
                                   : !exists || !testing::bmpResultFault(written.data(), written.size()).empty()) {
    std::abort();
  }
  return 0;
}
