// The host's preferences file: parsing, formatting, reading and writing.
#include "host/host_prefs.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "exec/text.h"

namespace platform {

namespace {

bool ParseUnsigned(const std::string &s, int base, unsigned long long max, unsigned long long &out) {
  if (s.empty()) return false;
  out = 0;
  for (char c : s) {
    int d = HexDigitValue(c);
    if (d < 0 || d >= base) return false;
    out = out * static_cast<unsigned>(base) + static_cast<unsigned>(d);
    if (out > max) return false;
  }
  return true;
}

// A quoted text starting at s[0] == '"', running to the end of the line.
bool ParseQuoted(const std::string &s, std::string &out) {
  if (s.size() < 2 || s.front() != '"' || s.back() != '"') return false;
  out.clear();
  for (size_t i = 1; i + 1 < s.size(); ++i) {
    char c = s[i];
    if (c == '"') return false; // an unescaped quote inside
    if (c != '\\') {
      out += c;
    } else {
      if (i + 2 >= s.size()) return false; // the closing quote cannot be escaped
      char e = s[++i];
      switch (e) {
      case '\\': out += '\\'; break;
      case '"': out += '"'; break;
      case 'n': out += '\n'; break;
      case 't': out += '\t'; break;
      case 'x': {
        if (i + 3 >= s.size()) return false;
        int hi = HexDigitValue(s[i + 1]), lo = HexDigitValue(s[i + 2]);
        if (hi < 0 || lo < 0) return false;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
        break;
      }
      default: return false;
      }
    }
    if (out.size() > HostPrefsLimits::kMaxText) return false;
  }
  return true;
}

std::string Quote(const std::string &text) {
  std::string q = "\"";
  for (char c : text) {
    auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      q += '\\';
      q += c;
    } else if (c == '\n') {
      q += "\\n";
    } else if (c == '\t') {
      q += "\\t";
    } else if (u < 0x20 || u == 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", u);
      q += buf;
    } else {
      q += c;
    }
  }
  return q + "\"";
}

// Splits off the next blank-separated word.
std::string Word(const std::string &line, size_t &pos) {
  while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
  size_t start = pos;
  while (pos < line.size() && line[pos] != ' ' && line[pos] != '\t') ++pos;
  return line.substr(start, pos - start);
}

bool ParseLine(const std::string &line, ULONG &id, ConfigValue &value) {
  size_t pos = 0;
  std::string idWord = Word(line, pos);
  if (idWord.size() < 3 || idWord[0] != '0' || (idWord[1] != 'x' && idWord[1] != 'X')) return false;
  unsigned long long n;
  if (!ParseUnsigned(idWord.substr(2), 16, 0xFFFFFFFFull, n)) return false;
  id = static_cast<ULONG>(n);
  std::string type = Word(line, pos);
  while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
  std::string rest = line.substr(pos);
  while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t')) rest.pop_back();
  if (type == "text") {
    std::string text;
    if (!ParseQuoted(rest, text)) return false;
    value = std::move(text);
    return true;
  }
  if (type == "number") {
    bool negative = !rest.empty() && rest[0] == '-';
    unsigned long long v;
    if (!ParseUnsigned(negative ? rest.substr(1) : rest, 10, negative ? 0x80000000ull : 0xFFFFFFFFull, v))
      return false;
    value = negative ? static_cast<LONG>(-static_cast<long long>(v)) : static_cast<LONG>(static_cast<ULONG>(v));
    return true;
  }
  return false;
}

} // namespace

std::map<ULONG, ConfigValue> ParseHostPrefs(const std::string &text, size_t *skipped) {
  std::map<ULONG, ConfigValue> items;
  size_t bad = 0, start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == ';' || line[first] == '#') continue;
    ULONG id;
    ConfigValue value;
    if (line.size() > HostPrefsLimits::kMaxLine || !ParseLine(line, id, value) ||
        (items.size() >= HostPrefsLimits::kMaxItems && !items.count(id))) {
      ++bad;
      continue;
    }
    items[id] = std::move(value); // a later line wins
  }
  if (skipped) *skipped = bad;
  return items;
}

std::string FormatHostPrefs(const std::map<ULONG, ConfigValue> &items, const std::string &comment) {
  std::string out;
  if (!comment.empty()) {
    for (char c : comment) out += (c == '\n' || c == '\r') ? ' ' : c;
    out = "; " + out + "\n";
  }
  for (const auto &[id, value] : items) {
    char idText[16];
    std::snprintf(idText, sizeof idText, "0x%08lX", static_cast<unsigned long>(id));
    out += idText;
    if (const auto *text = std::get_if<std::string>(&value))
      out += " text " + Quote(*text) + "\n";
    else
      out += " number " + std::to_string(std::get<LONG>(value)) + "\n";
  }
  return out;
}

bool LoadHostPrefs(const std::string &linuxPath, std::map<ULONG, ConfigValue> &items, std::string *error) {
  items.clear();
  std::ifstream in(linuxPath, std::ios::binary);
  if (!in) {
    if (errno == ENOENT) return true;
    if (error) *error = linuxPath + ": " + std::strerror(errno);
    return false;
  }
  // A preferences file is small; refuse anything that is clearly not one.
  constexpr std::streamoff kMaxFile = 4 * 1024 * 1024;
  std::string text;
  char buf[8192];
  while (in.read(buf, sizeof buf) || in.gcount() > 0) {
    text.append(buf, static_cast<size_t>(in.gcount()));
    if (static_cast<std::streamoff>(text.size()) > kMaxFile) {
      if (error) *error = linuxPath + ": too large for a preferences file";
      return false;
    }
  }
  size_t skipped = 0;
  items = ParseHostPrefs(text, &skipped);
  if (skipped && error) *error = linuxPath + ": " + std::to_string(skipped) + " malformed line(s) skipped";
  return true;
}

bool SaveHostPrefs(const std::string &linuxPath, const std::map<ULONG, ConfigValue> &items,
                   const std::string &comment, std::string *error) {
  std::string tmp = linuxPath + ".new";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    if (!out) {
      if (error) *error = tmp + ": " + std::strerror(errno);
      return false;
    }
    std::string text = FormatHostPrefs(items, comment);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.flush();
    if (!out) {
      if (error) *error = tmp + ": write failed";
      std::remove(tmp.c_str());
      return false;
    }
  }
  if (std::rename(tmp.c_str(), linuxPath.c_str()) != 0) {
    if (error) *error = linuxPath + ": " + std::strerror(errno);
    std::remove(tmp.c_str());
    return false;
  }
  return true;
}

} // namespace platform
