// libFuzzer entry: any bytes through the picture decoders, then through the
// scaler, as a downloaded favicon would go.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "reggae/picture_decode.h"
#include "reggae/pixel_scale.h"

using namespace reggae::pictures;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  PictureInfo info;
  if (ReadPictureInfo(data, size, info) != PictureError::None)
    return 0;
  // Headers may claim up to the real limit; the fuzzer need not allocate it.
  // A quarter megapixel reaches every decoding path and keeps each run short
  // (a 4-megapixel buffer to clear and scale cost 5 ms a run).
  if (uint64_t(info.width) * info.height > (uint64_t(1) << 18))
    return 0;
  std::vector<uint8_t> px(size_t(info.width) * info.height * 4);
  uint32_t rows = 0;
  DecodePicture(data, size, px.data(), px.size(), rows);
  if (rows > info.height)
    __builtin_trap();
  std::vector<uint8_t> out;
  ScalePixels(px.data(), info.width, info.height, size_t(info.width) * 4, 32, 20, out);
  // The shrunk decode writes exactly the size it promises.
  const uint32_t shrink = ShrinkOnLoad(info, 1 + data[size / 2] % 64, 1 + data[size - 1] % 64);
  if (shrink > 1) {
    const PictureInfo small = ShrunkInfo(info, shrink);
    std::vector<uint8_t> spx(size_t(small.width) * small.height * 4 + 1, 0xA5);
    DecodePicture(data, size, spx.data(), spx.size() - 1, rows, shrink);
    if (rows > small.height || spx.back() != 0xA5)
      __builtin_trap();
  }
  return 0;
}
