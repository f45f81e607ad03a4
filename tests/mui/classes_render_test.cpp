// Pens, colour maps, screen attributes, the pixel-array blits and text.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "mui/mui.h"
#include "mui/render.h"
#include "mui/screen.h"

namespace {

struct ScreenTest : ::testing::Test {
  void SetUp() override {
    platform::ScreenOptions o;
    o.width = 64;
    o.barHeight = 20;
    o.barBackground = 0xFF102030;
    o.barText = 0xFF0000FF;
    scr = platform::OpenPlatformScreen(o);
    ri = platform::ScreenRenderInfo(scr);
  }
  void TearDown() override { platform::ClosePlatformScreen(scr); }
  LONG Obtain(const char *spec) {
    MUI_PenSpec ps{};
    std::strncpy(ps.buf, spec, sizeof ps.buf - 1);
    return MUI_ObtainPen(ri, &ps, 0);
  }
  Screen *scr = nullptr;
  MUI_RenderInfo *ri = nullptr;
};

TEST_F(ScreenTest, PenSpecsGiveSharedPensWithLeftJustifiedGuns) {
  LONG green = Obtain("r00ff00");
  ASSERT_GE(green, 0);
  ULONG rgb[3];
  GetRGB32(ri->mri_Colormap, static_cast<ULONG>(green), 1, rgb);
  EXPECT_EQ(rgb[0], 0u);
  EXPECT_EQ(rgb[1], 0xFFFFFFFFu);
  EXPECT_EQ(rgb[2], 0u);
  EXPECT_EQ(Obtain("r00FF00"), green); // same colour, same pen
  EXPECT_EQ(platform::PenUsers(ri->mri_Colormap, green), 2u);
  LONG red = Obtain("rFFFFFFFF,00000000,00000000");
  ASSERT_GE(red, 0);
  EXPECT_NE(red, green);
  GetRGB32(ri->mri_Colormap, static_cast<ULONG>(red), 1, rgb);
  EXPECT_EQ(rgb[0] & 0xFF, 0xFFu); // the low byte carries the 8-bit gun
  EXPECT_EQ(rgb[1] & 0xFF, 0u);
  MUI_ReleasePen(ri, green);
  MUI_ReleasePen(ri, green);
  EXPECT_EQ(platform::PenUsers(ri->mri_Colormap, green), 0u);
  for (const char *bad : {"", "r", "rXYZ123", "r12345", "q00ff00", "r00ff00,1", "m99"}) EXPECT_EQ(Obtain(bad), -1) << bad;
  EXPECT_EQ(MUI_ObtainPen(nullptr, nullptr, 0), -1);
}

TEST_F(ScreenTest, ScreenAnswersDisplayedAndBarTextPen) {
  ULONG displayed = 0, pen = 0;
  EXPECT_EQ(GetScreenAttr(scr, SA_Displayed, &displayed, sizeof displayed), 4u);
  EXPECT_EQ(displayed, 1u);
  platform::SetScreenDisplayed(scr, false);
  GetScreenAttr(scr, SA_Displayed, &displayed, sizeof displayed);
  EXPECT_EQ(displayed, 0u);
  GetScreenAttr(scr, SA_ScreenbarTextPen, &pen, sizeof pen);
  EXPECT_EQ(platform::PenColor(ri->mri_Colormap, static_cast<LONG>(pen)), 0xFF0000FFu);
  EXPECT_EQ(scr->BarHeight + 1, 20);
  ULONG unknown = 7;
  EXPECT_EQ(GetScreenAttr(scr, 0x80001234, &unknown, sizeof unknown), 0u);
  platform::SetScreenMouse(scr, 12, 3);
  EXPECT_EQ(scr->MouseX, 12);
  EXPECT_EQ(scr->MouseY, 3);
}

TEST_F(ScreenTest, PixelArrayBlitsCopyClipAndBlend) {
  platform::RenderTarget *t = platform::ScreenBarTarget(scr);
  RastPort *rp = ri->mri_RastPort;
  int reports = 0;
  LONG rx = 0, ry = 0, rw = 0, rh = 0;
  platform::SetRenderListener([&](platform::RenderTarget *tt, LONG x, LONG y, LONG w, LONG h) {
    if (tt != t) return;
    ++reports;
    rx = x, ry = y, rw = w, rh = h;
  });
  // A 3x2 ARGB source inside a 4-pixel-wide buffer; blit its right 2x2 part.
  UBYTE src[2][16];
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) {
      UBYTE *p = &src[y][x * 4];
      p[0] = 0xFF, p[1] = static_cast<UBYTE>(x * 10), p[2] = static_cast<UBYTE>(y * 10), p[3] = 7;
    }
  EXPECT_EQ(WritePixelArray(src, 1, 0, 16, rp, 5, 6, 2, 2, RECTFMT_ARGB), 4u);
  EXPECT_EQ(t->Pixel(5, 6), 0xFF0A0007u);
  EXPECT_EQ(t->Pixel(6, 7), 0xFF140A07u);
  EXPECT_EQ(t->Pixel(7, 6), 0xFF102030u); // untouched background
  EXPECT_EQ(reports, 1);
  EXPECT_EQ(std::vector<LONG>({rx, ry, rw, rh}), std::vector<LONG>({5, 6, 2, 2}));
  // Clipped at the right and bottom edges.
  EXPECT_EQ(WritePixelArray(src, 0, 0, 16, rp, 63, 19, 3, 2, RECTFMT_ARGB), 1u);
  EXPECT_EQ(std::vector<LONG>({rx, ry, rw, rh}), std::vector<LONG>({63, 19, 1, 1}));
  EXPECT_EQ(WritePixelArray(src, 0, 0, 16, rp, 100, 0, 3, 2, RECTFMT_ARGB), 0u);
  // Alpha: a half-transparent white pixel over the background, then full alpha.
  UBYTE half[4] = {0x80, 0xFF, 0xFF, 0xFF};
  WritePixelArrayAlpha(half, 0, 0, 4, rp, 0, 0, 1, 1, 0xFFFFFFFF);
  uint32_t p = t->Pixel(0, 0);
  EXPECT_NEAR(static_cast<int>((p >> 16) & 0xFF), (0x10 + 0xFF) / 2, 1);
  EXPECT_NEAR(static_cast<int>(p & 0xFF), (0x30 + 0xFF) / 2, 1);
  UBYTE clear[4] = {0x00, 0xFF, 0xFF, 0xFF};
  WritePixelArrayAlpha(clear, 0, 0, 4, rp, 1, 0, 1, 1, 0xFFFFFFFF);
  EXPECT_EQ(t->Pixel(1, 0), 0xFF102030u);
  // Fill and RectFill with a pen.
  FillPixelArray(rp, 10, 10, 2, 2, 0x00123456);
  EXPECT_EQ(t->Pixel(11, 11), 0xFF123456u);
  MUI_PenSpec spec{};
  std::strcpy(spec.buf, "rff0000");
  SetAPen(rp, static_cast<ULONG>(MUI_ObtainPen(ri, &spec, 0)));
  RectFill(rp, 20, 0, 21, 1);
  EXPECT_EQ(t->Pixel(21, 1), 0xFFFF0000u);
  EXPECT_EQ(t->Pixel(22, 1), 0xFF102030u);
  platform::SetRenderListener(nullptr);
}

TEST_F(ScreenTest, TextDimAndTextDrawInTheTextPen) {
  Object *area = MUI_NewObject(MUIC_Area);
  ASSERT_NE(area, nullptr);
  ASSERT_TRUE(DoMethod(area, MUIM_Setup, ri));
  platform::AreaSetBox(area, 0, 0, 20, 20);
  IPTR dim = DoMethod(area, MUIM_TextDim, "X", 1, nullptr, 0);
  EXPECT_EQ(DIM2WIDTH(dim), platform::kFontWidth);
  EXPECT_EQ(DIM2HEIGHT(dim), platform::kFontHeight);
  EXPECT_EQ(DIM2WIDTH(DoMethod(area, MUIM_TextDim, "\33b\33cAB", -1, nullptr, 0)), 2 * platform::kFontWidth + 1);
  DoMethod(area, MUIM_Text, 2, 2, DIM2WIDTH(dim), DIM2HEIGHT(dim), "x", 1, nullptr, 0);
  platform::RenderTarget *t = platform::ScreenBarTarget(scr);
  int textPixels = 0;
  for (int y = 2; y < 10; ++y)
    for (int x = 2; x < 8; ++x) textPixels += t->Pixel(x, y) == 0xFF0000FFu;
  EXPECT_GT(textPixels, 4);
  // A redraw only happens while the object has a rastport and a size.
  int reports = 0;
  platform::SetRenderListener([&](platform::RenderTarget *, LONG, LONG, LONG, LONG) { ++reports; });
  MUI_Redraw(area, MADF_DRAWOBJECT);
  EXPECT_GT(reports, 0);
  DoMethod(area, MUIM_Cleanup);
  reports = 0;
  MUI_Redraw(area, MADF_DRAWUPDATE);
  EXPECT_EQ(reports, 0);
  platform::SetRenderListener(nullptr);
  MUI_DisposeObject(area);
}

} // namespace
