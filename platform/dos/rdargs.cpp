// ReadArgs: AmigaDOS argument templates.
#include "dos/rdargs.h"

#include <deque>
#include <mutex>
#include <new>
#include <string_view>
#include <vector>

#include "dos/dos.h"
#include "dos/quoted.h"
#include "dos/template.h"
#include "exec/text.h"

namespace {

using platform::dos::FindKeyword;
using platform::dos::ParseTemplate;
using platform::dos::TemplateItem;

// ---- scanning -------------------------------------------------------------------

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Reads items from one argument line. The line has no "\n" and no NUL.
class Scanner {
public:
  explicit Scanner(std::string_view line) : line_(line) {}

  size_t pos() const { return pos_; }
  LONG error() const { return error_; }

  void SkipBlanks() {
    while (pos_ < line_.size() && IsBlank(line_[pos_]))
      ++pos_;
  }

  // One item, as ReadItem reads it: ITEM_NOTHING at the end of the line or
  // at a ';' comment, ITEM_EQUAL for a lone '=', ITEM_ERROR for a quote that
  // is never closed.
  LONG Item(std::string &out) {
    out.clear();
    SkipBlanks();
    if (pos_ >= line_.size() || line_[pos_] == ';')
      return ITEM_NOTHING;
    char c = line_[pos_];
    if (c == '=') {
      ++pos_;
      return ITEM_EQUAL;
    }
    if (c == '"') {
      if (platform::dos::ReadQuoted(line_, pos_, out))
        return ITEM_QUOTED;
      error_ = ERROR_UNMATCHED_QUOTES;
      return ITEM_ERROR;
    }
    while (pos_ < line_.size()) {
      c = line_[pos_];
      if (IsBlank(c) || c == '=') {
        ++pos_; // the terminator goes with the word: KEY=value leaves no lone '='
        break;
      }
      out += c;
      ++pos_;
    }
    return ITEM_UNQUOTED;
  }

  // The rest of the line from `from` for a /F item, blanks trimmed; a text
  // that is exactly one quoted string is given without its quotes.
  bool Rest(size_t from, bool afterKeyword, std::string &out) {
    pos_ = from;
    SkipBlanks();
    if (afterKeyword && pos_ < line_.size() && line_[pos_] == '=') {
      ++pos_;
      SkipBlanks();
    }
    size_t begin = pos_;
    size_t end = line_.size();
    while (end > begin && IsBlank(line_[end - 1]))
      --end;
    pos_ = line_.size();
    if (begin == end)
      return false;
    out.assign(line_.substr(begin, end - begin));
    if (line_[begin] == '"') {
      Scanner one(line_.substr(0, end));
      one.pos_ = begin;
      std::string unquoted;
      if (one.Item(unquoted) == ITEM_QUOTED && one.pos_ == end)
        out = std::move(unquoted);
    }
    return true;
  }

private:
  std::string_view line_;
  size_t pos_ = 0;
  LONG error_ = 0;
};

// ---- results ----------------------------------------------------------------------

struct Results {
  std::deque<std::string> strings;
  std::deque<LONG> numbers;
  std::deque<std::vector<IPTR>> vectors;
  bool ownsBlock = false;
};

struct Slot {
  bool given = false;
  std::string text;
};

// The parse proper: fills `values` (one per item) or returns an error.
LONG Parse(const std::vector<TemplateItem> &items, std::string_view line, const IPTR *array, Results &res,
           std::vector<IPTR> &values, std::vector<bool> &given) {
  std::vector<Slot> slots(items.size());
  std::vector<std::string> multi, overflow;
  int multiIndex = -1;
  for (size_t i = 0; i < items.size(); ++i)
    if (items[i].multi)
      multiIndex = static_cast<int>(i);

  Scanner sc(line);
  std::string tok;
  for (;;) {
    sc.SkipBlanks();
    size_t itemStart = sc.pos();
    LONG it = sc.Item(tok);
    if (it == ITEM_ERROR)
      return sc.error();
    if (it == ITEM_NOTHING)
      break;
    if (it == ITEM_EQUAL)
      return ERROR_BAD_TEMPLATE;
    if (it == ITEM_UNQUOTED) {
      int k = FindKeyword(items, tok);
      if (k >= 0 && !slots[k].given) {
        const TemplateItem &item = items[k];
        Slot &slot = slots[k];
        if (item.sw || item.toggle) {
          slot.given = true;
          continue;
        }
        if (item.rest) {
          if (!sc.Rest(sc.pos(), true, slot.text))
            return ERROR_KEY_NEEDS_ARG;
          slot.given = true;
          break;
        }
        std::string value;
        LONG vit = sc.Item(value);
        if (vit == ITEM_EQUAL)
          vit = sc.Item(value);
        if (vit == ITEM_ERROR)
          return sc.error();
        if (vit == ITEM_NOTHING || vit == ITEM_EQUAL)
          return ERROR_KEY_NEEDS_ARG;
        if (item.multi) {
          multi.push_back(std::move(value));
        } else {
          slot.text = std::move(value);
          slot.given = true;
        }
        continue;
      }
    }
    // A positional argument: the first open item that can be filled without its keyword.
    int target = -1;
    for (size_t i = 0; i < items.size(); ++i) {
      if (items[i].KeywordOnly() || slots[i].given)
        continue;
      target = static_cast<int>(i);
      break;
    }
    if (target < 0) {
      overflow.push_back(tok);
      continue;
    }
    if (items[target].multi) {
      multi.push_back(tok);
      continue;
    }
    if (items[target].rest) {
      sc.Rest(itemStart, false, slots[target].text);
      slots[target].given = true;
      break;
    }
    slots[target].text = tok;
    slots[target].given = true;
  }

  // Required items still open take arguments from the end of the /M list
  // (FROM/M,TO/A: the last name is the destination).
  std::vector<std::string> &pool = multiIndex >= 0 ? multi : overflow;
  for (size_t i = items.size(); i-- > 0;) {
    const TemplateItem &item = items[i];
    if (!item.required || slots[i].given || item.multi)
      continue;
    if (item.KeywordOnly() || pool.empty())
      return ERROR_REQUIRED_ARG_MISSING;
    slots[i].text = std::move(pool.back());
    slots[i].given = true;
    pool.pop_back();
  }
  if (multiIndex >= 0) {
    if (items[multiIndex].required && multi.empty())
      return ERROR_REQUIRED_ARG_MISSING;
    slots[multiIndex].given = !multi.empty();
  }
  if (!overflow.empty())
    return ERROR_TOO_MANY_ARGS;

  values.assign(items.size(), 0);
  given.assign(items.size(), false);
  for (size_t i = 0; i < items.size(); ++i) {
    const TemplateItem &item = items[i];
    if (!slots[i].given)
      continue;
    given[i] = true;
    auto number = [&](const std::string &s, LONG *&where) -> bool {
      LONG v = 0;
      LONG used = StrToLong(s.c_str(), &v);
      if (used <= 0 || static_cast<size_t>(used) != s.size())
        return false;
      res.numbers.push_back(v);
      where = &res.numbers.back();
      return true;
    };
    if (item.multi) {
      std::vector<IPTR> vec;
      vec.reserve(multi.size() + 1);
      for (const auto &s : multi) {
        if (item.number) {
          LONG *where = nullptr;
          if (!number(s, where))
            return ERROR_BAD_NUMBER;
          vec.push_back(reinterpret_cast<IPTR>(where));
        } else {
          res.strings.push_back(s);
          vec.push_back(reinterpret_cast<IPTR>(res.strings.back().data()));
        }
      }
      vec.push_back(0);
      res.vectors.push_back(std::move(vec));
      values[i] = reinterpret_cast<IPTR>(res.vectors.back().data());
    } else if (item.sw) {
      values[i] = static_cast<IPTR>(static_cast<SIPTR>(DOSTRUE));
    } else if (item.toggle) {
      values[i] = array[i] ? 0 : static_cast<IPTR>(static_cast<SIPTR>(DOSTRUE));
    } else if (item.number) {
      LONG *where = nullptr;
      if (!number(slots[i].text, where))
        return ERROR_BAD_NUMBER;
      values[i] = reinterpret_cast<IPTR>(where);
    } else {
      res.strings.push_back(std::move(slots[i].text));
      values[i] = reinterpret_cast<IPTR>(res.strings.back().data());
    }
  }
  return 0;
}

// ---- the program's argument line and the prompt -----------------------------------------

std::mutex g_argsMutex;
std::string g_argLine = "\n";

std::string ProgramLine() {
  std::lock_guard g(g_argsMutex);
  return g_argLine;
}

// True when the line holds nothing but one '?'.
bool IsLoneQuestionMark(std::string_view line) {
  size_t i = 0;
  while (i < line.size() && IsBlank(line[i]))
    ++i;
  if (i >= line.size() || line[i] != '?')
    return false;
  ++i;
  while (i < line.size() && (IsBlank(line[i]) || line[i] == '\n' || line[i] == '\r'))
    ++i;
  return i == line.size();
}

// One line from the task's input, without its LF; false at end of input with
// nothing read. Overlong lines are read to their end and reported.
bool ReadInputLine(std::string &line, bool &tooLong) {
  line.clear();
  tooLong = false;
  BPTR in = Input();
  bool any = false;
  for (;;) {
    LONG c = FGetC(in);
    if (c < 0)
      return any;
    any = true;
    if (c == '\n')
      return true;
    if (line.size() + 1 >= static_cast<size_t>(MAX_ARGLINE))
      tooLong = true;
    else
      line += static_cast<char>(c);
  }
}

// Shows the template and reads the arguments anew; "?" again shows the
// extended help.
LONG Prompt(CONST_STRPTR tmpl, CONST_STRPTR extHelp, std::string &line) {
  BPTR out = Output();
  std::string input;
  for (int round = 0; round < 100; ++round) {
    FPuts(out, tmpl);
    FPuts(out, ": ");
    Flush(out);
    bool tooLong = false;
    bool got = ReadInputLine(input, tooLong);
    if (tooLong)
      return ERROR_LINE_TOO_LONG;
    if (got && IsLoneQuestionMark(input)) {
      if (extHelp) {
        FPuts(out, extHelp);
        Flush(out);
      }
      continue;
    }
    line = input;
    return 0;
  }
  line.clear();
  return 0;
}

// A word that can name a template keyword ("W", "NewWidth", "ice-bitrate").
bool IsKeywordShaped(std::string_view s) {
  if (s.empty())
    return false;
  for (char c : s)
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_'))
      return false;
  return true;
}

std::string ToArgument(const std::string &latin1) {
  bool quote = latin1.empty() || latin1[0] == ';';
  for (char c : latin1)
    if (IsBlank(c) || c == '"' || c == '\n' || c == '\r')
      quote = true;
  // A shell argument is one argument. "W=100" is a keyword and its value, as
  // a user writes it; any other '=' (a web address with a query, a file
  // name) belongs to the value and must not split it.
  size_t eq = latin1.find('=');
  if (eq != std::string::npos) {
    if (IsKeywordShaped(std::string_view(latin1).substr(0, eq)))
      return latin1.substr(0, eq + 1) + ToArgument(latin1.substr(eq + 1));
    quote = true;
  }
  return quote ? platform::QuoteArgument(latin1) : latin1;
}

APTR AllocRDArgs(const struct TagItem *) { return new (std::nothrow) RDArgs{}; }

void FreeRDArgs(APTR p) {
  auto *rda = static_cast<RDArgs *>(p);
  if (rda->RDA_DAList) {
    delete static_cast<Results *>(rda->RDA_DAList);
    rda->RDA_DAList = nullptr;
  }
  delete rda;
}

const bool g_registered = [] {
  platform::RegisterDosObjectType(DOS_RDARGS, AllocRDArgs, FreeRDArgs);
  return true;
}();

} // namespace

struct RDArgs *ReadArgs(CONST_STRPTR arg_template, IPTR *array, struct RDArgs *args) {
  (void)g_registered;
  std::vector<TemplateItem> items;
  if (LONG err = ParseTemplate(arg_template, items)) {
    SetIoErr(err);
    return nullptr;
  }
  if (!array && !items.empty()) {
    SetIoErr(ERROR_BAD_TEMPLATE);
    return nullptr;
  }

  // The text to parse: one line, up to the first LF.
  std::string line;
  CSource *source = nullptr;
  if (args && args->RDA_Source.CS_Buffer) {
    source = &args->RDA_Source;
    LONG len = source->CS_Length;
    LONG cur = source->CS_CurChr;
    if (cur < 0 || len < 0 || cur > len) {
      SetIoErr(ERROR_BAD_TEMPLATE);
      return nullptr;
    }
    std::string_view all(source->CS_Buffer + cur, static_cast<size_t>(len - cur));
    all = all.substr(0, all.find('\0'));
    size_t lf = all.find('\n');
    if ((lf == std::string_view::npos ? all.size() : lf) >= static_cast<size_t>(MAX_ARGLINE)) {
      SetIoErr(ERROR_LINE_TOO_LONG);
      return nullptr;
    }
    line.assign(all.substr(0, lf));
    source->CS_CurChr = cur + static_cast<LONG>(lf == std::string_view::npos ? all.size() : lf);
  } else {
    line = ProgramLine();
    line = line.substr(0, line.find('\n'));
    if (line.size() >= static_cast<size_t>(MAX_ARGLINE)) {
      SetIoErr(ERROR_LINE_TOO_LONG);
      return nullptr;
    }
    bool prompt = !(args && (args->RDA_Flags & RDAF_NOPROMPT));
    if (prompt && IsLoneQuestionMark(line)) {
      if (LONG err = Prompt(arg_template, args ? args->RDA_ExtHelp : nullptr, line)) {
        SetIoErr(err);
        return nullptr;
      }
    }
  }

  auto *res = new (std::nothrow) Results;
  if (!res) {
    SetIoErr(ERROR_NO_FREE_STORE);
    return nullptr;
  }
  std::vector<IPTR> values;
  std::vector<bool> given;
  LONG err = 0;
  try {
    err = Parse(items, line, array, *res, values, given);
  } catch (const std::bad_alloc &) {
    err = ERROR_NO_FREE_STORE;
  }
  if (err) {
    delete res;
    SetIoErr(err);
    return nullptr;
  }

  RDArgs *rda = args;
  if (!rda) {
    rda = new (std::nothrow) RDArgs{};
    if (!rda) {
      delete res;
      SetIoErr(ERROR_NO_FREE_STORE);
      return nullptr;
    }
    res->ownsBlock = true;
  } else if (rda->RDA_DAList) {
    // Results of an earlier call that were never freed.
    delete static_cast<Results *>(rda->RDA_DAList);
  }
  rda->RDA_DAList = res;
  for (size_t i = 0; i < items.size(); ++i)
    if (given[i])
      array[i] = values[i];
  SetIoErr(0);
  return rda;
}

void FreeArgs(struct RDArgs *args) {
  if (!args || !args->RDA_DAList)
    return;
  auto *res = static_cast<Results *>(args->RDA_DAList);
  bool owns = res->ownsBlock;
  delete res;
  args->RDA_DAList = nullptr;
  if (owns)
    delete args;
}

LONG FindArg(CONST_STRPTR arg_template, CONST_STRPTR keyword) {
  std::vector<TemplateItem> items;
  if (!keyword || ParseTemplate(arg_template, items))
    return -1;
  return FindKeyword(items, keyword);
}

LONG ReadItem(STRPTR buffer, LONG maxchars, struct CSource *input) {
  if (!input || !input->CS_Buffer) {
    SetIoErr(ERROR_NOT_IMPLEMENTED);
    return ITEM_ERROR;
  }
  if (!buffer || maxchars <= 0) {
    SetIoErr(ERROR_BUFFER_OVERFLOW);
    return ITEM_ERROR;
  }
  LONG len = input->CS_Length, cur = input->CS_CurChr;
  if (cur < 0 || cur > len) {
    buffer[0] = 0;
    return ITEM_NOTHING;
  }
  std::string_view all(input->CS_Buffer + cur, static_cast<size_t>(len - cur));
  all = all.substr(0, all.find('\0'));
  all = all.substr(0, all.find('\n'));
  Scanner sc(all);
  std::string out;
  LONG it = sc.Item(out);
  input->CS_CurChr = cur + static_cast<LONG>(sc.pos());
  if (it == ITEM_ERROR) {
    buffer[0] = 0;
    SetIoErr(sc.error());
    return ITEM_ERROR;
  }
  if (out.size() + 1 > static_cast<size_t>(maxchars)) {
    buffer[0] = 0;
    SetIoErr(ERROR_BUFFER_OVERFLOW);
    return ITEM_ERROR;
  }
  out.copy(buffer, out.size());
  buffer[out.size()] = 0;
  return it;
}

namespace platform {

std::string QuoteArgument(const std::string &text) {
  std::string q = "\"";
  for (char c : text) {
    switch (c) {
    case '*': q += "**"; break;
    case '"': q += "*\""; break;
    case '\n': q += "*N"; break;
    default: q += c;
    }
  }
  q += '"';
  return q;
}

void SetProgramArguments(int argc, char **argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) {
    if (!argv || !argv[i])
      break;
    if (!line.empty())
      line += ' ';
    line += ToArgument(Utf8ToLatin1(argv[i]));
  }
  line += '\n';
  std::lock_guard g(g_argsMutex);
  g_argLine = std::move(line);
}

std::string ProgramArgumentLine() { return ProgramLine(); }

} // namespace platform
