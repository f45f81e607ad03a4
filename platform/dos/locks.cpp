// Locks, examining drawers, and the operations that change the tree
// (CreateDir, DeleteFile, Rename).

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <unordered_set>

#include "dos/dos.h"
#include "dos/dos_private.h"
#include "exec/text.h"

namespace platform::dos {

namespace {

struct Table {
  std::mutex mutex;
  std::unordered_set<LockObj *> locks; // every live lock, files' own included
};

Table &Tab() {
  static auto *t = new Table; // outlives every task's clean-up
  return *t;
}

bool Conflicts(dev_t dev, ino_t ino, LONG access) {
  for (LockObj *l : Tab().locks)
    if (l->dev == dev && l->ino == ino && (access == EXCLUSIVE_LOCK || l->access == EXCLUSIVE_LOCK))
      return true;
  return false;
}

bool InUse(dev_t dev, ino_t ino) {
  for (LockObj *l : Tab().locks)
    if (l->dev == dev && l->ino == ino)
      return true;
  return false;
}

LockObj *NewLockLocked(const Resolved &r, dev_t dev, ino_t ino, bool isDir, LONG access) {
  if (Conflicts(dev, ino, access)) {
    SetErr(ERROR_OBJECT_IN_USE);
    return nullptr;
  }
  auto *l = new LockObj;
  l->where = r;
  l->dev = dev;
  l->ino = ino;
  l->isDir = isDir;
  l->access = access == EXCLUSIVE_LOCK ? EXCLUSIVE_LOCK : SHARED_LOCK;
  Tab().locks.insert(l);
  return l;
}

void Rebuild(Resolved &r) {
  r.linuxPath = VolumeLinuxPath(r.volume);
  for (const auto &n : r.linuxNames)
    r.linuxPath += "/" + n;
  if (r.linuxPath.empty())
    r.linuxPath = "/"; // the top of HOST:
}

void FillFib(struct FileInfoBlock *fib, const DirEntry &e, bool isRoot) {
  std::memset(fib, 0, sizeof *fib);
  fib->fib_DirEntryType = e.type == ST_FILE ? ST_FILE : (isRoot ? ST_ROOT : ST_USERDIR);
  fib->fib_EntryType = fib->fib_DirEntryType;
  size_t n = std::min(e.name.size(), sizeof fib->fib_FileName - 1);
  std::memcpy(fib->fib_FileName, e.name.data(), n);
  fib->fib_Size = static_cast<LONG>(std::min<QUAD>(e.size, INT32_MAX));
  fib->fib_Size64 = e.size;
  fib->fib_NumBlocks = static_cast<LONG>(std::min<QUAD>((e.size + 511) / 512, INT32_MAX));
  fib->fib_Date = e.date;
}

bool ReadListing(const std::string &linuxDir, std::vector<DirEntry> &entries) {
  std::string root = DosRoot();
  DIR *d = opendir(linuxDir.c_str());
  if (!d) {
    SetErr(ErrnoToDos(errno));
    return false;
  }
  entries.clear();
  while (struct dirent *e = readdir(d)) {
    if (!strcmp(e->d_name, ".") || !strcmp(e->d_name, ".."))
      continue;
    std::string path = linuxDir + "/" + e->d_name;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0)
      continue;
    if (S_ISLNK(st.st_mode)) {
      // Links that lead out of the tree are not shown.
      char real[PATH_MAX];
      if (!realpath(path.c_str(), real) || strncmp(real, root.c_str(), root.size()) != 0 || real[root.size()] != '/')
        continue;
      if (stat(path.c_str(), &st) != 0)
        continue;
    }
    if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
      continue;
    DirEntry de;
    FillDirEntry(de, platform::Utf8ToLatin1(e->d_name), st);
    entries.push_back(std::move(de));
  }
  closedir(d);
  std::sort(entries.begin(), entries.end(), [](const DirEntry &a, const DirEntry &b) { return NoCaseLess()(a.name, b.name); });
  return true;
}

// The last name component as the caller typed it (for case changes).
std::string GivenLastName(CONST_STRPTR name) {
  std::string s = FilePart(name);
  return s;
}

} // namespace

std::mutex &TableMutex() { return Tab().mutex; }

LockObj *AddLockLocked(const Resolved &r, LONG access) {
  if (!r.exists) {
    SetErr(ERROR_OBJECT_NOT_FOUND);
    return nullptr;
  }
  return NewLockLocked(r, r.st.st_dev, r.st.st_ino, S_ISDIR(r.st.st_mode), access);
}

void RemoveLockLocked(LockObj *lock) {
  if (Tab().locks.erase(lock))
    delete lock;
}

LockObj *LockFromBPTR(BPTR lock) { return LiveObject(lock, Tab().mutex, Tab().locks); }

Resolved LockWhere(const LockObj *lock) {
  std::lock_guard g(Tab().mutex);
  return lock->where;
}

void FillDirEntry(DirEntry &e, const std::string &latin1Name, const struct stat &st) {
  e.name = latin1Name;
  e.type = S_ISDIR(st.st_mode) ? ST_USERDIR : ST_FILE;
  e.size = S_ISDIR(st.st_mode) ? 0 : static_cast<QUAD>(st.st_size);
  e.date = platform::DateStampFromUnixMs(static_cast<int64_t>(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000);
}

} // namespace platform::dos

using namespace platform::dos;
using platform::DirEntry;

BPTR Lock(CONST_STRPTR name, LONG type) {
  Resolved r;
  if (!Resolve(name, false, r))
    return 0;
  std::lock_guard g(TableMutex());
  return reinterpret_cast<BPTR>(AddLockLocked(r, type));
}

void UnLock(BPTR lock) {
  if (!lock)
    return;
  std::lock_guard g(TableMutex());
  RemoveLockLocked(reinterpret_cast<LockObj *>(lock));
}

BPTR DupLock(BPTR lock) {
  if (!lock)
    return 0;
  LockObj *l = LockFromBPTR(lock);
  if (!l)
    return 0;
  std::lock_guard g(TableMutex());
  return reinterpret_cast<BPTR>(NewLockLocked(l->where, l->dev, l->ino, l->isDir, SHARED_LOCK));
}

BPTR ParentDir(BPTR lock) {
  LockObj *l = LockFromBPTR(lock);
  if (!l)
    return 0;
  Resolved r = LockWhere(l);
  if (r.names.empty()) {
    SetIoErr(0);
    return 0;
  }
  r.names.pop_back();
  r.linuxNames.pop_back();
  Rebuild(r);
  if (stat(r.linuxPath.c_str(), &r.st) != 0) {
    SetErr(ErrnoToDos(errno));
    return 0;
  }
  r.exists = true;
  std::lock_guard g(TableMutex());
  return reinterpret_cast<BPTR>(AddLockLocked(r, SHARED_LOCK));
}

LONG NameFromLock(BPTR lock, STRPTR buffer, LONG length) {
  std::string name;
  if (!lock) {
    name = "SYS:";
  } else {
    LockObj *l = LockFromBPTR(lock);
    if (!l)
      return DOSFALSE;
    name = LockWhere(l).AmigaName();
  }
  if (!buffer || length <= 0 || name.size() + 1 > static_cast<size_t>(length)) {
    SetErr(ERROR_LINE_TOO_LONG);
    return DOSFALSE;
  }
  std::memcpy(buffer, name.c_str(), name.size() + 1);
  return DOSTRUE;
}

LONG SameLock(BPTR lock1, BPTR lock2) {
  LockObj *a = LockFromBPTR(lock1);
  LockObj *b = LockFromBPTR(lock2);
  if (!a || !b)
    return LOCK_DIFFERENT;
  if (a->dev == b->dev && a->ino == b->ino)
    return LOCK_SAME;
  return platform::EqualsNoCaseLatin1(LockWhere(a).volume, LockWhere(b).volume) ? LOCK_SAME_VOLUME : LOCK_DIFFERENT;
}

namespace {

// The lock that Examine or ExNext fills fib from, or null with IoErr set.
LockObj *ToExamine(BPTR lock, const FileInfoBlock *fib) {
  if (!fib) {
    SetErr(ERROR_REQUIRED_ARG_MISSING);
    return nullptr;
  }
  return LockFromBPTR(lock);
}

} // namespace

LONG Examine64(BPTR lock, struct FileInfoBlock *fib, struct TagItem *) {
  LockObj *l = ToExamine(lock, fib);
  if (!l)
    return DOSFALSE;
  Resolved r = LockWhere(l);
  struct stat st;
  if (stat(r.linuxPath.c_str(), &st) != 0) {
    SetErr(ErrnoToDos(errno));
    return DOSFALSE;
  }
  DirEntry e;
  FillDirEntry(e, r.names.empty() ? r.volume : r.names.back(), st);
  FillFib(fib, e, r.names.empty());
  if (S_ISDIR(st.st_mode)) {
    // The walk that ExNext continues is a snapshot taken now.
    l->listed = ReadListing(r.linuxPath, l->listing);
    if (!l->listed)
      return DOSFALSE;
  }
  fib->fib_DiskKey = 0;
  return DOSTRUE;
}

LONG Examine(BPTR lock, struct FileInfoBlock *fib) { return Examine64(lock, fib, nullptr); }

LONG ExNext64(BPTR lock, struct FileInfoBlock *fib, struct TagItem *) {
  LockObj *l = ToExamine(lock, fib);
  if (!l)
    return DOSFALSE;
  if (!l->isDir) {
    SetErr(ERROR_OBJECT_WRONG_TYPE);
    return DOSFALSE;
  }
  if (!l->listed) {
    l->listed = ReadListing(LockWhere(l).linuxPath, l->listing);
    if (!l->listed)
      return DOSFALSE;
  }
  LONG idx = fib->fib_DiskKey;
  if (idx < 0 || static_cast<size_t>(idx) >= l->listing.size()) {
    SetErr(ERROR_NO_MORE_ENTRIES);
    return DOSFALSE;
  }
  FillFib(fib, l->listing[idx], false);
  fib->fib_DiskKey = idx + 1;
  return DOSTRUE;
}

LONG ExNext(BPTR lock, struct FileInfoBlock *fib) { return ExNext64(lock, fib, nullptr); }

BPTR CreateDir(CONST_STRPTR name) {
  Resolved r;
  if (!Resolve(name, true, r))
    return 0;
  if (r.exists) {
    SetErr(ERROR_OBJECT_EXISTS);
    return 0;
  }
  std::lock_guard g(TableMutex());
  if (mkdir(r.linuxPath.c_str(), 0755) != 0 || stat(r.linuxPath.c_str(), &r.st) != 0) {
    SetErr(ErrnoToDos(errno));
    return 0;
  }
  r.exists = true;
  return reinterpret_cast<BPTR>(AddLockLocked(r, EXCLUSIVE_LOCK));
}

LONG DeleteFile(CONST_STRPTR name) {
  Resolved r;
  if (!Resolve(name, false, r))
    return DOSFALSE;
  if (r.names.empty()) { // a volume
    SetErr(ERROR_OBJECT_WRONG_TYPE);
    return DOSFALSE;
  }
  std::lock_guard g(TableMutex());
  struct stat lst;
  if (lstat(r.linuxPath.c_str(), &lst) != 0) {
    SetErr(ErrnoToDos(errno));
    return DOSFALSE;
  }
  // A link goes; what it points at stays.
  bool isLink = S_ISLNK(lst.st_mode);
  if (!isLink && InUse(r.st.st_dev, r.st.st_ino)) {
    SetErr(ERROR_OBJECT_IN_USE);
    return DOSFALSE;
  }
  int rc = (!isLink && S_ISDIR(r.st.st_mode)) ? rmdir(r.linuxPath.c_str()) : unlink(r.linuxPath.c_str());
  if (rc != 0) {
    SetErr(errno == EEXIST ? ERROR_DIRECTORY_NOT_EMPTY : ErrnoToDos(errno));
    return DOSFALSE;
  }
  return DOSTRUE;
}

LONG Rename(CONST_STRPTR oldName, CONST_STRPTR newName) {
  Resolved from, to;
  if (!Resolve(oldName, false, from) || !Resolve(newName, true, to))
    return DOSFALSE;
  if (!platform::EqualsNoCaseLatin1(from.volume, to.volume)) {
    SetErr(ERROR_RENAME_ACROSS_DEVICES);
    return DOSFALSE;
  }
  if (from.names.empty() || to.names.empty()) {
    SetErr(ERROR_OBJECT_WRONG_TYPE);
    return DOSFALSE;
  }
  if (to.exists) {
    if (to.st.st_dev != from.st.st_dev || to.st.st_ino != from.st.st_ino) {
      SetErr(ERROR_OBJECT_EXISTS);
      return DOSFALSE;
    }
    // The same object in another case: take the new spelling.
    std::string given = GivenLastName(newName);
    if (given.empty() || given == "." || given == "..") {
      SetErr(ERROR_OBJECT_EXISTS);
      return DOSFALSE;
    }
    to.names.back() = given;
    to.linuxNames.back() = platform::Latin1ToUtf8(given);
    Rebuild(to);
  }
  if (to.linuxPath.compare(0, from.linuxPath.size() + 1, from.linuxPath + "/") == 0) {
    SetErr(ERROR_OBJECT_IN_USE); // a drawer into itself
    return DOSFALSE;
  }
  std::lock_guard g(TableMutex());
  if (to.linuxPath == from.linuxPath)
    return DOSTRUE;
  int rc = renameat2(AT_FDCWD, from.linuxPath.c_str(), AT_FDCWD, to.linuxPath.c_str(), RENAME_NOREPLACE);
  if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) {
    struct stat st;
    if (lstat(to.linuxPath.c_str(), &st) == 0 && !(st.st_dev == from.st.st_dev && st.st_ino == from.st.st_ino)) {
      SetErr(ERROR_OBJECT_EXISTS);
      return DOSFALSE;
    }
    rc = rename(from.linuxPath.c_str(), to.linuxPath.c_str());
  }
  if (rc != 0) {
    SetErr(ErrnoToDos(errno));
    return DOSFALSE;
  }
  // Locks and open files follow the object.
  const std::string prefix = from.linuxPath + "/";
  for (LockObj *l : Tab().locks) {
    Resolved &w = l->where;
    bool same = w.linuxPath == from.linuxPath;
    if (!same && w.linuxPath.compare(0, prefix.size(), prefix) != 0)
      continue;
    size_t k = from.names.size();
    if (w.names.size() < k)
      continue;
    std::vector<std::string> names(to.names), lnames(to.linuxNames);
    names.insert(names.end(), w.names.begin() + k, w.names.end());
    lnames.insert(lnames.end(), w.linuxNames.begin() + k, w.linuxNames.end());
    w.volume = to.volume;
    w.names = std::move(names);
    w.linuxNames = std::move(lnames);
    Rebuild(w);
  }
  return DOSTRUE;
}

// ---- dos objects ----

namespace {

struct ObjectTypes {
  std::mutex mutex;
  std::map<ULONG, std::pair<std::function<APTR(const struct TagItem *)>, std::function<void(APTR)>>> types;
};

ObjectTypes &Types() {
  static auto *t = new ObjectTypes;
  return *t;
}

} // namespace

APTR AllocDosObject(ULONG type, const struct TagItem *tags) {
  if (type == DOS_FIB)
    return new (std::nothrow) FileInfoBlock{};
  std::function<APTR(const struct TagItem *)> alloc;
  {
    std::lock_guard g(Types().mutex);
    auto it = Types().types.find(type);
    if (it != Types().types.end())
      alloc = it->second.first;
  }
  if (!alloc) {
    SetErr(ERROR_BAD_NUMBER);
    return nullptr;
  }
  APTR p = alloc(tags);
  if (!p)
    SetErr(ERROR_NO_FREE_STORE);
  return p;
}

void FreeDosObject(ULONG type, APTR ptr) {
  if (!ptr)
    return;
  if (type == DOS_FIB) {
    delete static_cast<FileInfoBlock *>(ptr);
    return;
  }
  std::function<void(APTR)> free;
  {
    std::lock_guard g(Types().mutex);
    auto it = Types().types.find(type);
    if (it != Types().types.end())
      free = it->second.second;
  }
  if (free)
    free(ptr);
}

namespace platform {

void RegisterDosObjectType(ULONG type, std::function<APTR(const struct TagItem *)> alloc, std::function<void(APTR)> free) {
  std::lock_guard g(Types().mutex);
  Types().types[type] = {std::move(alloc), std::move(free)};
}

bool ListDir(CONST_STRPTR amigaDir, std::vector<DirEntry> &entries) {
  Resolved r;
  if (!Resolve(amigaDir, false, r))
    return false;
  if (!S_ISDIR(r.st.st_mode)) {
    SetErr(ERROR_OBJECT_WRONG_TYPE);
    return false;
  }
  return ReadListing(r.linuxPath, entries);
}

} // namespace platform
