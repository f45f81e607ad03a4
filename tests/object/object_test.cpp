#include <gtest/gtest.h>

#include "mui/object.h"

namespace {

enum : IPTR { ATTR_A = TAG_USER + 1, ATTR_B = TAG_USER + 2, MTH_ADD = 0x7000, MTH_UNKNOWN = 0x7001 };

struct BaseData {
  IPTR a;
  int disposed;
};
struct SubData {
  IPTR b;
};

int gDisposedSubs = 0;

// OM_NEW and OM_GET of a class that keeps one attribute in field (def
// when not given); false, with nothing done, for any other method.
template <class Data>
bool OneAttribute(IClass *cl, Object *obj, Msg msg, IPTR Data::*field, Tag attr, IPTR def, IPTR &result) {
  if (msg->MethodID == OM_NEW) {
    Object *o = reinterpret_cast<Object *>(DoSuperMethodA(cl, obj, msg));
    if (o) static_cast<Data *>(INST_DATA(cl, o))->*field = GetTagData(attr, def, reinterpret_cast<opSet *>(msg)->ops_AttrList);
    result = reinterpret_cast<IPTR>(o);
    return true;
  }
  if (msg->MethodID != OM_GET) return false;
  auto *m = reinterpret_cast<opGet *>(msg);
  if (m->opg_AttrID != attr) {
    result = DoSuperMethodA(cl, obj, msg);
  } else {
    *m->opg_Storage = static_cast<Data *>(INST_DATA(cl, obj))->*field;
    result = TRUE;
  }
  return true;
}

IPTR BaseDispatcher(IClass *cl, Object *obj, Msg msg) {
  IPTR result = 0;
  if (OneAttribute(cl, obj, msg, &BaseData::a, ATTR_A, 1, result)) return result;
  if (msg->MethodID == MTH_ADD) return static_cast<BaseData *>(INST_DATA(cl, obj))->a + reinterpret_cast<IPTR *>(msg)[1];
  return DoSuperMethodA(cl, obj, msg);
}

IPTR SubDispatcher(IClass *cl, Object *obj, Msg msg) {
  IPTR result = 0;
  if (OneAttribute(cl, obj, msg, &SubData::b, ATTR_B, 2, result)) return result;
  switch (msg->MethodID) {
  case OM_DISPOSE:
    ++gDisposedSubs;
    break;
  case MTH_ADD: // doubles what the superclass answers
    return 2 * DoSuperMethodA(cl, obj, msg);
  }
  return DoSuperMethodA(cl, obj, msg);
}

TEST(Objects, ChainKeepsEachClassDataApartAndDispatchFallsBack) {
  IClass *base = MakeClass("test.base", ROOTCLASS, nullptr, sizeof(BaseData), 0);
  ASSERT_NE(base, nullptr);
  base->cl_Dispatcher = BaseDispatcher;
  AddClass(base);
  IClass *sub = MakeClass(nullptr, nullptr, base, sizeof(SubData), 0);
  sub->cl_Dispatcher = SubDispatcher;

  Object *o = NewObject(sub, nullptr, ATTR_A, 5, ATTR_B, 7);
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(OCLASS(o), sub);
  IPTR v = 0;
  EXPECT_TRUE(GetAttr(ATTR_A, o, &v));
  EXPECT_EQ(v, 5u);
  EXPECT_TRUE(GetAttr(ATTR_B, o, &v));
  EXPECT_EQ(v, 7u);
  EXPECT_NE(INST_DATA(base, o), INST_DATA(sub, o));
  EXPECT_EQ(DoMethod(o, MTH_ADD, 3), 16u);       // (5+3)*2
  EXPECT_EQ(CoerceMethod(base, o, MTH_ADD, 3), 8u); // straight to the base
  EXPECT_EQ(DoMethod(o, MTH_UNKNOWN, 1, 2), 0u);   // the root answers 0
  EXPECT_EQ(DoMethod(nullptr, MTH_ADD, 1), 0u);

  Object *byName = NewObject(nullptr, "test.base", TAG_DONE);
  ASSERT_NE(byName, nullptr);
  EXPECT_TRUE(GetAttr(ATTR_A, byName, &v));
  EXPECT_EQ(v, 1u); // default
  EXPECT_EQ(NewObject(nullptr, "no.such.class"), nullptr);

  EXPECT_FALSE(FreeClass(base)); // objects and a subclass still exist
  DisposeObject(o);
  EXPECT_EQ(gDisposedSubs, 1);
  DisposeObject(byName);
  DisposeObject(nullptr);
  EXPECT_TRUE(FreeClass(sub));
  EXPECT_TRUE(FreeClass(base));
  EXPECT_EQ(FindClass("test.base"), nullptr);
}

TEST(Hooks, CallHookPassesObjectAndMessage) {
  Hook h{};
  h.h_Entry = [](Hook *hook, APTR object, APTR message) -> IPTR {
    return reinterpret_cast<IPTR>(hook->h_Data) + reinterpret_cast<IPTR>(object) + static_cast<IPTR *>(message)[0];
  };
  h.h_Data = reinterpret_cast<APTR>(100);
  EXPECT_EQ(CallHook(&h, reinterpret_cast<APTR>(20), 3), 123u);
  EXPECT_EQ(CallHookPkt(nullptr, nullptr, nullptr), 0u);
}

} // namespace
