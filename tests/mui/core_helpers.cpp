#include "core_helpers.h"

#include <future>

namespace coretest {

namespace {

struct RecData {
  IPTR value;
  IPTR other;
};

IPTR RecDispatcher(struct IClass *cl, Object *obj, Msg msg) {
  const IPTR *w = reinterpret_cast<const IPTR *>(msg);
  auto *d = static_cast<RecData *>(INST_DATA(cl, obj));
  switch (msg->MethodID) {
  case OM_NEW: {
    Object *o = reinterpret_cast<Object *>(DoSuperMethodA(cl, obj, msg));
    if (o) {
      auto *nd = static_cast<RecData *>(INST_DATA(cl, o));
      nd->value = GetTagData(TA_Value, 0, reinterpret_cast<opSet *>(msg)->ops_AttrList);
    }
    return reinterpret_cast<IPTR>(o);
  }
  case OM_SET: {
    struct TagItem *tags = reinterpret_cast<opSet *>(msg)->ops_AttrList, *t;
    while ((t = NextTagItem(&tags))) {
      if (t->ti_Tag == TA_Value) d->value = t->ti_Data;
      if (t->ti_Tag == TA_Other) d->other = t->ti_Data;
    }
    break; // the superclass announces every tag
  }
  case OM_GET:
    if (w[1] == TA_Value) return *reinterpret_cast<IPTR *>(w[2]) = d->value, TRUE;
    if (w[1] == TA_Other) return *reinterpret_cast<IPTR *>(w[2]) = d->other, TRUE;
    break;
  case TM_Record: {
    struct Task *t = FindTask(nullptr);
    Rec().Add({obj, TM_Record, w[1], w[2], t && t->tc_Node.ln_Name ? t->tc_Node.ln_Name : ""});
    return 0;
  }
  case TM_Dispose:
    DisposeObject(reinterpret_cast<Object *>(w[1]));
    return 0;
  case TM_Block: {
    auto *gate = reinterpret_cast<std::atomic<int> *>(w[1]);
    while (!gate->load())
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return 0;
  }
  }
  return DoSuperMethodA(cl, obj, msg);
}

} // namespace

Recorder &Rec() {
  static Recorder r;
  return r;
}

struct MUI_CustomClass *RecorderClass() {
  static struct MUI_CustomClass *mcc =
      MUI_CreateCustomClass(nullptr, MUIC_Notify, nullptr, sizeof(RecData), RecDispatcher);
  return mcc;
}

Object *NewRecorder(IPTR value) { return NewObject(RecorderClass()->mcc_Class, nullptr, TA_Value, value); }

IPTR Get(Object *obj, IPTR attr) {
  IPTR v = 0;
  GetAttr(attr, obj, &v);
  return v;
}

Object *ScriptedDisplay::PopupMenu(const platform::MenuEntry &strip, Object *, LONG, LONG) {
  std::function<Object *(const platform::MenuEntry &)> choose;
  {
    std::lock_guard g(lock);
    menus.push_back(strip);
    choose = menuChoice;
  }
  return choose ? choose(strip) : nullptr;
}

LoopThread::LoopThread() {
  app = MUI_NewObject(MUIC_Application, MUIA_Application_Title, "test");
  std::promise<void> started;
  auto f = started.get_future();
  thread = std::thread([this, &started] {
    running = true;
    // The first thing the loop runs tells the test it is up.
    platform::PostToApplication(app, [&started] { started.set_value(); });
    platform::RunApplicationLoop(app);
    running = false;
  });
  f.wait();
}

LoopThread::~LoopThread() {
  Stop();
  MUI_DisposeObject(app);
}

void LoopThread::Sync(std::function<void()> fn) {
  std::promise<void> done;
  auto f = done.get_future();
  platform::PostToApplication(app, [&] {
    fn();
    done.set_value();
  });
  f.wait();
}

void LoopThread::Stop() {
  if (thread.joinable()) {
    platform::StopApplication(app);
    thread.join();
  }
}

} // namespace coretest
