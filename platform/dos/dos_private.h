// Shared inside the dos module only: per-task state, the path resolver and
// the objects behind a BPTR.
#pragma once

#include <sys/stat.h>

#include <map>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include "dos/dos.h"

namespace platform::dos {

struct NoCaseLess {
  bool operator()(const std::string &a, const std::string &b) const;
};

// What dos keeps for each task (a thread); tc_DosData points at it while
// the thread lives. The current directory lock is released when it ends.
struct TaskDos {
  BPTR currentDir = 0; // 0: SYS:
  BPTR input = 0, output = 0;
  bool inputSelected = false, outputSelected = false;
  std::map<std::string, std::string, NoCaseLess> locals; // local variables
  ~TaskDos();
};
TaskDos &Me();

void SetErr(LONG code);
// errno of a failed call to the nearest AmigaDOS error.
LONG ErrnoToDos(int err);

// The object behind a BPTR when it is one of `live` (looked up under `mutex`);
// null with ERROR_INVALID_LOCK for anything else, a stale handle included.
template <class T>
T *LiveObject(BPTR handle, std::mutex &mutex, const std::unordered_set<T *> &live) {
  auto *p = reinterpret_cast<T *>(handle);
  std::lock_guard g(mutex);
  if (!p || !live.count(p)) {
    SetErr(ERROR_INVALID_LOCK);
    return nullptr;
  }
  return p;
}

// Copies text into a caller's buffer of size bytes, cut to fit, NUL-terminated;
// returns the length copied. Nothing is written when size is 0.
LONG CopyToBuffer(const std::string &text, STRPTR buffer, size_t size);

// A resolved AmigaDOS name: the volume (its folder name, Latin-1), the
// components below it in both encodings, and the Linux path.
struct Resolved {
  std::string volume;
  std::vector<std::string> names;      // Latin-1, as found on disk (or as given for a new last one)
  std::vector<std::string> linuxNames; // UTF-8
  std::string linuxPath;
  bool exists = false;
  struct stat st {}; // valid when exists (symlinks followed)
  std::string AmigaName() const;
};
// Sets IoErr and returns false when the name cannot be resolved.
bool Resolve(CONST_STRPTR name, bool forCreate, Resolved &out);
// The Linux folder of a volume, relative names not involved.
std::string VolumeLinuxPath(const std::string &volume);

// The object behind a lock BPTR. Files hold one too (fileLock).
struct LockObj {
  Resolved where; // guarded by the table mutex (Rename moves it)
  dev_t dev = 0;
  ino_t ino = 0;
  LONG access = SHARED_LOCK;
  bool isDir = false;
  // ExNext walk, filled by Examine on a drawer.
  std::vector<DirEntry> listing;
  bool listed = false;
};

// Locks by object; the mutex also makes check-then-create atomic for Open,
// CreateDir, Rename and DeleteFile.
std::mutex &TableMutex();
// Adds a lock on an existing object if no exclusive conflict; table mutex held.
LockObj *AddLockLocked(const Resolved &r, LONG access);
void RemoveLockLocked(LockObj *lock);
LockObj *LockFromBPTR(BPTR lock); // null (and ERROR_INVALID_LOCK) if not a live lock
Resolved LockWhere(const LockObj *lock); // a copy, under the table mutex

// A directory entry for Examine/ListDir from a Linux stat.
void FillDirEntry(DirEntry &e, const std::string &latin1Name, const struct stat &st);

} // namespace platform::dos
