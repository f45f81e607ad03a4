// What List.mui and Listtree.mcc share: the column format, the string
// hooks, and the row texts a display hook fills in.
#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "mui/widgets.h"

namespace platform {

namespace {

bool IsDigits(const std::string &s) { return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; }); }

// A bounded number: formats come from code, but a typo must not overflow.
LONG Number(const std::string &s, LONG def) {
  std::string digits = s;
  bool negative = !digits.empty() && digits[0] == '-';
  if (negative) digits.erase(0, 1);
  if (!IsDigits(digits) || digits.size() > 6) return def;
  LONG v = static_cast<LONG>(std::strtol(digits.c_str(), nullptr, 10));
  return negative ? -v : v;
}

// "KEY=value" with the key in any case; false when word is no such option.
bool Option(const std::string &word, const char *key, std::string &value) {
  size_t n = std::strlen(key);
  if (word.size() <= n || word[n] != '=') return false;
  for (size_t i = 0; i < n; ++i)
    if (std::toupper(static_cast<unsigned char>(word[i])) != key[i]) return false;
  value = word.substr(n + 1);
  return true;
}

bool Is(const std::string &word, const char *key) {
  if (word.size() != std::strlen(key)) return false;
  for (size_t i = 0; i < word.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(word[i])) != key[i]) return false;
  return true;
}

} // namespace

std::vector<ListColumn> ParseListFormat(CONST_STRPTR format) {
  std::vector<ListColumn> columns;
  std::string f = format ? std::string(format, strnlen(format, 4096)) : std::string();
  size_t start = 0;
  for (int index = 0;; ++index) {
    size_t comma = f.find(',', start);
    std::string entry = f.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    ListColumn c;
    c.source = index;
    // Options are separated by blanks; a preparse text holds no blank.
    size_t p = 0;
    while (p < entry.size()) {
      while (p < entry.size() && entry[p] == ' ') ++p;
      size_t e = entry.find(' ', p);
      std::string word = entry.substr(p, e == std::string::npos ? std::string::npos : e - p);
      p = e == std::string::npos ? entry.size() : e;
      if (word.empty()) continue;
      std::string v;
      if (Is(word, "BAR")) c.bar = true;
      else if (Is(word, "TBAR")) c.titleBar = true;
      else if (Is(word, "H")) c.hidden = true;
      else if (Is(word, "S")) c.sortable = true;
      else if (Option(word, "P", v) || Option(word, "PREPARSE", v)) c.preparse = v;
      else if (Option(word, "COL", v)) c.source = std::clamp<LONG>(Number(v, index), 0, kMaxListColumns - 1);
      else if (Option(word, "W", v) || Option(word, "WEIGHT", v)) c.weight = Number(v, -1);
      else if (Option(word, "MIW", v) || Option(word, "MINWIDTH", v)) c.minWidth = Number(v, -1);
      else if (Option(word, "MAW", v) || Option(word, "MAXWIDTH", v)) c.maxWidth = Number(v, -1);
      else if (Option(word, "DELTA", v)) c.delta = Number(v, 4);
      // Other words only shape the look; they are skipped so that formats
      // written with them still give the right columns.
    }
    columns.push_back(c);
    if (comma == std::string::npos || columns.size() >= static_cast<size_t>(kMaxListColumns)) break;
    start = comma + 1;
  }
  return columns;
}

} // namespace platform

namespace platform::widgets {

bool IsStringHook(struct Hook *h) { return h == reinterpret_cast<struct Hook *>(static_cast<SIPTR>(-1)); }

APTR CopyString(APTR entry) {
  if (!entry) return nullptr;
  const char *s = static_cast<const char *>(entry);
  char *copy = static_cast<char *>(std::malloc(std::strlen(s) + 1));
  if (copy) std::strcpy(copy, s);
  return copy;
}

size_t HookColumns(const std::vector<ListColumn> &format) {
  size_t n = format.size();
  for (const ListColumn &c : format) n = std::max(n, static_cast<size_t>(c.source) + 1);
  return n;
}

std::vector<std::string> HookRow(struct Hook *display, size_t columns, APTR entry, LONG row, CONST_STRPTR plain) {
  // The hook sees array[-1] (the row number) and one slot per column, and
  // the slot after the last stays null for hooks that look for the end.
  std::vector<STRPTR> buf(columns + 2, const_cast<STRPTR>(""));
  buf[0] = reinterpret_cast<STRPTR>(static_cast<SIPTR>(row));
  buf.back() = nullptr;
  STRPTR *array = buf.data() + 1;
  if (display && !IsStringHook(display)) CallHookPkt(display, array, entry);
  else array[0] = const_cast<STRPTR>(plain ? plain : "");
  std::vector<std::string> out;
  out.reserve(columns);
  for (size_t c = 0; c < columns; ++c) out.emplace_back(array[c] ? array[c] : "");
  return out;
}

std::vector<std::string> ShownColumns(const std::vector<ListColumn> &format, const std::vector<std::string> &hookRow) {
  std::vector<std::string> out;
  for (const ListColumn &c : format) {
    if (c.hidden) continue;
    size_t k = static_cast<size_t>(c.source);
    out.push_back(c.preparse + (k < hookRow.size() ? hookRow[k] : std::string()));
  }
  return out;
}

void SetListFormat(std::string *&format, std::vector<ListColumn> &columns, CONST_STRPTR text) {
  SetText(format, text);
  columns = ParseListFormat(TextOf(format));
}

bool SetListQuiet(bool &quiet, bool &dirty, IPTR value) {
  quiet = value != 0;
  if (quiet || !dirty) return false;
  dirty = false;
  return true;
}

bool KeyTargetRow(ListKey key, LONG active, LONG rows, LONG page, LONG &want) {
  LONG a = active;
  switch (key) {
  case ListKey::Up: want = a < 0 ? rows - 1 : a - 1; return true;
  case ListKey::Down: want = a < 0 ? 0 : a + 1; return true;
  case ListKey::PageUp: want = a < 0 ? 0 : a - page; return true;
  case ListKey::PageDown: want = a < 0 ? 0 : a + page; return true;
  case ListKey::Top: want = 0; return true;
  case ListKey::Bottom: want = rows - 1; return true;
  default: return false;
  }
}

} // namespace platform::widgets

namespace platform {

namespace {

// A listview stands for its list.
Object *Resolve(Object *obj) {
  if (!obj || widgets::IsList(obj) || widgets::IsTree(obj)) return obj;
  IPTR inner = 0;
  if (IsInstanceOf(obj, MUIC_Listview) && GetAttr(MUIA_Listview_List, obj, &inner)) return reinterpret_cast<Object *>(inner);
  return nullptr;
}

} // namespace

bool GetListState(Object *list, ListState &out) {
  Object *o = Resolve(list);
  if (widgets::IsTree(o)) return widgets::TreeStateOf(o, out);
  return o && widgets::ListStateOf(o, out);
}

std::vector<ListRowView> ListRowRange(Object *list, LONG first, LONG count) {
  Object *o = Resolve(list);
  if (widgets::IsTree(o)) return widgets::TreeRangeOf(o, first, count);
  return o ? widgets::ListRangeOf(o, first, count) : std::vector<ListRowView>{};
}

void ListShown(Object *list, LONG first, LONG visible) {
  Object *o = Resolve(list);
  if (widgets::IsTree(o)) widgets::TreeShownOf(o, first, visible);
  else if (o) widgets::ListShownOf(o, first, visible);
}

bool ListActivateRow(Object *list, LONG row, uint32_t revision, bool doubleClick) {
  Object *o = Resolve(list);
  if (widgets::IsTree(o)) return widgets::TreeActivateOf(o, row, revision, doubleClick);
  return o && widgets::ListActivateOf(o, row, revision, doubleClick);
}

bool ListToggleRow(Object *tree, LONG row, uint32_t revision) {
  Object *o = Resolve(tree);
  return widgets::IsTree(o) && widgets::TreeToggleOf(o, row, revision);
}

bool ListKeyPress(Object *list, ListKey key) {
  Object *o = Resolve(list);
  if (widgets::IsTree(o)) return widgets::TreeKeyOf(o, key);
  return o && widgets::ListKeyOf(o, key);
}

bool ListDropRow(Object *list, LONG from, LONG onto, DropPlace place, uint32_t revision) {
  Object *o = Resolve(list);
  if (widgets::IsTree(o)) return widgets::TreeDropOf(o, from, onto, place, revision);
  return o && widgets::ListDropOf(o, from, onto, place, revision);
}

} // namespace platform
