// The host's preferences file format.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "host/host_prefs.h"
#include "support/temp_root.h"

using platform::ConfigValue;

namespace {

TEST(HostPrefs, TextsAndNumbersSurviveARoundTripByteForByte) {
  std::map<ULONG, ConfigValue> items{
      {0x00CAC0C9, std::string("RAM:")},
      {0x00CA80CA, LONG{1}},
      {0x1, LONG{-2147483647 - 1}},
      {0xFFFFFFFF, LONG{2147483647}},
      {0x2, std::string("quote \" backslash \\ line\nbreak\ttab \x01\x7F latin1 \xE9\xA0 end")},
      {0x3, std::string()},
  };
  std::string text = platform::FormatHostPrefs(items, "comment\nwith a break");
  EXPECT_EQ(text.rfind("; comment with a break\n", 0), 0u) << text;
  EXPECT_NE(text.find("0x00CAC0C9 text \"RAM:\"\n"), std::string::npos) << text;
  EXPECT_NE(text.find("0x00CA80CA number 1\n"), std::string::npos) << text;
  size_t skipped = 99;
  EXPECT_EQ(platform::ParseHostPrefs(text, &skipped), items);
  EXPECT_EQ(skipped, 0u);
}

TEST(HostPrefs, MalformedLinesAreSkippedAndTheLastGoodLineWins) {
  std::string text = "; comment\n"
                     "   \n"
                     "# also a comment\r\n"
                     "0x10 number 5\r\n"
                     "0x10 number 6\n"
                     "0x11 text \"ok\"  \n"
                     "10 number 1\n"                // no 0x
                     "0x12 number\n"                // no value
                     "0x13 number 4294967296\n"     // too big
                     "0x14 number -2147483649\n"    // too small
                     "0x15 number 1x\n"
                     "0x16 text unquoted\n"
                     "0x17 text \"open\n"
                     "0x18 text \"bad \\q escape\"\n"
                     "0x19 text \"inner \" quote\"\n"
                     "0x1A text \"ends in \\\"\n"
                     "0x1B text \"\\x4\"\n"
                     "0x1C flag 1\n"
                     "0x123456789 number 1\n"
                     "0xG number 1\n";
  size_t skipped = 0;
  auto items = platform::ParseHostPrefs(text, &skipped);
  EXPECT_EQ(skipped, 14u);
  EXPECT_EQ(items, (std::map<ULONG, ConfigValue>{{0x10, LONG{6}}, {0x11, std::string("ok")}}));
  // Numbers up to 2^32-1 are kept as their 32-bit pattern.
  EXPECT_EQ(platform::ParseHostPrefs("0x1 number 4294967295\n")[0x1], ConfigValue(LONG{-1}));
}

TEST(HostPrefs, OversizedInputIsBounded) {
  std::string longText = "0x1 text \"" + std::string(platform::HostPrefsLimits::kMaxText + 1, 'a') + "\"\n";
  size_t skipped = 0;
  EXPECT_TRUE(platform::ParseHostPrefs(longText, &skipped).empty());
  EXPECT_EQ(skipped, 1u);
  std::string many;
  for (size_t i = 0; i < platform::HostPrefsLimits::kMaxItems + 5; ++i) many += "0x" + std::to_string(i + 1) + " number 1\n";
  auto items = platform::ParseHostPrefs(many, &skipped);
  EXPECT_EQ(items.size(), platform::HostPrefsLimits::kMaxItems);
  EXPECT_EQ(skipped, 5u);
}

TEST(HostPrefs, FilesAreReplacedWholeAndAMissingFileIsEmpty) {
  const testsupport::TempRoot tmp("host-prefs");
  const std::string dir = tmp.path(), file = dir + "/Test.prefs";
  std::map<ULONG, ConfigValue> items{{0x1, LONG{1}}}, back{{0x9, LONG{9}}};
  std::string err;
  EXPECT_TRUE(platform::LoadHostPrefs(file, back, &err));
  EXPECT_TRUE(back.empty());
  EXPECT_TRUE(err.empty());
  ASSERT_TRUE(platform::SaveHostPrefs(file, items, "x", &err)) << err;
  EXPECT_FALSE(std::filesystem::exists(file + ".new"));
  ASSERT_TRUE(platform::LoadHostPrefs(file, back, &err));
  EXPECT_EQ(back, items);
  // No folder: the save fails and says where.
  EXPECT_FALSE(platform::SaveHostPrefs(dir + "/missing/Test.prefs", items, "", &err));
  EXPECT_NE(err.find("missing"), std::string::npos);
}

} // namespace
