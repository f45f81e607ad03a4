// The text-code parser shared by the display, the log of requesters and the
// tests. It never reads past the end of its input and copes with any bytes.
#include "mui/textengine.h"

namespace platform {

namespace {

constexpr char kEsc = '\33';

struct State {
  TextAlign align = TextAlign::Left;
  bool bold = false, italic = false, underline = false;
  int pen = -1;
};

// Reads "[...]" at pos; returns the contents and moves pos past it. Without
// a closing bracket the rest of the text is the contents.
std::string_view Bracketed(std::string_view s, size_t &pos) {
  if (pos >= s.size() || s[pos] != '[') return {};
  size_t end = s.find(']', pos + 1);
  std::string_view in = s.substr(pos + 1, end == std::string_view::npos ? std::string_view::npos : end - pos - 1);
  pos = end == std::string_view::npos ? s.size() : end + 1;
  return in;
}

class Builder {
public:
  std::vector<TextLine> lines{1};
  State st;

  TextRun &Run() {
    auto &runs = lines.back().runs;
    if (runs.empty() || !runs.back().image.empty() || runs.back().bold != st.bold || runs.back().italic != st.italic ||
        runs.back().underline != st.underline || runs.back().pen != st.pen) {
      TextRun r;
      r.bold = st.bold;
      r.italic = st.italic;
      r.underline = st.underline;
      r.pen = st.pen;
      runs.push_back(r);
    }
    return runs.back();
  }
  void Char(char c) { Run().text.push_back(c); }
  void Image(std::string_view spec) {
    TextRun r;
    r.bold = st.bold;
    r.italic = st.italic;
    r.underline = st.underline;
    r.pen = st.pen;
    r.image = std::string(spec);
    lines.back().runs.push_back(std::move(r));
  }
  void NewLine() {
    lines.emplace_back();
    lines.back().align = st.align;
  }
  void Align(TextAlign a) {
    st.align = a;
    lines.back().align = a;
  }

  void Feed(std::string_view s, bool &literal) {
    size_t i = 0;
    while (i < s.size()) {
      char c = s[i];
      if (c == '\n') {
        NewLine();
        i++;
        continue;
      }
      if (c != kEsc || literal) {
        Char(c);
        i++;
        continue;
      }
      if (i + 1 >= s.size()) break; // a lone ESC at the end
      char code = s[i + 1];
      i += 2;
      switch (code) {
      case 'l':
        Align(TextAlign::Left);
        break;
      case 'c':
        Align(TextAlign::Center);
        break;
      case 'r':
        Align(TextAlign::Right);
        break;
      case 'b':
        st.bold = true;
        break;
      case 'i':
        st.italic = true;
        break;
      case 'u':
        st.underline = true;
        break;
      case 'n':
        st.bold = st.italic = st.underline = false, st.pen = -1;
        break;
      case '-':
        literal = true;
        break;
      case 'I':
        Image(Bracketed(s, i));
        break;
      case 'P':
      case 'O':
        Bracketed(s, i);
        break;
      default:
        if (code >= '0' && code <= '9') st.pen = code - '0';
        break;
      }
    }
  }
};

} // namespace

std::vector<TextLine> ParseText(std::string_view text, std::string_view preParse) {
  Builder b;
  bool literal = false;
  b.Feed(preParse, literal);
  b.Feed(text, literal);
  for (auto &l : b.lines) {
    // Drop runs that only carried a style change.
    std::vector<TextRun> keep;
    for (auto &r : l.runs)
      if (!r.text.empty() || !r.image.empty()) keep.push_back(std::move(r));
    l.runs = std::move(keep);
  }
  return b.lines;
}

std::string PlainText(std::string_view text) {
  std::string out;
  bool first = true;
  for (auto &l : ParseText(text)) {
    if (!first) out.push_back('\n');
    first = false;
    for (auto &r : l.runs)
      out += r.text;
  }
  return out;
}

} // namespace platform
