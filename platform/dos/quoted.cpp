// Decoding quoted strings of command and argument lines.
#include "dos/quoted.h"

namespace platform::dos {

bool ReadQuoted(std::string_view line, size_t &pos, std::string &out) {
  out.clear();
  ++pos; // the opening quote
  for (;;) {
    if (pos >= line.size())
      return false;
    char c = line[pos++];
    if (c == '"')
      return true;
    if (c == '*') {
      if (pos >= line.size())
        return false;
      c = line[pos++];
      if (c == 'n' || c == 'N')
        c = '\n';
      else if (c == 'e' || c == 'E')
        c = 0x1b;
    }
    out += c;
  }
}

} // namespace platform::dos
