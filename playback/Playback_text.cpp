// Text rules of playback that need no I/O: the playlist scan, the address
// form for the http.stream library, and the cleaning of stream titles.
#include <cstring>

#include "Playback.h"
#include "exec/text.h"
#include "reggae/reggae.h"

namespace {

const char Scheme[] = "http://";
constexpr size_t SchemeLen = sizeof(Scheme) - 1;

// Latin-1 capitals: A-Z and 0xC0-0xDE without the multiplication sign.
bool IsUpperLatin1(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7);
}

bool IsSpaceLatin1(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

} // namespace

bool ScanPlaylist(CONST_STRPTR text, size_t size, STRPTR out, size_t outSize) {
  if (!text || !out || outSize == 0) return false;
  out[0] = 0;
  long k = -1; // not collecting
  bool tooLong = false;
  for (size_t i = 0; i < size;) {
    if (size - i >= SchemeLen && std::memcmp(text + i, Scheme, SchemeLen) == 0) {
      // A later address replaces what was collected so far.
      k = 0;
      tooLong = false;
      i += SchemeLen;
      continue;
    }
    const char c = text[i++];
    if (k < 0 || c == '\n' || c == '\r') continue;
    // Keep room for the NUL; an address that does not fit is refused whole.
    if (static_cast<size_t>(k) + 1 >= outSize) {
      tooLong = true;
      continue;
    }
    out[k++] = c;
  }
  out[k > 0 ? k : 0] = 0;
  // A NUL right after the scheme leaves an empty address, which is none.
  if (k <= 0 || tooLong || out[0] == 0) {
    out[0] = 0;
    return false;
  }
  return true;
}

CONST_STRPTR HttpStreamAddress(UWORD version, CONST_STRPTR url, Tag *tag) {
  if (version > 51) {
    *tag = MMA_StreamURL;
    return url;
  }
  // Older libraries take the address without its scheme.
  *tag = MMA_StreamName;
  if (url && std::strncmp(url, Scheme, SchemeLen) == 0) return url + SchemeLen;
  return url;
}

void CapitaliseTitle(STRPTR text) {
  if (!text || !text[0]) return;
  auto *t = reinterpret_cast<unsigned char *>(text);
  for (size_t i = 1; t[i]; ++i) {
    if (!IsUpperLatin1(t[i - 1]) || !IsUpperLatin1(t[i])) continue;
    // The first capital of the run stays; the rest of the word is lowered.
    for (size_t j = i; t[j] && !IsSpaceLatin1(t[j]); ++j)
      t[j] = platform::ToLowerLatin1(t[j]);
  }
}

void MakeSpacesUnbreakable(STRPTR text) {
  if (!text) return;
  for (; *text; ++text)
    if (*text == ' ') *text = static_cast<char>(0xA0);
}
