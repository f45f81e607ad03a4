// List.mui: hooks, positions, the active entry and the title row.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mui/mui.h"
#include "mui/render.h"

namespace {

struct Pair {
  std::string name, value;
};

int gMade = 0, gFreed = 0;
std::vector<LONG> gRowNumbers;

IPTR Construct(struct Hook *, APTR, APTR entry) {
  auto *src = static_cast<const char *const *>(entry);
  if (!src[0]) return 0; // refuses entries without a name
  ++gMade;
  return reinterpret_cast<IPTR>(new Pair{src[0], src[1] ? src[1] : ""});
}
IPTR Destruct(struct Hook *, APTR, APTR entry) {
  ++gFreed;
  delete static_cast<Pair *>(entry);
  return 0;
}
IPTR Display(struct Hook *, APTR array, APTR entry) {
  auto **cols = static_cast<STRPTR *>(array);
  if (!entry) {
    cols[0] = const_cast<STRPTR>("Attr");
    cols[1] = const_cast<STRPTR>("Value");
    return 0;
  }
  gRowNumbers.push_back(static_cast<LONG>(reinterpret_cast<SIPTR>(cols[-1])));
  auto *p = static_cast<Pair *>(entry);
  cols[0] = const_cast<STRPTR>(p->name.c_str());
  cols[1] = const_cast<STRPTR>(p->value.c_str());
  return 0;
}
IPTR CompareByName(struct Hook *, APTR e2, APTR e1) {
  return static_cast<IPTR>(static_cast<SIPTR>(static_cast<Pair *>(e1)->name.compare(static_cast<Pair *>(e2)->name)));
}

class ListTest : public ::testing::Test {
protected:
  void SetUp() override {
    gMade = gFreed = 0;
    gRowNumbers.clear();
    construct.h_Entry = Construct;
    destruct.h_Entry = Destruct;
    display.h_Entry = Display;
    compare.h_Entry = CompareByName;
    list = MUI_NewObject(MUIC_List, MUIA_List_ConstructHook, &construct, MUIA_List_DestructHook, &destruct,
                         MUIA_List_DisplayHook, &display, MUIA_List_CompareHook, &compare, MUIA_List_Format, "BAR,BAR",
                         MUIA_List_Title, TRUE);
    ASSERT_NE(list, nullptr);
  }
  void TearDown() override { MUI_DisposeObject(list); }
  LONG Insert(const char *name, const char *value, SIPTR pos) {
    const char *pair[] = {name, value};
    return static_cast<LONG>(static_cast<SIPTR>(DoMethod(list, MUIM_List_InsertSingle, pair, pos)));
  }
  std::vector<std::string> Names() {
    std::vector<std::string> out;
    for (LONG i = 0;; ++i) {
      APTR e = nullptr;
      DoMethod(list, MUIM_List_GetEntry, i, &e);
      if (!e) break;
      out.push_back(static_cast<Pair *>(e)->name);
    }
    return out;
  }
  LONG Active() {
    IPTR v = 0;
    GetAttr(MUIA_List_Active, list, &v);
    return static_cast<LONG>(static_cast<SIPTR>(v));
  }
  struct Hook construct{}, destruct{}, display{}, compare{};
  Object *list = nullptr;
};

TEST_F(ListTest, InsertPositionsAndConstructRefusal) {
  EXPECT_EQ(Insert("b", "2", MUIV_List_Insert_Bottom), 0);
  EXPECT_EQ(Insert("a", "1", MUIV_List_Insert_Top), 0);
  EXPECT_EQ(Insert("d", "4", MUIV_List_Insert_Bottom), 2);
  EXPECT_EQ(Insert("c", "3", MUIV_List_Insert_Sorted), 2);
  EXPECT_EQ(Names(), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(Insert(nullptr, "x", MUIV_List_Insert_Bottom), -1);
  IPTR n = 0;
  GetAttr(MUIA_List_Entries, list, &n);
  EXPECT_EQ(n, 4u);
  EXPECT_EQ(gMade, 4);
}

TEST_F(ListTest, ActiveEntryFollowsChangesAndIsAnnounced) {
  Object *mirror = MUI_NewObject(MUIC_Notify);
  ASSERT_NE(mirror, nullptr);
  DoMethod(list, MUIM_Notify, MUIA_List_Active, MUIV_EveryTime, mirror, 3, MUIM_Set, MUIA_UserData, MUIV_TriggerValue);
  for (const char *s : {"a", "b", "c"}) Insert(s, "", MUIV_List_Insert_Bottom);
  SetAttrs(list, MUIA_List_Active, MUIV_List_Active_Bottom);
  EXPECT_EQ(Active(), 2);
  IPTR seen = 0;
  GetAttr(MUIA_UserData, mirror, &seen);
  EXPECT_EQ(seen, 2u);
  APTR e = nullptr;
  DoMethod(list, MUIM_List_GetEntry, MUIV_List_GetEntry_Active, &e);
  EXPECT_EQ(static_cast<Pair *>(e)->name, "c");
  Insert("first", "", MUIV_List_Insert_Top); // the same entry stays active
  EXPECT_EQ(Active(), 3);
  SetAttrs(list, MUIA_List_Active, 99); // out of range: none
  EXPECT_EQ(Active(), MUIV_List_Active_Off);
  SetAttrs(list, MUIA_List_Active, 1);
  DoMethod(list, MUIM_List_Remove, MUIV_List_Remove_Active);
  EXPECT_EQ(Active(), MUIV_List_Active_Off);
  GetAttr(MUIA_UserData, mirror, &seen);
  EXPECT_EQ(static_cast<LONG>(static_cast<SIPTR>(seen)), MUIV_List_Active_Off);
  MUI_DisposeObject(mirror);
}

TEST_F(ListTest, ClearAndDisposeFreeEveryEntry) {
  for (const char *s : {"a", "b", "c"}) Insert(s, "", MUIV_List_Insert_Bottom);
  SetAttrs(list, MUIA_List_Active, 0);
  DoMethod(list, MUIM_List_Clear);
  EXPECT_EQ(gFreed, 3);
  EXPECT_EQ(Active(), MUIV_List_Active_Off);
  Insert("d", "", MUIV_List_Insert_Bottom);
  MUI_DisposeObject(list);
  list = nullptr;
  EXPECT_EQ(gFreed, gMade);
}

TEST_F(ListTest, RowsComeFromTheDisplayHookWithTitleAndRowNumbers) {
  Insert("Content-Type", "audio/mpeg", MUIV_List_Insert_Bottom);
  Insert("icy-br", "128", MUIV_List_Insert_Bottom);
  bool title = false;
  auto rows = platform::ListRows(list, &title);
  EXPECT_TRUE(title);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"Attr", "Value"}));
  EXPECT_EQ(rows[2], (std::vector<std::string>{"icy-br", "128"}));
  EXPECT_EQ(gRowNumbers, (std::vector<LONG>{0, 1}));
}

TEST(ListStrings, StringHooksCopyAndQuietDefersLayout) {
  Object *list = MUI_NewObject(MUIC_List, MUIA_List_ConstructHook, MUIV_List_ConstructHook_String, MUIA_List_DestructHook,
                               MUIV_List_DestructHook_String);
  ASSERT_NE(list, nullptr);
  int layouts = 0;
  platform::SetLayoutListener([&](Object *o) { layouts += o == list; });
  char text[] = "Station: Title";
  SetAttrs(list, MUIA_List_Quiet, TRUE);
  DoMethod(list, MUIM_List_InsertSingle, text, MUIV_List_Insert_Bottom);
  DoMethod(list, MUIM_List_InsertSingle, "second", MUIV_List_Insert_Top);
  EXPECT_EQ(layouts, 0);
  SetAttrs(list, MUIA_List_Quiet, FALSE);
  EXPECT_EQ(layouts, 1);
  platform::SetLayoutListener(nullptr);
  text[0] = 'X';
  auto rows = platform::ListRows(list);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][0], "second");
  EXPECT_EQ(rows[1][0], "Station: Title");
  MUI_DisposeObject(list);
}

} // namespace
