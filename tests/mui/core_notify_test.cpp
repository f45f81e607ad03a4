// Notification, custom classes, families and user data.
#include "core_helpers.h"

using namespace coretest;

namespace {

using Notify = RecorderTest;

TEST_F(Notify, FiresOnItsValueOnlyAndEveryTimeOnAny) {
  Object *src = NewRecorder(), *dst = NewRecorder();
  ASSERT_TRUE(src && dst);
  DoMethod(src, MUIM_Notify, TA_Value, 5, dst, 3, TM_Record, 1, 0);
  DoMethod(src, MUIM_Notify, TA_Value, MUIV_EveryTime, dst, 3, TM_Record, 2, MUIV_TriggerValue);
  SetAttrs(src, TA_Value, 4);
  SetAttrs(src, TA_Value, 5);
  auto calls = Rec().Take();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].a, 2u);
  EXPECT_EQ(calls[0].b, 4u);
  EXPECT_EQ(calls[1].a, 1u); // in the order they were made
  EXPECT_EQ(calls[2].a, 2u);
  EXPECT_EQ(calls[2].b, 5u);
  EXPECT_EQ(calls[2].obj, dst);
  // Setting the same value again announces it again.
  SetAttrs(src, TA_Value, 5);
  EXPECT_EQ(Rec().Take().size(), 2u);
  MUI_DisposeObject(src);
  MUI_DisposeObject(dst);
}

TEST_F(Notify, TriggerValuesAndSpecialTargets) {
  Object *obj = NewRecorder();
  DoMethod(obj, MUIM_Notify, TA_Value, MUIV_EveryTime, MUIV_Notify_Self, 3, TM_Record, MUIV_NotTriggerValue,
           MUIV_TriggerValue);
  SetAttrs(obj, TA_Value, 0);
  SetAttrs(obj, TA_Value, 7);
  auto calls = Rec().Take();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].obj, obj);
  EXPECT_EQ(calls[0].a, 1u);
  EXPECT_EQ(calls[0].b, 0u);
  EXPECT_EQ(calls[1].a, 0u);
  EXPECT_EQ(calls[1].b, 7u);

  // Window and application targets are found through the object tree.
  Object *inner = NewRecorder();
  Object *win = MUI_NewObject(MUIC_Window, MUIA_Window_RootObject, inner);
  Object *app = MUI_NewObject(MUIC_Application, MUIA_Application_Window, win);
  ASSERT_TRUE(app);
  EXPECT_EQ(_win(inner), win);
  EXPECT_EQ(_app(inner), app);
  EXPECT_EQ(Get(inner, MUIA_Parent), reinterpret_cast<IPTR>(win));
  DoMethod(inner, MUIM_Notify, TA_Value, 1, MUIV_Notify_Window, 3, MUIM_Set, MUIA_UserData, 42);
  DoMethod(inner, MUIM_Notify, TA_Value, 1, MUIV_Notify_Application, 3, MUIM_Set, MUIA_UserData, 43);
  SetAttrs(inner, TA_Value, 1);
  EXPECT_EQ(Get(win, MUIA_UserData), 42u);
  EXPECT_EQ(Get(app, MUIA_UserData), 43u);
  MUI_DisposeObject(app);
  MUI_DisposeObject(obj);
}

TEST_F(Notify, NoNotifySetsWithoutAnnouncing) {
  Object *obj = NewRecorder();
  DoMethod(obj, MUIM_Notify, TA_Value, MUIV_EveryTime, MUIV_Notify_Self, 3, TM_Record, MUIV_TriggerValue, 0);
  SetAttrs(obj, MUIA_NoNotify, TRUE, TA_Value, 3);
  DoMethod(obj, MUIM_NoNotifySet, TA_Value, 4);
  EXPECT_EQ(Get(obj, TA_Value), 4u);
  EXPECT_EQ(Rec().Count(), 0u);
  DoMethod(obj, MUIM_Set, TA_Value, 9);
  EXPECT_EQ(Rec().Take().size(), 1u);
  MUI_DisposeObject(obj);
}

TEST_F(Notify, TwoObjectsTiedBothWaysSettle) {
  Object *a = NewRecorder(), *b = NewRecorder();
  DoMethod(a, MUIM_Notify, TA_Value, MUIV_EveryTime, b, 3, MUIM_Set, TA_Value, MUIV_TriggerValue);
  DoMethod(b, MUIM_Notify, TA_Value, MUIV_EveryTime, a, 3, MUIM_Set, TA_Value, MUIV_TriggerValue);
  DoMethod(b, MUIM_Notify, TA_Value, MUIV_EveryTime, MUIV_Notify_Self, 3, TM_Record, MUIV_TriggerValue, 0);
  SetAttrs(a, TA_Value, 11); // would recurse for ever without the guard
  EXPECT_EQ(Get(b, TA_Value), 11u);
  EXPECT_EQ(Rec().Take().size(), 1u);
  // A subclass announcing a change through its superclass is the same path.
  SetAttrs(b, TA_Value, 12);
  EXPECT_EQ(Get(a, TA_Value), 12u);
  MUI_DisposeObject(a);
  MUI_DisposeObject(b);
}

TEST_F(Notify, KillNotifyAndKillNotifyObj) {
  Object *src = NewRecorder(), *d1 = NewRecorder(), *d2 = NewRecorder();
  DoMethod(src, MUIM_Notify, TA_Value, MUIV_EveryTime, d1, 3, TM_Record, 1, 0);
  DoMethod(src, MUIM_Notify, TA_Value, MUIV_EveryTime, d2, 3, TM_Record, 2, 0);
  DoMethod(src, MUIM_Notify, TA_Other, MUIV_EveryTime, d2, 3, TM_Record, 3, 0);
  DoMethod(src, MUIM_KillNotifyObj, TA_Value, d1);
  SetAttrs(src, TA_Value, 1, TA_Other, 1);
  auto calls = Rec().Take();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].a, 2u);
  EXPECT_EQ(calls[1].a, 3u);
  DoMethod(src, MUIM_KillNotify, TA_Value);
  SetAttrs(src, TA_Value, 2);
  EXPECT_EQ(Rec().Count(), 0u);
  MUI_DisposeObject(src);
  MUI_DisposeObject(d1);
  MUI_DisposeObject(d2);
}

TEST_F(Notify, DisposingTargetOrSourceLeavesNothingBehind) {
  Object *src = NewRecorder(), *dst = NewRecorder();
  DoMethod(src, MUIM_Notify, TA_Value, MUIV_EveryTime, dst, 3, TM_Record, 1, 0);
  MUI_DisposeObject(dst);
  SetAttrs(src, TA_Value, 1); // must not reach the freed object
  EXPECT_EQ(Rec().Count(), 0u);

  // Two sources on one target: the first going away does not make the
  // target forget the other's notification when it goes itself.
  Object *other = NewRecorder(), *target = NewRecorder();
  DoMethod(other, MUIM_Notify, TA_Value, MUIV_EveryTime, target, 3, TM_Record, 4, 0);
  DoMethod(src, MUIM_Notify, TA_Value, MUIV_EveryTime, target, 3, TM_Record, 5, 0);
  MUI_DisposeObject(other);
  MUI_DisposeObject(target);
  SetAttrs(src, TA_Value, 7);
  EXPECT_EQ(Rec().Count(), 0u);

  // A notification that disposes of its own source: later notifications and
  // tags of the same set are skipped instead of touching freed memory.
  Object *killer = NewRecorder();
  DoMethod(src, MUIM_Notify, TA_Value, 2, killer, 2, TM_Dispose, src);
  DoMethod(src, MUIM_Notify, TA_Value, 2, MUIV_Notify_Self, 3, TM_Record, 9, 0);
  SetAttrs(src, TA_Value, 2, TA_Other, 3);
  EXPECT_FALSE(platform::IsLiveObject(src));
  EXPECT_EQ(Rec().Count(), 0u);
  MUI_DisposeObject(killer);
}

TEST_F(Notify, MultiSetAndSetAsString) {
  Object *a = NewRecorder(), *b = NewRecorder(), *c = NewRecorder();
  DoMethod(a, MUIM_MultiSet, TA_Value, 77, a, b, c, nullptr);
  EXPECT_EQ(Get(a, TA_Value), 77u);
  EXPECT_EQ(Get(c, TA_Value), 77u);
  std::string seen;
  struct Hook h {};
  h.h_Entry = [](struct Hook *hook, APTR, APTR msg) -> IPTR {
    *static_cast<std::string *>(hook->h_Data) = reinterpret_cast<CONST_STRPTR>(static_cast<IPTR *>(msg)[0]);
    return 0;
  };
  h.h_Data = &seen;
  DoMethod(a, MUIM_Notify, TA_Other, MUIV_EveryTime, MUIV_Notify_Self, 3, MUIM_CallHook, &h, MUIV_TriggerValue);
  DoMethod(a, MUIM_SetAsString, TA_Other, "%lD station(s) found!", 12);
  EXPECT_EQ(seen, "12 station(s) found!");
  MUI_DisposeObject(a);
  MUI_DisposeObject(b);
  MUI_DisposeObject(c);
}

TEST(CustomClass, DispatcherDataAndUnknownMethods) {
  struct MUI_CustomClass *mcc = RecorderClass();
  ASSERT_NE(mcc, nullptr);
  EXPECT_EQ(mcc->mcc_Super, MUI_GetClass(MUIC_Notify));
  Object *o = NewRecorder(5);
  EXPECT_EQ(Get(o, TA_Value), 5u);
  EXPECT_EQ(DoMethod(o, 0x80CA0003), 0u); // unknown: the root answers 0
  // A subclass of the custom class.
  struct MUI_CustomClass *sub = MUI_CreateCustomClass(
      nullptr, nullptr, mcc, 16, [](struct IClass *cl, Object *obj, Msg msg) { return DoSuperMethodA(cl, obj, msg); });
  ASSERT_NE(sub, nullptr);
  Object *s = NewObject(sub->mcc_Class, nullptr, TA_Value, 6);
  EXPECT_EQ(Get(s, TA_Value), 6u);
  EXPECT_FALSE(MUI_DeleteCustomClass(sub)); // an object is alive
  MUI_DisposeObject(s);
  EXPECT_TRUE(MUI_DeleteCustomClass(sub));
  MUI_DisposeObject(o);
  EXPECT_EQ(MUI_NewObject("NoSuch.mui", TAG_DONE), nullptr);
  EXPECT_EQ(MUI_CreateCustomClass(nullptr, "NoSuch.mui", nullptr, 4, mcc->mcc_Class->cl_Dispatcher), nullptr);
}

TEST(Family, ChildrenOrderUserDataAndDisposal) {
  Object *i1 = MUI_NewObject(MUIC_Menuitem, MUIA_Menuitem_Title, "A", MUIA_UserData, 1);
  Object *i2 = MUI_NewObject(MUIC_Menuitem, MUIA_Menuitem_Title, "B", MUIA_UserData, 2);
  Object *sub = MUI_NewObject(MUIC_Menu, MUIA_Menu_Title, "Sub", MUIA_Family_Child,
                              MUI_NewObject(MUIC_Menuitem, MUIA_Menuitem_Title, "C", MUIA_UserData, 9));
  Object *menu = MUI_NewObject(MUIC_Menu, MUIA_Family_Child, i1, MUIA_Family_Child, i2);
  Object *strip = MUI_NewObject(MUIC_Menustrip, MUIA_Family_Child, menu);
  ASSERT_TRUE(strip && sub);
  DoMethod(menu, MUIM_Family_Insert, sub, i1); // after i1
  auto kids = [&] {
    std::vector<Object *> v;
    IPTR list = Get(menu, MUIA_Family_List);
    APTR state = reinterpret_cast<struct MinList *>(list)->mlh_Head;
    while (Object *o = NextObject(&state))
      v.push_back(o);
    return v;
  };
  EXPECT_EQ(kids(), (std::vector<Object *>{i1, sub, i2}));
  EXPECT_EQ(Get(i2, MUIA_Parent), reinterpret_cast<IPTR>(menu));
  Object *c = reinterpret_cast<Object *>(DoMethod(strip, MUIM_FindUData, 9));
  ASSERT_NE(c, nullptr);
  EXPECT_STREQ(reinterpret_cast<CONST_STRPTR>(Get(c, MUIA_Menuitem_Title)), "C");
  EXPECT_EQ(DoMethod(strip, MUIM_FindUData, 5), 0u);
  DoMethod(menu, MUIM_Family_Remove, i1);
  EXPECT_EQ(kids(), (std::vector<Object *>{sub, i2}));
  EXPECT_EQ(Get(i1, MUIA_Parent), 0u);
  DoMethod(menu, MUIM_Family_AddHead, i1);
  EXPECT_EQ(kids().front(), i1);
  // Disposing a child that is still in the list unlinks it.
  MUI_DisposeObject(i2);
  EXPECT_EQ(kids(), (std::vector<Object *>{i1, sub}));
  MUI_DisposeObject(strip); // takes menu, i1, sub and C with it
  EXPECT_FALSE(platform::IsLiveObject(c));
  EXPECT_FALSE(platform::IsLiveObject(i1));
}

TEST(Family, AFailedChildFailsTheFamily) {
  Object *ok = MUI_NewObject(MUIC_Menuitem, MUIA_Menuitem_Title, "ok");
  Object *menu = MUI_NewObject(MUIC_Menu, MUIA_Family_Child, ok, MUIA_Family_Child, nullptr);
  EXPECT_EQ(menu, nullptr);
  EXPECT_FALSE(platform::IsLiveObject(ok)); // disposed with it
}

TEST(Menu, CopyStringsAndBarLabel) {
  char title[16] = "Station";
  Object *copied = MUI_NewObject(MUIC_Menuitem, MUIA_Menuitem_Title, title, MUIA_Menuitem_CopyStrings, TRUE);
  Object *bar = MUI_NewObject(MUIC_Menuitem, MUIA_Menuitem_Title, NM_BARLABEL);
  std::strcpy(title, "Changed");
  EXPECT_STREQ(reinterpret_cast<CONST_STRPTR>(Get(copied, MUIA_Menuitem_Title)), "Station");
  EXPECT_EQ(Get(bar, MUIA_Menuitem_Title), reinterpret_cast<IPTR>(NM_BARLABEL));
  EXPECT_EQ(Get(copied, MUIA_Menuitem_Enabled), static_cast<IPTR>(TRUE));
  // The renaming notification of the mute item: disabled -> title "Mute".
  SetAttrs(copied, MUIA_Menuitem_Title, "Unmute");
  DoMethod(copied, MUIM_Notify, MUIA_Menuitem_Enabled, FALSE, MUIV_Notify_Self, 3, MUIM_Set, MUIA_Menuitem_Title,
           "Mute");
  SetAttrs(copied, MUIA_Menuitem_Enabled, TRUE);
  EXPECT_STREQ(reinterpret_cast<CONST_STRPTR>(Get(copied, MUIA_Menuitem_Title)), "Unmute");
  SetAttrs(copied, MUIA_Menuitem_Enabled, FALSE);
  EXPECT_STREQ(reinterpret_cast<CONST_STRPTR>(Get(copied, MUIA_Menuitem_Title)), "Mute");
  MUI_DisposeObject(copied);
  MUI_DisposeObject(bar);
}

} // namespace
