// OPTIONS RESULTS decides whether commands return RESULT, but the
// interpreter keeps its options to itself. So each OPTIONS instruction's
// expression is wrapped in a call to our own function, which notes the words
// and hands them on unchanged. Only text between the keyword and the end of
// its clause changes, so line numbers stay right.

#include <cctype>

#include "bridge.h"

namespace rx {

const char kOptionsFunction[] = "__RX_OPTIONS";

namespace {

bool IsSymbolChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '!' || c == '?' || c == '@' ||
         c == '#' || c == '$';
}

// Index after a comment starting at i (comments nest).
size_t SkipComment(const std::string &s, size_t i) {
  int depth = 0;
  while (i < s.size()) {
    if (s.compare(i, 2, "/*") == 0) {
      ++depth;
      i += 2;
    } else if (s.compare(i, 2, "*/") == 0) {
      i += 2;
      if (--depth == 0) break;
    } else {
      ++i;
    }
  }
  return i;
}

// Index of the next character that is not a blank or a comment on this line.
size_t SkipBlanks(const std::string &s, size_t i) {
  while (i < s.size()) {
    if (s[i] == ' ' || s[i] == '\t' || s[i] == '\r') ++i;
    else if (s.compare(i, 2, "/*") == 0) i = SkipComment(s, i);
    else break;
  }
  return i;
}

std::string Upper(std::string w) {
  for (char &c : w) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return w;
}

bool StartsClause(const std::string &word) { return word == "THEN" || word == "ELSE" || word == "OTHERWISE"; }

} // namespace

std::string MarkOptions(const std::string &src) {
  std::string out;
  out.reserve(src.size() + 64);
  size_t i = 0;
  const size_t n = src.size();
  bool clauseStart = true;
  bool open = false;      // an OPTIONS expression waits for its ')'
  bool lastComma = false; // a ',' ending a line continues the clause
  auto endClause = [&] {
    if (open) out += ')';
    open = false;
    clauseStart = true;
  };
  while (i < n) {
    char c = src[i];
    if (src.compare(i, 2, "/*") == 0) {
      size_t j = SkipComment(src, i);
      out.append(src, i, j - i);
      i = j;
    } else if (src.compare(i, 2, "--") == 0) { // line comment
      size_t j = src.find('\n', i);
      if (j == std::string::npos) j = n;
      if (!lastComma) endClause();
      out.append(src, i, j - i);
      i = j;
    } else if (c == '\n') {
      if (!lastComma) endClause();
      lastComma = false;
      out += c;
      ++i;
    } else if (c == ' ' || c == '\t' || c == '\r') {
      out += c;
      ++i;
    } else if (c == ';') {
      endClause();
      lastComma = false;
      out += c;
      ++i;
    } else if (c == '\'' || c == '"') {
      size_t j = i + 1;
      while (j < n && src[j] != '\n') {
        if (src[j] == c) {
          if (j + 1 < n && src[j + 1] == c) {
            j += 2;
            continue;
          }
          ++j;
          break;
        }
        ++j;
      }
      out.append(src, i, j - i);
      i = j;
      clauseStart = false;
      lastComma = false;
    } else if (IsSymbolChar(c)) {
      size_t j = i;
      while (j < n && IsSymbolChar(src[j])) ++j;
      std::string word = Upper(src.substr(i, j - i));
      out.append(src, i, j - i);
      i = j;
      lastComma = false;
      if (!clauseStart) {
        if (StartsClause(word)) clauseStart = true;
        continue;
      }
      size_t k = SkipBlanks(src, j);
      char next = k < n ? src[k] : '\n';
      if (next == ':') { // a label; the clause starts after it
        out.append(src, i, k + 1 - i);
        i = k + 1;
        continue;
      }
      if (StartsClause(word)) continue;
      clauseStart = false;
      if (word == "OPTIONS" && next != '=') {
        out += ' ';
        out += kOptionsFunction;
        out += '(';
        open = true;
      }
    } else {
      lastComma = c == ',';
      clauseStart = false;
      out += c;
      ++i;
    }
  }
  if (open) out += ')';
  return out;
}

} // namespace rx
