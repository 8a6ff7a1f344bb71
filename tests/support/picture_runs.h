// picture_runs.h: what the end-to-end runs of pictures share: the eight
// parameters of a run with depth 10, the settings lines such a run prints,
// and what its BMP result must hold.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quarn::testing {

inline constexpr const char* kSettingsTen =
    " Izpolzvana dulbochina: 10\n Izpolzvane na cvetova optimizaciq: ne\n Izpolzvane na 3D+: ne\n"
    " Zarejdane & konvertirane .........";

// Depth `depth`, neither option, a JPEG result (`jpegOutput`) or a BMP one.
std::vector<std::string> eightParametersWithDepth(const std::string& path, bool jpegOutput, const char* depth = "10");

// `bitmap` (a BitmapBuffer) through the in-memory conversion with depth 10,
// cut to the converted picture's size: what a BMP result holds.
std::vector<uint8_t> convertedWithDepthTen(std::vector<uint8_t> bitmap);

}  // namespace quarn::testing
