#include "support/media_fixture.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "platform/child_process.h"
#include "support/temp_dir.h"

namespace quarn::testing {
namespace {

void putBe32(std::vector<uint8_t>& data, size_t at, int32_t value) {
  for (int i = 0; i < 4; ++i) data[at + i] = static_cast<uint8_t>(static_cast<uint32_t>(value) >> (24 - 8 * i));
}

uint32_t be32(const std::vector<uint8_t>& data, size_t at) {
  return uint32_t{data[at]} << 24 | uint32_t{data[at + 1]} << 16 | uint32_t{data[at + 2]} << 8 | data[at + 3];
}

std::string run(const std::vector<std::string>& args) {
  return platform::runChild(args, platform::ChildOutput::kCaptureStandardOutput).output;
}

// ffprobe's flat lines ("streams.stream.0.codec_name=\"h264\"") by entry.
std::vector<std::map<std::string, std::string>> flatEntries(const std::string& text, const std::string& prefix) {
  std::vector<std::map<std::string, std::string>> entries;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.compare(0, prefix.size(), prefix) != 0) continue;
    const size_t dot = line.find('.', prefix.size()), eq = line.find('=');
    if (dot == std::string::npos || eq == std::string::npos || eq < dot) continue;
    const size_t index = std::stoul(line.substr(prefix.size(), dot - prefix.size()));
    if (entries.size() <= index) entries.resize(index + 1);
    std::string key = line.substr(dot + 1, eq - dot - 1), value = line.substr(eq + 1);
    if (value.size() >= 2 && value.front() == '"') value = value.substr(1, value.size() - 2);
    // Side data and tags come as side_data_list.side_data.0.rotation, tags.language, disposition.default.
    if (key.rfind("tags.", 0) == 0) key = "TAG:" + key.substr(5);
    if (key.rfind("disposition.", 0) == 0) key = "DISPOSITION:" + key.substr(12);
    const size_t last = key.rfind('.');
    if (key.rfind("side_data_list.", 0) == 0 && last != std::string::npos) key = key.substr(last + 1);
    entries[index][key] = value;
  }
  return entries;
}

}  // namespace

bool setDisplayMatrix(const std::string& path, int clockwise, bool mirror) {
  constexpr int32_t kOne = 0x10000, kW = 0x40000000;
  int32_t a = kOne, b = 0, c = 0, d = kOne;
  switch (clockwise) {
    case 90:
      a = 0, b = kOne, c = -kOne, d = 0;
      break;
    case 180:
      a = -kOne, d = -kOne;
      break;
    case 270:
      a = 0, b = -kOne, c = kOne, d = 0;
      break;
    default:
      break;
  }
  if (mirror) a = -a, c = -c;
  std::vector<uint8_t> data = readFile(path);
  const char tkhd[] = "tkhd";
  for (auto at = data.begin(); (at = std::search(at, data.end(), tkhd, tkhd + 4)) != data.end(); ++at) {
    const size_t box = static_cast<size_t>(at - data.begin());
    if (box + 4 + 76 + 36 > data.size() || data[box + 4] != 0) continue;  // version 0 only
    // version/flags, creation, modification, track id, reserved, duration,
    // reserved 8, layer, alternate group, volume, reserved: then the matrix
    const size_t matrix = box + 4 + 4 * 6 + 8 + 2 * 4;
    const int32_t values[9] = {a, b, 0, c, d, 0, 0, 0, kW};
    for (int i = 0; i < 9; ++i) putBe32(data, matrix + 4 * i, values[i]);
    writeFile(path, data);
    return true;
  }
  return false;
}

std::vector<std::map<std::string, std::string>> probeEntries(const std::string& path, const char* select,
                                                              const std::string& entries) {
  const std::string section = entries.substr(0, entries.find('='));
  return flatEntries(run({"ffprobe", "-v", "error", "-select_streams", select, "-show_entries", entries,
                          "-show_data_hash", "md5", "-of", "flat", path}),
                     section + "s." + section + ".");
}

std::vector<std::map<std::string, std::string>> probeStreams(const std::string& path) {
  return flatEntries(run({"ffprobe", "-v", "error", "-show_streams", "-of", "flat", path}), "streams.stream.");
}

std::map<std::string, std::string> probeFormat(const std::string& path) {
  std::map<std::string, std::string> fields;
  std::istringstream lines(run({"ffprobe", "-v", "error", "-show_format", "-of", "flat", path}));
  for (std::string line; std::getline(lines, line);) {
    const size_t eq = line.find('=');
    if (line.rfind("format.", 0) != 0 || eq == std::string::npos) continue;
    std::string key = line.substr(7, eq - 7), value = line.substr(eq + 1);
    if (value.size() >= 2 && value.front() == '"') value = value.substr(1, value.size() - 2);
    if (key.rfind("tags.", 0) == 0) key = "TAG:" + key.substr(5);
    fields[key] = value;
  }
  return fields;
}

int64_t topLevelBox(const std::string& path, const char* type) {
  const std::vector<uint8_t> data = readFile(path);
  for (size_t at = 0; at + 8 <= data.size();) {
    uint64_t size = be32(data, at);
    if (std::memcmp(&data[at + 4], type, 4) == 0) return static_cast<int64_t>(at);
    if (size == 1 && at + 16 <= data.size()) size = uint64_t{be32(data, at + 8)} << 32 | be32(data, at + 12);
    if (size < 8) return -1;
    at += size;
  }
  return -1;
}

std::vector<uint8_t> decodeFramesToBgr(const std::string& path) {
  const std::string frames = run({"ffmpeg", "-nostdin", "-v", "error", "-i", path, "-fps_mode", "passthrough", "-f",
                                  "rawvideo", "-pix_fmt", "bgr24", "-"});
  return std::vector<uint8_t>(frames.begin(), frames.end());
}

double meanDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  if (a.size() != b.size() || a.empty()) return 255;
  uint64_t sum = 0;
  for (size_t i = 0; i < a.size(); ++i) sum += static_cast<uint64_t>(std::abs(int(a[i]) - int(b[i])));
  return double(sum) / double(a.size());
}

}  // namespace quarn::testing
