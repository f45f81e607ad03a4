// Fuzzes ReadArgs on a text in memory against the templates the system uses,
// plus the command line splitter and ReadItem.
// Input: byte 0 picks the template, byte 1 the flags, the rest is the text.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "dos/cmdline.h"
#include "dos/dos.h"
#include "dos/rdargs.h"

namespace {

const char *const kTemplates[] = {
    "STATION/F,NEXT/S,PREV/S,LAST=LASTUSED/S,INFO/S",
    "TITLE/S,STATE/S,STATION/S,LIST=STATIONLIST/S",
    "STOP/S,INFO/S",
    "ice-channels=channels/A/K/N,ice-samplerate=samplerate/A/K/N,ice-bitrate=bitrate/A/K/N",
    "FROM/A,TO/A,W=NewWidth/N,H=NewHeight/N",
    "FROM/A/M,TO=AS/A,QUIET/S",
    "FROM/M,TO/A,ALL/S,QUIET/S,BUF=BUFFER/K/N,CLONE/S,DATES/S,NOPRO/S,COM/S,NOREQ/S",
    "N/M/N,K/K/A,T/T,R/F",
    "NAME/M,ALL/S",
    "STR/A/F",
    "",
};

size_t Slots(const char *t) {
  size_t n = 1;
  for (; *t; ++t)
    n += *t == ',';
  return n;
}

// Reads every byte the results point at, so that a dangling pointer shows.
size_t Touch(const char *tmpl, const std::vector<IPTR> &array) {
  size_t sum = 0;
  std::string t(tmpl);
  size_t item = 0, start = 0;
  while (start <= t.size() && item < array.size()) {
    size_t comma = t.find(',', start);
    std::string part = t.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    IPTR v = array[item];
    bool multi = part.find("/M") != std::string::npos, num = part.find("/N") != std::string::npos;
    bool flag = part.find("/S") != std::string::npos || part.find("/T") != std::string::npos;
    if (v && !flag) {
      if (multi) {
        for (auto **p = reinterpret_cast<char **>(v); *p; ++p)
          sum += num ? static_cast<size_t>(*reinterpret_cast<LONG *>(*p)) : strlen(*p);
      } else {
        sum += num ? static_cast<size_t>(*reinterpret_cast<LONG *>(v)) : strlen(reinterpret_cast<char *>(v));
      }
    }
    if (comma == std::string::npos)
      break;
    start = comma + 1;
    ++item;
  }
  return sum;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2)
    return 0;
  size_t which = data[0] % (sizeof kTemplates / sizeof *kTemplates);
  const char *tmpl = kTemplates[which];
  std::string text(reinterpret_cast<const char *>(data + 2), size - 2);

  std::vector<IPTR> array(Slots(tmpl) + 1, 0);
  if (which == 7 && (data[1] & 1))
    array[2] = 1; // the default a /T flips
  RDArgs rda{};
  std::string buffer = text;
  rda.RDA_Source.CS_Buffer = buffer.data();
  rda.RDA_Source.CS_Length = static_cast<LONG>(buffer.size());
  rda.RDA_Flags = (data[1] & 2) ? RDAF_NOPROMPT : 0;
  if (ReadArgs(tmpl, array.data(), &rda)) {
    volatile size_t sink = Touch(tmpl, array);
    (void)sink;
    FreeArgs(&rda);
  }

  platform::ParsedCommand pc;
  platform::ParseCommandLine(text, pc);

  std::string items = text;
  CSource cs{items.data(), static_cast<LONG>(items.size()), 0};
  char word[64];
  for (int i = 0; i < 256; ++i) {
    LONG it = ReadItem(word, sizeof word, &cs);
    if (it == ITEM_NOTHING || it == ITEM_ERROR)
      break;
  }
  return 0;
}
