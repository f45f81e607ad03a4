// AmigaDOS on Linux: volumes and paths under one root folder, files, locks,
// variables, dates, error numbers and texts.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "exec/exec.h"
#include "exec/tags.h"
#include "exec/types.h"

typedef IPTR BPTR; // a file handle or lock; 0 is none

enum : LONG {
  DOSFALSE = 0,
  DOSTRUE = -1,
};

// Return codes of commands.
enum : LONG { RETURN_OK = 0, RETURN_WARN = 5, RETURN_ERROR = 10, RETURN_FAIL = 20 };

// Error numbers as IoErr() reports them.
enum : LONG {
  ERROR_NO_FREE_STORE = 103,
  ERROR_TASK_TABLE_FULL = 105,
  ERROR_BAD_TEMPLATE = 114,
  ERROR_BAD_NUMBER = 115,
  ERROR_REQUIRED_ARG_MISSING = 116,
  ERROR_KEY_NEEDS_ARG = 117,
  ERROR_TOO_MANY_ARGS = 118,
  ERROR_UNMATCHED_QUOTES = 119,
  ERROR_LINE_TOO_LONG = 120,
  ERROR_FILE_NOT_OBJECT = 121,
  ERROR_INVALID_RESIDENT_LIBRARY = 122,
  ERROR_NO_DEFAULT_DIR = 201,
  ERROR_OBJECT_IN_USE = 202,
  ERROR_OBJECT_EXISTS = 203,
  ERROR_DIR_NOT_FOUND = 204,
  ERROR_OBJECT_NOT_FOUND = 205,
  ERROR_BAD_STREAM_NAME = 206,
  ERROR_OBJECT_TOO_LARGE = 207,
  ERROR_ACTION_NOT_KNOWN = 209,
  ERROR_INVALID_COMPONENT_NAME = 210,
  ERROR_INVALID_LOCK = 211,
  ERROR_OBJECT_WRONG_TYPE = 212,
  ERROR_DISK_NOT_VALIDATED = 213,
  ERROR_DISK_WRITE_PROTECTED = 214,
  ERROR_RENAME_ACROSS_DEVICES = 215,
  ERROR_DIRECTORY_NOT_EMPTY = 216,
  ERROR_TOO_MANY_LEVELS = 217,
  ERROR_DEVICE_NOT_MOUNTED = 218,
  ERROR_SEEK_ERROR = 219,
  ERROR_COMMENT_TOO_BIG = 220,
  ERROR_DISK_FULL = 221,
  ERROR_DELETE_PROTECTED = 222,
  ERROR_WRITE_PROTECTED = 223,
  ERROR_READ_PROTECTED = 224,
  ERROR_NOT_A_DOS_DISK = 225,
  ERROR_NO_DISK = 226,
  ERROR_NO_MORE_ENTRIES = 232,
  ERROR_IS_SOFT_LINK = 233,
  ERROR_OBJECT_LINKED = 234,
  ERROR_BAD_HUNK = 235,
  ERROR_NOT_IMPLEMENTED = 236,
  ERROR_RECORD_NOT_LOCKED = 240,
  ERROR_LOCK_COLLISION = 241,
  ERROR_LOCK_TIMEOUT = 242,
  ERROR_UNLOCK_ERROR = 243,
  ERROR_BUFFER_OVERFLOW = 303,
  ERROR_BREAK = 304,
  ERROR_NOT_EXECUTABLE = 305,
};

// The caller task's last error.
LONG IoErr();
LONG SetIoErr(LONG code); // returns the previous value

// ---- files -----------------------------------------------------------------

enum : LONG {
  MODE_READWRITE = 1004, // existing file or a new one, shared
  MODE_OLDFILE = 1005,   // existing file, shared
  MODE_NEWFILE = 1006,   // new or emptied file, exclusive while open
};

enum : LONG { OFFSET_BEGINNING = -1, OFFSET_CURRENT = 0, OFFSET_END = 1 };

// Special names: "*" and "CONSOLE:" are the console, "NIL:" reads nothing and
// swallows every write.
BPTR Open(CONST_STRPTR name, LONG accessMode);
LONG Close(BPTR file); // DOSTRUE, or DOSFALSE when pending data could not be written
// Both return the byte count, or -1 with IoErr set (ERROR_DISK_FULL...).
LONG Read(BPTR file, APTR buffer, LONG length);
LONG Write(BPTR file, CONST_APTR buffer, LONG length);
// Returns the old position, or -1 (ERROR_SEEK_ERROR).
LONG Seek(BPTR file, LONG position, LONG mode);
QUAD Seek64(BPTR file, QUAD position, LONG mode);
LONG Flush(BPTR file);
LONG FGetC(BPTR file); // -1 at end of file
LONG FPutC(BPTR file, LONG ch); // the character, or -1
// Reads at most len-1 bytes and stops after a LF (kept); NUL-terminates.
// Null at end of file with nothing read, or on an error.
STRPTR FGets(BPTR file, STRPTR buf, ULONG len);
LONG FPuts(BPTR file, CONST_STRPTR str); // 0, or -1 on error
LONG PutStr(CONST_STRPTR str);           // FPuts to Output()

// The task's standard streams: the process's stdin and stdout unless a task
// selected others. Never Close them.
BPTR Input();
BPTR Output();
BPTR SelectInput(BPTR file);  // returns the previous one
BPTR SelectOutput(BPTR file); // returns the previous one

// ---- locks and directories -----------------------------------------------------

enum : LONG {
  SHARED_LOCK = -2,
  ACCESS_READ = -2,
  EXCLUSIVE_LOCK = -1,
  ACCESS_WRITE = -1,
};

// An exclusive lock conflicts with every other lock on the same object
// (ERROR_OBJECT_IN_USE).
BPTR Lock(CONST_STRPTR name, LONG type);
void UnLock(BPTR lock); // 0 is fine
BPTR DupLock(BPTR lock); // a shared lock on the same object; DupLock(0) is 0
BPTR ParentDir(BPTR lock); // 0 for a volume (IoErr 0) or on error
// Makes `lock` the task's current directory and returns the previous one
// (0 stands for SYS:). The caller owns the returned lock.
BPTR CurrentDir(BPTR lock);
// Full name as "VOLUME:dir/name". DOSFALSE with ERROR_LINE_TOO_LONG if it does not fit.
LONG NameFromLock(BPTR lock, STRPTR buffer, LONG length);
LONG SameLock(BPTR lock1, BPTR lock2); // LOCK_SAME, LOCK_SAME_VOLUME or LOCK_DIFFERENT
enum : LONG { LOCK_DIFFERENT = -1, LOCK_SAME = 0, LOCK_SAME_VOLUME = 1 };

// Returns an exclusive lock on the new drawer.
BPTR CreateDir(CONST_STRPTR name);
// Fails with ERROR_DIRECTORY_NOT_EMPTY for a drawer with entries and
// ERROR_OBJECT_IN_USE for a locked or open object.
LONG DeleteFile(CONST_STRPTR name);
// Within one volume only (ERROR_RENAME_ACROSS_DEVICES otherwise); the target
// must not exist (ERROR_OBJECT_EXISTS) unless it is the same object in another case.
LONG Rename(CONST_STRPTR oldName, CONST_STRPTR newName);

// ---- dates ---------------------------------------------------------------------

// Days since 1 January 1978, minutes since midnight, ticks (1/50 s) in the minute; local time.
struct DateStamp {
  LONG ds_Days;
  LONG ds_Minute;
  LONG ds_Tick;
};

enum : LONG { TICKS_PER_MINUTE = 50 * 60 };

// ---- examining -----------------------------------------------------------------

enum : LONG { ST_ROOT = 1, ST_USERDIR = 2, ST_SOFTLINK = 3, ST_LINKDIR = 4, ST_FILE = -3, ST_LINKFILE = -4 };

struct FileInfoBlock {
  LONG fib_DiskKey;
  LONG fib_DirEntryType; // ST_FILE (-3) or a drawer (ST_USERDIR 2, ST_ROOT 1 for a volume)
  char fib_FileName[108]; // Latin-1, NUL-terminated; longer names are cut
  LONG fib_Protection;
  LONG fib_EntryType;
  LONG fib_Size; // clamped to 0x7fffffff; see fib_Size64
  LONG fib_NumBlocks;
  struct DateStamp fib_Date;
  char fib_Comment[80];
  UWORD fib_OwnerUID;
  UWORD fib_OwnerGID;
  QUAD fib_Size64;
  char fib_Reserved[24];
};

// Both DOSTRUE or DOSFALSE. Examine on a drawer lock starts an ExNext walk.
LONG Examine(BPTR lock, struct FileInfoBlock *fib);
LONG Examine64(BPTR lock, struct FileInfoBlock *fib, struct TagItem *tags = nullptr);
// Next entry of the drawer examined before; DOSFALSE with ERROR_NO_MORE_ENTRIES at the end.
LONG ExNext(BPTR lock, struct FileInfoBlock *fib);
LONG ExNext64(BPTR lock, struct FileInfoBlock *fib, struct TagItem *tags = nullptr);

// ---- dos objects -----------------------------------------------------------------

enum : ULONG { DOS_FILEHANDLE = 0, DOS_EXALLCONTROL = 1, DOS_FIB = 2, DOS_STDPKT = 3, DOS_CLI = 4, DOS_RDARGS = 5 };

APTR AllocDosObject(ULONG type, const struct TagItem *tags);
void FreeDosObject(ULONG type, APTR ptr);

// ---- errors and numbers ------------------------------------------------------------

// Writes "header: text" (just the text when header is null) into buffer,
// cut to len-1 bytes and NUL-terminated; returns the length written. Code 0
// gives an empty text. An unknown code gives "Error code N".
LONG Fault(LONG code, CONST_STRPTR header, STRPTR buffer, LONG len);
// The same to Output(), followed by a LF. Returns DOSTRUE when something was printed.
LONG PrintFault(LONG code, CONST_STRPTR header);

// Skips leading blanks, takes an optional sign and decimal digits. Returns
// the characters used (blanks included), or -1 when there is no number or it
// does not fit in a LONG (*value is then left alone).
LONG StrToLong(CONST_STRPTR string, LONG *value);

// ---- path names ----------------------------------------------------------------------

// Appends filename to dirname with the right separator; a filename with a
// volume replaces dirname, a leading ':' goes to the volume's root, each
// leading '/' goes one drawer up. DOSFALSE (dirname unchanged) if the result
// does not fit in size bytes.
LONG AddPart(STRPTR dirname, CONST_STRPTR filename, ULONG size);
// The last component (after the last ':' or '/').
STRPTR FilePart(CONST_STRPTR path);
// Where the last component starts, minus its separator: writing a NUL there
// leaves the drawer part.
STRPTR PathPart(CONST_STRPTR path);

// ---- variables ---------------------------------------------------------------------------

enum : ULONG {
  LV_VAR = 0,
  LV_ALIAS = 1,
  GVF_GLOBAL_ONLY = 0x100,
  GVF_LOCAL_ONLY = 0x200,
  GVF_BINARY_VAR = 0x400,    // do not stop at a LF
  GVF_DONT_NULL_TERM = 0x800, // with GVF_BINARY_VAR: no NUL
  GVF_SAVE_VAR = 0x1000,      // SetVar/DeleteVar of a global variable also in ENVARC:
};

// Local variables belong to the task; global ones are files in ENV:. Without
// a flag GetVar tries local then global, SetVar sets a local one.
// GetVar copies at most size-1 bytes plus a NUL and returns the count copied
// (IoErr then holds the full length), or -1 with ERROR_OBJECT_NOT_FOUND
// (ERROR_BAD_NUMBER for size 0).
LONG GetVar(CONST_STRPTR name, STRPTR buffer, LONG size, ULONG flags);
// size -1: buffer is NUL-terminated. A null buffer deletes the variable.
LONG SetVar(CONST_STRPTR name, CONST_STRPTR buffer, LONG size, ULONG flags);
LONG DeleteVar(CONST_STRPTR name, ULONG flags);

// ---- dates -----------------------------------------------------------------------------------

// Fills ds with the current date (platform clock, local time) and returns it.
struct DateStamp *DateStamp(struct DateStamp *ds);

enum : UBYTE {
  FORMAT_DOS = 0, // dd-mmm-yy
  FORMAT_INT = 1, // yy-mm-dd
  FORMAT_USA = 2, // mm-dd-yy
  FORMAT_CDN = 3, // dd-mm-yy
  FORMAT_DEF = 4, // the locale's; here FORMAT_DOS
};
enum : UBYTE { DTF_SUBST = 1, DTF_FUTURE = 2 };
enum : ULONG { LEN_DATSTRING = 16 };

struct DateTime {
  struct DateStamp dat_Stamp;
  UBYTE dat_Format;
  UBYTE dat_Flags;
  STRPTR dat_StrDay;  // null, or LEN_DATSTRING bytes: "Monday"...
  STRPTR dat_StrDate; // null, or LEN_DATSTRING bytes
  STRPTR dat_StrTime; // null, or LEN_DATSTRING bytes: "hh:mm:ss"
};

// DOSFALSE for an impossible stamp. DTF_SUBST puts "Today", "Yesterday",
// "Tomorrow" or the day name for dates within a week.
LONG DateToStr(struct DateTime *dt);

// ---- formatting --------------------------------------------------------------------------------

// %[-][0][width][.limit][l|L]type, type one of d D u U x X s c %.
// Every item takes one IPTR of args: l (and no size) is 32-bit, L 64-bit;
// D and U print like d and u. .limit caps the characters of %s; a null %s
// prints "(null)".
void RawDoFmt(CONST_STRPTR fmt, const IPTR *args, void (*putch)(char c, APTR data), APTR data);
std::string FormatString(CONST_STRPTR fmt, const IPTR *args); // C++ helper

// Writes at most size-1 characters and a NUL; returns the characters written.
LONG VSNPrintf(STRPTR buf, ULONG size, CONST_STRPTR fmt, const IPTR *args);
template <typename... A> LONG SNPrintf(STRPTR buf, ULONG size, CONST_STRPTR fmt, A... a) {
  const IPTR args[] = {ToIPTR(a)..., 0};
  return VSNPrintf(buf, size, fmt, args);
}
// These return the bytes written, or -1.
LONG VFPrintf(BPTR file, CONST_STRPTR fmt, const IPTR *args);
template <typename... A> LONG FPrintf(BPTR file, CONST_STRPTR fmt, A... a) {
  const IPTR args[] = {ToIPTR(a)..., 0};
  return VFPrintf(file, fmt, args);
}
LONG VPrintf(CONST_STRPTR fmt, const IPTR *args);
template <typename... A> LONG Printf(CONST_STRPTR fmt, A... a) {
  const IPTR args[] = {ToIPTR(a)..., 0};
  return VPrintf(fmt, args);
}

// ---- platform extensions -----------------------------------------------------------------------

namespace platform {

// The root folder holding one folder per volume. Creates SYS, RAM, T, ENV and
// ENVARC if missing (an existing folder of another case is used as it is).
bool SetDosRoot(const std::string &linuxDir);
std::string DosRoot(); // empty until SetDosRoot

// Linux path of an AmigaDOS name, or "" with IoErr set (ERROR_OBJECT_NOT_FOUND
// for anything that would leave the root). With forCreate the last component
// may be missing and keeps the case given.
std::string ToLinuxPath(CONST_STRPTR amigaName, bool forCreate);

// NAME: stands for amigaDir (for instance "PROGDIR" -> "SYS:"). An empty
// amigaDir removes the assign. Volumes are folders of the root; an assign
// of the same name wins.
bool AssignPath(const std::string &name, const std::string &amigaDir);

// One entry of a drawer: Latin-1 name, ST_FILE or ST_USERDIR, size, date.
struct DirEntry {
  std::string name;
  LONG type;
  QUAD size;
  struct DateStamp date;
};
// Entries of a drawer, sorted by name ignoring case; false with IoErr set.
bool ListDir(CONST_STRPTR amigaDir, std::vector<DirEntry> &entries);

// Other modules provide the objects of some AllocDosObject types (DOS_RDARGS).
void RegisterDosObjectType(ULONG type, std::function<APTR(const struct TagItem *)> alloc, std::function<void(APTR)> free);

// Date helpers: a DateStamp for Unix time (seconds + ms) in local time, and back.
struct DateStamp DateStampFromUnixMs(int64_t unixMs);
int64_t UnixMsFromDateStamp(const struct DateStamp &ds);

} // namespace platform
