// Fuzzes the MPEG audio frame sync: arbitrary bytes, fed in arbitrary
// pieces, must give only frames whose length and header agree.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "reggae/mpeg_sync.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1)
    return 0;
  // The first byte chooses the piece size.
  const size_t piece = 1 + data[0] * 37u;
  ++data;
  --size;
  reggae::MpegFrameSync sync;
  auto drain = [&] {
    const uint8_t *f;
    reggae::MpegHeader h;
    while (sync.NextFrame(&f, &h)) {
      reggae::MpegHeader again;
      if (!reggae::ParseMpegHeader(f, &again) || again.frameBytes != h.frameBytes || h.frameBytes < 5 ||
          static_cast<size_t>(h.frameBytes) > reggae::MpegFrameSync::kMaxFrame)
        std::abort();
    }
  };
  for (size_t i = 0; i < size; i += piece) {
    sync.Push(data + i, size - i < piece ? size - i : piece);
    drain();
  }
  sync.SetEnd();
  drain();
  return 0;
}
