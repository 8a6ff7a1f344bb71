#include "engine/bitmap_file.h"

#include <algorithm>

#include "platform/output_file.h"

namespace quarn::engine {

ConversionResult writeBitmapFile(const std::string& path, const uint8_t* data, size_t size, size_t headerSize) {
  platform::OutputFile file;
  switch (file.create(path)) {
    case platform::CreateStatus::kCreated:
      break;
    case platform::CreateStatus::kExists:
      return kOutputExists;
    case platform::CreateStatus::kFailed:
      return kCannotCreateOutput;
  }
  headerSize = std::min(headerSize, size);
  if (!file.write(data, headerSize)) return kWriteFailed;  // the destructor removes the file
  constexpr size_t kBlock = size_t{1} << 20;
  for (size_t done = headerSize; done < size; done += kBlock) {
    if (!file.write(data + done, std::min(kBlock, size - done))) return kWriteFailed;
  }
  return file.commit() ? kConverted : kWriteFailed;
}

}  // namespace quarn::engine
