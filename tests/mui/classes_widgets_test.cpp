// Area input modes, groups and pages, texts, strings, numbers, images and
// the pop-up ASL field.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "clib/png_codec.h"
#include "dos/dos.h"
#include "mui/display.h"
#include "mui/mui.h"
#include "mui/render.h"
#include "mui/screen.h"
#include "support/temp_root.h"

namespace {

IPTR Get(Object *o, IPTR attr) {
  IPTR v = 0;
  GetAttr(attr, o, &v);
  return v;
}
std::string Str(Object *o, IPTR attr) {
  auto *s = reinterpret_cast<const char *>(Get(o, attr));
  return s ? s : "";
}

TEST(AreaInput, RelVerifyAnnouncesReleaseOnlyInside) {
  Object *button = MUI_MakeObject(MUIO_Button, "_Update");
  Object *mirror = MUI_NewObject(MUIC_Notify);
  ASSERT_TRUE(button && mirror);
  EXPECT_EQ(Get(button, MUIA_ControlChar), static_cast<IPTR>('u'));
  DoMethod(button, MUIM_Notify, MUIA_Pressed, FALSE, mirror, 3, MUIM_Set, MUIA_UserData, 42);
  platform::AreaPress(button);
  EXPECT_EQ(Get(button, MUIA_Pressed), TRUE);
  EXPECT_EQ(Get(button, MUIA_Selected), TRUE);
  platform::AreaRelease(button, false); // dragged away: no action
  EXPECT_EQ(Get(mirror, MUIA_UserData), 0u);
  EXPECT_EQ(Get(button, MUIA_Pressed), FALSE);
  platform::AreaClick(button);
  EXPECT_EQ(Get(mirror, MUIA_UserData), 42u);
  SetAttrs(mirror, MUIA_UserData, 0);
  SetAttrs(button, MUIA_Disabled, TRUE);
  platform::AreaClick(button);
  EXPECT_EQ(Get(mirror, MUIA_UserData), 0u);
  MUI_DisposeObject(button);
  MUI_DisposeObject(mirror);
}

TEST(AreaInput, ToggleFlipsSelectedOnPress) {
  Object *check = MUI_MakeObject(MUIO_Checkmark, "Li_mit?");
  ASSERT_NE(check, nullptr);
  EXPECT_EQ(Get(check, MUIA_ControlChar), static_cast<IPTR>('m'));
  platform::AreaClick(check);
  EXPECT_EQ(Get(check, MUIA_Selected), TRUE);
  platform::AreaClick(check);
  EXPECT_EQ(Get(check, MUIA_Selected), FALSE);
  MUI_DisposeObject(check);
}

TEST(Group, PagesResolveSpecialValuesAndClamp) {
  Object *pages = MUI_NewObject(MUIC_Group, MUIA_Group_PageMode, TRUE, Child, MUI_NewObject(MUIC_Rectangle), Child,
                                MUI_NewObject(MUIC_Rectangle), Child, MUI_NewObject(MUIC_Rectangle));
  ASSERT_NE(pages, nullptr);
  EXPECT_EQ(platform::GroupChildren(pages).size(), 3u);
  EXPECT_EQ(Get(pages, MUIA_Group_ActivePage), 0u);
  SetAttrs(pages, MUIA_Group_ActivePage, MUIV_Group_ActivePage_Last);
  EXPECT_EQ(Get(pages, MUIA_Group_ActivePage), 2u);
  SetAttrs(pages, MUIA_Group_ActivePage, MUIV_Group_ActivePage_Next);
  EXPECT_EQ(Get(pages, MUIA_Group_ActivePage), 2u);
  SetAttrs(pages, MUIA_Group_ActivePage, MUIV_Group_ActivePage_Advance);
  EXPECT_EQ(Get(pages, MUIA_Group_ActivePage), 0u);
  SetAttrs(pages, MUIA_Group_ActivePage, 7);
  EXPECT_EQ(Get(pages, MUIA_Group_ActivePage), 2u);
  Object *child = platform::GroupChildren(pages)[1];
  EXPECT_EQ(_parent(child), pages);
  // Between InitChange and ExitChange the display hears of the change once.
  int layouts = 0;
  platform::SetLayoutListener([&](Object *o) { layouts += o == pages; });
  DoMethod(pages, MUIM_Group_InitChange);
  DoMethod(pages, OM_REMMEMBER, child);
  DoMethod(pages, OM_ADDMEMBER, child);
  EXPECT_EQ(layouts, 0);
  DoMethod(pages, MUIM_Group_ExitChange);
  EXPECT_EQ(layouts, 1);
  platform::SetLayoutListener(nullptr);
  MUI_DisposeObject(pages);
}

TEST(Group, MissingChildFailsTheGroup) {
  EXPECT_EQ(MUI_NewObject(MUIC_Group, Child, MUI_NewObject(MUIC_Rectangle), Child, nullptr, Child,
                          MUI_NewObject(MUIC_Rectangle)),
            nullptr); // the two rectangles are freed (checked by the sanitizers)
  Object *bar = MUI_MakeObject(MUIO_HBar, 2);
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(Get(bar, MUIA_Rectangle_HBar), TRUE);
  MUI_DisposeObject(bar);
}

TEST(Text, ContentsAreCopiedAndAnnounced) {
  char buf[] = "Title A";
  Object *text = MUI_NewObject(MUIC_Text, MUIA_Text_Contents, buf, MUIA_Text_PreParse, "\33c");
  ASSERT_NE(text, nullptr);
  buf[6] = 'B';
  EXPECT_EQ(Str(text, MUIA_Text_Contents), "Title A");
  std::vector<std::string> seen;
  struct Hook h{};
  h.h_Entry = [](struct Hook *hook, APTR, APTR msg) -> IPTR {
    static_cast<std::vector<std::string> *>(hook->h_Data)->push_back(reinterpret_cast<const char *>(*static_cast<IPTR *>(msg)));
    return 0;
  };
  h.h_Data = &seen;
  DoMethod(text, MUIM_Notify, MUIA_Text_Contents, MUIV_EveryTime, text, 3, MUIM_CallHook, &h, MUIV_TriggerValue);
  SetAttrs(text, MUIA_Text_Contents, buf);
  EXPECT_EQ(seen, std::vector<std::string>{"Title B"});
  EXPECT_EQ(Str(text, MUIA_Text_PreParse), "\33c");
  MUI_DisposeObject(text);
}

TEST(String, MaxLengthCountsTheZeroAndAcknowledgeCarriesContents) {
  Object *str = MUI_NewObject(MUIC_String, MUIA_String_MaxLen, 32, MUIA_String_Placeholder, "Name of the station");
  Object *mirror = MUI_NewObject(MUIC_Notify);
  ASSERT_TRUE(str && mirror);
  EXPECT_EQ(Str(str, MUIA_String_Placeholder), "Name of the station");
  platform::StringType(str, std::string(40, 'n'), false);
  EXPECT_EQ(Str(str, MUIA_String_Contents).size(), 31u);
  DoMethod(str, MUIM_Notify, MUIA_String_Acknowledge, MUIV_EveryTime, mirror, 3, MUIM_Set, MUIA_UserData, 1);
  platform::StringType(str, "Radio", true);
  EXPECT_EQ(Get(mirror, MUIA_UserData), 1u);
  EXPECT_EQ(Str(str, MUIA_String_Acknowledge), "Radio");
  SetAttrs(str, MUIA_String_Integer, 123);
  EXPECT_EQ(Get(str, MUIA_String_Integer), 123u);
  MUI_DisposeObject(str);
  MUI_DisposeObject(mirror);
}

TEST(Numeric, ValueIsClampedAndFormatted) {
  Object *num = MUI_MakeObject(MUIO_NumericButton, "Lim_it?", 1, 1000, "%lD");
  ASSERT_NE(num, nullptr);
  SetAttrs(num, MUIA_Numeric_Default, 100, MUIA_Numeric_Value, 100);
  SetAttrs(num, MUIA_Numeric_Value, 5000);
  EXPECT_EQ(Get(num, MUIA_Numeric_Value), 1000u);
  SetAttrs(num, MUIA_Numeric_Value, -3);
  EXPECT_EQ(Get(num, MUIA_Numeric_Value), 1u);
  DoMethod(num, MUIM_Numeric_SetDefault);
  EXPECT_EQ(Get(num, MUIA_Numeric_Value), 100u);
  EXPECT_STREQ(reinterpret_cast<const char *>(DoMethod(num, MUIM_Numeric_Stringify, 42)), "42");
  Object *gauge = MUI_NewObject(MUIC_Gauge, MUIA_Gauge_Horiz, TRUE, MUIA_Gauge_InfoText, "");
  ASSERT_NE(gauge, nullptr);
  SetAttrs(gauge, MUIA_Gauge_Current, 57, MUIA_Gauge_InfoText, "Playing...");
  EXPECT_EQ(Get(gauge, MUIA_Gauge_Current), 57u);
  EXPECT_EQ(Str(gauge, MUIA_Gauge_InfoText), "Playing...");
  MUI_DisposeObject(num);
  MUI_DisposeObject(gauge);
}

TEST(PenDisplay, SpecIsKeptAndObtainedOnTheScreen) {
  Object *pen = MUI_NewObject(MUIC_Poppen, MUIA_Pendisplay_Spec, "r00ff00");
  ASSERT_NE(pen, nullptr);
  EXPECT_STREQ(reinterpret_cast<MUI_PenSpec *>(Get(pen, MUIA_Pendisplay_Spec))->buf, "r00ff00");
  auto *rgb = reinterpret_cast<MUI_RGBcolor *>(Get(pen, MUIA_Pendisplay_RGBcolor));
  EXPECT_EQ(rgb->green, 0xFFFFFFFFu);
  Screen *scr = platform::OpenPlatformScreen({});
  ASSERT_TRUE(DoMethod(pen, MUIM_Setup, platform::ScreenRenderInfo(scr)));
  auto p = static_cast<LONG>(static_cast<SIPTR>(Get(pen, MUIA_Pendisplay_Pen)));
  EXPECT_EQ(platform::PenColor(platform::ScreenRenderInfo(scr)->mri_Colormap, p), 0xFF00FF00u);
  DoMethod(pen, MUIM_Cleanup);
  EXPECT_EQ(platform::PenUsers(platform::ScreenRenderInfo(scr)->mri_Colormap, p), 0u);
  MUI_DisposeObject(pen);
  platform::ClosePlatformScreen(scr);
}

struct FileTest : ::testing::Test {
  void SetUp() override { ASSERT_TRUE(platform::SetDosRoot(root.string())); }
  testsupport::TempRoot tmp{"muiclasses"};
  std::filesystem::path root = tmp.path();
};

TEST_F(FileTest, ImageSpecFourAndFiveLoadPngPictures) {
  // A 3x2 picture with a transparent pixel.
  UBYTE px[2][12] = {};
  for (int i = 0; i < 6; ++i) {
    UBYTE *p = &px[i / 3][(i % 3) * 4];
    p[0] = i == 0 ? 0 : 0xFF, p[1] = 0xFF, p[2] = 0, p[3] = 0;
  }
  std::vector<uint8_t> png;
  ASSERT_EQ(clib::png::Encode(&px[0][0], 3, 2, 12, png), clib::Error::None);
  std::ofstream(root / "SYS" / "icon.png", std::ios::binary)
      .write(reinterpret_cast<const char *>(png.data()), std::streamsize(png.size()));
  Screen *scr = platform::OpenPlatformScreen({});
  for (const char *spec : {"4:SYS:icon.png", "5:sys:ICON.png"}) {
    Object *image = MUI_NewObject(MUIC_Image, MUIA_Image_Spec, spec);
    ASSERT_NE(image, nullptr);
    ASSERT_TRUE(DoMethod(image, MUIM_Setup, platform::ScreenRenderInfo(scr)));
    MUI_MinMax mm{};
    DoMethod(image, MUIM_AskMinMax, &mm);
    EXPECT_EQ(mm.DefWidth, 3) << spec;
    EXPECT_EQ(mm.DefHeight, 2) << spec;
    platform::AreaSetBox(image, 10, 0, 3, 2);
    MUI_Redraw(image, MADF_DRAWOBJECT);
    platform::RenderTarget *t = platform::ScreenBarTarget(scr);
    EXPECT_EQ(t->Pixel(11, 0), 0xFFFF0000u);
    EXPECT_EQ(t->Pixel(10, 0), platform::ScreenBarBackground(scr)); // transparent
    DoMethod(image, MUIM_Cleanup);
    MUI_DisposeObject(image);
  }
  ULONG w = 0, h = 0;
  auto *argb = static_cast<UBYTE *>(LoadPNGARGB("sys:Icon.PNG", &w, &h));
  ASSERT_NE(argb, nullptr);
  EXPECT_EQ(w, 3u);
  EXPECT_EQ(h, 2u);
  EXPECT_EQ(argb[0], 0); // alpha of the first pixel, then red of the second
  EXPECT_EQ(argb[5], 0xFF);
  FreeVec(argb);
  EXPECT_EQ(LoadPNGARGB("sys:nothing.png", &w, &h), nullptr);
  Object *missing = MUI_NewObject(MUIC_Dtpic, MUIA_Dtpic_Name, "SYS:nothing.png");
  ASSERT_TRUE(DoMethod(missing, MUIM_Setup, platform::ScreenRenderInfo(scr)));
  EXPECT_STREQ(reinterpret_cast<const char *>(Get(missing, MUIA_Dtpic_Name)), "SYS:nothing.png");
  DoMethod(missing, MUIM_Cleanup);
  MUI_DisposeObject(missing);
  platform::ClosePlatformScreen(scr);
}

struct ScriptedAsl : platform::Display {
  std::optional<platform::AslAnswer> AslRequest(const platform::AslInfo &info) override {
    asked = info;
    return answer;
  }
  platform::AslInfo asked;
  std::optional<platform::AslAnswer> answer;
};

TEST(Popasl, RequesterStartsFromTheStringAndHooks) {
  ScriptedAsl display;
  platform::SetDisplay(&display);
  Object *str = MUI_NewObject(MUIC_String, MUIA_String_Contents, "Work:Pics/one.png");
  Object *button = MUI_MakeObject(MUIO_PopButton, MUII_PopFile);
  Object *pop = MUI_NewObject(MUIC_Popasl, MUIA_Popstring_String, str, MUIA_Popstring_Button, button, ASLFR_TitleText,
                              "Choose", ASLFR_InitialDrawer, "ram:", ASLFR_InitialPattern, "#?.png");
  ASSERT_NE(pop, nullptr);
  // Without hooks: the string's drawer and file, the chosen path back into it.
  display.answer = platform::AslAnswer{"SYS:Icons", "two.png"};
  platform::AreaClick(button);
  EXPECT_EQ(display.asked.title, "Choose");
  EXPECT_EQ(display.asked.drawer, "Work:Pics");
  EXPECT_EQ(display.asked.file, "one.png");
  EXPECT_EQ(display.asked.pattern, "#?.png");
  EXPECT_EQ(Str(str, MUIA_String_Contents), "SYS:Icons/two.png");
  // A start hook adds its own drawer; the stop hook gets the requester.
  struct Hook start{}, stop{};
  start.h_Entry = [](struct Hook *, APTR, APTR msg) -> IPTR {
    auto *tags = static_cast<TagItem *>(msg);
    tags[0] = {ASLFR_InitialDrawer, reinterpret_cast<IPTR>("SYS:Data")};
    tags[1] = {TAG_DONE, 0};
    return TRUE;
  };
  std::string chosen;
  stop.h_Data = &chosen;
  stop.h_Entry = [](struct Hook *h, APTR, APTR msg) -> IPTR {
    auto *fr = static_cast<FileRequester *>(msg);
    *static_cast<std::string *>(h->h_Data) = std::string(fr->fr_Drawer) + "|" + fr->fr_File;
    return 0;
  };
  SetAttrs(pop, MUIA_Popasl_StartHook, &start, MUIA_Popasl_StopHook, &stop);
  platform::AreaClick(button);
  EXPECT_EQ(display.asked.drawer, "SYS:Data");
  EXPECT_EQ(chosen, "SYS:Icons|two.png");
  // Cancelled: the stop hook is not called.
  chosen.clear();
  display.answer.reset();
  platform::AreaClick(button);
  EXPECT_TRUE(chosen.empty());
  // A start hook that says no keeps the requester shut.
  start.h_Entry = [](struct Hook *, APTR, APTR) -> IPTR { return FALSE; };
  display.asked = {};
  platform::AreaClick(button);
  EXPECT_TRUE(display.asked.title.empty());
  platform::SetDisplay(nullptr);
  MUI_DisposeObject(pop);
}

} // namespace
