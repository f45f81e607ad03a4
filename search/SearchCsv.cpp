// The in-place CSV scanner of the station directory's table.
#include "search/SearchCsv.h"

#include <cstring>

const StationColumns DefaultStationColumns = {{3, 18, 19, 8, 9, 13, 4, 7}};

namespace {

inline bool At(CONST_STRPTR line, LONG length, LONG i, char c) { return i < length && line[i] == c; }

// Walks one field from *pos; returns where its text starts and ends (the
// stopping point). lastLone: index of the last quote taken as an ordinary
// character (-1 if none), for the continuation test.
struct Span {
  LONG start, stop;
  bool quoted;
  LONG lastLone;
};

Span Walk(CONST_STRPTR line, LONG length, LONG *pos) {
  LONG i = *pos;
  Span s{i, i, false, -1};
  if (i >= length) {
    s.start = s.stop = length;
    return s;
  }
  if (line[i] == '"') {
    s.quoted = true;
    s.start = ++i;
    // Only the quotes matter inside: jump from one to the next.
    while (i < length) {
      const void *q = std::memchr(line + i, '"', static_cast<size_t>(length - i));
      if (!q) {
        i = length;
        break;
      }
      i = static_cast<LONG>(static_cast<CONST_STRPTR>(q) - line);
      if (At(line, length, i + 1, ',')) break;
      if (At(line, length, i + 1, '"')) {
        i += 2; // a doubled quote is two characters of the text
        continue;
      }
      s.lastLone = i++;
    }
  } else {
    const void *c = std::memchr(line + i, ',', static_cast<size_t>(length - i));
    i = c ? static_cast<LONG>(static_cast<CONST_STRPTR>(c) - line) : length;
  }
  s.stop = i;
  if (i < length) {
    ++i; // the comma, or the closing quote
    if (s.quoted && i < length) ++i; // and the comma after it
  }
  *pos = i;
  return s;
}

} // namespace

STRPTR CsvReadField(STRPTR line, LONG length, LONG *pos) {
  const Span s = Walk(line, length, pos);
  if (s.stop < length) line[s.stop] = 0;
  return line + s.start;
}

void CsvSkipField(CONST_STRPTR line, LONG length, LONG *pos) { Walk(line, length, pos); }

BOOL CsvLineContinues(CONST_STRPTR line, LONG length) {
  if (length <= 0 || line[length - 1] != '\n') return FALSE;
  LONG end = length - 1; // the line's content, without its line break
  if (end > 0 && line[end - 1] == '\r') --end;
  LONG pos = 0;
  for (;;) {
    const Span s = Walk(line, length, &pos);
    if (pos >= length) {
      // The last field: open when quoted and no lone quote closes it right
      // before the line break.
      return s.quoted && s.lastLone != end - 1 ? TRUE : FALSE;
    }
  }
}

void TrimStationUrl(STRPTR url) {
  if (!url) return;
  const size_t len = std::strlen(url);
  if (len < 4) return;
  size_t cut = len;
  for (size_t i = 4; i + 4 <= len; ++i)
    if (std::memcmp(url + i, "http", 4) == 0) {
      cut = i;
      break;
    }
  if (url[cut - 1] == '?') --cut;
  url[cut] = 0;
}

void Utf8ToLatin1InPlace(STRPTR text) {
  if (!text) return;
  auto *in = reinterpret_cast<const UBYTE *>(text);
  while (*in && *in < 0x80) ++in; // plain ASCII stays where it is
  auto *out = reinterpret_cast<UBYTE *>(text) + (in - reinterpret_cast<const UBYTE *>(text));
  while (*in) {
    const UBYTE c = *in;
    LONG extra = c >= 0xF0 && c <= 0xF4 ? 3 : c >= 0xE0 && c <= 0xEF ? 2 : c >= 0xC2 && c <= 0xDF ? 1 : 0;
    ULONG cp = extra == 3 ? c & 0x07 : extra == 2 ? c & 0x0F : c & 0x1F;
    bool ok = extra > 0;
    for (LONG k = 1; ok && k <= extra; ++k) {
      if ((in[k] & 0xC0) != 0x80) ok = false;
      else cp = (cp << 6) | (in[k] & 0x3F);
    }
    // Overlong forms and surrogates are not UTF-8.
    if (ok && ((extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF))))
      ok = false;
    if (!ok) {
      *out++ = *in++;
      continue;
    }
    *out++ = cp <= 0xFF ? static_cast<UBYTE>(cp) : '?';
    in += extra + 1;
  }
  *out = 0;
}

void CsvStationFields(STRPTR line, LONG length, const StationColumns *cols, STRPTR texts[SEARCH_COLUMNS]) {
  if (!cols) cols = &DefaultStationColumns;
  LONG last = 0;
  for (LONG c = 0; c < SEARCH_COLUMNS; ++c) {
    texts[c] = line + length; // empty unless the line has the field
    if (cols->pos[c] > last) last = cols->pos[c];
  }
  LONG pos = 0;
  for (LONG field = 0; field <= last && pos < length; ++field) {
    bool wanted = false;
    for (LONG c = 0; c < SEARCH_COLUMNS; ++c) wanted |= cols->pos[c] == field;
    if (!wanted) {
      CsvSkipField(line, length, &pos);
      continue;
    }
    STRPTR text = CsvReadField(line, length, &pos);
    for (LONG c = 0; c < SEARCH_COLUMNS; ++c)
      if (cols->pos[c] == field) texts[c] = text;
  }
  for (LONG c = 0; c < SEARCH_COLUMNS; ++c) {
    bool first = true; // a field that fills two columns is converted once
    for (LONG k = 0; k < c; ++k) first &= texts[k] != texts[c];
    if (first) Utf8ToLatin1InPlace(texts[c]);
  }
  TrimStationUrl(texts[SEARCH_COL_URL]);
}

BOOL CsvHeaderColumns(STRPTR line, LONG length, StationColumns *cols) {
  static const char *const names[SEARCH_COLUMNS] = {"name", "codec", "bitrate", "tags", "country", "language", "url",
                                                    "favicon"};
  StationColumns found;
  for (LONG &p : found.pos) p = -1;
  LONG pos = 0;
  for (LONG field = 0; pos < length; ++field) {
    STRPTR text = CsvReadField(line, length, &pos);
    size_t n = std::strlen(text);
    while (n && (text[n - 1] == '\n' || text[n - 1] == '\r')) --n;
    for (LONG c = 0; c < SEARCH_COLUMNS; ++c) {
      if (found.pos[c] >= 0 || std::strlen(names[c]) != n) continue;
      bool same = true;
      for (size_t k = 0; k < n && same; ++k) same = (text[k] | 0x20) == names[c][k];
      if (same) found.pos[c] = field;
    }
  }
  for (LONG c = 0; c < SEARCH_COLUMNS; ++c)
    if (found.pos[c] < 0) {
      *cols = DefaultStationColumns;
      return FALSE;
    }
  *cols = found;
  return TRUE;
}
