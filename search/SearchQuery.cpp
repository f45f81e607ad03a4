// The directory query.
#include "search/SearchQuery.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "dos/dos.h"
#include "exec/exec.h"
#include "exec/text.h"
#include "streaminfo/PercentEncode.h"

void NormaliseCountry(STRPTR text) {
  if (!text || !*text) return;
  *text = static_cast<char>(platform::ToUpperLatin1(static_cast<unsigned char>(*text)));
  for (STRPTR c = text + 1; *c; ++c) *c = static_cast<char>(platform::ToLowerLatin1(static_cast<unsigned char>(*c)));
}

void NormaliseLanguages(STRPTR text) {
  for (STRPTR c = text; c && *c; ++c) *c = static_cast<char>(platform::ToLowerLatin1(static_cast<unsigned char>(*c)));
}

std::string DirectoryBase() {
  const char *env = std::getenv("MELODUNE_DIRECTORY");
  std::string b = env && *env ? env : SEARCH_DEFAULT_DIRECTORY;
  if (b.find("://") == std::string::npos) b = "https://" + b;
  while (!b.empty() && b.back() == '/') b.pop_back();
  return b;
}

STRPTR BuildStationQuery(CONST_STRPTR base, CONST_STRPTR name, CONST_STRPTR tags, CONST_STRPTR country,
                         CONST_STRPTR languages, BOOL limitOn, LONG limit) {
  static const char Path[] = "/csv/stations";
  static const char Search[] = "/search?codec=MP3";
  static const char *const keys[4] = {"name", "tagList", "country", "language"};
  CONST_STRPTR values[4] = {name, tags, country, languages};

  // Each criterion encoded into a buffer of its own, three characters per
  // input character.
  STRPTR encoded[4] = {};
  size_t size = std::strlen(base ? base : "") + sizeof(Path) - 1 + 30 + 1;
  bool ok = true;
  for (int k = 0; k < 4; ++k) {
    const size_t len = values[k] ? std::strlen(values[k]) : 0;
    if (!len) continue;
    encoded[k] = static_cast<STRPTR>(AllocVec(static_cast<ULONG>(3 * len + 1), MEMF_ANY));
    if (!encoded[k]) {
      ok = false;
      break;
    }
    const ULONG n = PercentEncode(values[k], encoded[k], static_cast<ULONG>(3 * len));
    size += std::strlen(keys[k]) + 2 + n;
  }
  STRPTR url = ok ? static_cast<STRPTR>(AllocVec(static_cast<ULONG>(size), MEMF_ANY)) : nullptr;
  if (url) {
    std::string u = base ? base : "";
    u += Path;
    u += Search;
    for (int k = 0; k < 4; ++k)
      if (encoded[k]) {
        u += '&';
        u += keys[k];
        u += '=';
        u += encoded[k];
      }
    u += "&limit=";
    if (limitOn) {
      char digits[16];
      SNPrintf(digits, sizeof(digits), "%ld", static_cast<IPTR>(static_cast<SIPTR>(limit)));
      u += digits;
    }
    std::memcpy(url, u.c_str(), std::min(u.size() + 1, size));
    url[size - 1] = 0;
  }
  for (STRPTR e : encoded) FreeVec(e);
  return url;
}
