// media_fixture.h: what the tests of today's containers need beside the AVI
// fixtures: a display matrix written into an MP4 or MOV, and what ffprobe
// tells of each packet and frame of a stream.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace quarn::testing {

// Writes a phone's display matrix into the first version-0 track header of
// the MP4 or MOV at `path`: `clockwise` (0, 90, 180, 270) is the turn a
// player applies to show the picture upright; `mirror` flips its x axis
// first. False when the file has no such track header.
bool setDisplayMatrix(const std::string& path, int clockwise, bool mirror);

// Each entry of `section` ("packet" or "frame") that ffprobe shows of the
// streams `select` picks, as field -> value (fields as in -show_entries,
// e.g. "packet=pts_time,data_hash"; data_hash is MD5).
std::vector<std::map<std::string, std::string>> probeEntries(const std::string& path, const char* select,
                                                              const std::string& entries);

// Every stream of the file, in order, with ffprobe's fields (tags as
// "TAG:language", dispositions as "DISPOSITION:default") and "rotation"
// when the stream carries a display matrix.
std::vector<std::map<std::string, std::string>> probeStreams(const std::string& path);

// The format's fields (start_time, duration, TAG:creation_time, ...).
std::map<std::string, std::string> probeFormat(const std::string& path);

// The offset of the first box of `type` at the top level of an MP4 or
// MOV; -1 when there is none.
int64_t topLevelBox(const std::string& path, const char* type);

// Every frame the file holds, as it holds them (none repeated or dropped
// to make a constant rate), upright by its display matrix, as top-down
// rows of packed blue-green-red pixels.
std::vector<uint8_t> decodeFramesToBgr(const std::string& path);

// The mean absolute difference of two byte strings of one size (255 when
// their sizes differ).
double meanDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b);

}  // namespace quarn::testing
