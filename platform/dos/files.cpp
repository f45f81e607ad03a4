// File handles: buffered reads and writes on Linux descriptors, the console
// streams, console windows (CON:) and NIL:.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include "dos/console.h"
#include "dos/dos.h"
#include "dos/dos_private.h"
#include "exec/text.h"

namespace platform::dos {
namespace {

constexpr size_t kBufSize = 8192;

struct FileObj {
  enum Kind { Disk, Console, Nil, Window } kind = Disk;
  std::mutex mutex; // Output() is shared by every task
  int rfd = -1, wfd = -1;
  bool standard = false; // the process's stdin/stdout: never closed
  bool writable = true;
  LockObj *lock = nullptr;
  std::vector<char> rbuf;
  size_t rpos = 0, rlen = 0;
  std::string wbuf;
  std::unique_ptr<platform::ConsoleWindow> window; // Window: where writes go
};

struct Files {
  std::mutex mutex;
  std::unordered_set<FileObj *> live;
};

Files &Reg() {
  static auto *f = new Files;
  return *f;
}

FileObj *MakeStd(int fd, bool out) {
  auto *f = new FileObj;
  f->kind = FileObj::Console;
  f->standard = true;
  (out ? f->wfd : f->rfd) = fd;
  f->writable = out;
  std::lock_guard g(Reg().mutex);
  Reg().live.insert(f);
  return f;
}

FileObj *StdIn() {
  static FileObj *f = MakeStd(0, false);
  return f;
}

FileObj *StdOut() {
  static FileObj *f = MakeStd(1, true);
  return f;
}

FileObj *FromBPTR(BPTR file) { return LiveObject(file, Reg().mutex, Reg().live); }

// The file for a Read or Write of length bytes at buffer, or null with IoErr set.
FileObj *ForTransfer(BPTR file, const void *buffer, LONG length) {
  FileObj *f = FromBPTR(file);
  if (f && (length < 0 || (!buffer && length > 0))) {
    SetErr(ERROR_BAD_NUMBER);
    return nullptr;
  }
  return f;
}

bool WriteAll(int fd, const char *p, size_t n) {
  while (n > 0) {
    ssize_t w = write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR)
        continue;
      SetErr(ErrnoToDos(errno));
      return false;
    }
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

// All helpers below run with f->mutex held.

bool FlushWrites(FileObj *f) {
  if (f->wbuf.empty())
    return true;
  bool ok = WriteAll(f->wfd, f->wbuf.data(), f->wbuf.size());
  f->wbuf.clear();
  return ok;
}

// Gives back read-ahead bytes so the descriptor's position is the logical one.
bool DropReadAhead(FileObj *f) {
  if (f->rpos < f->rlen && f->kind == FileObj::Disk) {
    if (lseek(f->rfd, -static_cast<off_t>(f->rlen - f->rpos), SEEK_CUR) < 0) {
      SetErr(ERROR_SEEK_ERROR);
      return false;
    }
  }
  f->rpos = f->rlen = 0;
  return true;
}

// Refills the read buffer; returns bytes now available, 0 at end, -1 on error.
ssize_t Fill(FileObj *f) {
  if (!FlushWrites(f))
    return -1;
  if (f->rpos < f->rlen)
    return static_cast<ssize_t>(f->rlen - f->rpos);
  if (f->rbuf.size() < kBufSize)
    f->rbuf.resize(kBufSize);
  ssize_t n;
  do
    n = read(f->rfd, f->rbuf.data(), f->rbuf.size());
  while (n < 0 && errno == EINTR);
  if (n < 0) {
    SetErr(ErrnoToDos(errno));
    return -1;
  }
  f->rpos = 0;
  f->rlen = static_cast<size_t>(n);
  return n;
}

LONG ReadLocked(FileObj *f, char *buf, LONG length) {
  if (f->kind == FileObj::Nil || f->kind == FileObj::Window)
    return 0; // nobody types into a console window here
  if (f->rfd < 0) {
    SetErr(ERROR_READ_PROTECTED);
    return -1;
  }
  LONG got = 0;
  while (got < length) {
    ssize_t avail = Fill(f);
    if (avail < 0)
      return got > 0 ? got : -1;
    if (avail == 0)
      break;
    size_t n = std::min(static_cast<size_t>(avail), static_cast<size_t>(length - got));
    std::memcpy(buf + got, f->rbuf.data() + f->rpos, n);
    f->rpos += n;
    got += static_cast<LONG>(n);
    if (f->kind == FileObj::Console)
      break; // a console read returns what the line gave
  }
  return got;
}

LONG WriteLocked(FileObj *f, const char *buf, LONG length) {
  if (f->kind == FileObj::Nil)
    return length;
  if (f->kind == FileObj::Window) {
    f->window->Write(buf, static_cast<size_t>(length));
    return length;
  }
  if (!f->writable || f->wfd < 0) {
    SetErr(ERROR_WRITE_PROTECTED);
    return -1;
  }
  if (!DropReadAhead(f))
    return -1;
  f->wbuf.append(buf, static_cast<size_t>(length));
  if ((f->kind == FileObj::Console || f->wbuf.size() >= kBufSize) && !FlushWrites(f))
    return -1;
  return length;
}

} // namespace
} // namespace platform::dos

using namespace platform::dos;

BPTR Open(CONST_STRPTR name, LONG accessMode) {
  if (!name) {
    SetErr(ERROR_REQUIRED_ARG_MISSING);
    return 0;
  }
  if (accessMode != MODE_OLDFILE && accessMode != MODE_NEWFILE && accessMode != MODE_READWRITE) {
    SetErr(ERROR_ACTION_NOT_KNOWN);
    return 0;
  }
  auto f = std::make_unique<FileObj>();
  platform::ConsoleOptions con;
  const size_t nameLen = strlen(name);
  const bool conName = nameLen >= 4 && (platform::EqualsNoCaseLatin1(std::string_view(name, 4), "CON:") ||
                                        platform::EqualsNoCaseLatin1(std::string_view(name, 4), "RAW:"));
  if (conName) {
    if (!platform::ParseConsoleName(name, con)) {
      SetErr(ERROR_BAD_STREAM_NAME);
      return 0;
    }
    f->kind = FileObj::Window;
    f->window = platform::MakeConsoleWindow(con);
  } else if (platform::EqualsNoCaseLatin1(name, "NIL:")) {
    f->kind = FileObj::Nil;
  } else if (!strcmp(name, "*") || platform::EqualsNoCaseLatin1(name, "CONSOLE:")) {
    f->kind = FileObj::Console;
    f->rfd = 0;
    f->wfd = 1;
  } else {
    Resolved r;
    if (!Resolve(name, accessMode != MODE_OLDFILE, r))
      return 0;
    if (r.names.empty() || (r.exists && S_ISDIR(r.st.st_mode))) {
      SetErr(ERROR_OBJECT_WRONG_TYPE);
      return 0;
    }
    LONG access = accessMode == MODE_NEWFILE ? EXCLUSIVE_LOCK : SHARED_LOCK;
    std::lock_guard g(TableMutex());
    int fd;
    if (r.exists) {
      // Check the lock before opening: a refused MODE_NEWFILE must not empty the file.
      if (LockObj *l = AddLockLocked(r, access))
        RemoveLockLocked(l);
      else
        return 0;
      int flags = O_RDWR | O_CLOEXEC | (accessMode == MODE_NEWFILE ? O_TRUNC : 0);
      fd = open(r.linuxPath.c_str(), flags);
      if (fd < 0 && accessMode == MODE_OLDFILE && (errno == EACCES || errno == EROFS)) {
        fd = open(r.linuxPath.c_str(), O_RDONLY | O_CLOEXEC);
        f->writable = false;
      }
    } else {
      fd = open(r.linuxPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    }
    if (fd < 0) {
      SetErr(ErrnoToDos(errno));
      return 0;
    }
    if (fstat(fd, &r.st) != 0) {
      SetErr(ErrnoToDos(errno));
      close(fd);
      return 0;
    }
    r.exists = true;
    f->lock = AddLockLocked(r, access);
    if (!f->lock) {
      close(fd);
      return 0;
    }
    f->rfd = f->wfd = fd;
  }
  FileObj *p = f.release();
  std::lock_guard g(Reg().mutex);
  Reg().live.insert(p);
  return reinterpret_cast<BPTR>(p);
}

LONG Close(BPTR file) {
  FileObj *f = FromBPTR(file);
  if (!f)
    return DOSFALSE;
  bool ok;
  {
    std::lock_guard g(f->mutex);
    ok = FlushWrites(f);
  }
  if (f->standard)
    return ok ? DOSTRUE : DOSFALSE;
  {
    std::lock_guard g(Reg().mutex);
    Reg().live.erase(f);
  }
  if (f->kind == FileObj::Window)
    f->window->Close(); // with WAIT: until the person closes the window
  if (f->kind == FileObj::Disk) {
    if (close(f->rfd) != 0 && ok) {
      SetErr(ErrnoToDos(errno));
      ok = false;
    }
    std::lock_guard g(TableMutex());
    RemoveLockLocked(f->lock);
  }
  delete f;
  return ok ? DOSTRUE : DOSFALSE;
}

LONG Read(BPTR file, APTR buffer, LONG length) {
  FileObj *f = ForTransfer(file, buffer, length);
  if (!f)
    return -1;
  std::lock_guard g(f->mutex);
  return ReadLocked(f, static_cast<char *>(buffer), length);
}

LONG Write(BPTR file, CONST_APTR buffer, LONG length) {
  FileObj *f = ForTransfer(file, buffer, length);
  if (!f)
    return -1;
  std::lock_guard g(f->mutex);
  return WriteLocked(f, static_cast<const char *>(buffer), length);
}

QUAD Seek64(BPTR file, QUAD position, LONG mode) {
  FileObj *f = FromBPTR(file);
  if (!f)
    return -1;
  std::lock_guard g(f->mutex);
  if (f->kind == FileObj::Nil)
    return 0;
  if (f->kind != FileObj::Disk || (mode != OFFSET_BEGINNING && mode != OFFSET_CURRENT && mode != OFFSET_END)) {
    SetErr(ERROR_SEEK_ERROR);
    return -1;
  }
  if (!FlushWrites(f))
    return -1;
  off_t cur = lseek(f->rfd, 0, SEEK_CUR);
  struct stat st;
  if (cur < 0 || fstat(f->rfd, &st) != 0) {
    SetErr(ERROR_SEEK_ERROR);
    return -1;
  }
  cur -= static_cast<off_t>(f->rlen - f->rpos);
  QUAD base = mode == OFFSET_BEGINNING ? 0 : mode == OFFSET_CURRENT ? cur : st.st_size;
  QUAD target;
  // No seeking before the start or past the end: a position outside the
  // file is an error the caller hears about, not a hole that the next Write
  // would fill with zeros.
  if (__builtin_add_overflow(base, position, &target) || target < 0 || target > st.st_size) {
    SetErr(ERROR_SEEK_ERROR);
    return -1;
  }
  if (lseek(f->rfd, static_cast<off_t>(target), SEEK_SET) < 0) {
    SetErr(ERROR_SEEK_ERROR);
    return -1;
  }
  f->rpos = f->rlen = 0;
  return cur;
}

LONG Seek(BPTR file, LONG position, LONG mode) {
  QUAD old = Seek64(file, position, mode);
  if (old > INT32_MAX) {
    SetErr(ERROR_OBJECT_TOO_LARGE);
    return -1;
  }
  return static_cast<LONG>(old);
}

LONG Flush(BPTR file) {
  FileObj *f = FromBPTR(file);
  if (!f)
    return DOSFALSE;
  std::lock_guard g(f->mutex);
  bool ok = FlushWrites(f) && DropReadAhead(f);
  return ok ? DOSTRUE : DOSFALSE;
}

LONG FGetC(BPTR file) {
  FileObj *f = FromBPTR(file);
  if (!f)
    return -1;
  std::lock_guard g(f->mutex);
  char c;
  return ReadLocked(f, &c, 1) == 1 ? static_cast<UBYTE>(c) : -1;
}

LONG FPutC(BPTR file, LONG ch) {
  FileObj *f = FromBPTR(file);
  if (!f)
    return -1;
  std::lock_guard g(f->mutex);
  char c = static_cast<char>(ch);
  return WriteLocked(f, &c, 1) == 1 ? static_cast<UBYTE>(c) : -1;
}

STRPTR FGets(BPTR file, STRPTR buf, ULONG len) {
  if (!buf || len == 0) {
    SetErr(ERROR_BAD_NUMBER);
    return nullptr;
  }
  FileObj *f = FromBPTR(file);
  if (!f)
    return nullptr;
  std::lock_guard g(f->mutex);
  if (f->kind == FileObj::Nil || f->rfd < 0) {
    buf[0] = 0;
    return nullptr;
  }
  ULONG n = 0;
  while (n + 1 < len) {
    ssize_t avail = Fill(f);
    if (avail < 0) {
      buf[n] = 0;
      return nullptr;
    }
    if (avail == 0)
      break;
    // Copy up to the LF (kept) or as much as fits.
    size_t take = std::min(static_cast<size_t>(avail), static_cast<size_t>(len - 1 - n));
    const char *src = f->rbuf.data() + f->rpos;
    const void *lf = std::memchr(src, '\n', take);
    if (lf)
      take = static_cast<size_t>(static_cast<const char *>(lf) - src) + 1;
    std::memcpy(buf + n, src, take);
    f->rpos += take;
    n += static_cast<ULONG>(take);
    if (lf)
      break;
  }
  buf[n] = 0;
  if (n == 0 && len > 1) {
    SetIoErr(0); // plain end of file
    return nullptr;
  }
  return buf;
}

LONG FPuts(BPTR file, CONST_STRPTR str) {
  if (!str)
    return 0;
  return Write(file, str, static_cast<LONG>(strlen(str))) < 0 ? -1 : 0;
}

LONG PutStr(CONST_STRPTR str) { return FPuts(Output(), str); }

BPTR Input() {
  TaskDos &me = Me();
  return me.inputSelected ? me.input : reinterpret_cast<BPTR>(StdIn());
}

BPTR Output() {
  TaskDos &me = Me();
  return me.outputSelected ? me.output : reinterpret_cast<BPTR>(StdOut());
}

namespace {

// Makes file one of the task's streams from now on, in place of the standard one.
void Select(BPTR &stream, bool &selected, BPTR file) {
  stream = file;
  selected = true;
}

} // namespace

BPTR SelectInput(BPTR file) {
  BPTR old = Input();
  Select(Me().input, Me().inputSelected, file);
  return old;
}

BPTR SelectOutput(BPTR file) {
  BPTR old = Output();
  Select(Me().output, Me().outputSelected, file);
  return old;
}
