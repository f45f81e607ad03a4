// Quoted strings as command lines and argument lines write them:
// "text with blanks", where *" is a quote, ** a star, *N a line break and
// *E an escape character; a star before any other character stands for
// that character. Pure: no I/O, no state.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform::dos {

// Decodes the quoted string whose opening quote is at line[pos] and leaves
// pos just past its closing quote. False when the line ends first (pos is
// then at the end, and out holds what was decoded up to there).
bool ReadQuoted(std::string_view line, size_t &pos, std::string &out);

} // namespace platform::dos
