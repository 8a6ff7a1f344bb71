#include "app/media_kinds.h"

#include <cctype>
#include <string>

namespace quarn::app {
namespace {

using platform::InputDemuxer;
using platform::ResultContainer;

struct Ending {
  const char* text;
  MediaKind kind;
};

constexpr Ending kEndings[] = {
    {"mp4", {InputDemuxer::kMov, ResultContainer::kMp4}},       {"m4v", {InputDemuxer::kMov, ResultContainer::kMp4}},
    {"3gp", {InputDemuxer::kMov, ResultContainer::kMp4}},       {"3g2", {InputDemuxer::kMov, ResultContainer::kMp4}},
    {"mov", {InputDemuxer::kMov, ResultContainer::kMov}},       {"qt", {InputDemuxer::kMov, ResultContainer::kMov}},
    {"mkv", {InputDemuxer::kMatroska, ResultContainer::kMatroska}},
    {"webm", {InputDemuxer::kMatroska, ResultContainer::kWebm}},
    {"mts", {InputDemuxer::kMpegTs, ResultContainer::kMatroska}},
    {"m2ts", {InputDemuxer::kMpegTs, ResultContainer::kMatroska}},
    {"ts", {InputDemuxer::kMpegTs, ResultContainer::kMatroska}},
    {"mpg", {InputDemuxer::kMpegPs, ResultContainer::kMatroska}},
    {"mpeg", {InputDemuxer::kMpegPs, ResultContainer::kMatroska}},
    {"vob", {InputDemuxer::kMpegPs, ResultContainer::kMatroska}},
    {"wmv", {InputDemuxer::kAsf, ResultContainer::kMatroska}},
    {"asf", {InputDemuxer::kAsf, ResultContainer::kMatroska}},
    {"flv", {InputDemuxer::kFlv, ResultContainer::kMatroska}},
    {"ogv", {InputDemuxer::kOgg, ResultContainer::kMatroska}},
};

}  // namespace

std::optional<MediaKind> mediaKindOf(std::string_view path) {
  const size_t dot = path.rfind('.');
  if (dot == std::string_view::npos || path.find('/', dot) != std::string_view::npos) return std::nullopt;
  std::string ending(path.substr(dot + 1));
  for (char& c : ending) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const Ending& e : kEndings) {
    if (ending == e.text) return e.kind;
  }
  return std::nullopt;
}

}  // namespace quarn::app
