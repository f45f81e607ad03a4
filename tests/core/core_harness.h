// A small in-process host for the class core: a root folder made from the
// skeleton, the library opened through its entry table, an application,
// and bars (one screen, one window and one plug-in object each) that the
// test sets up, draws and cleans up like the title-bar host does.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <deque>
#include <vector>

#include "core/Melodune.h"
#include "dos/dos.h"
#include "exec/clock.h"
#include "gadgets/gadgets.h"
#include "host/screenbar.h"
#include "mui/display.h"
#include "mui/screen.h"
#include "support/temp_root.h"

extern "C" const struct ScreenbarLibraryFuncs *ScreenbarLibraryEntry();

namespace coretest {

// What the display was shown.
struct Spy : platform::Display {
  std::mutex lock;
  std::vector<std::string> created;
  std::vector<APTR> createdHandles, deleted;
  std::vector<platform::RequestInfo> requests;
  void BubbleCreated(APTR b, Object *, LONG, LONG, const std::string &text, ULONG) override {
    std::lock_guard l(lock);
    created.push_back(text);
    createdHandles.push_back(b);
  }
  void BubbleDeleted(APTR b) override {
    std::lock_guard l(lock);
    deleted.push_back(b);
  }
  int Request(const platform::RequestInfo &info) override {
    std::lock_guard l(lock);
    requests.push_back(info);
    return 0;
  }
};

// Methods that reached Area.mui, the class's superclass.
struct SuperSpy {
  static inline std::mutex lock;
  static inline std::vector<IPTR> seen;
  // The choice of each MM_Melodune_MenuAction seen (other messages may carry
  // no argument word at all).
  static inline std::vector<IPTR> choices;
  static inline DISPATCHERFUNC original = nullptr;
  static IPTR Dispatch(struct IClass *cl, Object *obj, Msg msg) {
    {
      std::lock_guard l(lock);
      seen.push_back(msg->MethodID);
      if (msg->MethodID == MM_Melodune_MenuAction) choices.push_back(reinterpret_cast<const IPTR *>(msg)[1]);
    }
    return original(cl, obj, msg);
  }
  static bool Saw(IPTR id) {
    std::lock_guard l(lock);
    for (IPTR s : seen)
      if (s == id) return true;
    return false;
  }
  static std::vector<IPTR> Choices() {
    std::lock_guard l(lock);
    return choices;
  }
  static size_t Count(IPTR id) {
    std::lock_guard l(lock);
    size_t n = 0;
    for (IPTR s : seen) n += s == id;
    return n;
  }
};

// The class with every subsystem linked in, but with its menu actions left
// to the superclass: these tests look at the choices arriving there, not at
// what playback makes of them.
struct MenuToSuper {
  static inline DISPATCHERFUNC original = nullptr;
  static IPTR Dispatch(struct IClass *cl, Object *obj, Msg msg) {
    if (msg->MethodID == MM_Melodune_MenuAction) return DoSuperMethodA(cl, obj, msg);
    return original(cl, obj, msg);
  }
};

struct Bar {
  struct Screen *scr = nullptr;
  Object *win = nullptr;
  Object *obj = nullptr;
  bool setUp = false;
};

class CoreTest : public ::testing::Test {
protected:
  void SetUp() override {
    tmp.CopySkeleton();
    ASSERT_TRUE(platform::SetDosRoot(root));
    platform::SetClockRate(50);
    platform::SetDisplay(&spy);
    platform::SetConfigProvider([this](Object *, ULONG id, IPTR *storage) {
      std::lock_guard l(configLock);
      auto it = config.find(id);
      if (it == config.end()) return false;
      *storage = it->second;
      return true;
    });

    funcs = ScreenbarLibraryEntry();
    base = funcs->Init(reinterpret_cast<APTR>(0x5E6));
    ASSERT_NE(base, nullptr);
    ASSERT_EQ(funcs->Open(base, 0), base);
    mcc = static_cast<struct MUI_CustomClass *>(funcs->Query(base, 0));
    ASSERT_NE(mcc, nullptr);
    MenuToSuper::original = mcc->mcc_Class->cl_Dispatcher;
    mcc->mcc_Class->cl_Dispatcher = MenuToSuper::Dispatch;

    struct IClass *area = MUI_GetClass(MUIC_Area);
    if (!SuperSpy::original) SuperSpy::original = area->cl_Dispatcher;
    area->cl_Dispatcher = SuperSpy::Dispatch;
    {
      std::lock_guard l(SuperSpy::lock);
      SuperSpy::seen.clear();
      SuperSpy::choices.clear();
    }

    app = MUI_NewObject(MUIC_Application, MUIA_Application_Title, "CoreTest", TAG_DONE);
    ASSERT_NE(app, nullptr);
  }

  void TearDown() override {
    g.Out = nullptr;
    g.recOut = nullptr;
    g.state = MELODUNE_STOPPED;
    for (Bar &b : bars) Drop(b);
    bars.clear();
    MUI_DisposeObject(app);
    MUI_GetClass(MUIC_Area)->cl_Dispatcher = SuperSpy::original;
    funcs->Close(base);
    EXPECT_EQ(funcs->Expunge(base), reinterpret_cast<APTR>(0x5E6));
    platform::SetConfigProvider(nullptr);
    platform::SetDisplay(nullptr);
    platform::SetClockRate(1);
  }

  // A bar of the given height on a screen of its own, laid out at x = 100.
  Bar &MakeBar(LONG barHeight = 20, uint32_t barText = 0xFF123456) {
    Bar b;
    platform::ScreenOptions o;
    o.width = 320;
    o.barHeight = barHeight;
    o.barText = barText;
    b.scr = platform::OpenPlatformScreen(o);
    b.obj = NewObject(mcc->mcc_Class, nullptr, TAG_DONE);
    EXPECT_NE(b.obj, nullptr);
    b.win = MUI_NewObject(MUIC_Window, MUIA_Window_Screen, b.scr, WindowContents, b.obj, TAG_DONE);
    DoMethod(app, OM_ADDMEMBER, b.win);
    bars.push_back(b);
    return bars.back();
  }

  bool Setup(Bar &b) {
    if (!DoMethod(b.obj, MUIM_Setup, platform::ScreenRenderInfo(b.scr))) return false;
    b.setUp = true;
    struct MUI_MinMax mm{};
    DoMethod(b.obj, MUIM_AskMinMax, &mm);
    platform::AreaSetBox(b.obj, 100, 0, mm.DefWidth, mm.DefHeight);
    return true;
  }
  void Cleanup(Bar &b) {
    if (!b.setUp) return;
    DoMethod(b.obj, MUIM_Cleanup);
    b.setUp = false;
  }
  void Drop(Bar &b) {
    Cleanup(b);
    if (b.win) {
      DoMethod(app, OM_REMMEMBER, b.win);
      MUI_DisposeObject(b.win); // takes the plug-in object with it
    }
    b.win = b.obj = nullptr;
    platform::ClosePlatformScreen(b.scr);
    b.scr = nullptr;
  }

  // Runs what is due on the GUI task (this thread made the application).
  void Pump() { DoMethod(app, MUIM_Application_InputBuffered); }
  // Pending pushes of method to obj, removed.
  IPTR KillPending(Object *obj, IPTR method) { return DoMethod(app, MUIM_Application_KillPushMethod, obj, 0, method); }

  Data *D(Object *obj) { return static_cast<Data *>(INST_DATA(mcc->mcc_Class, obj)); }
  void SetConfig(ULONG id, IPTR value) {
    std::lock_guard l(configLock);
    config[id] = value;
  }

  testsupport::TempRoot tmp{"melodune-core"};
  std::string root = tmp.path();
  Spy spy;
  const struct ScreenbarLibraryFuncs *funcs = nullptr;
  struct Library *base = nullptr;
  struct MUI_CustomClass *mcc = nullptr;
  Object *app = nullptr;
  std::deque<Bar> bars; // references stay valid as bars are added
  std::mutex configLock;
  std::map<ULONG, IPTR> config;
};

} // namespace coretest
