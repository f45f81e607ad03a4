// The file commands of command execution: Rename, MakeDir, Copy and Execute.
// They work through the dos calls, so names are resolved exactly as
// everywhere else (volumes, case, the root).
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "dos/cmdline.h"
#include "dos/rdargs.h"
#include "dos/system_private.h"
#include "dos/template.h"
#include "exec/exec.h"
#include "exec/text.h"

namespace platform::sys {

namespace {

constexpr int kMaxExecuteDepth = 8; // scripts running scripts
constexpr int kMaxCopyDepth = 32;   // drawers inside drawers for Copy ALL
constexpr LONG kFailAt = RETURN_ERROR;

std::string Join(const std::string &dir, const std::string &name) {
  if (dir.empty())
    return name;
  char last = dir.back();
  return (last == ':' || last == '/') ? dir + name : dir + "/" + name;
}

std::string LastPart(const std::string &path) { return FilePart(path.c_str()); }

// Whether the object exists, and whether it is a drawer.
bool Probe(const std::string &name, bool &isDrawer) {
  isDrawer = false;
  BPTR l = Lock(name.c_str(), SHARED_LOCK);
  if (!l)
    return false;
  auto fib = std::make_unique<FileInfoBlock>();
  bool ok = Examine(l, fib.get()) != DOSFALSE;
  UnLock(l);
  if (ok)
    isDrawer = fib->fib_DirEntryType > 0;
  return ok;
}

bool SameObject(const std::string &a, const std::string &b) {
  BPTR la = Lock(a.c_str(), SHARED_LOCK);
  BPTR lb = la ? Lock(b.c_str(), SHARED_LOCK) : 0;
  bool same = la && lb && SameLock(la, lb) == LOCK_SAME;
  UnLock(lb);
  UnLock(la);
  return same;
}

bool Break(const CommandContext &ctx) {
  if (!(CheckSignal(SIGBREAKF_CTRL_C) & SIGBREAKF_CTRL_C))
    return false;
  Say(ctx, "***Break\n");
  SetIoErr(ERROR_BREAK);
  return true;
}

size_t Count(STRPTR *v) {
  size_t n = 0;
  while (v && v[n])
    ++n;
  return n;
}

// Says the fault of the failure just reported in IoErr, which it keeps.
LONG SayIoErr(const CommandContext &ctx, const std::string &header) {
  LONG err = IoErr();
  SayFault(ctx, err, header);
  SetIoErr(err);
  return err;
}

// The outcome of a command that goes on past failed steps: the worst return
// code so far and the IoErr that came with it, which the command ends with.
struct Outcome {
  LONG rc = RETURN_OK;
  LONG lastErr = 0;

  // A step failed with IoErr set; returns that error.
  LONG Failed() {
    rc = RETURN_ERROR;
    lastErr = IoErr();
    return lastErr;
  }
  // A step that returned r; true when it was broken off, which ends the
  // command at once with r.
  bool Add(LONG r) {
    if (r == RETURN_WARN && IoErr() == ERROR_BREAK)
      return true;
    if (r > rc) {
      rc = r;
      lastErr = IoErr();
    }
    return false;
  }
  LONG Finish() const {
    SetIoErr(lastErr);
    return rc;
  }
};

// Makes sure `name` is a drawer, creating it if needed.
bool EnsureDrawer(const std::string &name) {
  bool isDrawer = false;
  if (Probe(name, isDrawer)) {
    if (isDrawer)
      return true;
    SetIoErr(ERROR_OBJECT_WRONG_TYPE);
    return false;
  }
  BPTR l = CreateDir(name.c_str());
  if (!l)
    return false;
  UnLock(l);
  return true;
}

// ---- Copy ---------------------------------------------------------------------

bool CopyFile(CommandContext &ctx, const std::string &from, const std::string &to, bool quiet) {
  BPTR in = Open(from.c_str(), MODE_OLDFILE);
  if (!in) {
    SayIoErr(ctx, "Copy: can't open " + from);
    return false;
  }
  // The source is open (a shared lock), so copying a file onto itself is
  // refused here instead of emptying it.
  BPTR out = Open(to.c_str(), MODE_NEWFILE);
  if (!out) {
    LONG err = IoErr();
    Close(in);
    SayFault(ctx, err, "Copy: can't create " + to);
    SetIoErr(err);
    return false;
  }
  std::vector<char> buf(64 * 1024);
  LONG err = 0;
  for (;;) {
    LONG n = Read(in, buf.data(), static_cast<LONG>(buf.size()));
    if (n < 0) {
      err = IoErr();
      break;
    }
    if (n == 0)
      break;
    if (Write(out, buf.data(), n) != n) {
      err = IoErr() ? IoErr() : ERROR_DISK_FULL;
      break;
    }
  }
  Close(in);
  if (Close(out) == DOSFALSE && !err)
    err = IoErr() ? IoErr() : ERROR_DISK_FULL;
  if (err) {
    DeleteFile(to.c_str()); // no half-copied file left behind
    SayFault(ctx, err, "Copy: " + from);
    SetIoErr(err);
    return false;
  }
  if (!quiet)
    Say(ctx, "  " + LastPart(from) + "..copied\n");
  return true;
}

// Copies the contents of drawer `from` into drawer `to` (which exists);
// subdrawers only with all. `root` is the top destination, never copied into itself.
LONG CopyDrawer(CommandContext &ctx, const std::string &from, const std::string &to, const std::string &root,
                bool all, bool quiet, int depth) {
  if (depth > kMaxCopyDepth) {
    SetIoErr(ERROR_TOO_MANY_LEVELS);
    SayFault(ctx, ERROR_TOO_MANY_LEVELS, "Copy: " + from);
    return RETURN_ERROR;
  }
  std::vector<DirEntry> entries;
  if (!ListDir(from.c_str(), entries)) {
    SayIoErr(ctx, "Copy: " + from);
    return RETURN_ERROR;
  }
  Outcome outcome;
  for (const auto &e : entries) {
    if (Break(ctx))
      return RETURN_WARN;
    std::string src = Join(from, e.name), dst = Join(to, e.name);
    if (e.type < 0) {
      if (!CopyFile(ctx, src, dst, quiet))
        outcome.Failed();
    } else if (all) {
      if (SameObject(src, root))
        continue;
      if (!EnsureDrawer(dst)) {
        SayFault(ctx, outcome.Failed(), "Copy: can't create drawer " + dst);
        continue;
      }
      LONG sub = CopyDrawer(ctx, src, dst, root, all, quiet, depth + 1);
      if (outcome.Add(sub))
        return sub;
    }
  }
  return outcome.Finish();
}

// ---- Execute ---------------------------------------------------------------------

// What a script's key holds once its arguments are read.
struct KeyValue {
  bool given = false;
  std::string value;
  std::string def; // from .DEF
};

struct Script {
  char bra = '<', ket = '>', dollar = '$';
  bool haveKeys = false;
  std::vector<dos::TemplateItem> items; // the .KEY template
  std::vector<KeyValue> keys;           // one per item

  KeyValue *Find(const std::string &name) {
    int i = dos::FindKeyword(items, name);
    return i < 0 ? nullptr : &keys[static_cast<size_t>(i)];
  }

  // <KEY> and <KEY$default>; brackets that name no key stay as they are.
  std::string Substitute(const std::string &line) {
    std::string out;
    size_t i = 0;
    while (i < line.size()) {
      size_t open = line.find(bra, i);
      if (open == std::string::npos)
        break;
      size_t close = line.find(ket, open + 1);
      if (close == std::string::npos)
        break;
      std::string inner = line.substr(open + 1, close - open - 1);
      size_t d = inner.find(dollar);
      std::string name = inner.substr(0, d);
      KeyValue *k = Find(name);
      out += line.substr(i, open - i);
      if (k) {
        if (k->given)
          out += k->value;
        else if (d != std::string::npos)
          out += inner.substr(d + 1);
        else
          out += k->def;
      } else {
        out += line.substr(open, close - open + 1);
      }
      i = close + 1;
    }
    out += line.substr(i);
    return out;
  }
};

// Reads the script's arguments with its .KEY template.
bool BindKeys(CommandContext &ctx, Script &s, const std::string &tmpl, const std::string &argText) {
  s.haveKeys = true;
  // A bad template fails in ReadArgs below, which reports it.
  if (dos::ParseTemplate(tmpl.c_str(), s.items) != 0)
    s.items.clear();
  std::vector<IPTR> array(s.items.size() + 1, 0);
  s.keys.assign(s.items.size(), KeyValue{});
  std::string text = argText + "\n";
  RDArgs rda{};
  rda.RDA_Source.CS_Buffer = text.data();
  rda.RDA_Source.CS_Length = static_cast<LONG>(text.size());
  rda.RDA_Flags = RDAF_NOPROMPT;
  if (!ReadArgs(tmpl.c_str(), array.data(), &rda)) {
    SayIoErr(ctx, "Execute: parameters unsuitable for key \"" + tmpl + "\"");
    return false;
  }
  for (size_t i = 0; i < s.items.size(); ++i) {
    const dos::TemplateItem &item = s.items[i];
    KeyValue &k = s.keys[i];
    if (!array[i])
      continue;
    k.given = true;
    if (item.sw || item.toggle) {
      k.value = item.names.empty() ? "" : item.names[0];
    } else if (item.multi) {
      auto **v = reinterpret_cast<char **>(array[i]);
      for (size_t j = 0; v && v[j]; ++j) {
        if (j)
          k.value += ' ';
        k.value += item.number ? std::to_string(*reinterpret_cast<LONG *>(v[j])) : std::string(v[j]);
      }
    } else if (item.number) {
      k.value = std::to_string(*reinterpret_cast<LONG *>(array[i]));
    } else {
      k.value = reinterpret_cast<char *>(array[i]);
    }
  }
  FreeArgs(&rda);
  return true;
}

std::string Word(const std::string &line, size_t from, size_t &end) {
  while (from < line.size() && (line[from] == ' ' || line[from] == '\t'))
    ++from;
  end = from;
  while (end < line.size() && line[end] != ' ' && line[end] != '\t')
    ++end;
  return line.substr(from, end - from);
}

// A line starting with '.': directives of the script.
bool Directive(CommandContext &ctx, Script &s, const std::string &line, const std::string &argText) {
  size_t end = 0;
  std::string word = Word(line, 1, end);
  std::string rest = line.substr(end);
  size_t b = rest.find_first_not_of(" \t");
  rest = b == std::string::npos ? "" : rest.substr(b);
  auto is = [&](const char *w) { return EqualsNoCaseLatin1(word, w); };
  if (line.size() > 1 && (line[1] == ' ' || line[1] == '\t'))
    return true; // ". comment"
  if (is("KEY") || is("K")) {
    if (s.haveKeys)
      return true; // only the first .KEY counts
    return BindKeys(ctx, s, rest, argText);
  }
  if (is("BRA") && !rest.empty())
    s.bra = rest[0];
  else if (is("KET") && !rest.empty())
    s.ket = rest[0];
  else if ((is("DOLLAR") || is("DOL")) && !rest.empty())
    s.dollar = rest[0];
  else if (is("DEF") || is("DEFAULT")) {
    size_t e2 = 0;
    std::string key = Word(rest, 0, e2);
    std::string value = rest.substr(e2);
    size_t vb = value.find_first_not_of(" \t");
    value = vb == std::string::npos ? "" : value.substr(vb);
    if (KeyValue *k = s.Find(key))
      k->def = value;
  }
  return true;
}

} // namespace

LONG CmdRename(CommandContext &ctx, IPTR *args) {
  auto **from = reinterpret_cast<STRPTR *>(args[0]);
  std::string to = reinterpret_cast<STRPTR>(args[1]);
  size_t n = Count(from);
  bool destDrawer = false;
  bool destExists = Probe(to, destDrawer);
  bool slashEnd = !to.empty() && (to.back() == '/' || to.back() == ':');
  if (n > 1 && !(destExists && destDrawer)) {
    SetIoErr(destExists ? ERROR_OBJECT_WRONG_TYPE : ERROR_DIR_NOT_FOUND);
    SayFault(ctx, IoErr(), "Rename: destination \"" + to + "\" is not a drawer");
    return RETURN_ERROR;
  }
  Outcome outcome;
  for (size_t i = 0; i < n; ++i) {
    std::string src = from[i];
    // Into the drawer, unless it is the object itself in another case.
    bool into = n > 1 || slashEnd || (destExists && destDrawer && !SameObject(src, to));
    std::string target = into ? Join(to, LastPart(src)) : to;
    if (!::Rename(src.c_str(), target.c_str()))
      SayFault(ctx, outcome.Failed(), "Rename: can't rename " + src + " as " + target);
  }
  return outcome.Finish();
}

LONG CmdMakeDir(CommandContext &ctx, IPTR *args) {
  auto **names = reinterpret_cast<STRPTR *>(args[0]);
  bool all = args[1] != 0;
  if (!Count(names)) {
    SetIoErr(ERROR_REQUIRED_ARG_MISSING);
    SayFault(ctx, ERROR_REQUIRED_ARG_MISSING, "MakeDir");
    return RETURN_FAIL;
  }
  Outcome outcome;
  for (size_t i = 0; names[i]; ++i) {
    std::string name = names[i];
    bool ok = true;
    if (all) {
      // Each missing drawer on the way, from the volume down.
      size_t colon = name.find(':');
      size_t pos = colon == std::string::npos ? 0 : colon + 1;
      std::string prefix = name.substr(0, pos);
      while (ok && pos < name.size()) {
        size_t slash = name.find('/', pos);
        std::string part = name.substr(pos, slash == std::string::npos ? std::string::npos : slash - pos);
        prefix += part;
        if (!part.empty())
          ok = EnsureDrawer(prefix);
        if (slash == std::string::npos)
          break;
        prefix += '/';
        pos = slash + 1;
      }
    } else {
      BPTR l = CreateDir(name.c_str());
      ok = l != 0;
      UnLock(l);
    }
    if (!ok)
      SayFault(ctx, outcome.Failed(), "MakeDir: can't create drawer " + name);
  }
  return outcome.Finish();
}

LONG CmdCopy(CommandContext &ctx, IPTR *args) {
  auto **from = reinterpret_cast<STRPTR *>(args[0]);
  std::string to = reinterpret_cast<STRPTR>(args[1]);
  bool all = args[2] != 0, quiet = args[3] != 0;
  size_t n = Count(from);
  if (!n) {
    SetIoErr(ERROR_REQUIRED_ARG_MISSING);
    SayFault(ctx, ERROR_REQUIRED_ARG_MISSING, "Copy");
    return RETURN_FAIL;
  }
  bool destDrawer = false;
  bool destExists = Probe(to, destDrawer);
  Outcome outcome;
  for (size_t i = 0; i < n; ++i) {
    if (Break(ctx))
      return RETURN_WARN;
    std::string src = from[i];
    bool srcDrawer = false;
    if (!Probe(src, srcDrawer)) {
      SayFault(ctx, outcome.Failed(), "Copy: " + src);
      continue;
    }
    // Several sources, or a drawer: TO is a drawer, made if missing.
    if ((n > 1 || srcDrawer) && !(destExists && destDrawer)) {
      if (!EnsureDrawer(to)) {
        SayIoErr(ctx, "Copy: can't create drawer " + to);
        return RETURN_ERROR;
      }
      destExists = destDrawer = true;
    }
    LONG r = RETURN_OK;
    if (srcDrawer) {
      if (SameObject(src, to)) {
        SetIoErr(ERROR_OBJECT_IN_USE);
        SayFault(ctx, ERROR_OBJECT_IN_USE, "Copy: " + src);
        r = RETURN_ERROR;
      } else {
        r = CopyDrawer(ctx, src, to, to, all, quiet, 0);
      }
    } else {
      std::string target = destDrawer ? Join(to, LastPart(src)) : to;
      r = CopyFile(ctx, src, target, quiet) ? RETURN_OK : RETURN_ERROR;
    }
    if (outcome.Add(r))
      return r;
  }
  return outcome.Finish();
}

LONG CmdExecute(CommandContext &ctx, IPTR *args) {
  std::string file = reinterpret_cast<STRPTR>(args[0]);
  std::string argText = args[1] ? reinterpret_cast<STRPTR>(args[1]) : "";
  if (ctx.depth >= kMaxExecuteDepth) {
    SetIoErr(ERROR_TOO_MANY_LEVELS);
    SayFault(ctx, ERROR_TOO_MANY_LEVELS, "Execute");
    return RETURN_FAIL;
  }
  BPTR fh = Open(file.c_str(), MODE_OLDFILE);
  if (!fh) {
    SayIoErr(ctx, "Execute: can't open " + file);
    return RETURN_ERROR;
  }
  CommandContext inner = ctx;
  inner.depth = ctx.depth + 1;
  Script script;
  std::vector<char> buf(kMaxCommandLine + 3);
  LONG rc = RETURN_OK, err = 0;
  while (FGets(fh, buf.data(), static_cast<ULONG>(buf.size()))) {
    std::string line = buf.data();
    bool complete = !line.empty() && line.back() == '\n';
    if (!complete && line.size() >= buf.size() - 1) {
      err = ERROR_LINE_TOO_LONG;
      SayFault(ctx, err, "Execute");
      rc = RETURN_FAIL;
      break;
    }
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
      line.pop_back();
    if (!line.empty() && line[0] == '.') {
      if (!Directive(ctx, script, line, argText)) {
        err = IoErr();
        rc = RETURN_FAIL;
        break;
      }
      continue;
    }
    if (Break(ctx)) {
      err = ERROR_BREAK;
      rc = RETURN_WARN;
      break;
    }
    if (script.haveKeys)
      line = script.Substitute(line);
    rc = RunCommandLine(line, inner);
    err = IoErr();
    if (rc >= kFailAt) {
      ParsedCommand pc;
      ParseCommandLine(line, pc);
      Say(ctx, pc.name + " failed returncode " + std::to_string(rc) + "\n");
      break;
    }
  }
  Close(fh);
  SetIoErr(err);
  return rc;
}

LONG CmdEcho(CommandContext &ctx, IPTR *args) {
  std::string text;
  if (auto **words = reinterpret_cast<STRPTR *>(args[0]))
    for (size_t i = 0; words[i]; ++i) {
      if (i)
        text += ' ';
      text += words[i];
    }
  if (!args[1])
    text += '\n';
  Say(ctx, text);
  SetIoErr(0);
  return RETURN_OK;
}

} // namespace platform::sys
