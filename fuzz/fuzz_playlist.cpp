// Fuzzes the playlist scan and the title cleaning: whatever the text and
// the size of the buffer, the address fits it, ends in NUL and holds no line
// break; a cleaned title keeps its length.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "playback/Playback.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1)
    return 0;
  const size_t outSize = data[0] % 2 ? size_t{PLAYLIST_URL_SIZE} : size_t{1} + data[0] % 64;
  const char *text = reinterpret_cast<const char *>(data + 1);
  const size_t len = size - 1;
  std::vector<char> out(outSize + 1, 'Z'); // one guard byte
  if (ScanPlaylist(text, len, out.data(), outSize)) {
    size_t n = strnlen(out.data(), outSize);
    if (n == 0 || n >= outSize || std::strpbrk(out.data(), "\r\n"))
      std::abort();
  } else if (out[0] != 0) {
    std::abort();
  }
  if (out[outSize] != 'Z')
    std::abort();

  std::string title(text, len);
  title = title.c_str(); // the titles the player cleans are NUL-terminated texts
  const size_t before = title.size();
  CapitaliseTitle(title.data());
  MakeSpacesUnbreakable(title.data());
  if (std::strlen(title.c_str()) != before)
    std::abort();
  return 0;
}
