// frame_conversion.h: what the program makes of one frame, as the tests
// expect it: the in-memory conversion with this machine's settings.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "engine/conversion_settings.h"

namespace quarn::testing {

// The settings the program uses on this machine, colour variant included.
engine::ConversionSettings settingsFor(int depth, bool plus3D, bool colours);

// One frame as the in-memory conversion turns it: top-down rows of packed
// pixels in, the same out (with the result's size).
std::vector<uint8_t> convertFrame(const uint8_t* topDown, uint32_t width, uint32_t height,
                                  const engine::ConversionSettings& settings, uint32_t& outWidth,
                                  uint32_t& outHeight);

// Every frame of `frames` (width x height each, as convertFrame takes them)
// converted, one after another; empty when `frames` is not whole frames.
std::vector<uint8_t> convertFrames(const std::vector<uint8_t>& frames, uint32_t width, uint32_t height,
                                   const engine::ConversionSettings& settings);

// The size of a converted frame of width x height.
std::pair<uint32_t, uint32_t> convertedSize(uint32_t width, uint32_t height, const engine::ConversionSettings& s);

}  // namespace quarn::testing
