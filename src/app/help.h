// help.h: the two informational screens: the help screen ("?") and the list
// of video codecs ("?k"). Both only print.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/console.h"

namespace quarn::app {

void printHelp(platform::Console& console);

// Where the codec list comes from: named codecs with their four-character
// code, and the raw names of installed video drivers ("vidc.XXXX"). A
// source that is not available at all is nullopt and prints nothing.
struct CodecEntry {
  std::optional<std::string> friendlyName;
  std::optional<std::string> fourcc;
};
struct CodecSources {
  std::optional<std::vector<CodecEntry>> named;
  std::optional<std::vector<std::string>> driverNames;
};

// The header, one line per codec, and the closing "0000" entry.
void printCodecList(platform::Console& console, const CodecSources& sources);

// The codec list of this machine: each video encoder that writes AVI here
// with the first code that selects it, then the further codes for encoders
// already listed; then the lists of the other results' containers.
void listVideoCodecs(platform::Console& console);

// For each container of today's videos: the encoders that write it here,
// each with all its codes, and the input's own codec family ("0000").
void printMediaCodecLists(platform::Console& console);

}  // namespace quarn::app
