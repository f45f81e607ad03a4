// Lists and trees as a display drives them: the format with hidden columns,
// rows by range with a revision that refuses stale input, keys, drag-sort,
// the Listtree hooks; context menus, repeat buttons, window places.
#include <gtest/gtest.h>

#include <filesystem>

#include "core_helpers.h"
#include "dos/dos.h"
#include "exec/clock.h"
#include "mui/mui.h"
#include "support/clock_rate.h"
#include "support/temp_root.h"

using namespace coretest;

namespace {

int gDisplayed = 0;
IPTR EightColumns(struct Hook *, APTR array, APTR entry) {
  auto **cols = static_cast<STRPTR *>(array);
  static char texts[8][16];
  for (int c = 0; c < 8; ++c) {
    if (entry) std::snprintf(texts[c], sizeof texts[c], "%s.%d", static_cast<char *>(entry), c);
    else std::snprintf(texts[c], sizeof texts[c], "T%d", c);
    cols[c] = texts[c];
  }
  if (entry) ++gDisplayed;
  return 0;
}

TEST(ListFormat, ParsesOptionsAndHidesColumns) {
  auto f = platform::ParseListFormat("BAR S,BAR S H,P=\33r COL=3 W=50,bar h s");
  ASSERT_EQ(f.size(), 4u);
  EXPECT_TRUE(f[0].bar && f[0].sortable && !f[0].hidden);
  EXPECT_TRUE(f[1].hidden);
  EXPECT_EQ(f[2].preparse, "\33r");
  EXPECT_EQ(f[2].source, 3);
  EXPECT_EQ(f[2].weight, 50);
  EXPECT_TRUE(f[3].bar && f[3].hidden && f[3].sortable); // options in any case
  EXPECT_EQ(platform::ParseListFormat(nullptr).size(), 1u);
  EXPECT_EQ(platform::ParseListFormat("COL=99999999999").front().source, 0); // nonsense stays in range
}

TEST(ListRows, RangesShowOnlyShownColumnsAndRunTheHookForThoseRowsOnly) {
  struct Hook display {};
  display.h_Entry = EightColumns;
  Object *list = MUI_NewObject(MUIC_List, MUIA_List_Format, "BAR,BAR H,BAR,BAR,BAR,BAR,BAR H S,BAR H S", MUIA_List_Title,
                               TRUE, MUIA_List_DisplayHook, &display, MUIA_List_ConstructHook, MUIV_List_ConstructHook_String,
                               MUIA_List_DestructHook, MUIV_List_DestructHook_String);
  SetAttrs(list, MUIA_List_Quiet, TRUE);
  char name[16];
  for (int i = 0; i < 1000; ++i) {
    std::snprintf(name, sizeof name, "r%d", i);
    DoMethod(list, MUIM_List_InsertSingle, name, MUIV_List_Insert_Bottom);
  }
  SetAttrs(list, MUIA_List_Quiet, FALSE);
  platform::ListState st;
  ASSERT_TRUE(platform::GetListState(list, st));
  EXPECT_EQ(st.entries, 1000);
  EXPECT_EQ(st.titles, (std::vector<std::string>{"T0", "T2", "T3", "T4", "T5"}));
  gDisplayed = 0;
  auto rows = platform::ListRowRange(list, 998, 50);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1].cells, (std::vector<std::string>{"r999.0", "r999.2", "r999.3", "r999.4", "r999.5"}));
  EXPECT_EQ(gDisplayed, 2);
  // A row the person saw before ten inserts above it is refused.
  uint32_t seen = st.revision;
  for (int i = 0; i < 10; ++i) DoMethod(list, MUIM_List_InsertSingle, "new", MUIV_List_Insert_Top);
  EXPECT_FALSE(platform::ListActivateRow(list, 5, seen, false));
  EXPECT_EQ(Get(list, MUIA_List_Active), static_cast<IPTR>(MUIV_List_Active_Off));
  ASSERT_TRUE(platform::GetListState(list, st));
  EXPECT_TRUE(platform::ListActivateRow(list, 5, st.revision, false));
  EXPECT_EQ(Get(list, MUIA_List_Active), 5u);
  MUI_DisposeObject(list);
}

TEST(ListRows, KeysJumpAndDragSortMoveTheActiveEntry) {
  Object *list = MUI_NewObject(MUIC_List, MUIA_List_ConstructHook, MUIV_List_ConstructHook_String, MUIA_List_DestructHook,
                               MUIV_List_DestructHook_String, MUIA_List_DragSortable, TRUE);
  for (const char *e : {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l"})
    DoMethod(list, MUIM_List_InsertSingle, e, MUIV_List_Insert_Bottom);
  platform::ListShown(list, 0, 4);
  EXPECT_EQ(Get(list, MUIA_List_Visible), 4u);
  EXPECT_TRUE(platform::ListKeyPress(list, platform::ListKey::Bottom));
  EXPECT_EQ(Get(list, MUIA_List_Active), 11u);
  EXPECT_EQ(Get(list, MUIA_List_First), 8u); // scrolled to show it
  EXPECT_TRUE(platform::ListKeyPress(list, platform::ListKey::PageUp));
  EXPECT_EQ(Get(list, MUIA_List_Active), 8u);
  DoMethod(list, MUIM_List_Jump, 0);
  EXPECT_EQ(Get(list, MUIA_List_First), 0u);
  platform::ListState st;
  platform::GetListState(list, st);
  // "a" dropped after "c": b c a d ...; the moved entry is active.
  EXPECT_TRUE(platform::ListDropRow(list, 0, 2, platform::DropPlace::After, st.revision));
  auto rows = platform::ListRowRange(list, 0, 4);
  EXPECT_EQ(rows[2].cells[0], "a");
  EXPECT_EQ(Get(list, MUIA_List_Active), 2u);
  EXPECT_FALSE(platform::ListDropRow(list, 0, 2, platform::DropPlace::After, st.revision)); // stale
  MUI_DisposeObject(list);
}

std::vector<std::string> gHooks;
IPTR OpenHook(struct Hook *, APTR, APTR node) {
  gHooks.push_back(std::string("open ") + static_cast<MUIS_Listtree_TreeNode *>(node)->tn_Name);
  return 0;
}
IPTR CloseHook(struct Hook *, APTR, APTR node) {
  gHooks.push_back(std::string("close ") + static_cast<MUIS_Listtree_TreeNode *>(node)->tn_Name);
  return 0;
}
IPTR ReverseSort(struct Hook *, APTR, APTR msg) {
  auto **n = static_cast<MUIS_Listtree_TreeNode **>(msg);
  return static_cast<IPTR>(static_cast<SIPTR>(-std::strcmp(n[0]->tn_Name, n[1]->tn_Name)));
}

TEST(TreeRows, DropIntoAGroupMovesOpensAndActivatesWithTheHooks) {
  struct Hook open {}, close {}, sort {};
  open.h_Entry = OpenHook;
  close.h_Entry = CloseHook;
  sort.h_Entry = ReverseSort;
  Object *tree = MUI_NewObject(MUIC_Listtree, MUIA_Listtree_OpenHook, &open, MUIA_Listtree_CloseHook, &close,
                               MUIA_Listtree_SortHook, &sort);
  Object *recorder = NewRecorder();
  DoMethod(tree, MUIM_Notify, MUIA_Listtree_Active, MUIV_EveryTime, recorder, 3, TM_Record, MUIV_TriggerValue, 0);
  auto insert = [&](const char *name, APTR list, IPTR flags) {
    return reinterpret_cast<APTR>(DoMethod(tree, MUIM_Listtree_Insert, name, nullptr, list, MUIV_Listtree_Insert_PrevNode_Sorted, flags));
  };
  APTR rock = insert("Rock", nullptr, TNF_LIST);
  insert("Alpha", nullptr, 0);
  insert("Zeta", nullptr, 0);
  // The sort hook orders: Zeta, Rock, Alpha.
  auto names = [&] {
    std::vector<std::string> v;
    for (auto &r : platform::ListRowRange(tree, 0, 100)) v.push_back(r.cells[0] + "@" + std::to_string(r.level));
    return v;
  };
  EXPECT_EQ(names(), (std::vector<std::string>{"Zeta@1", "Rock@1", "Alpha@1"}));
  platform::ListState st;
  platform::GetListState(tree, st);
  EXPECT_FALSE(platform::ListDropRow(tree, 0, 1, platform::DropPlace::Into, st.revision)); // drag-sort is off
  SetAttrs(tree, MUIA_Listtree_DragDropSort, TRUE);
  Rec().Take();
  EXPECT_TRUE(platform::ListDropRow(tree, 0, 1, platform::DropPlace::Into, st.revision));
  EXPECT_EQ(names(), (std::vector<std::string>{"Rock@1", "Zeta@2", "Alpha@1"}));
  EXPECT_EQ(gHooks, (std::vector<std::string>{"open Rock"}));
  auto calls = Rec().Take();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_STREQ(reinterpret_cast<MUIS_Listtree_TreeNode *>(calls[0].a)->tn_Name, "Zeta");
  // A group cannot go into itself; the close key closes it and its hook hears.
  platform::GetListState(tree, st);
  EXPECT_FALSE(platform::ListDropRow(tree, 0, 1, platform::DropPlace::Into, st.revision));
  SetAttrs(tree, MUIA_Listtree_Active, rock);
  EXPECT_TRUE(platform::ListKeyPress(tree, platform::ListKey::Collapse));
  EXPECT_EQ(gHooks.back(), "close Rock");
  MUI_DisposeObject(tree);
  MUI_DisposeObject(recorder);
}

TEST(ContextMenu, BuildAnswersTheMenuAndChoiceTriggersTheItem) {
  Object *item = MUI_NewObject(MUIC_Menuitem, MUIA_Menuitem_Title, "Copy", MUIA_UserData, 2);
  Object *menu = MUI_NewObject(MUIC_Menu, MUIA_Menu_Title, "Titles");
  DoMethod(menu, MUIM_Family_AddTail, item);
  Object *strip = MUI_NewObject(MUIC_Menustrip);
  DoMethod(strip, MUIM_Family_AddTail, menu);
  Object *text = MUI_NewObject(MUIC_Text, MUIA_ContextMenu, strip);
  Object *recorder = NewRecorder();
  DoMethod(text, MUIM_Notify, MUIA_ContextMenuTrigger, MUIV_EveryTime, recorder, 3, TM_Record, MUIV_TriggerValue, 0);
  EXPECT_EQ(DoMethod(text, MUIM_ContextMenuBuild, 5, 5), reinterpret_cast<IPTR>(strip));
  Rec().Take();
  DoMethod(text, MUIM_ContextMenuChoice, item);
  auto calls = Rec().Take();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(Get(reinterpret_cast<Object *>(calls[0].a), MUIA_UserData), 2u);
  MUI_DisposeObject(text);
  MUI_DisposeObject(strip);
  MUI_DisposeObject(recorder);
}

TEST(RepeatButton, HeldRelverifyCountsTheTimerUpUntilReleased) {
  LoopThread loop;
  // Slow enough that a loaded machine's scheduling delay (tens of ms) stays
  // well under one repeat step.
  const testsupport::ClockRate rate(4.0);
  Object *button = nullptr, *win = nullptr, *recorder = nullptr;
  loop.Sync([&] {
    button = MUI_MakeObject(MUIO_Button, "Up");
    win = MUI_NewObject(MUIC_Window, MUIA_Window_RootObject, MUI_NewObject(MUIC_Group, Child, button));
    DoMethod(loop.app, OM_ADDMEMBER, win);
    recorder = NewRecorder();
    DoMethod(button, MUIM_Notify, MUIA_Timer, MUIV_EveryTime, recorder, 3, TM_Record, MUIV_TriggerValue, 0);
    Rec().Take();
    platform::AreaPress(button);
  });
  // A held second of platform time: the first step at once, then repeats.
  uint64_t until = platform::ClockNowMs() + 1000;
  while (platform::ClockNowMs() < until) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  loop.Sync([&] { platform::AreaRelease(button, true); });
  size_t held = Rec().Take().size();
  EXPECT_GE(held, 4u);
  EXPECT_LE(held, 10u);
  until = platform::ClockNowMs() + 500;
  while (platform::ClockNowMs() < until) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  EXPECT_EQ(Rec().Take().size(), 0u);
  loop.Sync([&] {
    DoMethod(loop.app, OM_REMMEMBER, win);
    MUI_DisposeObject(win);
    MUI_DisposeObject(recorder);
  });
}

TEST(WindowPlace, AWindowWithAnIdentifierReopensWhereThePersonLeftIt) {
  const testsupport::TempRoot tmp("mui-geom");
  std::filesystem::create_directories(tmp / "ENVARC");
  ASSERT_TRUE(platform::SetDosRoot(tmp.path()));
  LoopThread loop;
  auto make = [&] {
    Object *w = MUI_NewObject(MUIC_Window, MUIA_Window_ID, 0x4D444348, MUIA_Window_RootObject,
                              MUI_NewObject(MUIC_Group, Child, MUI_NewObject(MUIC_Rectangle)));
    DoMethod(loop.app, OM_ADDMEMBER, w);
    return w;
  };
  loop.Sync([&] {
    Object *w = make();
    SetAttrs(w, MUIA_Window_Open, TRUE);
    platform::InputWindowBox(w, 120, 80, 400, 300);
  });
  loop.Sync([&] {}); // the input ran
  Object *again = nullptr;
  loop.Sync([&] {
    again = make(); // as after a restart: a new window object with the same identifier
    SetAttrs(again, MUIA_Window_Open, TRUE);
    EXPECT_EQ(Get(again, MUIA_Window_LeftEdge), 120u);
    EXPECT_EQ(Get(again, MUIA_Window_Width), 400u);
  });
}

} // namespace
