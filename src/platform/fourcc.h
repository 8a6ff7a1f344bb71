// fourcc.h: the four-character codes of RIFF files and of video codecs.
#pragma once

#include <cstdint>
#include <string>

namespace quarn::platform {

// Four characters, the first in the low byte: the order they have on disk
// when the value is stored little-endian.
using FourCC = uint32_t;

constexpr FourCC fourCC(const char (&text)[5]) {
  return static_cast<FourCC>(static_cast<uint8_t>(text[0])) |
         static_cast<FourCC>(static_cast<uint8_t>(text[1])) << 8 |
         static_cast<FourCC>(static_cast<uint8_t>(text[2])) << 16 |
         static_cast<FourCC>(static_cast<uint8_t>(text[3])) << 24;
}

// Character `index` (0 to 3) of the code.
inline char fourCCChar(FourCC code, int index) { return static_cast<char>(code >> (8 * index)); }

// The code as its four characters ("FMP4").
inline std::string fourCCText(FourCC code) {
  return {fourCCChar(code, 0), fourCCChar(code, 1), fourCCChar(code, 2), fourCCChar(code, 3)};
}

// "DIB ": pictures stored as they are, bottom-up rows of blue-green-red.
inline constexpr FourCC kFourCCDib = fourCC("DIB ");

}  // namespace quarn::platform
