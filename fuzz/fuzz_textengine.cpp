// Fuzzes the text-code parser: any bytes, with the first byte choosing how
// much of the input is taken as the pre-parse text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "mui/textengine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  size_t split = data[0] % size;
  std::string_view all(reinterpret_cast<const char *>(data + 1), size - 1);
  std::string_view pre = all.substr(0, split < all.size() ? split : all.size());
  std::string_view text = all.substr(pre.size());
  auto lines = platform::ParseText(text, pre);
  size_t chars = 0;
  for (auto &l : lines)
    for (auto &r : l.runs)
      chars += r.text.size() + r.image.size();
  if (chars > all.size()) __builtin_trap(); // output never grows beyond the input
  platform::PlainText(all);
  return 0;
}
