#include "support/video_fixture.h"

#include <sstream>

#include "platform/child_process.h"
#include "support/run_program.h"

namespace quarn::testing {
namespace {

std::map<std::string, std::string> keyValues(const std::string& text) {
  std::map<std::string, std::string> fields;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    const size_t eq = line.find('=');
    if (eq != std::string::npos) fields[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return fields;
}

}  // namespace

bool runFfmpeg(const std::vector<std::string>& args) {
  std::vector<std::string> all = {"ffmpeg", "-nostdin", "-v", "error", "-y"};
  all.insert(all.end(), args.begin(), args.end());
  const platform::ChildResult r = platform::runChild(all, platform::ChildOutput::kCapture);
  return r.started && r.exitStatus == 0;
}

std::vector<std::string> testPictures(int width, int height, const std::string& rate, int frames,
                                      const std::string& filter) {
  // testsrc2 makes even sizes only: scale to the size asked for.
  std::string filters = "scale=" + std::to_string(width) + ":" + std::to_string(height);
  if (!filter.empty()) filters += "," + filter;
  return {"-f", "lavfi", "-i",
          "testsrc2=size=" + std::to_string(width + width % 2) + "x" + std::to_string(height + height % 2) +
              ":rate=" + rate,
          "-frames:v", std::to_string(frames), "-vf", filters};
}

std::map<std::string, std::string> probeStream(const std::string& path, const char* select) {
  const platform::ChildResult r = platform::runChild(
      {"ffprobe", "-v", "error", "-select_streams", select, "-show_streams", "-of", "default=nw=1", path},
      platform::ChildOutput::kCaptureStandardOutput);
  return keyValues(r.output);
}

std::vector<PacketFacts> probePackets(const std::string& path, const char* select) {
  const platform::ChildResult r =
      platform::runChild({"ffprobe", "-v", "error", "-select_streams", select, "-show_entries",
                          "packet=dts,size,flags", "-of", "csv=p=0", path},
                         platform::ChildOutput::kCaptureStandardOutput);
  std::vector<PacketFacts> packets;
  std::istringstream lines(r.output);
  for (std::string line; std::getline(lines, line);) {
    PacketFacts p;
    std::istringstream fields(line);
    std::string dts, size, flags;
    std::getline(fields, dts, ',');
    std::getline(fields, size, ',');
    std::getline(fields, flags, ',');
    p.dts = dts == "N/A" || dts.empty() ? -1 : std::stoll(dts);
    p.size = size.empty() ? 0 : std::stoll(size);
    p.key = flags.find('K') != std::string::npos;
    packets.push_back(p);
  }
  return packets;
}

std::vector<uint8_t> decodeToBgr(const std::string& path) {
  const platform::ChildResult r = platform::runChild(
      {"ffmpeg", "-nostdin", "-v", "error", "-i", path, "-f", "rawvideo", "-pix_fmt", "bgr24", "-"},
      platform::ChildOutput::kCaptureStandardOutput);
  return std::vector<uint8_t>(r.output.begin(), r.output.end());
}

std::string decodeWarnings(const std::string& path) {
  const platform::ChildResult r = platform::runChild(
      {"ffmpeg", "-nostdin", "-v", "warning", "-i", path, "-f", "null", "-"}, platform::ChildOutput::kCapture);
  return r.started ? r.output : "ffmpeg did not run";
}

DecodeCheck checkDecoding(const std::string& path) {
  const platform::ChildResult r =
      platform::runChild({"ffmpeg", "-nostdin", "-v", "warning", "-i", path, "-map", "0:v:0", "-f", "framecrc", "-"},
                         platform::ChildOutput::kCapture);
  DecodeCheck check;
  std::istringstream lines(r.output);
  for (std::string line; std::getline(lines, line);) {
    if (line.empty() || line[0] == '#') continue;
    if (line[0] >= '0' && line[0] <= '9') {
      ++check.frames;
    } else {
      check.warnings += line + "\n";
    }
  }
  if (!r.started || r.exitStatus != 0) check.warnings += "ffmpeg failed\n";
  return check;
}

std::vector<std::string> withFileSizeLimit(int blocks, const std::vector<std::string>& quarnArgs) {
  std::vector<std::string> args = {"-c", "trap '' XFSZ; ulimit -f " + std::to_string(blocks) + "; exec \"$0\" \"$@\"",
                                   quarnBinary()};
  args.insert(args.end(), quarnArgs.begin(), quarnArgs.end());
  return args;
}

}  // namespace quarn::testing
