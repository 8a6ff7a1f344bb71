// picture_size.h: how large a decoded picture's BitmapBuffer may be.
#pragma once

#include <cstdint>
#include <optional>

namespace quarn::codecs {

// Up to this size a BitmapBuffer is accepted whatever its file's size.
inline constexpr uint64_t kAlwaysPlausibleBitmapSize = uint64_t{64} << 20;
// Above it, at most this many bytes of BitmapBuffer per byte of file: far
// more than photographs or scans compress to, far less than a forged header
// on a small file claims.
inline constexpr uint64_t kMaxBitmapBytesPerFileByte = 4096;

// Pictures coded by prediction from their own pixels (HEVC, AV1, VP8) or
// with codes of no bits at all (VP8L's single-symbol codes) cost next to
// nothing where a picture is one colour: such flat pictures are coded
// about 10^5 times smaller than their bitmaps. Above the always-plausible
// size, files of these kinds may claim this many bytes per byte.
inline constexpr uint64_t kMaxCodedBitmapBytesPerFileByte = uint64_t{1} << 17;

// The size of the BitmapBuffer (54-byte header, rows padded to 4 bytes) of
// a width × height picture; nullopt when it would not fit the header's
// 32-bit fields or is implausibly large for a file of `fileSize` bytes.
std::optional<uint32_t> plausibleBitmapSize(uint64_t width, uint64_t height, unsigned bitsPerPixel,
                                            uint64_t fileSize);
// The same for the files of coded pictures (HEIF, WebP).
std::optional<uint32_t> plausibleCodedBitmapSize(uint64_t width, uint64_t height, unsigned bitsPerPixel,
                                                 uint64_t fileSize);

// The most working memory a decoder may claim for a file of `fileSize`
// bytes, by the same measure as the BitmapBuffer; and whether `bytes` is
// within it.
uint64_t maxPlausibleDecodedSize(uint64_t fileSize);
bool plausibleDecodedSize(uint64_t bytes, uint64_t fileSize);

}  // namespace quarn::codecs
