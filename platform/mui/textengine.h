// The toolkit's text codes. A text may carry ESC (\33) sequences:
//   \33l \33c \33r   align the current line (and the following ones)
//   \33b \33i \33u   bold, italic, underline on; \33n all of them off
//   \33I[spec]       an inline image (e.g. "4:SYS:Data/icon.png")
//   \33P[spec] \33<digit>  pens (ignored for layout), \33O[..] objects (skipped)
//   \33-             the rest of the text is taken literally
// Line feeds separate lines. Byte 0xA0 is a no-break space and stays in the
// text. Anything unknown after ESC is dropped with the ESC.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class TextAlign { Left, Center, Right };

struct TextRun {
  std::string text; // Latin-1 bytes, no codes
  bool bold = false;
  bool italic = false;
  bool underline = false;
  std::string image; // non-empty: an inline image with this spec (text empty)
  int pen = -1;      // \33<digit>: a pen index, -1 for the default
};

struct TextLine {
  TextAlign align = TextAlign::Left;
  std::vector<TextRun> runs;
};

// preParse is applied before the text (as MUIA_Text_PreParse does).
std::vector<TextLine> ParseText(std::string_view text, std::string_view preParse = {});
// The text without codes, lines joined with '\n' (images dropped).
std::string PlainText(std::string_view text);

} // namespace platform
