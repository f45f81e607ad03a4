// Fuzzes the list format parser: any bytes as a format. The columns stay
// within the bounds the display hook's array is sized by.
#include <cstddef>
#include <cstdint>
#include <string>

#include "mui/mui.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string format(reinterpret_cast<const char *>(data), size);
  auto columns = platform::ParseListFormat(format.c_str());
  if (columns.empty() || columns.size() > static_cast<size_t>(platform::kMaxListColumns)) __builtin_trap();
  for (const auto &c : columns)
    if (c.source < 0 || c.source >= platform::kMaxListColumns) __builtin_trap();
  return 0;
}
