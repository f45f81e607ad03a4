// Picture decoding without I/O: bytes of a PNG, JPEG, GIF (first frame), BMP,
// ICO or WebP file in, 32-bit pixels out.
//
// Pixels are stored as four bytes A, R, G, B (the framework's ARGB32 format,
// 0x10004), rows packed at width * 4 bytes, the top row first.
//
// Input is untrusted: dimensions are checked against the limits before any
// pixel memory is touched, and a damaged or cut-off file ends in an error,
// never in a read outside the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "clib/codec.h"

namespace reggae::pictures {

enum class PictureFormat { Unknown, Png, Jpeg, Gif, Bmp, Ico, WebP };

// None, Unsupported, Corrupt, Truncated, TooLarge or NoMemory: the picture
// libraries' results, see clib/codec.h.
using PictureError = clib::Error;

// The largest picture we hold: both sides and the pixel count are bounded so
// that width * height * 4 fits a 32-bit size with room to spare.
constexpr uint32_t kMaxPictureSide = 32768;
constexpr uint64_t kMaxPicturePixels = uint64_t(1) << 26; // 256 MiB of ARGB
constexpr clib::Limits kPictureLimits{kMaxPictureSide, kMaxPicturePixels};

struct PictureInfo {
  PictureFormat format = PictureFormat::Unknown;
  uint32_t width = 0;
  uint32_t height = 0;
};

PictureFormat SniffPicture(const uint8_t *data, size_t size);
const char *PictureFormatName(PictureFormat format);

// Reads the headers only. Succeeds only for a picture within the limits.
PictureError ReadPictureInfo(const uint8_t *data, size_t size, PictureInfo &info);

// Decodes the whole picture into dst, which holds dstSize bytes; dstSize must
// be at least width * height * 4 of ReadPictureInfo. rowsDone gets the number
// of top rows that hold decoded pixels (all of them on success; fewer when the
// data was cut off or damaged part-way).
// With shrink 2, 4 or 8 the picture is decoded that many times smaller on
// each side (the sides rounded up, see ShrunkInfo): JPEG by its scaled DCT,
// WebP by its scaler, so that a large picture never exists at full size.
PictureError DecodePicture(const uint8_t *data, size_t size, uint8_t *dst, size_t dstSize, uint32_t &rowsDone,
                           uint32_t shrink = 1);

// The largest shrink (1, 2, 4 or 8) the format can decode with while both
// sides stay at least minWidth x minHeight; 1 for formats that decode only
// at full size.
uint32_t ShrinkOnLoad(const PictureInfo &info, uint32_t minWidth, uint32_t minHeight);
// The picture's size when decoded with `shrink`.
PictureInfo ShrunkInfo(const PictureInfo &info, uint32_t shrink);

// Convenience for tests and tools: decodes into a new buffer.
PictureError DecodePicture(const uint8_t *data, size_t size, PictureInfo &info, std::vector<uint8_t> &pixels);

// Encodes ARGB pixels (rows of stride bytes) as a PNG with an alpha channel.
PictureError EncodePng(const uint8_t *argb, uint32_t width, uint32_t height, size_t stride, std::vector<uint8_t> &out);

inline bool PictureFits(uint64_t width, uint64_t height) { return kPictureLimits.Fits(width, height); }

} // namespace reggae::pictures
