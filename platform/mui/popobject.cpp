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

PopData *Pop(Object *obj) { return static_cast<PopData *>(INST_DATA(gPopstring, obj)); }

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
    Object *o = reinterpret_cast<Object *>(DoSuperMethodA(cl, obj, reinterpret_cast<Msg>(m)));
    if (!o) return 0;
    PopData *d = static_cast<PopData *>(INST_DATA(cl, o));
    d->string = str;
    d->button = button;
    d->openHook = reinterpret_cast<struct Hook *>(GetTagData(MUIA_Popstring_OpenHook, 0, tags));
    d->closeHook = reinterpret_cast<struct Hook *>(GetTagData(MUIA_Popstring_CloseHook, 0, tags));
    d->toggle = GetTagData(MUIA_Popstring_Toggle, FALSE, tags) != 0;
    DoMethod(button, MUIM_Notify, MUIA_Pressed, FALSE, o, 1, MUIM_Popstring_Open);
    return reinterpret_cast<IPTR>(o);
  }
  case OM_SET: {
    PopData *d = static_cast<PopData *>(INST_DATA(cl, obj));
    struct TagItem *state = reinterpret_cast<opSet *>(msg)->ops_AttrList, *t;
    while ((t = NextTagItem(&state))) {
      if (t->ti_Tag == MUIA_Popstring_OpenHook) d->openHook = reinterpret_cast<struct Hook *>(t->ti_Data);
      if (t->ti_Tag == MUIA_Popstring_CloseHook) d->closeHook = reinterpret_cast<struct Hook *>(t->ti_Data);
      if (t->ti_Tag == MUIA_Popstring_Toggle) d->toggle = t->ti_Data != 0;
    }
    return DoSuperMethodA(cl, obj, msg);
  }
  case OM_GET: {
    PopData *d = static_cast<PopData *>(INST_DATA(cl, obj));
    auto *g = reinterpret_cast<opGet *>(msg);
    switch (g->opg_AttrID) {
    case MUIA_Popstring_String: *g->opg_Storage = reinterpret_cast<IPTR>(d->string); return TRUE;
    case MUIA_Popstring_Button: *g->opg_Storage = reinterpret_cast<IPTR>(d->button); return TRUE;
    case MUIA_Popstring_Toggle: *g->opg_Storage = d->toggle; return TRUE;
    default: return DoSuperMethodA(cl, obj, msg);
    }
  }
  case MUIM_Popstring_Open: {
    PopData *d = static_cast<PopData *>(INST_DATA(cl, obj));
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
    PopData *d = static_cast<PopData *>(INST_DATA(cl, obj));
    if (!d->open) return 0;
    d->open = false;
    if (d->closeHook) CallHookPkt(d->closeHook, obj, d->string);
    NotifyLayout(obj);
    return TRUE;
  }
  default: return DoSuperMethodA(cl, obj, msg);
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
    Object *o = reinterpret_cast<Object *>(DoSuperMethodA(cl, obj, msg));
    if (!o) {
      DisposeObject(popped);
      return 0;
    }
    PopobjectData *d = static_cast<PopobjectData *>(INST_DATA(cl, o));
    d->object = popped;
    SetObjectParent(popped, o);
    d->strObj = reinterpret_cast<struct Hook *>(GetTagData(MUIA_Popobject_StrObjHook, 0, tags));
    d->objStr = reinterpret_cast<struct Hook *>(GetTagData(MUIA_Popobject_ObjStrHook, 0, tags));
    d->windowHook = reinterpret_cast<struct Hook *>(GetTagData(MUIA_Popobject_WindowHook, 0, tags));
    d->follow = GetTagData(MUIA_Popobject_Follow, TRUE, tags) != 0;
    d->light = GetTagData(MUIA_Popobject_Light, FALSE, tags) != 0;
    d->isVolatile = GetTagData(MUIA_Popobject_Volatile, TRUE, tags) != 0;
    return reinterpret_cast<IPTR>(o);
  }
  case OM_DISPOSE: {
    PopobjectData *d = static_cast<PopobjectData *>(INST_DATA(cl, obj));
    SetObjectParent(d->object, nullptr);
    DisposeObject(d->object);
    d->object = nullptr;
    return DoSuperMethodA(cl, obj, msg);
  }
  case OM_SET: {
    PopobjectData *d = static_cast<PopobjectData *>(INST_DATA(cl, obj));
    struct TagItem *state = reinterpret_cast<opSet *>(msg)->ops_AttrList, *t;
    while ((t = NextTagItem(&state))) {
      if (t->ti_Tag == MUIA_Popobject_StrObjHook) d->strObj = reinterpret_cast<struct Hook *>(t->ti_Data);
      if (t->ti_Tag == MUIA_Popobject_ObjStrHook) d->objStr = reinterpret_cast<struct Hook *>(t->ti_Data);
    }
    return DoSuperMethodA(cl, obj, msg);
  }
  case OM_GET: {
    auto *g = reinterpret_cast<opGet *>(msg);
    if (g->opg_AttrID == MUIA_Popobject_Object) {
      *g->opg_Storage = reinterpret_cast<IPTR>(static_cast<PopobjectData *>(INST_DATA(cl, obj))->object);
      return TRUE;
    }
    return DoSuperMethodA(cl, obj, msg);
  }
  case MUIM_Popstring_Open: {
    PopobjectData *d = static_cast<PopobjectData *>(INST_DATA(cl, obj));
    PopData *p = Pop(obj);
    if (p->open) return DoSuperMethodA(cl, obj, msg);
    if (d->strObj && !CallHookPkt(d->strObj, d->object, p->string)) return 0;
    return DoSuperMethodA(cl, obj, msg);
  }
  case MUIM_Popstring_Close: {
    PopobjectData *d = static_cast<PopobjectData *>(INST_DATA(cl, obj));
    PopData *p = Pop(obj);
    bool wasOpen = p->open;
    IPTR r = DoSuperMethodA(cl, obj, msg);
    if (wasOpen && reinterpret_cast<IPTR *>(msg)[1] && d->objStr) CallHookPkt(d->objStr, d->object, p->string);
    return r;
  }
  default: return DoSuperMethodA(cl, obj, msg);
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
