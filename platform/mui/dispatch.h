// What every class dispatcher of the toolkit does the same way: reaching
// its instance data, running OM_NEW through the superclass, walking a tag
// list, and attributes that are plain fields of the instance data (one
// table serves OM_NEW, OM_SET, OM_GET and OM_DISPOSE). Shared by the core
// classes and the widgets; not for other code.
#pragma once

#include <cstddef>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "mui/mui.h"

namespace platform {

// Messages copied for later (pushed methods, notifications, a worker's
// queue) get this many zero words after their arguments, for methods that
// read further than the sender wrote.
constexpr size_t kMsgPad = 8;

template <typename D> D *InstOf(struct IClass *cl, Object *obj) { return static_cast<D *>(INST_DATA(cl, obj)); }
inline struct TagItem *AttrTags(Msg msg) { return reinterpret_cast<opSet *>(msg)->ops_AttrList; }
inline const IPTR *Words(Msg msg) { return reinterpret_cast<const IPTR *>(msg); }

// Calls f(tag) for each item of a tag list, in order (TAG_MORE and
// TAG_IGNORE followed as NextTagItem does).
template <typename F> void EachTag(struct TagItem *tags, F &&f) {
  struct TagItem *state = tags, *t;
  while ((t = NextTagItem(&state))) f(*t);
}

// OM_NEW run by the superclass: the object it made (null when it failed)
// and this class's data inside it.
template <typename D> struct Made {
  Object *obj = nullptr;
  D *data = nullptr;
  explicit operator bool() const { return obj != nullptr; }
  IPTR result() const { return reinterpret_cast<IPTR>(obj); }
};
template <typename D> Made<D> SuperNew(struct IClass *cl, Object *obj, Msg msg) {
  Made<D> m;
  m.obj = reinterpret_cast<Object *>(DoSuperMethodA(cl, obj, msg));
  if (m.obj) m.data = InstOf<D>(cl, m.obj);
  return m;
}

// A dispatcher put together from a class's parts: OM_NEW (before there is
// instance data) and OM_DISPOSE have functions of their own, and so may
// OM_SET and OM_GET; every other method goes to Method with the instance
// data. The parts fall back to the superclass themselves.
using SetPart = IPTR (*)(struct IClass *, Object *, opSet *);
using GetPart = IPTR (*)(struct IClass *, Object *, opGet *);
template <typename D, SetPart New, IPTR (*Dispose)(struct IClass *, Object *, Msg),
          IPTR (*Method)(struct IClass *, Object *, Msg, D *), SetPart Set = nullptr, GetPart Get = nullptr>
IPTR PartsDispatcher(struct IClass *cl, Object *obj, Msg msg) {
  switch (msg->MethodID) {
  case OM_NEW: return New(cl, obj, reinterpret_cast<opSet *>(msg));
  case OM_DISPOSE: return Dispose(cl, obj, msg);
  case OM_SET:
    if constexpr (Set != nullptr) return Set(cl, obj, reinterpret_cast<opSet *>(msg));
    break;
  case OM_GET:
    if constexpr (Get != nullptr) return Get(cl, obj, reinterpret_cast<opGet *>(msg));
    break;
  }
  return Method(cl, obj, msg, InstOf<D>(cl, obj));
}

// Makes a class, gives it its dispatcher and makes it findable by id.
inline struct IClass *MakePublicClass(CONST_STRPTR id, CONST_STRPTR superId, ULONG dataSize, DISPATCHERFUNC dispatcher) {
  struct IClass *cl = MakeClass(id, superId, nullptr, dataSize, 0);
  if (!cl) return nullptr;
  cl->cl_Dispatcher = dispatcher;
  AddClass(cl);
  return cl;
}

// A heap text slot: a copy of text, or null (freed) for a null text.
inline void CopyText(std::string *&slot, CONST_STRPTR text) {
  if (!text) {
    delete slot;
    slot = nullptr;
    return;
  }
  std::string copy(text); // text may point into *slot
  if (slot) *slot = std::move(copy);
  else slot = new std::string(std::move(copy));
}

// ---- attributes kept as fields ----

// Which methods an attribute takes part in.
enum AttrUse : unsigned {
  kInit = 1,        // OM_NEW: the tag's value, else the default
  kSet = 2,         // OM_SET stores it
  kGet = 4,         // OM_GET answers it
  kRedraw = 8,      // a stored value changes what is drawn
  kAnnounceCopy = 16, // texts: listeners get the object's own copy, not the caller's
  kISG = kInit | kSet | kGet,
  kIG = kInit | kGet,
};

// Heap texts (std::string *) are copied in, answered as C strings (null
// when none) and freed by FreeAttrs. bool fields test a tag's value against
// 0. BOOL fields take a creation value as given (as a BOOL) and store later
// ones as TRUE or FALSE.
template <typename D> struct AttrField {
  using Member = std::variant<LONG D::*, ULONG D::*, bool D::*, BOOL D::*, UBYTE D::*, IPTR D::*, std::string * D::*,
                              APTR D::*, CONST_STRPTR D::*, struct Hook * D::*, struct IClass * D::*>;
  Tag tag;
  Member member;
  unsigned use;
  IPTR def = 0; // OM_NEW's value when the tag is missing (texts: a C string)
};

namespace attr_detail {
template <typename D> void Store(D *d, const AttrField<D> &a, IPTR v, bool init) {
  std::visit(
      [&](auto m) {
        using T = std::remove_reference_t<decltype(d->*m)>;
        if constexpr (std::is_same_v<T, bool>) d->*m = v != 0;
        else if constexpr (std::is_same_v<T, BOOL>) d->*m = init ? static_cast<BOOL>(v) : (v != 0 ? TRUE : FALSE);
        else if constexpr (std::is_same_v<T, std::string *>) CopyText(d->*m, reinterpret_cast<CONST_STRPTR>(v));
        else if constexpr (std::is_pointer_v<T>) d->*m = reinterpret_cast<T>(v);
        else d->*m = static_cast<T>(v);
      },
      a.member);
}

template <typename D> IPTR Load(const D *d, const AttrField<D> &a) {
  return std::visit(
      [&](auto m) -> IPTR {
        using T = std::remove_cv_t<std::remove_reference_t<decltype(d->*m)>>;
        if constexpr (std::is_same_v<T, std::string *>) return reinterpret_cast<IPTR>(d->*m ? (d->*m)->c_str() : nullptr);
        else if constexpr (std::is_pointer_v<T>) return reinterpret_cast<IPTR>(d->*m);
        else if constexpr (std::is_signed_v<T>) return static_cast<IPTR>(static_cast<SIPTR>(d->*m));
        else return static_cast<IPTR>(d->*m);
      },
      a.member);
}
} // namespace attr_detail

// A class's table of such attributes.
template <typename D, size_t N> using AttrTable = AttrField<D>[N];

// OM_NEW of one tag: stores it when the table has it as kInit; whether it did.
template <typename D, size_t N> bool InitAttr(D *d, const AttrTable<D, N> &attrs, const TagItem &t) {
  bool found = false;
  for (const AttrField<D> &a : attrs)
    if ((a.use & kInit) && a.tag == t.ti_Tag) {
      attr_detail::Store(d, a, t.ti_Data, true);
      found = true;
    }
  return found;
}
// OM_NEW: every kInit field gets its tag's value (the last one given) or its
// default.
template <typename D, size_t N> void InitAttrs(D *d, const AttrTable<D, N> &attrs, struct TagItem *tags) {
  for (const AttrField<D> &a : attrs)
    if (a.use & kInit) attr_detail::Store(d, a, a.def, true);
  EachTag(tags, [&](const TagItem &t) { InitAttr(d, attrs, t); });
}

// OM_NEW through the superclass with the table's initial values.
template <typename D, size_t N> Made<D> NewWithAttrs(struct IClass *cl, Object *obj, Msg msg, const AttrTable<D, N> &attrs) {
  Made<D> m = SuperNew<D>(cl, obj, msg);
  if (m) InitAttrs(m.data, attrs, AttrTags(msg));
  return m;
}

// Where OM_SET puts the values listeners get instead of the caller's (a
// class's SuperSet changes), or nowhere.
struct NoChanges {
  struct value_type {
    Tag tag;
    IPTR data;
  };
  void push_back(const value_type &) {}
};

// OM_SET of one tag: stores it when the table has it as kSet and answers
// the field's use bits (0: not in the table). Texts marked kAnnounceCopy
// add their copy to changes.
template <typename D, size_t N, typename Changes>
unsigned StoreAttr(D *d, const AttrTable<D, N> &attrs, const TagItem &t, Changes &changes) {
  for (const AttrField<D> &a : attrs) {
    if (a.tag != t.ti_Tag || !(a.use & kSet)) continue;
    attr_detail::Store(d, a, t.ti_Data, false);
    if (a.use & kAnnounceCopy) changes.push_back(typename Changes::value_type{a.tag, attr_detail::Load(d, a)});
    return a.use;
  }
  return 0;
}
template <typename D, size_t N> unsigned StoreAttr(D *d, const AttrTable<D, N> &attrs, const TagItem &t) {
  NoChanges none;
  return StoreAttr(d, attrs, t, none);
}
// All tags of an OM_SET; answers the use bits of all stored ones together.
template <typename D, size_t N, typename Changes>
unsigned StoreAttrs(D *d, const AttrTable<D, N> &attrs, struct TagItem *tags, Changes &changes) {
  unsigned used = 0;
  EachTag(tags, [&](const TagItem &t) { used |= StoreAttr(d, attrs, t, changes); });
  return used;
}
template <typename D, size_t N> unsigned StoreAttrs(D *d, const AttrTable<D, N> &attrs, struct TagItem *tags) {
  NoChanges none;
  return StoreAttrs(d, attrs, tags, none);
}

// OM_GET: answers a kGet field; false when the table does not have it (or
// there is nowhere to store it).
template <typename D, size_t N> bool LoadAttr(const D *d, const AttrTable<D, N> &attrs, opGet *g) {
  if (!g->opg_Storage) return false;
  for (const AttrField<D> &a : attrs)
    if (a.tag == g->opg_AttrID && (a.use & kGet)) {
      *g->opg_Storage = attr_detail::Load(d, a);
      return true;
    }
  return false;
}
// The same, the superclass answering what the table does not have.
template <typename D, size_t N> IPTR GetOrSuper(struct IClass *cl, Object *obj, Msg msg, const AttrTable<D, N> &attrs) {
  if (LoadAttr(InstOf<D>(cl, obj), attrs, reinterpret_cast<opGet *>(msg))) return TRUE;
  return DoSuperMethodA(cl, obj, msg);
}

// OM_DISPOSE: frees the table's texts.
template <typename D, size_t N> void FreeAttrs(D *d, const AttrTable<D, N> &attrs) {
  for (const AttrField<D> &a : attrs)
    if (auto *m = std::get_if<std::string * D::*>(&a.member)) CopyText(d->**m, nullptr);
}

} // namespace platform
