// The settings: identifiers, defaults, the panel, and changes applied to a
// live gadget.
#include "core_harness.h"

namespace coretest {
namespace {

using PrefsTest = CoreTest;

TEST_F(PrefsTest, OnlyOurIdentifiersAreOurs) {
  Bar &a = MakeBar();
  for (ULONG id : {CFG_RecordPath, CFG_RecolorPlay, CFG_PlayPen, CFG_RecolorRec, CFG_RecPen, CFG_ShowMetaTitle,
                   CFG_CheckUpdates})
    EXPECT_EQ(DoMethod(a.obj, MUIM_Screenbar_IsConfigItem, id), 1u) << std::hex << id;
  // Between two items, around them, and nothing.
  for (ULONG id : {CFG_RecolorPlay + 1, CFG_RecordPath + 1, CFG_RecordPath - 1, CFG_ShowMetaTitle + 1, 0u, 0xCA80C0u})
    EXPECT_EQ(DoMethod(a.obj, MUIM_Screenbar_IsConfigItem, id), 0u) << std::hex << id;
}

TEST_F(PrefsTest, DefaultsAreGreenRedMetaTitleOnAndRam) {
  Bar &a = MakeBar();
  auto text = [&](ULONG id) { return reinterpret_cast<const char *>(DoMethod(a.obj, MUIM_Screenbar_ConfigDefault, id)); };
  EXPECT_STREQ(text(CFG_RecordPath), "RAM:");
  EXPECT_STREQ(text(CFG_PlayPen), "r00ff00");
  EXPECT_STREQ(text(CFG_RecPen), "rff0000");
  for (ULONG id : {CFG_RecolorPlay, CFG_RecolorRec, CFG_ShowMetaTitle, CFG_CheckUpdates})
    EXPECT_EQ(DoMethod(a.obj, MUIM_Screenbar_ConfigDefault, id), 1u);
  EXPECT_EQ(DoMethod(a.obj, MUIM_Screenbar_ConfigDefault, CFG_RecolorPlay + 1), 0u);

  // A set-up with a fresh configuration gets them.
  ASSERT_TRUE(Setup(a));
  Data *d = D(a.obj);
  EXPECT_TRUE(d->recolorPlay);
  EXPECT_TRUE(d->recolorRec);
  EXPECT_TRUE(d->showMetaTitle);
  struct ColorMap *cm = platform::ScreenRenderInfo(a.scr)->mri_Colormap;
  EXPECT_EQ(platform::PenColor(cm, d->playPen), 0xFF00FF00u);
  EXPECT_EQ(platform::PenColor(cm, d->recPen), 0xFFFF0000u);
}

TEST_F(PrefsTest, EveryBarReleasesItsPensAtCleanup) {
  Bar &a = MakeBar();
  Bar &b = MakeBar();
  ASSERT_TRUE(Setup(a));
  ASSERT_TRUE(Setup(b));
  struct ColorMap *cm = platform::ScreenRenderInfo(b.scr)->mri_Colormap;
  LONG pen = D(b.obj)->playPen;
  ASSERT_GE(pen, 0);
  EXPECT_EQ(platform::PenUsers(cm, pen), 1u);
  Cleanup(b); // not the main instance
  EXPECT_EQ(platform::PenUsers(cm, pen), 0u);
  EXPECT_EQ(D(b.obj)->playPen, -1);
}

TEST_F(PrefsTest, RefreshListTakesAtMost64) {
  Bar &a = MakeBar();
  ASSERT_TRUE(Setup(a));
  ScreenbarRefreshList list{};
  list.count = 63;
  list.flags[63] = 9;
  SetConfig(CFG_RecolorPlay, 0);
  D(a.obj)->animDone = TRUE;
  DoMethod(a.obj, MUIM_ConfigItemChanged, CFG_RecolorPlay, &list);
  EXPECT_EQ(list.count, 64u);
  EXPECT_EQ(list.objects[63], a.obj);
  EXPECT_EQ(list.flags[63], 0);
  EXPECT_FALSE(D(a.obj)->recolorPlay);
  EXPECT_FALSE(D(a.obj)->animDone); // the next draw recolours

  DoMethod(a.obj, MUIM_ConfigItemChanged, CFG_RecolorRec, &list);
  EXPECT_EQ(list.count, 64u);

  // The path changes nothing now, so nothing needs a refresh.
  ScreenbarRefreshList empty{};
  DoMethod(a.obj, MUIM_ConfigItemChanged, CFG_RecordPath, &empty);
  EXPECT_EQ(empty.count, 0u);
}

TEST_F(PrefsTest, ANewPenSpecSwapsThePen) {
  Bar &a = MakeBar();
  ASSERT_TRUE(Setup(a));
  struct ColorMap *cm = platform::ScreenRenderInfo(a.scr)->mri_Colormap;
  LONG old = D(a.obj)->recPen;
  ASSERT_GE(old, 0);
  SetConfig(CFG_RecPen, reinterpret_cast<IPTR>("r0000ff"));
  ScreenbarRefreshList list{};
  DoMethod(a.obj, MUIM_ConfigItemChanged, CFG_RecPen, &list);
  const LONG now = D(a.obj)->recPen;
  EXPECT_EQ(platform::PenColor(cm, now), 0xFF0000FFu);
  // The old pen is let go: free, or reused for the new colour by us alone.
  ASSERT_EQ(platform::PenColor(cm, old) == 0xFFFF0000u, old != now);
  EXPECT_EQ(platform::PenUsers(cm, old), old == now ? 1u : 0u);
  EXPECT_EQ(list.count, 1u);
}

TEST_F(PrefsTest, MetaTitleOffKeepsTheWatchdogWhilePlaying) {
  Bar &a = MakeBar();
  ASSERT_TRUE(Setup(a));
  Object *out = MUI_NewObject(MUIC_Notify, TAG_DONE);
  g.Out = out;
  DoMethod(app, MUIM_Application_AddInputHandler, &g.timerIhn);
  g.timerAdded = 1;
  g.title.Set("Band X");

  SetConfig(CFG_ShowMetaTitle, 0);
  DoMethod(a.obj, MUIM_ConfigItemChanged, CFG_ShowMetaTitle, nullptr);
  EXPECT_FALSE(D(a.obj)->showMetaTitle);
  EXPECT_EQ(g.timerAdded.load(), 1);
  EXPECT_TRUE(g.title.IsSet());

  // On again while playing: restarted, the title fetched afresh.
  SetConfig(CFG_ShowMetaTitle, 1);
  DoMethod(a.obj, MUIM_ConfigItemChanged, CFG_ShowMetaTitle, nullptr);
  EXPECT_EQ(g.timerAdded.load(), 1);
  EXPECT_FALSE(g.title.IsSet());

  // Off with nothing playing or recording: the watchdog goes.
  g.Out = nullptr;
  g.title.Set("Old");
  SetConfig(CFG_ShowMetaTitle, 0);
  DoMethod(a.obj, MUIM_ConfigItemChanged, CFG_ShowMetaTitle, nullptr);
  EXPECT_EQ(g.timerAdded.load(), 0);
  EXPECT_FALSE(g.title.IsSet());
  MUI_DisposeObject(out);
}

TEST_F(PrefsTest, PanelRegistersItsGadgetsAndTiesPensToCheckmarks) {
  Bar &a = MakeBar();
  // Not set up yet: nothing to ask for updates.
  auto *panel = reinterpret_cast<Object *>(DoMethod(a.obj, MUIM_Screenbar_PrefsPanel));
  ASSERT_NE(panel, nullptr);
  auto gadgets = platform::PrefsGadgets(panel);
  ASSERT_EQ(gadgets.size(), 7u);
  const struct {
    ULONG id;
    ULONG attr;
  } want[] = {{CFG_RecordPath, MUIA_String_Contents}, {CFG_RecolorPlay, MUIA_Selected},
              {CFG_PlayPen, MUIA_Pendisplay_Spec},   {CFG_RecolorRec, MUIA_Selected},
              {CFG_RecPen, MUIA_Pendisplay_Spec},    {CFG_ShowMetaTitle, MUIA_Selected},
              {CFG_CheckUpdates, MUIA_Selected}};
  for (size_t i = 0; i < 7; ++i) {
    EXPECT_EQ(gadgets[i].id, want[i].id) << i;
    EXPECT_EQ(gadgets[i].attr, want[i].attr) << i;
    EXPECT_NE(gadgets[i].label, nullptr) << i;
  }
  Object *playCheck = gadgets[1].gadget, *playPen = gadgets[2].gadget, *recPen = gadgets[4].gadget;
  EXPECT_TRUE(xget(playPen, MUIA_Disabled));
  EXPECT_TRUE(xget(recPen, MUIA_Disabled));
  SetAttrs(playCheck, MUIA_Selected, TRUE);
  EXPECT_FALSE(xget(playPen, MUIA_Disabled));
  EXPECT_TRUE(xget(recPen, MUIA_Disabled));
  SetAttrs(playCheck, MUIA_Selected, FALSE);
  EXPECT_TRUE(xget(playPen, MUIA_Disabled));

  auto groups = platform::GroupChildren(panel);
  ASSERT_EQ(groups.size(), 4u);
  EXPECT_STREQ(reinterpret_cast<const char *>(xget(groups[0], MUIA_FrameTitle)), "Colors");
  EXPECT_STREQ(reinterpret_cast<const char *>(xget(groups[3], MUIA_FrameTitle)), "About");
  Object *about = platform::GroupChildren(groups[3]).at(0);
  EXPECT_TRUE(xget(about, MUIA_Disabled));
  MUI_DisposeObject(panel);

  // Set up: the About button asks for an update check.
  ASSERT_TRUE(Setup(a));
  panel = reinterpret_cast<Object *>(DoMethod(a.obj, MUIM_Screenbar_PrefsPanel));
  about = platform::GroupChildren(platform::GroupChildren(panel).at(3)).at(0);
  EXPECT_FALSE(xget(about, MUIA_Disabled));
  SetAttrs(a.obj, MUIA_UserData, 5);
  platform::AreaClick(about);
  EXPECT_EQ(xget(a.obj, MUIA_UserData), 0u);
  MUI_DisposeObject(panel);
}

} // namespace
} // namespace coretest
