// Popstring.mui (a string object with a pop-up button; the button opens the
// pop-up) and Popobject.mui (the pop-up is an object the display shows in a
// small window; the StrObj hook prepares it, the ObjStr hook takes the
// choice back).
#include "mui/widgets.h"

namespace platform::widgets {
namespace {

struct IClass *gPopstring;

struct PopData {
  Object *string, *button;
  struct Hook *openHook, *closeHook;
  bool toggle;
  bool open;
};

struct PopobjectData {
  Object *object;
  struct Hook *strObj, *objStr, *windowHook;
  bool follow, light, isVolatile;
};

// clang-format off
constexpr AttrField<PopData> kPopAttrs[] = {
    {MUIA_Popstring_String, &PopData::string, kIG}, {MUIA_Popstring_Button, &PopData::button, kIG},
    {MUIA_Popstring_OpenHook, &PopData::openHook, kInit | kSet},
    {MUIA_Popstring_CloseHook, &PopData::closeHook, kInit | kSet},
    {MUIA_Popstring_Toggle, &PopData::toggle, kISG},
};
// clang-format on

// clang-format off
constexpr AttrField<PopobjectData> kPopobjectAttrs[] = {
    {MUIA_Popobject_Object, &PopobjectData::object, kGet},
    {MUIA_Popobject_StrObjHook, &PopobjectData::strObj, kInit | kSet},
    {MUIA_Popobject_ObjStrHook, &PopobjectData::objStr, kInit | kSet},
    {MUIA_Popobject_WindowHook, &PopobjectData::windowHook, kInit},
    {MUIA_Popobject_Follow, &PopobjectData::follow, kInit, TRUE},
    {MUIA_Popobject_Light, &PopobjectData::light, kInit},
    {MUIA_Popobject_Volatile, &PopobjectData::isVolatile, kInit, TRUE},
};
// clang-format on

PopData *Pop(Object *obj) { return InstOf<PopData>(gPopstring, obj); }

IPTR PopstringDispatcher(struct IClass *cl, Object *obj, Msg msg) {
  switch (msg->MethodID) {
  case OM_NEW: {
    struct TagItem *tags = reinterpret_cast<opSet *>(msg)->ops_AttrList;
    auto *str = reinterpret_cast<Object *>(GetTagData(MUIA_Popstring_String, 0, tags));
    auto *button = reinterpret_cast<Object *>(GetTagData(MUIA_Popstring_Button, 0, tags));
    // The group owns both from here: a missing part fails it and frees the other.
    struct TagItem more[] = {{MUIA_Group_Horiz, TRUE},
                             {MUIA_Group_Spacing, 1},
                             {str ? Tag(MUIA_Group_Child) : Tag(TAG_IGNORE), reinterpret_cast<IPTR>(str)},
                             {button ? Tag(MUIA_Group_Child) : Tag(TAG_IGNORE), reinterpret_cast<IPTR>(button)},
                             {TAG_MORE, reinterpret_cast<IPTR>(tags)}};
    if (!str || !button) {
      DisposeObject(str);
      DisposeObject(button);
      return 0;
    }
    IPTR m[] = {OM_NEW, reinterpret_cast<IPTR>(more), 0};
    auto made = SuperNew<PopData>(cl, obj, reinterpret_cast<Msg>(m));
    if (!made) return 0;
    InitAttrs(made.data, kPopAttrs, tags);
    DoMethod(button, MUIM_Notify, MUIA_Pressed, FALSE, made.obj, 1, MUIM_Popstring_Open);
    return made.result();
  }
  case MUIM_Popstring_Open: {
    PopData *d = InstOf<PopData>(cl, obj);
    if (d->open) {
      if (d->toggle) DoMethod(obj, MUIM_Popstring_Close, FALSE);
      return 0;
    }
    if (d->openHook && !CallHookPkt(d->openHook, obj, d->string)) return 0;
    d->open = true;
    NotifyLayout(obj);
    return TRUE;
  }
  case MUIM_Popstring_Close: {
    PopData *d = InstOf<PopData>(cl, obj);
    if (!d->open) return 0;
    d->open = false;
    if (d->closeHook) CallHookPkt(d->closeHook, obj, d->string);
    NotifyLayout(obj);
    return TRUE;
  }
  default: return AttrDispatch(cl, obj, msg, kPopAttrs);
  }
}

IPTR PopobjectDispatcher(struct IClass *cl, Object *obj, Msg msg) {
  switch (msg->MethodID) {
  case OM_NEW: {
    struct TagItem *tags = reinterpret_cast<opSet *>(msg)->ops_AttrList;
    auto *popped = reinterpret_cast<Object *>(GetTagData(MUIA_Popobject_Object, 0, tags));
    if (!popped) {
      DisposeObject(reinterpret_cast<Object *>(GetTagData(MUIA_Popstring_String, 0, tags)));
      DisposeObject(reinterpret_cast<Object *>(GetTagData(MUIA_Popstring_Button, 0, tags)));
      return 0;
    }
    auto made = NewWithAttrs(cl, obj, msg, kPopobjectAttrs);
    if (!made) {
      DisposeObject(popped);
      return 0;
    }
    made.data->object = popped;
    SetObjectParent(popped, made.obj);
    return made.result();
  }
  case OM_DISPOSE: {
    PopobjectData *d = InstOf<PopobjectData>(cl, obj);
    SetObjectParent(d->object, nullptr);
    DisposeObject(d->object);
    d->object = nullptr;
    return DoSuperMethodA(cl, obj, msg);
  }
  case MUIM_Popstring_Open: {
    PopobjectData *d = InstOf<PopobjectData>(cl, obj);
    PopData *p = Pop(obj);
    if (p->open) return DoSuperMethodA(cl, obj, msg);
    if (d->strObj && !CallHookPkt(d->strObj, d->object, p->string)) return 0;
    return DoSuperMethodA(cl, obj, msg);
  }
  case MUIM_Popstring_Close: {
    PopobjectData *d = InstOf<PopobjectData>(cl, obj);
    PopData *p = Pop(obj);
    bool wasOpen = p->open;
    IPTR r = DoSuperMethodA(cl, obj, msg);
    if (wasOpen && reinterpret_cast<IPTR *>(msg)[1] && d->objStr) CallHookPkt(d->objStr, d->object, p->string);
    return r;
  }
  default: return AttrDispatch(cl, obj, msg, kPopobjectAttrs);
  }
}

} // namespace

struct IClass *PopstringClass() { return gPopstring; }

struct IClass *MakePopstringClasses() {
  gPopstring = MakeWidgetClass(MUIC_Popstring, MUIC_Group, sizeof(PopData), PopstringDispatcher);
  return gPopstring && MakeWidgetClass(MUIC_Popobject, MUIC_Popstring, sizeof(PopobjectData), PopobjectDispatcher) ? gPopstring
                                                                                                                  : nullptr;
}

} // namespace platform::widgets

namespace platform {

bool PopupIsOpen(Object *popstring) {
  using namespace widgets;
  if (!gPopstring || !IsInstanceOf(popstring, MUIC_Popstring)) return false;
  return Pop(popstring)->open;
}

} // namespace platform
