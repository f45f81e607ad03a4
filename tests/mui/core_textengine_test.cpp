// The text-code parser.
#include <gtest/gtest.h>

#include "mui/textengine.h"

using namespace platform;

namespace {

TEST(TextEngine, AlignmentAndStylesCarryOverLines) {
  auto lines = ParseText("\33c\33b\33uMelodune\33n\nThere is a new version available!");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].align, TextAlign::Center);
  ASSERT_EQ(lines[0].runs.size(), 1u);
  EXPECT_EQ(lines[0].runs[0].text, "Melodune");
  EXPECT_TRUE(lines[0].runs[0].bold);
  EXPECT_TRUE(lines[0].runs[0].underline);
  EXPECT_EQ(lines[1].align, TextAlign::Center);
  EXPECT_FALSE(lines[1].runs[0].bold);
  auto r = ParseText("a\33rb\n\33lc");
  EXPECT_EQ(r[0].align, TextAlign::Right); // the code aligns its whole line
  EXPECT_EQ(r[1].align, TextAlign::Left);
}

TEST(TextEngine, InlineImagesAndNoBreakSpace) {
  auto lines = ParseText("\33I[4:sys:Data/Screenbar/Melodune/StationIcons/Rock/x.png]\xa0Rock FM");
  ASSERT_EQ(lines[0].runs.size(), 2u);
  EXPECT_EQ(lines[0].runs[0].image, "4:sys:Data/Screenbar/Melodune/StationIcons/Rock/x.png");
  EXPECT_EQ(lines[0].runs[1].text, "\xa0Rock FM");
  EXPECT_EQ(PlainText("\33I[4:a]\xa0Rock"), "\xa0Rock");
}

TEST(TextEngine, BrokenAndUnknownCodesAreHarmless) {
  EXPECT_EQ(PlainText("\33I[unterminated"), "");
  EXPECT_EQ(PlainText("x\33"), "x");
  EXPECT_EQ(PlainText("\33zA\33"
                      "2B\33P[123]C\33O[obj]D"),
            "ABCD");
  EXPECT_EQ(PlainText("\33-\33b literal"), "\33b literal");
  EXPECT_EQ(ParseText("x", "\33r")[0].align, TextAlign::Right);
  EXPECT_EQ(PlainText(std::string("a\0b", 3)), std::string("a\0b", 3));
}

} // namespace
