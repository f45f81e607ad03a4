// The system's formatting routine and the printf family built on it.

#include <cstring>
#include <string>

#include "dos/dos.h"
#include "dos/dos_private.h"

namespace {

void PutPadded(const std::string &body, bool left, size_t width, char pad, void (*putch)(char, APTR), APTR data) {
  size_t fill = body.size() < width ? width - body.size() : 0;
  size_t start = 0;
  if (!left && pad == '0' && fill && !body.empty() && body[0] == '-') {
    putch('-', data); // zeros go after the sign
    start = 1;
  }
  if (!left)
    for (size_t i = 0; i < fill; ++i)
      putch(pad, data);
  for (size_t i = start; i < body.size(); ++i)
    putch(body[i], data);
  if (left)
    for (size_t i = 0; i < fill; ++i)
      putch(' ', data);
}

std::string Unsigned(uint64_t v, unsigned base, bool upper) {
  const char *digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  char tmp[24];
  int n = 0;
  do {
    tmp[n++] = digits[v % base];
    v /= base;
  } while (v);
  std::string s;
  while (n)
    s += tmp[--n];
  return s;
}

} // namespace

void RawDoFmt(CONST_STRPTR fmt, const IPTR *args, void (*putch)(char c, APTR data), APTR data) {
  if (!fmt || !putch)
    return;
  static const IPTR kNone = 0;
  const IPTR *arg = args ? args : &kNone;
  auto next = [&]() -> IPTR {
    IPTR v = *arg;
    if (args)
      ++arg;
    return v;
  };
  for (const char *p = fmt; *p; ++p) {
    if (*p != '%') {
      putch(*p, data);
      continue;
    }
    const char *start = p++;
    if (*p == '%') {
      putch('%', data);
      continue;
    }
    bool left = false;
    char pad = ' ';
    while (*p == '-' || *p == '0') {
      if (*p == '-')
        left = true;
      else
        pad = '0';
      ++p;
    }
    size_t width = 0;
    while (*p >= '0' && *p <= '9')
      width = std::min<size_t>(width * 10 + static_cast<size_t>(*p++ - '0'), 4096);
    size_t limit = SIZE_MAX;
    if (*p == '.') {
      ++p;
      limit = 0;
      while (*p >= '0' && *p <= '9')
        limit = std::min<size_t>(limit * 10 + static_cast<size_t>(*p++ - '0'), SIZE_MAX / 16);
    }
    bool wide = false;
    if (*p == 'l')
      ++p;
    else if (*p == 'L') {
      wide = true;
      ++p;
    }
    std::string body;
    switch (*p) {
    case 'd':
    case 'D': {
      IPTR v = next();
      int64_t n = wide ? static_cast<int64_t>(v) : static_cast<int64_t>(static_cast<LONG>(v));
      body = n < 0 ? "-" + Unsigned(static_cast<uint64_t>(0) - static_cast<uint64_t>(n), 10, false) : Unsigned(static_cast<uint64_t>(n), 10, false);
      break;
    }
    case 'u':
    case 'U': {
      IPTR v = next();
      body = Unsigned(wide ? static_cast<uint64_t>(v) : static_cast<ULONG>(v), 10, false);
      break;
    }
    case 'x':
    case 'X': {
      IPTR v = next();
      body = Unsigned(wide ? static_cast<uint64_t>(v) : static_cast<ULONG>(v), 16, *p == 'X');
      break;
    }
    case 'c':
      body = std::string(1, static_cast<char>(next()));
      break;
    case 's': {
      const char *s = reinterpret_cast<const char *>(next());
      if (!s)
        s = "(null)";
      size_t n = 0;
      while (n < limit && s[n])
        ++n;
      body.assign(s, n);
      pad = ' ';
      break;
    }
    case 0:
      // A '%' at the very end: print what was there.
      for (const char *q = start; *q; ++q)
        putch(*q, data);
      return;
    default:
      // Unknown conversion: print it as it stands, take no argument.
      for (const char *q = start; q <= p; ++q)
        putch(*q, data);
      continue;
    }
    PutPadded(body, left, width, pad, putch, data);
  }
}

std::string FormatString(CONST_STRPTR fmt, const IPTR *args) {
  std::string out;
  RawDoFmt(fmt, args, [](char c, APTR d) { static_cast<std::string *>(d)->push_back(c); }, &out);
  return out;
}

LONG VSNPrintf(STRPTR buf, ULONG size, CONST_STRPTR fmt, const IPTR *args) {
  if (!buf || size == 0)
    return 0;
  return platform::dos::CopyToBuffer(FormatString(fmt, args), buf, size);
}

LONG VFPrintf(BPTR file, CONST_STRPTR fmt, const IPTR *args) {
  std::string s = FormatString(fmt, args);
  return Write(file, s.data(), static_cast<LONG>(s.size()));
}

LONG VPrintf(CONST_STRPTR fmt, const IPTR *args) { return VFPrintf(Output(), fmt, args); }
