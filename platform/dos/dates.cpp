// DateStamp (days since 1 January 1978, local time) and DateToStr.

#include <cstdio>
#include <cstring>
#include <ctime>

#include "dos/dos.h"
#include "exec/clock.h"

namespace {

constexpr const char *kDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
constexpr const char *kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int64_t &y, unsigned &m, unsigned &d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y += m <= 2;
}

const int64_t kEpoch1978 = DaysFromCivil(1978, 1, 1);

void Copy(STRPTR dst, const char *src) {
  if (!dst)
    return;
  size_t n = std::strlen(src);
  if (n > LEN_DATSTRING - 1) n = LEN_DATSTRING - 1; // the caller's buffers are LEN_DATSTRING bytes
  std::memcpy(dst, src, n);
  dst[n] = 0;
}

} // namespace

namespace platform {

struct DateStamp DateStampFromUnixMs(int64_t unixMs) {
  time_t secs = static_cast<time_t>(unixMs >= 0 ? unixMs / 1000 : (unixMs - 999) / 1000);
  int64_t ms = unixMs - static_cast<int64_t>(secs) * 1000;
  struct tm tm {};
  localtime_r(&secs, &tm);
  struct DateStamp ds {};
  int64_t days = DaysFromCivil(tm.tm_year + 1900, static_cast<unsigned>(tm.tm_mon + 1), static_cast<unsigned>(tm.tm_mday)) - kEpoch1978;
  if (days < 0) // before the system's epoch
    return ds;
  ds.ds_Days = static_cast<LONG>(days);
  ds.ds_Minute = tm.tm_hour * 60 + tm.tm_min;
  ds.ds_Tick = static_cast<LONG>(std::min(tm.tm_sec, 59) * TICKS_PER_SECOND + ms / 20);
  return ds;
}

int64_t UnixMsFromDateStamp(const struct DateStamp &ds) {
  int64_t y;
  unsigned m, d;
  CivilFromDays(kEpoch1978 + ds.ds_Days, y, m, d);
  struct tm tm {};
  tm.tm_year = static_cast<int>(y - 1900);
  tm.tm_mon = static_cast<int>(m - 1);
  tm.tm_mday = static_cast<int>(d);
  tm.tm_hour = ds.ds_Minute / 60;
  tm.tm_min = ds.ds_Minute % 60;
  tm.tm_sec = ds.ds_Tick / TICKS_PER_SECOND;
  tm.tm_isdst = -1;
  return static_cast<int64_t>(mktime(&tm)) * 1000 + (ds.ds_Tick % TICKS_PER_SECOND) * 20;
}

} // namespace platform

struct DateStamp *DateStamp(struct DateStamp *ds) {
  if (ds)
    *ds = platform::DateStampFromUnixMs(platform::ClockWallMs());
  return ds;
}

LONG DateToStr(struct DateTime *dt) {
  if (!dt)
    return DOSFALSE;
  const struct DateStamp &s = dt->dat_Stamp;
  if (s.ds_Days < 0 || s.ds_Minute < 0 || s.ds_Minute >= 24 * 60 || s.ds_Tick < 0 || s.ds_Tick >= TICKS_PER_MINUTE)
    return DOSFALSE;
  int64_t y;
  unsigned m, d;
  CivilFromDays(kEpoch1978 + s.ds_Days, y, m, d);
  const char *dayName = kDays[s.ds_Days % 7]; // 1 January 1978 was a Sunday
  int yy = static_cast<int>(y % 100);
  char date[32];
  switch (dt->dat_Format) {
  case FORMAT_INT:
    std::snprintf(date, sizeof date, "%02d-%02u-%02u", yy, m, d);
    break;
  case FORMAT_USA:
    std::snprintf(date, sizeof date, "%02u-%02u-%02d", m, d, yy);
    break;
  case FORMAT_CDN:
    std::snprintf(date, sizeof date, "%02u-%02u-%02d", d, m, yy);
    break;
  default: // FORMAT_DOS, FORMAT_DEF and anything unknown
    std::snprintf(date, sizeof date, "%02u-%s-%02d", d, kMonths[m - 1], yy);
    break;
  }
  if (dt->dat_Flags & DTF_SUBST) {
    struct DateStamp now;
    DateStamp(&now);
    LONG diff = s.ds_Days - now.ds_Days;
    if (diff == 0)
      std::snprintf(date, sizeof date, "Today");
    else if (diff == -1)
      std::snprintf(date, sizeof date, "Yesterday");
    else if (diff == 1)
      std::snprintf(date, sizeof date, "Tomorrow");
    else if ((dt->dat_Flags & DTF_FUTURE) ? (diff > 1 && diff < 7) : (diff < -1 && diff > -7))
      std::snprintf(date, sizeof date, "%s", dayName);
  }
  char time[32];
  std::snprintf(time, sizeof time, "%02d:%02d:%02d", s.ds_Minute / 60, s.ds_Minute % 60, s.ds_Tick / TICKS_PER_SECOND);
  Copy(dt->dat_StrDay, dayName);
  Copy(dt->dat_StrDate, date);
  Copy(dt->dat_StrTime, time);
  return DOSTRUE;
}
