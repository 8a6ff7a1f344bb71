// video_fixture.h: AVI test videos made by the ffmpeg tool, and what ffprobe
// and ffmpeg tell of a result.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace quarn::testing {

// Runs `ffmpeg -v error -y <args>`; true when it succeeded.
bool runFfmpeg(const std::vector<std::string>& args);

// A test picture source of the ffmpeg tool: `frames` frames of width x
// height at `rate` ("25", "30000/1001"), through `filter` if one is given,
// as the input arguments.
std::vector<std::string> testPictures(int width, int height, const std::string& rate, int frames,
                                      const std::string& filter = "");

// The fields ffprobe gives of the first video (or audio) stream: codec_name,
// codec_tag_string, width, height, r_frame_rate, nb_frames, ...
std::map<std::string, std::string> probeStream(const std::string& path, const char* select = "v:0");

struct PacketFacts {
  int64_t dts = 0;  // the position in the stream
  int64_t size = 0;
  bool key = false;
};
std::vector<PacketFacts> probePackets(const std::string& path, const char* select = "v:0");

// Every frame decoded to top-down rows of packed blue-green-red pixels.
std::vector<uint8_t> decodeToBgr(const std::string& path);

// What `ffmpeg -v warning -i path -f null -` prints: "" for a clean file.
std::string decodeWarnings(const std::string& path);

// The video frames ffmpeg decodes from a file, and what it says of them.
struct DecodeCheck {
  int frames = 0;
  std::string warnings;  // "" for a clean file
};
DecodeCheck checkDecoding(const std::string& path);

// A run of quarn whose files may grow to `blocks` KiB only (a full disk).
std::vector<std::string> withFileSizeLimit(int blocks, const std::vector<std::string>& quarnArgs);

}  // namespace quarn::testing
