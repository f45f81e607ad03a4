// Volumes under one root folder, assigns, and the resolver from AmigaDOS
// names (Latin-1, case-insensitive, '/' as parent) to Linux paths.

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <shared_mutex>
#include <string>
#include <vector>

#include "dos/dos.h"
#include "dos/dos_private.h"
#include "dos/shell_program.h"
#include "exec/text.h"

namespace platform::dos {

bool NoCaseLess::operator()(const std::string &a, const std::string &b) const {
  return platform::CompareNoCaseLatin1(a, b) < 0;
}

namespace {

struct Namespace {
  std::shared_mutex mutex;
  std::string root; // canonical, no trailing '/'
  std::map<std::string, std::string, NoCaseLess> assigns;
  std::atomic<bool> hostNames{false}; // HOST: and Linux-style names (shell programs)
};

Namespace &Ns() {
  static auto *ns = new Namespace; // outlives every task's clean-up
  return *ns;
}

constexpr size_t kMaxComponent = 255; // bytes of a Linux name
constexpr int kMaxAssignDepth = 8;

bool IsWithin(const std::string &root, const std::string &path) {
  return path.size() > root.size() && path.compare(0, root.size(), root) == 0 && path[root.size()] == '/';
}

// The entry of linuxDir named like latin1Name: the exact name first, then a
// case-insensitive match. Returns the UTF-8 name or "".
std::string FindEntry(const std::string &linuxDir, const std::string &latin1Name) {
  std::string exact = platform::Latin1ToUtf8(latin1Name);
  struct stat st;
  if (exact.size() <= kMaxComponent && lstat((linuxDir + "/" + exact).c_str(), &st) == 0)
    return exact;
  DIR *d = opendir(linuxDir.c_str());
  if (!d)
    return "";
  std::string found;
  while (struct dirent *e = readdir(d)) {
    if (!strcmp(e->d_name, ".") || !strcmp(e->d_name, ".."))
      continue;
    if (platform::EqualsNoCaseLatin1(platform::Utf8ToLatin1(e->d_name), latin1Name)) {
      found = e->d_name;
      break;
    }
  }
  closedir(d);
  return found;
}

// Checks an existing entry: a symbolic link must lead to somewhere inside
// the root. Fills st (links followed).
bool CheckEntry(const std::string &root, const std::string &path, struct stat &st) {
  if (lstat(path.c_str(), &st) != 0)
    return false;
  if (S_ISLNK(st.st_mode)) {
    char real[PATH_MAX];
    if (!realpath(path.c_str(), real) || !IsWithin(root, real))
      return false;
    if (stat(path.c_str(), &st) != 0)
      return false;
  }
  return S_ISREG(st.st_mode) || S_ISDIR(st.st_mode);
}

bool IsHostVolume(const std::string &volume) {
  return Ns().hostNames.load(std::memory_order_relaxed) && platform::EqualsNoCaseLatin1(volume, platform::kHostVolume);
}

// A name written the Linux shell's way, as AmigaDOS would write it: "/a/b"
// is HOST:a/b, "." components go, ".." goes up one drawer. Other names are
// left alone, so AmigaDOS names keep their meaning (a leading '/' excepted,
// which from a Linux shell is the file system's root, not the parent).
std::string FromLinuxName(const std::string &name) {
  bool absolute = !name.empty() && name[0] == '/';
  if (!absolute) {
    if (name.find(':') != std::string::npos)
      return name;
    bool dots = false;
    size_t start = 0;
    for (;;) {
      size_t slash = name.find('/', start);
      std::string c = name.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
      dots = dots || c == "." || c == "..";
      if (slash == std::string::npos)
        break;
      start = slash + 1;
    }
    if (!dots)
      return name;
  }
  std::vector<std::string> parts;
  size_t ups = 0; // ".." above the start of a relative name
  size_t start = 0;
  for (;;) {
    size_t slash = name.find('/', start);
    std::string c = name.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    if (c == "..") {
      if (!parts.empty())
        parts.pop_back();
      else if (!absolute)
        ++ups; // above "/" stays at "/", as on Linux
    } else if (!c.empty() && c != ".") {
      parts.push_back(c);
    }
    if (slash == std::string::npos)
      break;
    start = slash + 1;
  }
  std::string out = absolute ? std::string(platform::kHostVolume) + ":" : std::string(ups, '/');
  for (size_t i = 0; i < parts.size(); ++i)
    out += (i ? "/" : "") + parts[i];
  return out;
}

bool ValidComponent(const std::string &c) {
  return c != "." && c != ".." && c.find(':') == std::string::npos;
}

struct Base {
  std::string volume;
  std::vector<std::string> names, linuxNames;
};

// The start of a name: its volume (or assign) or the current directory.
bool BaseOf(const std::string &volPart, bool hasVolume, const std::string &root, Base &base, int depth);

// Walks the components of rest from base. Empty components go up one level,
// except an empty last one.
bool Walk(const std::string &treeRoot, Base base, const std::string &rest, bool forCreate, Resolved &out) {
  // HOST: is the whole Linux file system: no folder of the root, no fence
  // for symbolic links.
  const bool host = IsHostVolume(base.volume);
  const std::string root = host ? "" : treeRoot;
  std::string volDir = host ? "" : root + "/" + platform::Latin1ToUtf8(base.volume);
  std::vector<std::string> tokens;
  size_t start = 0;
  for (;;) {
    size_t slash = rest.find('/', start);
    tokens.push_back(rest.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
    if (slash == std::string::npos)
      break;
    start = slash + 1;
  }
  auto dirOf = [&]() {
    std::string p = volDir;
    for (const auto &n : base.linuxNames)
      p += "/" + n;
    return p.empty() ? std::string("/") : p;
  };
  struct stat st;
  if (!CheckEntry(root, dirOf(), st) || !S_ISDIR(st.st_mode)) {
    SetErr(ERROR_OBJECT_NOT_FOUND);
    return false;
  }
  out.exists = true;
  out.st = st;
  for (size_t i = 0; i < tokens.size(); ++i) {
    const std::string &tok = tokens[i];
    bool last = i + 1 == tokens.size();
    if (tok.empty()) {
      if (last)
        break;
      if (base.names.empty()) { // above a volume: outside the tree
        SetErr(ERROR_OBJECT_NOT_FOUND);
        return false;
      }
      base.names.pop_back();
      base.linuxNames.pop_back();
      std::string dir = dirOf();
      if (!CheckEntry(root, dir, st) || !S_ISDIR(st.st_mode)) {
        SetErr(ERROR_OBJECT_NOT_FOUND);
        return false;
      }
      out.st = st;
      continue;
    }
    if (!out.exists || !S_ISDIR(out.st.st_mode)) { // a component below a file or a missing one
      SetErr(ERROR_OBJECT_NOT_FOUND);
      return false;
    }
    if (!ValidComponent(tok)) {
      SetErr(tok.find(':') != std::string::npos ? ERROR_INVALID_COMPONENT_NAME : ERROR_OBJECT_NOT_FOUND);
      return false;
    }
    std::string dir = dirOf();
    std::string entry = FindEntry(dir, tok);
    if (entry.empty()) {
      if (!(last && forCreate)) {
        SetErr(ERROR_OBJECT_NOT_FOUND);
        return false;
      }
      std::string utf = platform::Latin1ToUtf8(tok);
      if (utf.size() > kMaxComponent) {
        SetErr(ERROR_INVALID_COMPONENT_NAME);
        return false;
      }
      base.names.push_back(tok);
      base.linuxNames.push_back(utf);
      out.exists = false;
      out.st = {};
      continue;
    }
    if (!CheckEntry(root, dir + "/" + entry, st)) {
      SetErr(ERROR_OBJECT_NOT_FOUND);
      return false;
    }
    base.names.push_back(platform::Utf8ToLatin1(entry));
    base.linuxNames.push_back(entry);
    out.st = st;
  }
  out.volume = base.volume;
  out.names = std::move(base.names);
  out.linuxNames = std::move(base.linuxNames);
  out.linuxPath = volDir;
  for (const auto &n : out.linuxNames)
    out.linuxPath += "/" + n;
  if (out.linuxPath.empty())
    out.linuxPath = "/";
  return true;
}

// Splits "VOL:rest" (hasVolume) or a relative "rest".
void SplitVolume(const std::string &name, std::string &vol, std::string &rest, bool &hasVolume) {
  size_t colon = name.find(':');
  hasVolume = colon != std::string::npos;
  if (hasVolume) {
    vol = name.substr(0, colon);
    rest = name.substr(colon + 1);
  } else {
    vol.clear();
    rest = name;
  }
}

bool BaseOf(const std::string &volPart, bool hasVolume, const std::string &root, Base &base, int depth) {
  if (!hasVolume || volPart.empty()) {
    // The current directory, or the root of its volume for ":name".
    BPTR cd = Me().currentDir;
    LockObj *l = cd ? LockFromBPTR(cd) : nullptr;
    if (l) {
      Resolved w = LockWhere(l);
      base.volume = w.volume;
      if (!hasVolume) {
        base.names = w.names;
        base.linuxNames = w.linuxNames;
      }
    } else {
      std::string sys = FindEntry(root, "SYS");
      base.volume = sys.empty() ? "SYS" : platform::Utf8ToLatin1(sys);
    }
    return true;
  }
  if (IsHostVolume(volPart)) {
    base.volume = platform::kHostVolume;
    return true;
  }
  if (depth > kMaxAssignDepth) {
    SetErr(ERROR_TOO_MANY_LEVELS);
    return false;
  }
  std::string target;
  {
    std::shared_lock lk(Ns().mutex);
    auto it = Ns().assigns.find(volPart);
    if (it != Ns().assigns.end())
      target = it->second;
  }
  if (!target.empty()) {
    std::string vol, rest;
    bool hv;
    SplitVolume(target, vol, rest, hv);
    Base b;
    if (!hv || !BaseOf(vol, true, root, b, depth + 1))
      return hv ? false : (SetErr(ERROR_OBJECT_NOT_FOUND), false);
    Resolved r;
    if (!Walk(root, b, rest, false, r))
      return false;
    if (!S_ISDIR(r.st.st_mode)) {
      SetErr(ERROR_OBJECT_WRONG_TYPE);
      return false;
    }
    base.volume = r.volume;
    base.names = r.names;
    base.linuxNames = r.linuxNames;
    return true;
  }
  if (!ValidComponent(volPart) || volPart.find('/') != std::string::npos) {
    SetErr(ERROR_OBJECT_NOT_FOUND);
    return false;
  }
  std::string entry = FindEntry(root, volPart);
  struct stat st;
  if (entry.empty() || !CheckEntry(root, root + "/" + entry, st) || !S_ISDIR(st.st_mode)) {
    SetErr(ERROR_DEVICE_NOT_MOUNTED);
    return false;
  }
  base.volume = platform::Utf8ToLatin1(entry);
  return true;
}

} // namespace

std::string Resolved::AmigaName() const {
  std::string s = volume + ":";
  for (size_t i = 0; i < names.size(); ++i) {
    if (i)
      s += '/';
    s += names[i];
  }
  return s;
}

bool Resolve(CONST_STRPTR name, bool forCreate, Resolved &out) {
  std::string root = DosRoot();
  if (root.empty()) {
    SetErr(ERROR_DEVICE_NOT_MOUNTED);
    return false;
  }
  if (!name) {
    SetErr(ERROR_OBJECT_NOT_FOUND);
    return false;
  }
  std::string vol, rest;
  bool hasVolume;
  SplitVolume(Ns().hostNames.load(std::memory_order_relaxed) ? FromLinuxName(name) : std::string(name), vol, rest,
              hasVolume);
  Base base;
  if (!BaseOf(vol, hasVolume, root, base, 0))
    return false;
  return Walk(root, std::move(base), rest, forCreate, out);
}

std::string VolumeLinuxPath(const std::string &volume) {
  if (IsHostVolume(volume))
    return "";
  return DosRoot() + "/" + platform::Latin1ToUtf8(volume);
}

// ---- per-task state ----

TaskDos::~TaskDos() {
  if (currentDir)
    UnLock(currentDir);
}

TaskDos &Me() {
  thread_local TaskDos state;
  thread_local bool linked = false;
  if (!linked) {
    linked = true;
    if (struct Task *t = FindTask(nullptr))
      t->tc_DosData = &state;
  }
  return state;
}

} // namespace platform::dos

using namespace platform::dos;

namespace platform {

bool SetDosRoot(const std::string &linuxDir) {
  char real[PATH_MAX];
  if (linuxDir.empty() || !realpath(linuxDir.c_str(), real)) {
    SetErr(ERROR_OBJECT_NOT_FOUND);
    return false;
  }
  struct stat st;
  if (stat(real, &st) != 0 || !S_ISDIR(st.st_mode)) {
    SetErr(ERROR_OBJECT_WRONG_TYPE);
    return false;
  }
  std::string root = real;
  for (const char *vol : {"SYS", "RAM", "T", "ENV", "ENVARC"}) {
    if (!FindEntry(root, vol).empty())
      continue;
    if (mkdir((root + "/" + vol).c_str(), 0755) != 0 && errno != EEXIST) {
      SetErr(ErrnoToDos(errno));
      return false;
    }
  }
  std::unique_lock lk(Ns().mutex);
  Ns().root = root;
  if (Ns().assigns.find("PROGDIR") == Ns().assigns.end())
    Ns().assigns["PROGDIR"] = "SYS:";
  return true;
}

void EnableHostNames(bool on) { Ns().hostNames = on; }

std::string DosRoot() {
  std::shared_lock lk(Ns().mutex);
  return Ns().root;
}

std::string ToLinuxPath(CONST_STRPTR amigaName, bool forCreate) {
  Resolved r;
  if (!Resolve(amigaName, forCreate, r))
    return "";
  return r.linuxPath;
}

bool AssignPath(const std::string &name, const std::string &amigaDir) {
  std::string n = name;
  if (!n.empty() && n.back() == ':')
    n.pop_back();
  if (n.empty() || n.find_first_of(":/") != std::string::npos) {
    SetErr(ERROR_INVALID_COMPONENT_NAME);
    return false;
  }
  std::unique_lock lk(Ns().mutex);
  if (amigaDir.empty())
    Ns().assigns.erase(n);
  else
    Ns().assigns[n] = amigaDir.find(':') == std::string::npos ? amigaDir + ":" : amigaDir;
  return true;
}

} // namespace platform

// ---- current directory ----

BPTR CurrentDir(BPTR lock) {
  TaskDos &me = Me();
  BPTR old = me.currentDir;
  me.currentDir = lock;
  return old;
}

// ---- name functions (pure text) ----

namespace {

// The last '/' or ':' of path, or null when it has none.
const char *LastSeparator(const char *path) {
  const char *last = nullptr;
  for (const char *c = path; *c; ++c)
    if (*c == '/' || *c == ':')
      last = c;
  return last;
}

} // namespace

STRPTR FilePart(CONST_STRPTR path) {
  if (!path)
    return nullptr;
  const char *last = LastSeparator(path);
  return const_cast<STRPTR>(last ? last + 1 : path);
}

STRPTR PathPart(CONST_STRPTR path) {
  if (!path)
    return nullptr;
  const char *last = LastSeparator(path);
  if (!last)
    return const_cast<STRPTR>(path);
  if (*last == ':')
    return const_cast<STRPTR>(last + 1);
  // A '/' that means "parent" (leading, after ':' or after another '/') is
  // part of the path and stays.
  if (last == path || last[-1] == '/' || last[-1] == ':')
    return const_cast<STRPTR>(last + 1);
  return const_cast<STRPTR>(last);
}

LONG AddPart(STRPTR dirname, CONST_STRPTR filename, ULONG size) {
  if (!dirname || !filename || size == 0)
    return DOSFALSE;
  std::string dir = dirname;
  std::string file = filename;
  std::string result;
  size_t colon = file.find(':');
  if (colon != std::string::npos) {
    if (colon == 0) {
      // ":x" is relative to the root of dirname's volume.
      size_t dc = dir.find(':');
      result = dc == std::string::npos ? file : dir.substr(0, dc) + file;
    } else {
      result = file;
    }
  } else {
    size_t i = 0;
    while (i < file.size() && file[i] == '/') {
      // One drawer up per leading '/', while dirname has a drawer to drop.
      char *pp = PathPart(dir.c_str());
      size_t cut = static_cast<size_t>(pp - dir.c_str());
      bool hasComponent = !dir.empty() && cut < dir.size() && dir.back() != ':' && dir.back() != '/';
      if (!hasComponent)
        break;
      dir.resize(cut);
      ++i;
    }
    file = file.substr(i); // '/'s left over still mean "parent"
    if (dir.empty())
      result = file;
    else if (file.empty())
      result = dir;
    else if (dir.back() == ':' || dir.back() == '/' || file[0] == '/')
      result = dir + file;
    else
      result = dir + "/" + file;
  }
  if (result.size() + 1 > size)
    return DOSFALSE;
  std::memcpy(dirname, result.c_str(), result.size() + 1);
  return DOSTRUE;
}
