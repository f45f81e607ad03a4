// The formatting routine, fault texts, StrToLong and dates.

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "dos/dos.h"
#include "exec/clock.h"

namespace {

template <typename... A> std::string Fmt(const char *fmt, A... a) {
  const IPTR args[] = {ToIPTR(a)..., 0};
  return FormatString(fmt, args);
}

} // namespace

TEST(DosFormat, Conventions) {
  EXPECT_EQ(Fmt("%s", "text"), "text");
  EXPECT_EQ(Fmt("%ld", -42), "-42");
  EXPECT_EQ(Fmt("%ld", 0xFFFFFFFFu), "-1"); // 32-bit: the IPTR is cut to a LONG
  EXPECT_EQ(Fmt("%lD", 1234567), "1234567");
  EXPECT_EQ(Fmt("%LD", 5LL << 30), "5368709120");
  EXPECT_EQ(Fmt("%LD", -(5LL << 30)), "-5368709120");
  EXPECT_EQ(Fmt("%04ld", 7), "0007");
  EXPECT_EQ(Fmt("%04ld", -7), "-007");
  EXPECT_EQ(Fmt("%04ld", 123456), "123456");
  EXPECT_EQ(Fmt("%lu", -1), "4294967295");
  EXPECT_EQ(Fmt("%lx/%lX", 0xBEEF, 0xBEEF), "beef/BEEF");
  EXPECT_EQ(Fmt("%08lx", 0x1F), "0000001f");
  EXPECT_EQ(Fmt("[%-6s|%6s]", "ab", "cd"), "[ab    |    cd]");
  EXPECT_EQ(Fmt("[%-5ld]", 42), "[42   ]");
  EXPECT_EQ(Fmt("%.3s", "abcdef"), "abc");
  EXPECT_EQ(Fmt("%5.2s|", "abcdef"), "   ab|");
  EXPECT_EQ(Fmt("%c%c", 'o', 'k'), "ok");
  EXPECT_EQ(Fmt("100%%"), "100%");
  EXPECT_EQ(Fmt("%s", nullptr), "(null)");
  EXPECT_EQ(Fmt("%d and %ld", 3, 4), "3 and 4");
  // Unknown conversions stand as written and take no value; a lone '%' at the end stays.
  EXPECT_EQ(Fmt("%q %ld %", 9), "%q 9 %");
  // Latin-1 bytes pass through.
  EXPECT_EQ(Fmt("Preparing\xA0%s", "recording..."), "Preparing\xA0recording...");
  // Null args never crash.
  EXPECT_EQ(FormatString("%ld %s", nullptr), "0 (null)");
  EXPECT_EQ(FormatString(nullptr, nullptr), "");
}

TEST(DosFormat, SNPrintfCutsAndTerminates) {
  char buf[8];
  EXPECT_EQ(SNPrintf(buf, sizeof buf, "%s-%ld", "abc", 12), 6);
  EXPECT_STREQ(buf, "abc-12");
  EXPECT_EQ(SNPrintf(buf, sizeof buf, "%s", "0123456789"), 7);
  EXPECT_STREQ(buf, "0123456");
  EXPECT_EQ(SNPrintf(buf, 1, "%s", "x"), 0);
  EXPECT_STREQ(buf, "");
}

TEST(DosFault, Texts) {
  char buf[80];
  EXPECT_EQ(Fault(ERROR_OBJECT_NOT_FOUND, "Pixmorph", buf, sizeof buf), 26);
  EXPECT_STREQ(buf, "Pixmorph: object not found");
  Fault(ERROR_REQUIRED_ARG_MISSING, nullptr, buf, sizeof buf);
  EXPECT_STREQ(buf, "required argument missing");
  struct {
    LONG code;
    const char *text;
  } texts[] = {{103, "not enough memory available"},
               {115, "bad number"},
               {117, "value after keyword missing"},
               {118, "wrong number of arguments"},
               {120, "argument line invalid or too long"},
               {202, "object is in use"},
               {203, "object already exists"},
               {215, "rename across devices attempted"},
               {216, "directory not empty"},
               {221, "disk is full"},
               {232, "no more entries in directory"},
               {304, "***Break"},
               {4711, "Error code 4711"},
               {-3, "Error code -3"}};
  for (const auto &t : texts) {
    Fault(t.code, nullptr, buf, sizeof buf);
    EXPECT_STREQ(buf, t.text) << t.code;
  }
  EXPECT_EQ(Fault(0, "x", buf, sizeof buf), 0);
  EXPECT_STREQ(buf, "");
  // Cut to the buffer, always terminated.
  char small[6];
  EXPECT_EQ(Fault(ERROR_DISK_FULL, "Hdr", small, sizeof small), 5);
  EXPECT_STREQ(small, "Hdr: ");
}

TEST(DosNumbers, StrToLong) {
  struct {
    const char *s;
    LONG used, value;
  } cases[] = {{"42", 2, 42},           {"  -17x", 5, -17},      {"\t+8", 3, 8},
               {"007", 3, 7},           {"2147483647", 10, INT32_MAX}, {"-2147483648", 11, INT32_MIN},
               {"12 34", 2, 12}};
  for (const auto &c : cases) {
    LONG v = -999;
    EXPECT_EQ(StrToLong(c.s, &v), c.used) << c.s;
    EXPECT_EQ(v, c.value) << c.s;
  }
  for (const char *bad : {"", "   ", "-", "x1", "2147483648", "-2147483649", "99999999999999999999"}) {
    LONG v = 5;
    EXPECT_EQ(StrToLong(bad, &v), -1) << bad;
    EXPECT_EQ(v, 5) << bad; // left alone
  }
  EXPECT_EQ(StrToLong(nullptr, nullptr), -1);
}

class DosDates : public ::testing::Test {
protected:
  void SetUp() override {
    const char *tz = getenv("TZ");
    oldTz_ = tz ? tz : "";
    hadTz_ = tz != nullptr;
    setenv("TZ", "UTC", 1);
    tzset();
  }
  void TearDown() override {
    if (hadTz_)
      setenv("TZ", oldTz_.c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }
  std::string oldTz_;
  bool hadTz_ = false;
};

TEST_F(DosDates, StampOfAKnownMoment) {
  // 7 December 2026 00:40:07.5 UTC.
  const int64_t ms = 1796604007500LL;
  struct DateStamp ds = platform::DateStampFromUnixMs(ms);
  EXPECT_EQ(ds.ds_Days, 17872); // days since 1 January 1978
  EXPECT_EQ(ds.ds_Minute, 40);
  EXPECT_EQ(ds.ds_Tick, 7 * 50 + 25);
  EXPECT_EQ(platform::UnixMsFromDateStamp(ds), ms);

  char day[LEN_DATSTRING], date[LEN_DATSTRING], time[LEN_DATSTRING];
  struct DateTime dt = {ds, FORMAT_CDN, 0, day, date, time};
  ASSERT_TRUE(DateToStr(&dt));
  EXPECT_STREQ(date, "07-12-26");
  EXPECT_STREQ(time, "00:40:07");
  EXPECT_STREQ(day, "Monday");
  dt.dat_Format = FORMAT_DOS;
  DateToStr(&dt);
  EXPECT_STREQ(date, "07-Dec-26");
  dt.dat_Format = FORMAT_INT;
  DateToStr(&dt);
  EXPECT_STREQ(date, "26-12-07");
  dt.dat_Format = FORMAT_USA;
  DateToStr(&dt);
  EXPECT_STREQ(date, "12-07-26");

  // The first day of the epoch and a leap day.
  dt.dat_Stamp = {0, 23 * 60 + 59, 59 * 50 + 49};
  dt.dat_Format = FORMAT_CDN;
  DateToStr(&dt);
  EXPECT_STREQ(date, "01-01-78");
  EXPECT_STREQ(time, "23:59:59");
  EXPECT_STREQ(day, "Sunday");
  dt.dat_Stamp = platform::DateStampFromUnixMs(951782400000LL); // 29 Feb 2000
  DateToStr(&dt);
  EXPECT_STREQ(date, "29-02-00");

  // Impossible stamps are refused; null strings are skipped.
  dt.dat_Stamp = {1, 24 * 60, 0};
  EXPECT_FALSE(DateToStr(&dt));
  dt.dat_Stamp = {1, 0, 3000};
  EXPECT_FALSE(DateToStr(&dt));
  struct DateTime onlyTime = {{100, 61, 100}, FORMAT_CDN, 0, nullptr, nullptr, time};
  EXPECT_TRUE(DateToStr(&onlyTime));
  EXPECT_STREQ(time, "01:01:02");
}

TEST_F(DosDates, StampFollowsThePlatformClockAndSubstitutes) {
  struct DateStamp now;
  ASSERT_EQ(DateStamp(&now), &now);
  struct DateStamp expect = platform::DateStampFromUnixMs(platform::ClockWallMs());
  EXPECT_EQ(now.ds_Days, expect.ds_Days);
  EXPECT_LE(std::abs(now.ds_Minute - expect.ds_Minute), 1);

  char date[LEN_DATSTRING];
  struct DateTime dt = {now, FORMAT_CDN, DTF_SUBST, nullptr, date, nullptr};
  DateToStr(&dt);
  EXPECT_STREQ(date, "Today");
  dt.dat_Stamp.ds_Days = now.ds_Days - 1;
  DateToStr(&dt);
  EXPECT_STREQ(date, "Yesterday");
  dt.dat_Stamp.ds_Days = now.ds_Days - 30;
  DateToStr(&dt);
  EXPECT_EQ(strlen(date), 8u); // a plain date again
  // Without DTF_SUBST, today is a date: the recorder's file names rely on it.
  dt.dat_Stamp = now;
  dt.dat_Flags = 0;
  DateToStr(&dt);
  EXPECT_EQ(date[2], '-');
}
