// Fuzzes the directory table's scanner as the parse uses it: pieces of at
// most 8094 characters, quoted line breaks joined, the header's columns,
// eight texts cut in place. Every text must lie inside the line buffer,
// skipping and reading must walk alike, and the Url trim may only shorten.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "search/SearchCsv.h"

namespace {

bool Inside(const char *p, const std::vector<char> &buf) { return p >= buf.data() && p < buf.data() + buf.size(); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  // The first byte picks the header: none (fixed columns) or a named one.
  // The second bit maps the bytes onto the characters that matter, so
  // random input is mostly commas, quotes, line ends and "http".
  const bool named = data[0] & 1, small = data[0] & 2;
  ++data;
  --size;
  std::vector<uint8_t> mapped;
  if (small) {
    static const char alphabet[] = ",\"\n\r?http a\xC3\xA9";
    for (size_t i = 0; i < size; ++i) mapped.push_back(static_cast<uint8_t>(alphabet[data[i] % (sizeof(alphabet) - 1)]));
    data = mapped.data();
  }
  StationColumns cols = DefaultStationColumns;
  if (named) {
    char header[] = "url,x,\"name\",favicon,tags,country,\"lang,uage\",language,codec,bitrate\n";
    CsvHeaderColumns(header, static_cast<LONG>(std::strlen(header)), &cols);
  }
  std::vector<char> buf(SEARCH_LINE_SIZE, 0);
  size_t at = 0;
  while (at < size) {
    // One read: up to the newline, at most 8094 characters.
    LONG len = 0;
    while (at < size && len < SEARCH_LINE_READ - 1) {
      const char c = static_cast<char>(data[at++]);
      buf[static_cast<size_t>(len++)] = c ? c : ' ';
      if (c == '\n') break;
    }
    buf[static_cast<size_t>(len)] = 0;
    // Quoted line breaks: the next read goes behind the joined piece.
    while (CsvLineContinues(buf.data(), len) && len < SEARCH_LINE_READ - 1 && at < size) {
      buf[static_cast<size_t>(len - 1)] = ' ';
      while (at < size && len < SEARCH_LINE_READ - 1) {
        const char c = static_cast<char>(data[at++]);
        buf[static_cast<size_t>(len++)] = c ? c : ' ';
        if (c == '\n') break;
      }
      buf[static_cast<size_t>(len)] = 0;
    }

    // Skipping walks like reading.
    std::vector<char> copy(buf);
    LONG p1 = 0, p2 = 0;
    for (int f = 0; f < 40; ++f) {
      CsvSkipField(copy.data(), len, &p1);
      const char *t = CsvReadField(buf.data(), len, &p2);
      if (p1 != p2 || p1 > len || !Inside(t, buf)) std::abort();
    }
    std::memcpy(buf.data(), copy.data(), buf.size());

    STRPTR texts[SEARCH_COLUMNS];
    CsvStationFields(buf.data(), len, &cols, texts);
    for (STRPTR t : texts) {
      if (!Inside(t, buf)) std::abort();
      if (t + std::strlen(t) > buf.data() + len) std::abort();
    }
    char url[64];
    std::strncpy(url, texts[SEARCH_COL_URL], sizeof(url) - 1);
    url[sizeof(url) - 1] = 0;
    const size_t before = std::strlen(url);
    TrimStationUrl(url);
    if (std::strlen(url) > before) std::abort();
  }
  return 0;
}
