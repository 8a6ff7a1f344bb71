// files.h: reading input files whole, and the path rules of this system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quarn::platform {

// Paths are kept to what a 4096-byte buffer holds with its terminating zero.
inline constexpr size_t kMaxPathLength = 4095;

// True when `path` names a regular file (or a link to one) that can be
// opened for reading. A FIFO, a device, a socket or a directory is no
// input: reading it could wait for ever or never end. Never blocks.
bool isReadableRegularFile(const std::string& path);

// True when anything (a file, a directory, a dangling link) is at `path`.
bool pathExists(const std::string& path);

enum class ReadStatus { kRead, kCannotOpen, kOutOfMemory };

// Reads a regular file whole into `bytes`. Anything else (a directory, a
// device, a FIFO) counts as kCannotOpen. On failure `bytes` is empty.
ReadStatus readWholeFile(const std::string& path, std::vector<uint8_t>& bytes);

}  // namespace quarn::platform
