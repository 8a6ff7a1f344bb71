// video_pictures.h: what the video fuzz targets do with a reader once it
// is open: its facts, its decoder and its first few pictures.
#pragma once

#include <cstdint>

#include "engine/bitmap_buffer.h"
#include "memory_file.h"
#include "platform/video_reader.h"

// Decodes up to `count` pictures when the stream's pictures are small
// enough to read whole. The pictures get exactly their own memory: a write
// outside it is the sanitizer's to find.
inline void readFewPictures(quarn::platform::VideoReader& reader, int count) {
  const quarn::platform::VideoFacts* facts = reader.video();
  if (facts == nullptr || facts->width == 0 || facts->height == 0) return;
  const uint64_t bytes = quarn::engine::rowStride(facts->width, 3) * facts->height;
  if (bytes > uint64_t(kMaxFuzzBitmapSize) || !reader.openDecoder()) return;
  quarn::platform::Picture picture;
  for (int i = 0; i < count; ++i) {
    const quarn::platform::FrameStatus status = reader.nextFrame(picture);
    if (status == quarn::platform::FrameStatus::kEnd || status == quarn::platform::FrameStatus::kOutOfMemory) break;
  }
}
