// The frame of a media class written in C++: the instance data is one pointer
// to an object of the class's own type T, and MediaClass<T, Layout> is the
// dispatcher around it. It makes and frees T, checks pulls before they reach T and
// passes the port attributes on, so a class file holds only its own work.
//
// MediaClass<T, Layout>::Register("my.filter") makes the class at start and
// registers its library; Make("my.filter") makes one that is not opened by
// name. What T gives (all of it optional):
//   static constexpr BadPull kBadPull;        with Pull: how a bad pull is answered
//   LONG Prepare(TagItem *tags)               before the object exists; an error
//                                             code refuses the creation
//   LONG Create(Object *obj, TagItem *tags)   once the object exists; an error
//                                             code disposes it again
//   void Stop()                               at disposal, before T is deleted
//   Pull(Object *obj, UBYTE *buf, Length len) MMM_Pull on the output port
//   PullSome(Object *, UBYTE *, Length)       MMM_PullSome likewise; without it
//                                             the root class answers with a pull
//   bool GetPort(Object *obj, ULONG port, IPTR attr, IPTR &place)
//   bool SetPort(Object *obj, ULONG port, IPTR attr, IPTR value)
//   bool Method(Object *obj, Msg msg, IPTR &result)   any other method
// A hook that answers false (or a method T does not take) goes on to the
// root class. Length is LONG (at most 0x7FFFFFFF) with BadPull::Fails and the
// caller's IPTR with BadPull::PassedOn.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "reggae/reggae.h"

namespace reggae {

// What a pull on another port, without a buffer or with a negative length
// gets.
enum class BadPull {
  Fails,    // MMERR_BAD_ARGUMENTS on the output port, and no bytes
  PassedOn, // the root class's answer (MMERR_NOT_SUPPORTED)
};

// Registers "multimedia/<classID>", version 52.0, for a class made at start.
void RegisterMediaLibrary(CONST_STRPTR classID);

// Answers the attributes of a port that gives a picture of 4 bytes a pixel
// (size, row length, format, bytes in all).
bool PictureAttribute(IPTR attr, uint32_t width, uint32_t height, IPTR format, IPTR &place);
// Answers the attributes of a port that gives sound (format, rate, channels).
bool SoundAttribute(IPTR attr, IPTR format, int rate, int channels, IPTR &place);

// The output of a filter that makes all of it at the first pull (an encoder,
// a scaler): `make` runs once, under the lock, fills the bytes and answers
// MMERR_OK or why it failed; every pull then takes the next bytes.
class MadeOnce {
public:
  template <class Make> IPTR Pull(Object *obj, UBYTE *buf, IPTR len, Make make) {
    std::lock_guard guard(lock_);
    if (!done_) {
      done_ = true;
      failure_ = make(bytes_);
    }
    size_t n = 0;
    if (failure_ == MMERR_OK) {
      n = std::min<size_t>(len, bytes_.size() - delivered_);
      if (n)
        std::memcpy(buf, bytes_.data() + delivered_, n);
      delivered_ += n;
    }
    if (n < len)
      SetPortError(obj, 1, failure_ != MMERR_OK ? failure_ : MMERR_END_OF_DATA);
    return n;
  }

private:
  std::mutex lock_;
  bool done_ = false;
  LONG failure_ = MMERR_OK;
  std::vector<uint8_t> bytes_;
  size_t delivered_ = 0;
};

template <class T, PortLayout Layout> class MediaClass {
public:
  static IClass *Make(CONST_STRPTR classID) { return MakeMediaClass(classID, Layout, sizeof(Data), Dispatcher); }
  static IClass *Register(CONST_STRPTR classID) {
    IClass *cl = Make(classID);
    RegisterMediaLibrary(classID);
    return cl;
  }
  // The object's T (null only while a creation fails).
  static T *Part(IClass *cl, Object *obj) { return static_cast<Data *>(INST_DATA(cl, obj))->part; }

private:
  struct Data {
    T *part;
  };
  static constexpr ULONG kOutPort = Layout == PortLayout::Source ? 0 : 1;

  static IPTR New(IClass *cl, Object *obj, Msg msg) {
    TagItem *tags = reinterpret_cast<opSet *>(msg)->ops_AttrList;
    T *part = nullptr;
    if constexpr (requires(T &t) { t.Prepare(tags); }) {
      part = new (std::nothrow) T;
      const LONG code = part ? part->Prepare(tags) : MMERR_NO_MEMORY;
      if (code != MMERR_OK) {
        delete part;
        SetCreateError(tags, code);
        return 0;
      }
    }
    auto *o = reinterpret_cast<Object *>(DoSuperMethodA(cl, obj, msg));
    if (!o) {
      delete part;
      return 0;
    }
    if (!part)
      part = new (std::nothrow) T;
    static_cast<Data *>(INST_DATA(cl, o))->part = part;
    LONG code = part ? MMERR_OK : MMERR_NO_MEMORY;
    if constexpr (requires(T &t) { t.Create(o, tags); }) {
      if (part)
        code = part->Create(o, tags);
    }
    if (code != MMERR_OK) {
      SetCreateError(tags, code);
      CoerceMethod(cl, o, OM_DISPOSE);
      return 0;
    }
    return reinterpret_cast<IPTR>(o);
  }

  static void Dispose(Data *d) {
    if (!d->part)
      return;
    if constexpr (requires(T &t) { t.Stop(); })
      d->part->Stop();
    delete d->part;
    d->part = nullptr;
  }

  // The pull's answer, or false when the root class is to give it.
  static bool Pull(T *part, Object *obj, mmpPull *m, bool some, IPTR &result) {
    auto *buf = static_cast<UBYTE *>(m->Buffer);
    if constexpr (T::kBadPull == BadPull::Fails) {
      if (m->Port != kOutPort || !part || !buf || static_cast<SIPTR>(m->Length) < 0) {
        SetPortError(obj, kOutPort, MMERR_BAD_ARGUMENTS);
        result = 0;
        return true;
      }
      const auto len = static_cast<LONG>(std::min<IPTR>(m->Length, 0x7FFFFFFF));
      if constexpr (requires(T &t) { t.PullSome(obj, buf, len); }) {
        if (some) {
          result = static_cast<IPTR>(part->PullSome(obj, buf, len));
          return true;
        }
      }
      result = static_cast<IPTR>(part->Pull(obj, buf, len));
    } else {
      (void)some;
      if (!part || m->Port != kOutPort || (!buf && m->Length))
        return false;
      result = static_cast<IPTR>(part->Pull(obj, buf, m->Length));
    }
    return true;
  }

  static IPTR Dispatcher(IClass *cl, Object *obj, Msg msg) {
    if (msg->MethodID == OM_NEW)
      return New(cl, obj, msg);
    auto *d = static_cast<Data *>(INST_DATA(cl, obj));
    T *part = d->part;
    IPTR result = 0;
    switch (msg->MethodID) {
    case OM_DISPOSE: Dispose(d); break;
    case MMM_PullSome:
      if constexpr (!requires(T &t, UBYTE *b, LONG n) { t.PullSome(obj, b, n); })
        break;
      [[fallthrough]];
    case MMM_Pull:
      if constexpr (requires { T::kBadPull; }) {
        if (Pull(part, obj, reinterpret_cast<mmpPull *>(msg), msg->MethodID == MMM_PullSome, result))
          return result;
      }
      break;
    case MMM_GetPort:
      if constexpr (requires(T &t, IPTR &p) { t.GetPort(obj, ULONG(0), IPTR(0), p); }) {
        auto *m = reinterpret_cast<mmpGetPort *>(msg);
        if (m->Place && part && part->GetPort(obj, ULONG(m->Port), m->Attribute, *m->Place))
          return TRUE;
      }
      break;
    case MMM_SetPort:
      if constexpr (requires(T &t) { t.SetPort(obj, ULONG(0), IPTR(0), IPTR(0)); }) {
        auto *m = reinterpret_cast<mmpSetPort *>(msg);
        if (part && part->SetPort(obj, ULONG(m->Port), m->Attribute, m->Value))
          return TRUE;
      }
      break;
    default:
      if constexpr (requires(T &t) { t.Method(obj, msg, result); }) {
        if (part && part->Method(obj, msg, result))
          return result;
      }
      break;
    }
    return DoSuperMethodA(cl, obj, msg);
  }
};

} // namespace reggae
