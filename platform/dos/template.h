// Argument templates ("FROM/A/M,TO/A,W=NewWidth/N") taken apart into their
// items. ReadArgs parses with them; Execute binds a script's .KEY line with
// the same items, so both read a template alike. Pure: no I/O, no state.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "exec/types.h"

namespace platform::dos {

struct TemplateItem {
  std::vector<std::string> names; // keyword and its aliases; may be empty
  bool required = false;          // /A
  bool keyword = false;           // /K
  bool sw = false;                // /S
  bool toggle = false;            // /T
  bool number = false;            // /N
  bool multi = false;             // /M
  bool rest = false;              // /F

  bool KeywordOnly() const { return keyword || sw || toggle; }
};

// 0, or ERROR_BAD_TEMPLATE. An empty template has no items.
LONG ParseTemplate(CONST_STRPTR tmpl, std::vector<TemplateItem> &items);

// Index of the item that has word as one of its names (case ignored), or -1.
int FindKeyword(const std::vector<TemplateItem> &items, std::string_view word);

} // namespace platform::dos
