// The class as the host drives it: several bars and the main instance,
// the right mouse button, dispatch, the library entry and its libraries.
#include <dlfcn.h>

#include <cstring>

#include "core_harness.h"

namespace coretest {
namespace {

bool TaskExists(CONST_STRPTR name) { return FindTask(name) != nullptr; }

TEST_F(CoreTest, FirstSetupIsTheMainInstanceAndOwnsTimersWorkersAndProcess) {
  Bar &a = MakeBar();
  Bar &b = MakeBar();
  ASSERT_TRUE(Setup(a));
  EXPECT_EQ(g.obj.load(), a.obj);
  EXPECT_EQ(g.currObj.load(), a.obj);
  EXPECT_EQ(g.currStation.load(), -1);
  EXPECT_EQ(g.recStation.load(), -1);
  EXPECT_EQ(g.timerIhn.ihn_Object, a.obj);
  EXPECT_EQ(g.timerIhn.ihn_Millis, 5000);
  EXPECT_EQ(g.timerIhn.ihn_Method, MM_Melodune_Timer);
  EXPECT_EQ(g.gaugeIhn.ihn_Millis, 500);
  EXPECT_EQ(g.gaugeIhn.ihn_Method, MM_Melodune_UpdateGauge);
  EXPECT_TRUE(TaskExists("Melodune Rec-Slave"));
  EXPECT_TRUE(TaskExists("Melodune MetaInfo-Slave"));
  EXPECT_TRUE(TaskExists("Melodune Connection-Slave"));
  ASSERT_NE(g.arexxProcess.load(), nullptr);
  ASSERT_NE(g.menustrip.load(), nullptr);
  Object *strip = g.menustrip.load(), *rec = g.slaveRec.load(), *proc = g.arexxProcess.load();

  // The second bar finds everything made and only adds its own parts.
  ASSERT_TRUE(Setup(b));
  EXPECT_EQ(g.setupCount.load(), 2);
  EXPECT_EQ(g.obj.load(), a.obj);
  EXPECT_EQ(g.timerIhn.ihn_Object, a.obj);
  EXPECT_EQ(g.menustrip.load(), strip);
  EXPECT_EQ(g.slaveRec.load(), rec);
  EXPECT_EQ(g.arexxProcess.load(), proc);
  EXPECT_EQ(D(b.obj)->ehn.ehn_Object, b.obj);
  EXPECT_TRUE(D(b.obj)->ehn.ehn_Flags & MUI_EHF_ISENABLED);

  // Cleaning up the other screen's bar leaves the player alone.
  Cleanup(b);
  EXPECT_EQ(g.setupCount.load(), 1);
  EXPECT_EQ(g.menustrip.load(), strip);
  EXPECT_TRUE(TaskExists("Melodune Connection-Slave"));
  EXPECT_FALSE(D(b.obj)->ehn.ehn_Flags & MUI_EHF_ISENABLED);

  // The main instance's cleanup takes it all down.
  Cleanup(a);
  EXPECT_EQ(g.setupCount.load(), 0);
  EXPECT_EQ(g.menustrip.load(), nullptr);
  EXPECT_EQ(g.slaveRec.load(), nullptr);
  EXPECT_EQ(g.arexxProcess.load(), nullptr);
  EXPECT_FALSE(TaskExists("Melodune Rec-Slave"));
  EXPECT_EQ(g.obj.load(), a.obj); // still the main instance until it is disposed

  // Disposing of it makes the next set-up the main instance.
  Object *first = a.obj;
  Drop(a);
  EXPECT_EQ(g.obj.load(), nullptr);
  EXPECT_NE(g.currObj.load(), first);
  ASSERT_TRUE(Setup(b));
  EXPECT_EQ(g.obj.load(), b.obj);
  EXPECT_EQ(g.currObj.load(), b.obj);
  EXPECT_EQ(g.timerIhn.ihn_Object, b.obj);
  EXPECT_TRUE(TaskExists("Melodune MetaInfo-Slave"));
}

TEST_F(CoreTest, AutomaticUpdateCheckArrivesAfterAMinuteUnlessCleanedUpOrTurnedOff) {
  Bar &a = MakeBar();
  ASSERT_TRUE(Setup(a));
  Pump();
  EXPECT_EQ(xget(a.obj, MUIA_UserData), 0u);
  platform::SleepMs(60500);
  Pump();
  EXPECT_EQ(xget(a.obj, MUIA_UserData), 1u);

  Cleanup(a);
  SetAttrs(a.obj, MUIA_UserData, 0);
  ASSERT_TRUE(Setup(a));
  Cleanup(a); // kills the pending check
  platform::SleepMs(60500);
  Pump();
  EXPECT_EQ(xget(a.obj, MUIA_UserData), 0u);

  // Turned off in the settings: no check at start.
  SetConfig(CFG_CheckUpdates, 0);
  ASSERT_TRUE(Setup(a));
  platform::SleepMs(60500);
  Pump();
  EXPECT_EQ(xget(a.obj, MUIA_UserData), 0u);
}

TEST_F(CoreTest, ASecondSetupKeepsOneClickOneMenu) {
  Bar &a = MakeBar();
  ASSERT_TRUE(Setup(a));
  Cleanup(a);
  ASSERT_TRUE(Setup(a));
  platform::AreaClick(a.obj);
  Pump();
  EXPECT_EQ(SuperSpy::Count(MM_Melodune_MenuAction), 1u); // the harness leaves menu actions to the superclass
}

// A stand-in for the connecting stream's task: it waits for CTRL-C.
struct FakeStreamTask {
  std::atomic<bool> broken{false};
  struct Task *task = nullptr;
  FakeStreamTask() {
    task = platform::CreateTask(MELODUNE_HTTPSTREAM_TASK, 0, [this] {
      if (platform::WaitTimeout(SIGBREAKF_CTRL_C, 200000) & SIGBREAKF_CTRL_C) broken = true;
    });
  }
  ~FakeStreamTask() {
    if (!broken) Signal(task, SIGBREAKF_CTRL_C);
    platform::JoinTask(task);
  }
};

IPTR Event(Object *obj, UWORD code, WORD x, WORD y) {
  struct IntuiMessage im {};
  im.Class = IDCMP_MOUSEBUTTONS;
  im.Code = code;
  im.MouseX = x;
  im.MouseY = y;
  return DoMethod(obj, MUIM_HandleEvent, &im, MUIKEY_NONE);
}

TEST_F(CoreTest, RightButtonActsStrictlyInsideTheGadget) {
  Bar &a = MakeBar();
  ASSERT_TRUE(Setup(a));
  const WORD l = _left(a.obj), t = _top(a.obj), w = _width(a.obj), h = _height(a.obj);
  ASSERT_EQ(w, 20);

  {
    FakeStreamTask stream;
    // The exact right and bottom edges are outside; so is another button.
    EXPECT_EQ(Event(a.obj, MENUDOWN, l + w, t), 0u);
    EXPECT_EQ(Event(a.obj, MENUDOWN, l, t + h), 0u);
    EXPECT_EQ(Event(a.obj, MENUDOWN, l - 1, t), 0u);
    EXPECT_EQ(Event(a.obj, SELECTDOWN, l, t), 0u);
    EXPECT_EQ(Event(a.obj, MENUUP, l, t), 0u);
    platform::SleepMs(50);
    EXPECT_FALSE(stream.broken.load());
    // Inside while connecting: the connection is broken off, the event eaten.
    EXPECT_EQ(Event(a.obj, MENUDOWN, l + w - 1, t + h - 1), MUI_EventHandlerRC_Eat);
    for (int i = 0; i < 100 && !stream.broken; ++i) platform::SleepMs(20);
    EXPECT_TRUE(stream.broken.load());
  }

  // Nothing playing, nothing connecting: still eaten, nothing else.
  EXPECT_EQ(Event(a.obj, MENUDOWN, l, t), MUI_EventHandlerRC_Eat);
  EXPECT_EQ(KillPending(a.obj, MM_Melodune_MenuAction), 0u);

  // Playing: mute toggles (once) and the gadget redraws.
  Object *out = MUI_NewObject(MUIC_Notify, TAG_DONE);
  g.Out = out;
  EXPECT_EQ(Event(a.obj, MENUDOWN, l, t), MUI_EventHandlerRC_Eat);
  g.Out = nullptr;
  EXPECT_EQ(KillPending(a.obj, MM_Melodune_Redraw), 1u);
  Pump();
  EXPECT_EQ(SuperSpy::Choices(), std::vector<IPTR>{MENU_MUTE});
  MUI_DisposeObject(out);
}

TEST_F(CoreTest, MethodsWithoutHandlersReachTheSuperclass) {
  Bar &a = MakeBar();
  for (IPTR id : {0x80CA0003ul, 0x80CA0007ul, 0x80CA0009ul, 0x80CA0023ul, 0x80CA0024ul, 0x80CA0025ul, 0x80CA0000ul,
                  0x80CA002Dul, 0x12345678ul}) {
    EXPECT_EQ(DoMethod(a.obj, id, 1, 2), 0u);
    EXPECT_TRUE(SuperSpy::Saw(id)) << std::hex << id;
  }
  // Handled ones answer themselves.
  EXPECT_EQ(DoMethod(a.obj, MUIM_Screenbar_IsConfigItem, CFG_RecPen), 1u);
  EXPECT_FALSE(SuperSpy::Saw(MUIM_Screenbar_IsConfigItem));
  EXPECT_EQ(DoMethod(a.obj, MM_Melodune_DeleteBubble), 0u);
  EXPECT_FALSE(SuperSpy::Saw(MM_Melodune_DeleteBubble));
}

TEST_F(CoreTest, NewObjectsAreRelVerifyWithTooltipAndNoPens) {
  Bar &a = MakeBar();
  EXPECT_EQ(xget(a.obj, MUIA_InputMode), static_cast<IPTR>(MUIV_InputMode_RelVerify));
  EXPECT_EQ(xget(a.obj, MUIA_ShortHelp), static_cast<IPTR>(TRUE));
  EXPECT_EQ(D(a.obj)->playPen, -1);
  EXPECT_EQ(D(a.obj)->recPen, -1);
  // The caller's attributes still count.
  Object *o = NewObject(mcc->mcc_Class, nullptr, MUIA_UserData, 77, TAG_DONE);
  EXPECT_EQ(xget(o, MUIA_UserData), 77u);
  DisposeObject(o);
}

TEST_F(CoreTest, WarningIsOneOkayRequesterAtThePointer) {
  Bar &a = MakeBar();
  ASSERT_TRUE(Setup(a));
  platform::SetScreenMouse(a.scr, 33, 7);
  DoMethod(a.obj, MM_Melodune_Warning, "\33cFailed %s (%ld)", "here", 42, 0, 0, 0, 0);
  ASSERT_EQ(spy.requests.size(), 1u);
  const auto &r = spy.requests[0];
  EXPECT_EQ(r.title, "Melodune.sbar: Warning");
  ASSERT_EQ(r.buttons.size(), 1u);
  EXPECT_EQ(r.buttons[0], "Okay");
  EXPECT_NE(r.text.find("Failed here (42)"), std::string::npos);
  EXPECT_TRUE(r.atPosition);
  EXPECT_EQ(r.x, 33);
  EXPECT_EQ(r.y, 7);
}

TEST_F(CoreTest, UpdateCheckStoresTheModeOnTheMainInstance) {
  Bar &a = MakeBar();
  Bar &b = MakeBar();
  ASSERT_TRUE(Setup(a));
  ASSERT_TRUE(Setup(b));
  DoMethod(b.obj, MM_Melodune_UpdateCheck, 0);
  EXPECT_EQ(xget(a.obj, MUIA_UserData), 0u);
  DoMethod(b.obj, MM_Melodune_UpdateCheck, 1);
  EXPECT_EQ(xget(a.obj, MUIA_UserData), 1u);
  EXPECT_EQ(xget(b.obj, MUIA_UserData), 0u);
}

TEST_F(CoreTest, QueryAnswersClassCreditOrNothing) {
  EXPECT_EQ(funcs->Query(base, 0), mcc);
  auto *credit = static_cast<const char *>(funcs->Query(base, 7));
  ASSERT_NE(credit, nullptr);
  EXPECT_NE(std::strstr(credit, "Melodune"), nullptr);
  EXPECT_EQ(std::strchr(credit, '\n'), nullptr);
  for (LONG code : {1, 6, 8, -1}) EXPECT_EQ(funcs->Query(base, code), nullptr);
  EXPECT_STREQ(base->lib_Node.ln_Name, "Melodune.sbar");
  EXPECT_EQ(base->lib_Version, 3);
  EXPECT_EQ(base->lib_Revision, 5);
  EXPECT_EQ(base->lib_Flags & (LIBF_SUMUSED | LIBF_CHANGED), LIBF_SUMUSED | LIBF_CHANGED);
  EXPECT_EQ(std::strncmp(base->lib_IdString, "$VER: Melodune.sbar 3.5 (16.11.25)", 34), 0);
}

// Each needed library, missing in turn: no class, nothing left open.
TEST(CoreLibrary, AMissingLibraryLeavesNoClass) {
  const ScreenbarLibraryFuncs *f = ScreenbarLibraryEntry();
  for (CONST_STRPTR name : {"muimaster.library", "multimedia/multimedia.class", "multimedia/http.stream",
                            "multimedia/shoutcast.demuxer", "cybergraphics.library", "locale.library"}) {
    struct Library *lib = f->Init(nullptr);
    platform::HideLibrary(name, true);
    EXPECT_EQ(f->Open(lib, 0), nullptr) << name;
    EXPECT_EQ(lib->lib_OpenCnt, 0) << name;
    EXPECT_EQ(f->Query(lib, 0), nullptr) << name;
    struct Library *http = OpenLibrary("multimedia/http.stream", 0);
    if (http) {
      EXPECT_EQ(http->lib_OpenCnt, 1) << name; // only ours: the failed open closed what it had opened
      CloseLibrary(http);
    }
    platform::HideLibrary(name, false);
    ASSERT_EQ(f->Open(lib, 0), lib) << name;
    EXPECT_NE(f->Query(lib, 0), nullptr);
    EXPECT_EQ(f->Close(lib), nullptr);
    EXPECT_EQ(f->Query(lib, 0), nullptr);
    f->Expunge(lib);
  }
}

TEST(CoreLibrary, ExpungeWaitsForTheLastClose) {
  const ScreenbarLibraryFuncs *f = ScreenbarLibraryEntry();
  struct Library *lib = f->Init(reinterpret_cast<APTR>(0x1234));
  ASSERT_EQ(f->Open(lib, 0), lib);
  ASSERT_EQ(f->Open(lib, 0), lib);
  EXPECT_EQ(f->Expunge(lib), nullptr);
  EXPECT_TRUE(lib->lib_Flags & LIBF_DELEXP);
  EXPECT_EQ(f->Close(lib), nullptr);
  EXPECT_NE(f->Query(lib, 0), nullptr); // one user left
  EXPECT_EQ(f->Close(lib), reinterpret_cast<APTR>(0x1234)); // delayed expunge
}

// The built plug-in as the host loads it.
TEST(CoreLibrary, TheBuiltPluginOpensThroughItsEntry) {
  void *handle = dlopen(MELODUNE_BIN_DIR "/Melodune.sbar", RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(handle, nullptr) << dlerror();
  auto entry = reinterpret_cast<ScreenbarLibraryEntryFunc>(dlsym(handle, SCREENBAR_ENTRY_SYMBOL));
  ASSERT_NE(entry, nullptr);
  const ScreenbarLibraryFuncs *f = entry();
  ASSERT_NE(f, ScreenbarLibraryEntry()); // its own copy, not the test's
  struct Library *lib = f->Init(handle);
  ASSERT_EQ(f->Open(lib, 0), lib);
  auto *mcc = static_cast<struct MUI_CustomClass *>(f->Query(lib, 0));
  ASSERT_NE(mcc, nullptr);
  Object *o = NewObject(mcc->mcc_Class, nullptr, TAG_DONE);
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(DoMethod(o, MUIM_Screenbar_IsConfigItem, CFG_ShowMetaTitle), 1u);
  DisposeObject(o);
  f->Close(lib);
  EXPECT_EQ(f->Expunge(lib), handle);
  dlclose(handle);
}

} // namespace
} // namespace coretest

namespace coretest {
namespace {

TEST_F(CoreTest, TraceFollowsTheSwitchWithItsPrefix) {
  testing::internal::CaptureStderr();
  DTRACE("Melodune_Timer", "tick %ld\n", 5);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

  BPTR f = Open("ENV:MeloduneQMD", MODE_NEWFILE);
  ASSERT_NE(f, 0);
  Close(f);
  testing::internal::CaptureStderr();
  const LONG line = __LINE__ + 1;
  DTRACE("Melodune_Timer", "tick %ld\n", 5);
  char want[128];
  SNPrintf(want, sizeof(want), "[%04ld] Melodune_sbar/Melodune_Timer(): tick 5\n", line);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), want);
}

TEST_F(CoreTest, BusyWorkersAreWaitedForBoundedlyAndNotDisposed) {
  Bar &a = MakeBar();
  ASSERT_TRUE(Setup(a));
  Object *meta = g.slaveMetaInfo.load();
  g.isInSlaveMetaInfo = 1; // a title request that never ends
  testing::internal::CaptureStderr();
  Cleanup(a);
  std::string log = testing::internal::GetCapturedStderr();
  EXPECT_NE(log.find("Melodune.sbar: MetaInfoSlave is still doing something, wait 1 sec (1/20)...\n"), std::string::npos);
  EXPECT_NE(log.find("(20/20)"), std::string::npos);
  EXPECT_EQ(log.find("(21/20)"), std::string::npos);
  EXPECT_NE(log.find("Melodune.sbar: Ok, MetaInfoSlave has NOT finished!\n"), std::string::npos);
  EXPECT_NE(log.find("Melodune.sbar: MetaInfoSlave wasn't disposed!\n"), std::string::npos);
  EXPECT_EQ(g.slaveMetaInfo.load(), meta);
  EXPECT_EQ(g.slaveRec.load(), nullptr); // the idle ones went
  EXPECT_EQ(g.slaveConnection.load(), nullptr);
  g.isInSlaveMetaInfo = 0;
  MUI_DisposeObject(g.slaveMetaInfo.exchange(nullptr));
}

} // namespace
} // namespace coretest
