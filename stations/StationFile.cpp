// The station file's text, apart from reading it: the list and the
// editor's import read the file into memory and take its records from here,
// so both follow the same line rules and the rules can be tried on a string.
#include <cstring>

#include "stations/Stations.h"

namespace {

// Larger than any list a person keeps (a thousand stations take about
// 100 KB): a bigger file is not a station list, and it must not decide how
// much memory a load takes.
constexpr size_t kMaxStationFileSize = 16u << 20;

} // namespace

StationFileText::StationFileText(std::string_view text) : text_(text) {
  std::string first;
  LONG count = 0;
  if (Line(first) && StrToLong(first.c_str(), &count) >= 0 && count > 0) announced_ = count;
}

bool StationFileText::RawLine(std::string_view &raw) {
  if (pos_ >= text_.size()) return false;
  // As a line buffer of STATION_LINE_SIZE takes it: at most that less one
  // byte, through the LF.
  std::string_view rest = text_.substr(pos_);
  size_t lf = rest.find('\n');
  size_t whole = lf == std::string_view::npos ? rest.size() : lf + 1;
  size_t take = std::min(whole, static_cast<size_t>(STATION_LINE_SIZE - 1));
  raw = rest.substr(0, take);
  // A longer line is cut and the rest of it skipped, so that it cannot turn
  // into the next field.
  pos_ += whole;
  // The line ends at a NUL byte, as a C string would.
  if (size_t nul = raw.find('\0'); nul != std::string_view::npos) raw = raw.substr(0, nul);
  return true;
}

bool StationFileText::Line(std::string &out) {
  std::string_view raw;
  do {
    if (!RawLine(raw)) {
      out.clear();
      return false;
    }
  } while (!raw.empty() && raw[0] == '#');
  while (!raw.empty() && (raw.back() == ' ' || raw.back() == '\n')) raw.remove_suffix(1);
  out.assign(raw);
  return true;
}

bool StationFileText::Next(std::string &name, std::string &icon, std::string &stream) {
  return Line(name) && Line(icon) && Line(stream);
}

bool ReadStationFile(CONST_STRPTR path, std::string &text) {
  text.clear();
  BPTR fh = Open(path, MODE_OLDFILE);
  if (!fh) return false;
  char chunk[16384];
  LONG got;
  while ((got = Read(fh, chunk, sizeof chunk)) > 0) {
    if (text.size() + static_cast<size_t>(got) > kMaxStationFileSize) {
      got = -1;
      break;
    }
    text.append(chunk, static_cast<size_t>(got));
  }
  Close(fh);
  if (got < 0) text.clear();
  return got == 0;
}
