// reference_inflater.h: the inflater written the slow, literal way (one bit
// at a time, a tree of nodes walked per bit, a ring window, one byte per
// sink call), to hold the fast one to it on any stream, valid or not.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace quarn::testing {

struct ReferenceInflateResult {
  int result = 0;        // 1: the final block ended
  std::string message;   // the console text
};

// `sink` gets every byte in turn and returns 1 for more.
ReferenceInflateResult referenceInflate(const uint8_t* bytes, size_t length, const std::function<int(uint8_t)>& sink);

}  // namespace quarn::testing
