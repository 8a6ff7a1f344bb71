// reference_inflater.h: the inflater written the slow, literal way (one bit
// at a time, a tree of nodes walked per bit, a ring window, one byte per
// sink call), to hold the fast one to it on any stream, valid or not.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "codecs/png_inflater.h"

namespace quarn::testing {

struct ReferenceInflateResult {
  codecs::InflateEnd result = codecs::InflateEnd::kCut;
  std::string message;  // the console text
};

// `sink` gets every byte in turn and answers as a PngByteSink does.
ReferenceInflateResult referenceInflate(const uint8_t* bytes, size_t length,
                                        const std::function<codecs::SinkAnswer(uint8_t)>& sink);

}  // namespace quarn::testing
