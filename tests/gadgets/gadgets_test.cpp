// The gadget helpers: shortcuts, labels tied to checkmarks, safe reads,
// configuration items, the path field and menu enabling.
#include <gtest/gtest.h>

#include <string>

#include "gadgets/gadgets.h"

namespace {

std::string Str(Object *o, IPTR attr) {
  auto *s = reinterpret_cast<const char *>(xget(o, attr));
  return s ? s : "";
}

TEST(Gadgets, ControlCharIsTheLetterAfterTheFirstUnderscore) {
  EXPECT_EQ(ControlChar("_Update"), 'u');
  EXPECT_EQ(ControlChar("Searc_h..."), 'h');
  EXPECT_EQ(ControlChar("Path:"), 0);
  EXPECT_EQ(ControlChar(nullptr), 0);
  EXPECT_EQ(ControlChar("trailing_"), 0);
  EXPECT_EQ(ControlChar("_\xC4nderung"), '\xE4'); // Latin-1 capitals too
}

TEST(Gadgets, XgetAnswersZeroForMarkerNullAndUnknown) {
  EXPECT_EQ(xget(XGET_MARKER, MUIA_Selected), 0u); // never dereferenced
  EXPECT_EQ(xget(nullptr, MUIA_Selected), 0u);
  Object *o = MUI_NewObject(MUIC_Text, MUIA_Text_Contents, "x", MUIA_UserData, 7);
  EXPECT_EQ(xget(o, MUIA_UserData), 7u);
  EXPECT_EQ(xget(o, 0x80001111), 0u);
  MUI_DisposeObject(o);
}

TEST(Gadgets, LabelFlagsChooseFrameAndAlignment) {
  Object *field = MakeLabel("_Name:", 0x600);
  ASSERT_NE(field, nullptr);
  EXPECT_EQ(xget(field, MUIA_Frame), static_cast<IPTR>(MUIV_Frame_String));
  EXPECT_EQ(Str(field, MUIA_Text_PreParse), "\33l");
  EXPECT_EQ(xget(field, MUIA_ControlChar), static_cast<IPTR>('n'));
  EXPECT_EQ(xget(field, MUIA_InputMode), static_cast<IPTR>(MUIV_InputMode_Toggle));
  EXPECT_EQ(xget(field, MUIA_ShowSelState), FALSE);
  EXPECT_EQ(xget(field, MUIA_HorizWeight), 0u);
  Object *plain = MakeLabel("Path:", 0);
  EXPECT_EQ(xget(plain, MUIA_Frame), static_cast<IPTR>(MUIV_Frame_None));
  EXPECT_EQ(Str(plain, MUIA_Text_PreParse), "\33r");
  EXPECT_EQ(xget(plain, MUIA_ControlChar), 0u);
  Object *button = MakeLabel("Centre", 0x900);
  EXPECT_EQ(xget(button, MUIA_Frame), static_cast<IPTR>(MUIV_Frame_Button));
  EXPECT_EQ(Str(button, MUIA_Text_PreParse), "\33c");
  MUI_DisposeObject(field);
  MUI_DisposeObject(plain);
  MUI_DisposeObject(button);
}

TEST(Gadgets, LabelAndCheckmarkFollowEachOtherWithoutLooping) {
  Object *label = MakeLabel("Show MetaTitle", 0x400);
  Object *check = MakeCheckmark(label, 0xCA80CE);
  ASSERT_TRUE(label && check);
  EXPECT_EQ(xget(check, MUIA_CycleChain), 1u);
  EXPECT_EQ(xget(check, MUIA_ObjectID), 0xCA80CEu);
  int changes = 0;
  struct Hook count{};
  count.h_Data = &changes;
  count.h_Entry = [](struct Hook *h, APTR, APTR) -> IPTR {
    ++*static_cast<int *>(h->h_Data);
    return 0;
  };
  DoMethod(check, MUIM_Notify, MUIA_Selected, MUIV_EveryTime, check, 2, MUIM_CallHook, &count);
  platform::AreaClick(label); // the label toggles the checkmark once
  EXPECT_EQ(xget(label, MUIA_Selected), TRUE);
  EXPECT_EQ(xget(check, MUIA_Selected), TRUE);
  EXPECT_EQ(changes, 1);
  platform::AreaClick(check); // the checkmark updates the label, nothing toggles back
  EXPECT_EQ(xget(check, MUIA_Selected), FALSE);
  EXPECT_EQ(xget(label, MUIA_Selected), FALSE);
  EXPECT_EQ(changes, 2);
  MUI_DisposeObject(label);
  MUI_DisposeObject(check);
  Object *lonely = MakeCheckmark(nullptr, 1);
  ASSERT_NE(lonely, nullptr);
  platform::AreaClick(lonely);
  EXPECT_EQ(xget(lonely, MUIA_Selected), TRUE);
  MUI_DisposeObject(lonely);
  Object *labelOut = nullptr;
  Object *tied = MakeLabeledCheckmark("Li_mit?", 0, 5, &labelOut);
  ASSERT_TRUE(tied && labelOut);
  platform::AreaClick(labelOut);
  EXPECT_EQ(xget(tied, MUIA_Selected), TRUE);
  MUI_DisposeObject(tied);
  MUI_DisposeObject(labelOut);
}

TEST(Gadgets, ButtonsJoinTheCycleChain) {
  Object *b = MakeButton("_Search...");
  Object *t = MakeTextButton("About");
  Object *img = MakeImageButton(MUII_ArrowUp);
  for (Object *o : {b, t, img}) {
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(xget(o, MUIA_CycleChain), 1u);
    EXPECT_EQ(xget(o, MUIA_InputMode), static_cast<IPTR>(MUIV_InputMode_RelVerify));
  }
  EXPECT_EQ(xget(b, MUIA_ControlChar), static_cast<IPTR>('s'));
  EXPECT_EQ(xget(img, MUIA_Frame), static_cast<IPTR>(MUIV_Frame_ImageButton));
  EXPECT_EQ(SetCycleChain(nullptr), nullptr);
  SetDisabled(b, TRUE);
  EXPECT_EQ(xget(b, MUIA_Disabled), TRUE);
  for (Object *o : {b, t, img}) MUI_DisposeObject(o);
}

TEST(Gadgets, ConfigItemsComeFromTheHost) {
  Object *o = MUI_NewObject(MUIC_Area);
  EXPECT_EQ(GetConfigItem(o, 0xCA80CA), 0u);
  platform::SetConfigProvider([](Object *, ULONG id, IPTR *store) {
    if (id != 0xCAC0C9) return false;
    *store = reinterpret_cast<IPTR>("RAM:");
    return true;
  });
  EXPECT_STREQ(reinterpret_cast<const char *>(GetConfigItem(o, 0xCAC0C9)), "RAM:");
  EXPECT_EQ(GetConfigItem(o, 0xCA80CA), 0u);
  EXPECT_EQ(GetConfigItem(nullptr, 0xCAC0C9), 0u);
  platform::SetConfigProvider(nullptr);
  MUI_DisposeObject(o);
}

TEST(Gadgets, PathFieldHandsOutItsStringAndRequesterSettings) {
  Object *str = nullptr;
  Object *field = MakePathField(&str, "Melodune.sbar: Choose a path", "help text", "ram:", 0xCAC0C9, 'p', TRUE, FALSE);
  ASSERT_TRUE(field && str);
  EXPECT_EQ(xget(field, MUIA_Popstring_String), reinterpret_cast<IPTR>(str));
  EXPECT_EQ(xget(str, MUIA_String_MaxLen), 1024u);
  EXPECT_EQ(xget(str, MUIA_ObjectID), 0xCAC0C9u);
  EXPECT_EQ(xget(str, MUIA_ControlChar), static_cast<IPTR>('p'));
  EXPECT_EQ(xget(str, MUIA_CycleChain), 1u);
  EXPECT_EQ(xget(reinterpret_cast<Object *>(xget(field, MUIA_Popstring_Button)), MUIA_CycleChain), 1u);
  EXPECT_EQ(Str(field, MUIA_ShortHelp), "help text");
  EXPECT_EQ(Str(field, ASLFR_TitleText), "Melodune.sbar: Choose a path");
  EXPECT_EQ(Str(field, ASLFR_InitialDrawer), "ram:");
  EXPECT_EQ(xget(field, ASLFR_DrawersOnly), TRUE);
  EXPECT_EQ(xget(field, ASLFR_DoSaveMode), FALSE);
  MUI_DisposeObject(field);
}

TEST(Gadgets, SetMenuEnabledTreatsItemsAndSubmenusApart) {
  Object *item = MUI_NewObject(MUIC_Menuitem, MUIA_Menuitem_Title, "Stop");
  Object *sub = MUI_NewObject(MUIC_Menu, MUIA_Menu_Title, "Rock");
  Object *menu = MUI_NewObject(MUIC_Menu, MUIA_Menu_Title, "Melodune", MUIA_Family_Child, item, MUIA_Family_Child, sub);
  ASSERT_TRUE(item && sub && menu);
  SetMenuEnabled(menu, FALSE);
  EXPECT_EQ(xget(item, MUIA_Menuitem_Enabled), FALSE);
  EXPECT_EQ(xget(sub, MUIA_Menu_Enabled), FALSE);
  SetMenuEnabled(menu, TRUE);
  EXPECT_EQ(xget(item, MUIA_Menuitem_Enabled), TRUE);
  EXPECT_EQ(xget(sub, MUIA_Menu_Enabled), TRUE);
  SetMenuEnabled(nullptr, TRUE);
  MUI_DisposeObject(menu);
}

} // namespace
