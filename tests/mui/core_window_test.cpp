// Windows, event handler nodes, bubbles and short help.
#include "core_helpers.h"

using namespace coretest;

namespace {

TEST(Window, OpensOnlyInAnApplicationAndTellsTheDisplay) {
  ScriptedDisplay disp;
  DisplayScope scope(&disp);
  Object *win = MUI_NewObject(MUIC_Window, MUIA_Window_Title, "Melodune: Edit Stations", MUIA_Window_ID, 0x4D444348,
                              MUIA_Window_Width, MUIV_Window_Width_Visible(40), MUIA_Window_Height,
                              MUIV_Window_Height_Visible(30), MUIA_Window_Screen, reinterpret_cast<APTR>(0x1234),
                              MUIA_Window_RootObject, NewRecorder());
  ASSERT_NE(win, nullptr);
  Rec().Take();
  DoMethod(win, MUIM_Notify, MUIA_Window_Open, MUIV_EveryTime, MUIV_Notify_Self, 3, MUIM_Set, MUIA_UserData,
           MUIV_TriggerValue);
  SetAttrs(win, MUIA_UserData, 77);
  SetAttrs(win, MUIA_Window_Open, TRUE); // no application: refused, not announced
  EXPECT_EQ(Get(win, MUIA_Window_Open), 0u);
  EXPECT_EQ(Get(win, MUIA_UserData), 77u);
  EXPECT_EQ(Get(win, MUIA_Window_Screen), 0u); // closed: no screen
  Object *app = MUI_NewObject(MUIC_Application, TAG_DONE);
  DoMethod(app, OM_ADDMEMBER, win);
  SetAttrs(win, MUIA_Window_Open, TRUE);
  EXPECT_EQ(Get(win, MUIA_Window_Open), 1u);
  EXPECT_EQ(Get(win, MUIA_UserData), 1u);
  EXPECT_EQ(Get(win, MUIA_Window_Screen), 0x1234u);
  EXPECT_STREQ(reinterpret_cast<CONST_STRPTR>(Get(win, MUIA_Window_Title)), "Melodune: Edit Stations");
  EXPECT_EQ(platform::WindowDimension(static_cast<LONG>(Get(win, MUIA_Window_Width)), 1000, 1200, 100, 0, 300), 400);
  EXPECT_EQ(platform::WindowDimension(static_cast<LONG>(Get(win, MUIA_Window_Height)), 700, 800, 100, 0, 300), 210);
  DoMethod(app, OM_REMMEMBER, win); // closes it
  EXPECT_EQ(Get(win, MUIA_Window_Open), 0u);
  EXPECT_EQ(disp.Events(), (std::vector<std::string>{"open", "close"}));
  MUI_DisposeObject(win);
  MUI_DisposeObject(app);
}

TEST(Window, SleepNestsAndCloseRequestIsAnnounced) {
  LoopThread loop;
  Object *win = MUI_NewObject(MUIC_Window, MUIA_Window_RootObject, NewRecorder());
  loop.Sync([&] {
    DoMethod(loop.app, OM_ADDMEMBER, win);
    DoMethod(win, MUIM_Notify, MUIA_Window_CloseRequest, TRUE, MUIV_Notify_Self, 3, MUIM_Set, MUIA_Window_Open, FALSE);
    SetAttrs(win, MUIA_Window_Open, TRUE);
    SetAttrs(win, MUIA_Window_Sleep, TRUE);
    SetAttrs(win, MUIA_Window_Sleep, TRUE);
    SetAttrs(win, MUIA_Window_Sleep, FALSE);
    EXPECT_EQ(Get(win, MUIA_Window_Sleep), 1u);
    SetAttrs(win, MUIA_Window_Sleep, FALSE);
    SetAttrs(win, MUIA_Window_Sleep, FALSE); // more wakes than sleeps do not go below awake
    SetAttrs(win, MUIA_Window_Sleep, TRUE);
    EXPECT_EQ(Get(win, MUIA_Window_Sleep), 1u);
    SetAttrs(win, MUIA_Window_Sleep, FALSE);
    EXPECT_EQ(Get(win, MUIA_Window_Sleep), 0u);
  });
  platform::InputCloseWindow(win);
  loop.Sync([] {});
  loop.Sync([&] { EXPECT_EQ(Get(win, MUIA_Window_Open), 0u); });
  // Stale input for a disposed window is dropped on the GUI task.
  loop.Sync([&] {
    DoMethod(loop.app, OM_REMMEMBER, win);
    MUI_DisposeObject(win);
  });
  platform::InputCloseWindow(win);
  loop.Sync([] {});
}

struct Handled {
  std::vector<std::string> seen;
};
Handled g_handled;

IPTR EventOwner(struct IClass *cl, Object *obj, Msg msg) {
  if (msg->MethodID == MUIM_HandleEvent) {
    auto *m = reinterpret_cast<MUIP_HandleEvent *>(msg);
    IPTR eat = 0;
    GetAttr(TA_Value, obj, &eat);
    g_handled.seen.push_back(std::to_string(eat) + ":" + std::to_string(m->imsg->Code) + "@" +
                             std::to_string(m->imsg->MouseX) + "," + std::to_string(m->imsg->MouseY));
    return eat ? MUI_EventHandlerRC_Eat : 0;
  }
  return DoSuperMethodA(cl, obj, msg);
}

TEST(Window, EventHandlersByPriorityUntilOneEats) {
  LoopThread loop;
  struct MUI_CustomClass *mcc = MUI_CreateCustomClass(nullptr, nullptr, RecorderClass(), 8, EventOwner);
  Object *low = NewObject(mcc->mcc_Class, nullptr, TA_Value, 0);
  Object *eater = NewObject(mcc->mcc_Class, nullptr, TA_Value, 1);
  Object *high = NewObject(mcc->mcc_Class, nullptr, TA_Value, 0);
  Object *win = MUI_NewObject(MUIC_Window, MUIA_Window_RootObject, NewRecorder());
  struct MUI_EventHandlerNode e1 {
  }, e2{}, e3{};
  e1.ehn_Priority = -1, e1.ehn_Object = low, e1.ehn_Events = IDCMP_MOUSEBUTTONS;
  e2.ehn_Priority = 0, e2.ehn_Object = eater, e2.ehn_Class = mcc->mcc_Class, e2.ehn_Flags = MUI_EHF_GUIMODE,
  e2.ehn_Events = IDCMP_MOUSEBUTTONS;
  e3.ehn_Priority = 5, e3.ehn_Object = high, e3.ehn_Events = IDCMP_MOUSEBUTTONS;
  loop.Sync([&] {
    DoMethod(loop.app, OM_ADDMEMBER, win);
    DoMethod(win, MUIM_Window_AddEventHandler, &e1);
    DoMethod(win, MUIM_Window_AddEventHandler, &e2);
    DoMethod(win, MUIM_Window_AddEventHandler, &e3);
  });
  EXPECT_TRUE(e2.ehn_Flags & MUI_EHF_ISENABLED);
  platform::InputMouseButton(win, MENUDOWN, 5, 7);
  loop.Sync([] {});
  EXPECT_EQ(g_handled.seen, (std::vector<std::string>{"0:105@5,7", "1:105@5,7"}));
  g_handled.seen.clear();
  loop.Sync([&] { DoMethod(win, MUIM_Window_RemEventHandler, &e2); });
  EXPECT_FALSE(e2.ehn_Flags & MUI_EHF_ISENABLED);
  // Any object of the window will do.
  platform::InputMouseButton(reinterpret_cast<Object *>(Get(win, MUIA_Window_RootObject)), SELECTDOWN, 1, 2);
  loop.Sync([] {});
  EXPECT_EQ(g_handled.seen.size(), 2u);
  // A handler's object disposed without removing its node: the node goes.
  g_handled.seen.clear();
  loop.Sync([&] { MUI_DisposeObject(high); });
  platform::InputMouseButton(win, SELECTDOWN, 1, 2);
  loop.Sync([] {});
  EXPECT_EQ(g_handled.seen, (std::vector<std::string>{"0:104@1,2"}));
  loop.Sync([&] {
    DoMethod(loop.app, OM_REMMEMBER, win);
    MUI_DisposeObject(win);
    MUI_DisposeObject(low);
    MUI_DisposeObject(eater);
  });
  EXPECT_TRUE(MUI_DeleteCustomClass(mcc));
}

IPTR HelpOwner(struct IClass *cl, Object *obj, Msg msg) {
  if (msg->MethodID == MUIM_CreateShortHelp) {
    auto *m = reinterpret_cast<MUIP_CreateShortHelp *>(msg);
    std::string s = "Playing at " + std::to_string(m->mx);
    return reinterpret_cast<IPTR>(strdup(s.c_str()));
  }
  if (msg->MethodID == MUIM_DeleteShortHelp) {
    free(reinterpret_cast<MUIP_DeleteShortHelp *>(msg)->help);
    Rec().Add({obj, MUIM_DeleteShortHelp, 0, 0, ""});
    return 0;
  }
  return DoSuperMethodA(cl, obj, msg);
}

TEST(Bubble, CreateDeleteOnceAndWithTheObject) {
  ScriptedDisplay disp;
  DisplayScope scope(&disp);
  Object *obj = NewRecorder();
  APTR b1 = reinterpret_cast<APTR>(DoMethod(obj, MUIM_CreateBubble, 10, 22, "\33cConnecting to\nRock FM", 0));
  ASSERT_NE(b1, nullptr);
  // From a worker, as the connection slave does.
  APTR b2 = nullptr;
  std::thread([&] { b2 = reinterpret_cast<APTR>(DoMethod(obj, MUIM_CreateBubble, 10, 22, "Title", 0)); }).join();
  DoMethod(obj, MUIM_DeleteBubble, b1);
  DoMethod(obj, MUIM_DeleteBubble, b1); // twice: nothing more happens
  MUI_DisposeObject(obj);               // takes b2 with it
  DoMethod(obj = NewRecorder(), MUIM_DeleteBubble, b2);
  EXPECT_EQ(disp.Events(), (std::vector<std::string>{"bubble+ 10,22 \33cConnecting to\nRock FM", "bubble+ 10,22 Title",
                                                     "bubble-", "bubble-"}));
  MUI_DisposeObject(obj);
}

TEST(Bubble, ShortHelpRoundTrip) {
  ScriptedDisplay disp;
  DisplayScope scope(&disp);
  LoopThread loop;
  Rec().Take();
  struct MUI_CustomClass *mcc = MUI_CreateCustomClass(nullptr, MUIC_Notify, nullptr, 8, HelpOwner);
  Object *obj = NewObject(mcc->mcc_Class, nullptr, TAG_DONE);
  platform::InputShowShortHelp(obj, 3, 4);
  platform::InputHideShortHelp(obj);
  loop.Sync([] {});
  EXPECT_EQ(disp.Events(), (std::vector<std::string>{"help+ Playing at 3", "help-"}));
  EXPECT_EQ(Rec().Take().size(), 1u); // handed back once
  loop.Sync([&] { MUI_DisposeObject(obj); });
  EXPECT_TRUE(MUI_DeleteCustomClass(mcc));
}

} // namespace
