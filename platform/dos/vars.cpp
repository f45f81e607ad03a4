// Variables: local ones per task, global ones as files in ENV: (and, when
// saved, ENVARC:).

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>

#include "dos/dos.h"
#include "dos/dos_private.h"

using namespace platform::dos;

namespace {

std::mutex &VarMutex() {
  static auto *m = new std::mutex;
  return *m;
}

bool ValidName(CONST_STRPTR name) {
  if (!name || !*name || strchr(name, ':')) {
    SetErr(ERROR_OBJECT_NOT_FOUND);
    return false;
  }
  return true;
}

bool ReadGlobal(const char *volume, CONST_STRPTR name, std::string &value) {
  std::string amiga = std::string(volume) + name;
  Resolved r;
  if (!Resolve(amiga.c_str(), false, r))
    return false;
  if (!S_ISREG(r.st.st_mode)) {
    SetErr(ERROR_OBJECT_NOT_FOUND);
    return false;
  }
  int fd = open(r.linuxPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    SetErr(ErrnoToDos(errno));
    return false;
  }
  value.clear();
  char buf[4096];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0) {
      if (n < 0)
        SetErr(ErrnoToDos(errno));
      close(fd);
      return n == 0;
    }
    value.append(buf, static_cast<size_t>(n));
  }
}

// Replaces the file as a whole, so a reader sees the old or the new value,
// never half of one.
bool WriteGlobal(const char *volume, CONST_STRPTR name, const std::string &value) {
  std::string amiga = std::string(volume) + name;
  Resolved r;
  if (!Resolve(amiga.c_str(), true, r))
    return false;
  if (r.exists && !S_ISREG(r.st.st_mode)) {
    SetErr(ERROR_OBJECT_WRONG_TYPE);
    return false;
  }
  std::string dir = r.linuxPath.substr(0, r.linuxPath.rfind('/'));
  std::string tmp = dir + "/.var-XXXXXX";
  int fd = mkostemp(tmp.data(), O_CLOEXEC);
  if (fd < 0) {
    SetErr(ErrnoToDos(errno));
    return false;
  }
  fchmod(fd, 0644);
  const char *p = value.data();
  size_t left = value.size();
  while (left > 0) {
    ssize_t n = write(fd, p, left);
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0) {
      SetErr(ErrnoToDos(errno));
      close(fd);
      unlink(tmp.c_str());
      return false;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  if (close(fd) != 0 || rename(tmp.c_str(), r.linuxPath.c_str()) != 0) {
    SetErr(ErrnoToDos(errno));
    unlink(tmp.c_str());
    return false;
  }
  return true;
}

bool DeleteGlobal(const char *volume, CONST_STRPTR name) {
  std::string amiga = std::string(volume) + name;
  Resolved r;
  if (!Resolve(amiga.c_str(), false, r))
    return false;
  if (!S_ISREG(r.st.st_mode) || unlink(r.linuxPath.c_str()) != 0) {
    SetErr(ERROR_OBJECT_NOT_FOUND);
    return false;
  }
  return true;
}

} // namespace

LONG GetVar(CONST_STRPTR name, STRPTR buffer, LONG size, ULONG flags) {
  if (size <= 0 || !buffer) {
    SetErr(ERROR_BAD_NUMBER);
    return -1;
  }
  if (!ValidName(name))
    return -1;
  std::string value;
  bool found = false;
  if (!(flags & GVF_GLOBAL_ONLY) && (flags & 0xff) == LV_VAR) {
    auto &locals = Me().locals;
    auto it = locals.find(name);
    if (it != locals.end()) {
      value = it->second;
      found = true;
    }
  }
  if (!found && !(flags & GVF_LOCAL_ONLY) && (flags & 0xff) == LV_VAR) {
    std::lock_guard g(VarMutex());
    found = ReadGlobal("ENV:", name, value);
  }
  if (!found) {
    SetErr(ERROR_OBJECT_NOT_FOUND);
    return -1;
  }
  size_t total = value.size();
  if (!(flags & GVF_BINARY_VAR)) {
    size_t lf = value.find('\n');
    if (lf != std::string::npos)
      value.resize(lf); // the LF is never stored
  }
  bool terminate = !((flags & GVF_BINARY_VAR) && (flags & GVF_DONT_NULL_TERM));
  size_t room = static_cast<size_t>(size) - (terminate ? 1 : 0);
  size_t n = std::min(value.size(), room);
  std::memcpy(buffer, value.data(), n);
  if (terminate)
    buffer[n] = 0;
  SetIoErr(static_cast<LONG>(total));
  return static_cast<LONG>(n);
}

LONG SetVar(CONST_STRPTR name, CONST_STRPTR buffer, LONG size, ULONG flags) {
  if (!buffer)
    return DeleteVar(name, flags);
  if (!ValidName(name))
    return DOSFALSE;
  if ((flags & 0xff) != LV_VAR && (flags & GVF_GLOBAL_ONLY)) {
    SetErr(ERROR_OBJECT_WRONG_TYPE); // only plain variables can be global
    return DOSFALSE;
  }
  std::string value = size < 0 ? std::string(buffer) : std::string(buffer, static_cast<size_t>(size));
  if (!(flags & GVF_GLOBAL_ONLY)) {
    Me().locals[name] = value;
    return DOSTRUE;
  }
  std::lock_guard g(VarMutex());
  if (!WriteGlobal("ENV:", name, value))
    return DOSFALSE;
  if ((flags & GVF_SAVE_VAR) && !WriteGlobal("ENVARC:", name, value))
    return DOSFALSE;
  return DOSTRUE;
}

LONG DeleteVar(CONST_STRPTR name, ULONG flags) {
  if (!ValidName(name))
    return DOSFALSE;
  if (!(flags & GVF_GLOBAL_ONLY)) {
    if (Me().locals.erase(name))
      return DOSTRUE;
    SetErr(ERROR_OBJECT_NOT_FOUND);
    return DOSFALSE;
  }
  std::lock_guard g(VarMutex());
  bool env = DeleteGlobal("ENV:", name);
  bool arc = (flags & GVF_SAVE_VAR) && DeleteGlobal("ENVARC:", name);
  if (env || arc)
    return DOSTRUE;
  SetErr(ERROR_OBJECT_NOT_FOUND);
  return DOSFALSE;
}
