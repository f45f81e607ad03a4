// IoErr, fault texts and number parsing.

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <string>

#include "dos/dos.h"
#include "dos/dos_private.h"

namespace {

struct FaultText {
  LONG code;
  const char *text;
};

// The system's own texts, word for word.
constexpr FaultText kFaults[] = {
    {ERROR_NO_FREE_STORE, "not enough memory available"},
    {ERROR_TASK_TABLE_FULL, "process table full"},
    {ERROR_BAD_TEMPLATE, "bad template"},
    {ERROR_BAD_NUMBER, "bad number"},
    {ERROR_REQUIRED_ARG_MISSING, "required argument missing"},
    {ERROR_KEY_NEEDS_ARG, "value after keyword missing"},
    {ERROR_TOO_MANY_ARGS, "wrong number of arguments"},
    {ERROR_UNMATCHED_QUOTES, "unmatched quotes"},
    {ERROR_LINE_TOO_LONG, "argument line invalid or too long"},
    {ERROR_FILE_NOT_OBJECT, "file is not executable"},
    {ERROR_INVALID_RESIDENT_LIBRARY, "invalid resident library"},
    {ERROR_OBJECT_IN_USE, "object is in use"},
    {ERROR_OBJECT_EXISTS, "object already exists"},
    {ERROR_DIR_NOT_FOUND, "directory not found"},
    {ERROR_OBJECT_NOT_FOUND, "object not found"},
    {ERROR_BAD_STREAM_NAME, "invalid window description"},
    {ERROR_OBJECT_TOO_LARGE, "object too large"},
    {ERROR_ACTION_NOT_KNOWN, "packet request type unknown"},
    {ERROR_INVALID_COMPONENT_NAME, "object name invalid"},
    {ERROR_INVALID_LOCK, "invalid object lock"},
    {ERROR_OBJECT_WRONG_TYPE, "object is not of required type"},
    {ERROR_DISK_NOT_VALIDATED, "disk not validated"},
    {ERROR_DISK_WRITE_PROTECTED, "disk is write-protected"},
    {ERROR_RENAME_ACROSS_DEVICES, "rename across devices attempted"},
    {ERROR_DIRECTORY_NOT_EMPTY, "directory not empty"},
    {ERROR_TOO_MANY_LEVELS, "too many levels"},
    {ERROR_DEVICE_NOT_MOUNTED, "device (or volume) is not mounted"},
    {ERROR_SEEK_ERROR, "seek failure"},
    {ERROR_COMMENT_TOO_BIG, "comment is too long"},
    {ERROR_DISK_FULL, "disk is full"},
    {ERROR_DELETE_PROTECTED, "object is protected from deletion"},
    {ERROR_WRITE_PROTECTED, "file is write protected"},
    {ERROR_READ_PROTECTED, "file is read protected"},
    {ERROR_NOT_A_DOS_DISK, "not a valid DOS disk"},
    {ERROR_NO_DISK, "no disk in drive"},
    {ERROR_NO_MORE_ENTRIES, "no more entries in directory"},
    {ERROR_IS_SOFT_LINK, "object is soft link"},
    {ERROR_OBJECT_LINKED, "object is linked"},
    {ERROR_BAD_HUNK, "bad loadfile hunk"},
    {ERROR_NOT_IMPLEMENTED, "function not implemented"},
    {ERROR_RECORD_NOT_LOCKED, "record not locked"},
    {ERROR_LOCK_COLLISION, "record lock collision"},
    {ERROR_LOCK_TIMEOUT, "record lock timeout"},
    {ERROR_UNLOCK_ERROR, "record unlock error"},
    {ERROR_BUFFER_OVERFLOW, "buffer overflow"},
    {ERROR_BREAK, "***Break"},
    {ERROR_NOT_EXECUTABLE, "file not executable"},
};

std::string FaultString(LONG code, CONST_STRPTR header) {
  if (code == 0)
    return "";
  std::string text;
  for (const auto &f : kFaults)
    if (f.code == code)
      text = f.text;
  if (text.empty())
    text = "Error code " + std::to_string(code);
  if (header)
    return std::string(header) + ": " + text;
  return text;
}

} // namespace

LONG IoErr() {
  struct Task *t = FindTask(nullptr);
  return t ? t->tc_IoErr : 0;
}

LONG SetIoErr(LONG code) {
  struct Task *t = FindTask(nullptr);
  if (!t)
    return 0;
  LONG old = t->tc_IoErr;
  t->tc_IoErr = code;
  return old;
}

LONG Fault(LONG code, CONST_STRPTR header, STRPTR buffer, LONG len) {
  if (!buffer || len <= 0)
    return 0;
  return platform::dos::CopyToBuffer(FaultString(code, header), buffer, static_cast<size_t>(len));
}

LONG PrintFault(LONG code, CONST_STRPTR header) {
  std::string s = FaultString(code, header);
  // PrintFault leaves IoErr as it found it, so the caller can still return it.
  LONG keep = IoErr();
  if (s.empty())
    return DOSFALSE;
  s += '\n';
  LONG n = Write(Output(), s.data(), static_cast<LONG>(s.size()));
  Flush(Output());
  SetIoErr(keep);
  return n < 0 ? DOSFALSE : DOSTRUE;
}

LONG StrToLong(CONST_STRPTR string, LONG *value) {
  if (!string)
    return -1;
  const char *p = string;
  while (*p == ' ' || *p == '\t')
    ++p;
  bool neg = false;
  if (*p == '-' || *p == '+')
    neg = *p++ == '-';
  const char *digits = p;
  int64_t v = 0;
  while (*p >= '0' && *p <= '9') {
    v = v * 10 + (*p - '0');
    // Refuse rather than wrap around: a wrapped number is a wrong number.
    if (v > static_cast<int64_t>(INT32_MAX) + 1)
      return -1;
    ++p;
  }
  if (p == digits)
    return -1;
  if (neg)
    v = -v;
  if (v > INT32_MAX || v < INT32_MIN)
    return -1;
  if (value)
    *value = static_cast<LONG>(v);
  return static_cast<LONG>(p - string);
}

namespace platform::dos {

void SetErr(LONG code) { SetIoErr(code); }

LONG CopyToBuffer(const std::string &text, STRPTR buffer, size_t size) {
  if (!buffer || size == 0)
    return 0;
  size_t n = std::min(text.size(), size - 1);
  std::memcpy(buffer, text.data(), n);
  buffer[n] = 0;
  return static_cast<LONG>(n);
}

LONG ErrnoToDos(int err) {
  switch (err) {
  case 0:
    return 0;
  case ENOENT:
  case ENOTDIR:
  case ELOOP:
    return ERROR_OBJECT_NOT_FOUND;
  case EEXIST:
    return ERROR_OBJECT_EXISTS;
  case ENOTEMPTY:
    return ERROR_DIRECTORY_NOT_EMPTY;
  case EISDIR:
    return ERROR_OBJECT_WRONG_TYPE;
  case EACCES:
  case EPERM:
    return ERROR_WRITE_PROTECTED;
  case EROFS:
    return ERROR_DISK_WRITE_PROTECTED;
  case ENOSPC:
  case EDQUOT:
  case EFBIG:
    return ERROR_DISK_FULL;
  case EXDEV:
    return ERROR_RENAME_ACROSS_DEVICES;
  case EBUSY:
  case ETXTBSY:
    return ERROR_OBJECT_IN_USE;
  case ENAMETOOLONG:
    return ERROR_INVALID_COMPONENT_NAME;
  case ENOMEM:
    return ERROR_NO_FREE_STORE;
  case ESPIPE:
  case EINVAL:
    return ERROR_SEEK_ERROR;
  case EMFILE:
  case ENFILE:
    return ERROR_NO_FREE_STORE;
  default:
    return ERROR_ACTION_NOT_KNOWN;
  }
}

} // namespace platform::dos
