// Fuzzes the ICY metadata parser: the audio that comes out is the input
// without its metadata blocks, whatever the piece sizes, and titles parse.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "reggae/icy_meta.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2)
    return 0;
  const size_t metaint = 1 + data[0] % 64;
  const size_t piece = 1 + data[1] % 97;
  data += 2;
  size -= 2;
  std::string input(reinterpret_cast<const char *>(data), size);
  reggae::IcyMetaParser whole(metaint), pieces(metaint);
  std::string a = input, out1, out2;
  out1.assign(a.data(), whole.Process(reinterpret_cast<uint8_t *>(a.data()), a.size()));
  for (size_t i = 0; i < input.size(); i += piece) {
    std::string p = input.substr(i, piece);
    out2.append(p.data(), pieces.Process(reinterpret_cast<uint8_t *>(p.data()), p.size()));
  }
  if (out1 != out2 || out1.size() > input.size() || whole.Title() != pieces.Title())
    std::abort();
  if (auto t = reggae::IcyMetaParser::ParseStreamTitle(input); t && t->size() > input.size())
    std::abort();
  return 0;
}
