// media_kinds.h: the videos of today's containers by their file names'
// endings, with the demuxer each is read with and the container of its
// result.
#pragma once

#include <optional>
#include <string_view>

#include "platform/media_reader.h"
#include "platform/media_writer_backend.h"

namespace quarn::app {

struct MediaKind {
  platform::InputDemuxer demuxer = platform::InputDemuxer::kMatroska;
  platform::ResultContainer result = platform::ResultContainer::kMatroska;
};

// By the ending after the last dot, in any letter case: .mp4 .m4v .3gp .3g2
// give MP4 results, .mov .qt MOV, .mkv Matroska, .webm WebM, and .mts .m2ts
// .ts .mpg .mpeg .vob .wmv .asf .flv .ogv Matroska. nullopt for every other
// name (.avi included: that is a kind of its own).
std::optional<MediaKind> mediaKindOf(std::string_view path);

}  // namespace quarn::app
