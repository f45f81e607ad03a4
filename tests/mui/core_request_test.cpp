// Requesters, ASL requesters and pop-up menus through the display.
#include "core_helpers.h"

using namespace coretest;

namespace {

TEST(Request, ButtonNumbersCountFromOneAndTheLastIsZero) {
  ScriptedDisplay disp;
  DisplayScope scope(&disp);
  disp.requestAnswers = {0, 1, 2, -1};
  const char *buttons = "Yes!|No, import new entries...|*Cancel";
  EXPECT_EQ(MUI_Request(nullptr, nullptr, 0, "Melodune.sbar: Question", buttons, "Replace?"), 1);
  EXPECT_EQ(MUI_Request(nullptr, nullptr, 0, "Melodune.sbar: Question", buttons, "Replace?"), 2);
  EXPECT_EQ(MUI_Request(nullptr, nullptr, 0, "Melodune.sbar: Question", buttons, "Replace?"), 0);
  EXPECT_EQ(MUI_Request(nullptr, nullptr, 0, "Melodune.sbar: Question", buttons, "Replace?"), 0); // closed
  ASSERT_EQ(disp.requests.size(), 4u);
  auto &r = disp.requests[0];
  EXPECT_EQ(r.buttons, (std::vector<std::string>{"Yes!", "No, import new entries...", "Cancel"}));
  EXPECT_EQ(r.defaultButton, 2);
  EXPECT_FALSE(r.atPosition);
}

TEST(Request, FormatValuesAndMousePosition) {
  ScriptedDisplay disp;
  DisplayScope scope(&disp);
  ULONG flags = 0x80000000u + (300u << 16) + 12u;
  EXPECT_EQ(MUI_Request(nullptr, nullptr, flags, "Melodune.sbar: Warning", "Okay", "Error %ld: %s\n(%lD)", -3,
                        "No stream", 1101, 0, 0, 0),
            0);
  ASSERT_EQ(disp.requests.size(), 1u);
  auto &r = disp.requests[0];
  EXPECT_EQ(r.text, "Error -3: No stream\n(1101)");
  EXPECT_TRUE(r.atPosition);
  EXPECT_EQ(r.x, 300);
  EXPECT_EQ(r.y, 12);
}

TEST(Request, HeadlessAnswersTheDefaultAndLogsOneLine) {
  platform::SetDisplay(nullptr);
  testing::internal::CaptureStderr();
  LONG a = MUI_Request(nullptr, nullptr, 0, "Melodune.sbar: Question", "Yes|*No|Later", "\33cUpdate?\nNow");
  LONG b = MUI_Request(nullptr, nullptr, 0, "T", "Visit the homepage|Download & Install|Cancel", "x");
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(a, 2);
  EXPECT_EQ(b, 0); // nothing marked: the last button, the harmless one
  EXPECT_NE(err.find("Melodune.sbar: Question"), std::string::npos);
  EXPECT_NE(err.find("Update?\\nNow"), std::string::npos);
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 2);
}

TEST(Request, AWorkersRequesterNeverBlocksTheGuiTask) {
  ScriptedDisplay disp;
  DisplayScope scope(&disp);
  std::atomic<int> release{0};
  disp.onRequest = [&] {
    while (!release)
      platform::SleepMs(1);
  };
  LoopThread loop;
  Object *obj = NewRecorder();
  Rec().Take();
  std::atomic<LONG> answer{-1};
  std::thread worker([&] { answer = MUI_Request(loop.app, nullptr, 0, "W", "Okay", "x"); });
  for (int i = 0; i < 1000 && !disp.RequestCount(); i++)
    platform::SleepMs(1);
  DoMethod(loop.app, MUIM_Application_PushMethod, obj, 3, TM_Record, 1, 0);
  EXPECT_TRUE(Rec().WaitFor(1)); // the loop goes on meanwhile
  release = 1;
  worker.join();
  EXPECT_EQ(answer, 0);

  // A requester on the GUI task itself: pushes still run while it waits.
  release = 0;
  std::atomic<bool> done{false};
  platform::PostToApplication(loop.app, [&] {
    MUI_Request(loop.app, nullptr, 0, "G", "Okay", "y");
    done = true;
  });
  for (int i = 0; i < 1000 && disp.RequestCount() < 2; i++)
    platform::SleepMs(1);
  DoMethod(loop.app, MUIM_Application_PushMethod, obj, 3, TM_Record, 2, 0);
  EXPECT_TRUE(Rec().WaitFor(2));
  EXPECT_FALSE(done);
  release = 1;
  loop.Sync([] {});
  for (int i = 0; i < 1000 && !done; i++)
    platform::SleepMs(1);
  EXPECT_TRUE(done);
  loop.Sync([&] { MUI_DisposeObject(obj); });
}

TEST(Asl, ScriptedChoiceAndCancel) {
  ScriptedDisplay disp;
  DisplayScope scope(&disp);
  APTR req = MUI_AllocAslRequestTags(ASL_FileRequest, ASLFR_TitleText, "Select icon", ASLFR_InitialDrawer,
                                     "SYS:Data/Screenbar/Melodune/StationIcons", ASLFR_InitialPattern, "#?.png");
  ASSERT_NE(req, nullptr);
  disp.aslAnswer = platform::AslAnswer{"RAM:", "icon.png"};
  EXPECT_TRUE(MUI_AslRequestTags(req, ASLFR_DoSaveMode, TRUE));
  auto *fr = static_cast<FileRequester *>(req);
  EXPECT_STREQ(fr->fr_Drawer, "RAM:");
  EXPECT_STREQ(fr->fr_File, "icon.png");
  ASSERT_EQ(disp.asls.size(), 1u);
  EXPECT_EQ(disp.asls[0].title, "Select icon");
  EXPECT_EQ(disp.asls[0].pattern, "#?.png");
  EXPECT_TRUE(disp.asls[0].saveMode);
  disp.aslAnswer.reset();
  EXPECT_FALSE(MUI_AslRequest(req, nullptr));
  EXPECT_EQ(disp.asls[1].drawer, "RAM:"); // opens where the last choice was
  EXPECT_STREQ(fr->fr_File, "icon.png");  // a cancel keeps the old choice
  MUI_FreeAslRequest(req);
}

Object *Item(CONST_STRPTR title, IPTR udata, bool enabled = true) {
  return MUI_NewObject(MUIC_Menuitem, MUIA_Menuitem_Title, title, MUIA_UserData, udata, MUIA_Menuitem_Enabled, enabled);
}

const platform::MenuEntry *Find(const platform::MenuEntry &e, const std::string &title) {
  if (e.title == title) return &e;
  for (auto &c : e.children)
    if (auto *f = Find(c, title)) return f;
  return nullptr;
}

TEST(Menu, PopupReturnsTheChosenItemsUserData) {
  ScriptedDisplay disp;
  DisplayScope scope(&disp);
  Object *stations = MUI_NewObject(MUIC_Menu, MUIA_Menu_Title, "Rock", MUIA_Family_Child, Item("Rock FM", 7),
                                   MUIA_Family_Child, Item("Classic", 8));
  Object *strip = MUI_NewObject(MUIC_Menustrip, MUIA_Family_Child,
                                MUI_NewObject(MUIC_Menu, MUIA_Menu_Title, "Melodune", MUIA_Family_Child,
                                              Item("Stop", 1, false), MUIA_Family_Child, Item("Edit Stations...", 4),
                                              MUIA_Family_Child, Item(NM_BARLABEL, 0), MUIA_Family_Child, stations));
  ASSERT_NE(strip, nullptr);
  std::string pick;
  disp.menuChoice = [&](const platform::MenuEntry &root) -> Object * {
    auto *e = Find(root, pick);
    return e ? e->object : nullptr;
  };
  pick = "Classic";
  EXPECT_EQ(DoMethod(strip, MUIM_Menustrip_Popup, nullptr, 0, 10, 20), 8u);
  pick = "Edit Stations...";
  EXPECT_EQ(DoMethod(strip, MUIM_Menustrip_Popup, nullptr, 0, 10, 20), 4u);
  pick = "Stop"; // disabled
  EXPECT_EQ(DoMethod(strip, MUIM_Menustrip_Popup, nullptr, 0, 10, 20), 0u);
  pick = "nothing"; // cancelled
  EXPECT_EQ(DoMethod(strip, MUIM_Menustrip_Popup, nullptr, 0, 10, 20), 0u);
  SetAttrs(stations, MUIA_Menu_Enabled, FALSE); // a disabled submenu disables its items
  pick = "Rock FM";
  EXPECT_EQ(DoMethod(strip, MUIM_Menustrip_Popup, nullptr, 0, 10, 20), 0u);
  // What the display saw.
  const platform::MenuEntry &seen = disp.menus.back();
  EXPECT_EQ(seen.kind, platform::MenuEntry::Strip);
  ASSERT_EQ(seen.children.size(), 1u);
  auto &menu = seen.children[0];
  ASSERT_EQ(menu.children.size(), 4u);
  EXPECT_FALSE(menu.children[0].enabled);
  EXPECT_EQ(menu.children[2].kind, platform::MenuEntry::Bar);
  EXPECT_EQ(menu.children[3].kind, platform::MenuEntry::Menu);
  EXPECT_FALSE(menu.children[3].children[0].enabled);
  platform::SetDisplay(nullptr);
  EXPECT_EQ(DoMethod(strip, MUIM_Menustrip_Popup, nullptr, 0, 10, 20), 0u); // headless
  MUI_DisposeObject(strip);
}

} // namespace
