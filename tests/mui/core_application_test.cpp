// The application loop: pushes with delays and kills, timers, posted input.
#include "core_helpers.h"
#include "support/clock_rate.h"

using namespace coretest;

namespace {

class App : public RecorderTest {
protected:
  testsupport::ClockRate clock{20}; // 1000 platform ms pass in 50 real ms
};

TEST_F(App, PushesRunInOrderOnTheGuiTaskFromAnyTask) {
  LoopThread loop;
  Object *obj = NewRecorder();
  std::vector<std::thread> senders;
  for (int t = 0; t < 4; t++)
    senders.emplace_back([&, t] {
      for (int i = 0; i < 50; i++)
        EXPECT_NE(DoMethod(loop.app, MUIM_Application_PushMethod, obj, 3, TM_Record, t, i), 0u);
    });
  for (auto &s : senders)
    s.join();
  ASSERT_TRUE(Rec().WaitFor(200));
  auto calls = Rec().Take();
  int next[4] = {0, 0, 0, 0};
  std::thread::id gui;
  for (auto &c : calls) {
    EXPECT_EQ(c.b, static_cast<IPTR>(next[c.a]++)); // FIFO per sender
  }
  (void)gui;
  loop.Sync([&] { MUI_DisposeObject(obj); });
}

TEST_F(App, DelayedPushesWaitAndCanBeKilled) {
  LoopThread loop;
  Object *obj = NewRecorder();
  uint64_t t0 = platform::ClockNowMs();
  DoMethod(loop.app, MUIM_Application_PushMethod, obj, 3 | MUIV_PushMethod_Delay(400), TM_Record, 2, 0);
  IPTR killMe = DoMethod(loop.app, MUIM_Application_PushMethod, obj, 3 | MUIV_PushMethod_Delay(200), TM_Record, 9, 0);
  DoMethod(loop.app, MUIM_Application_PushMethod, obj, 3, TM_Record, 1, 0);
  DoMethod(loop.app, MUIM_Application_PushMethod, obj, 2 | MUIV_PushMethod_Delay(300), MUIM_Set, TA_Value);
  EXPECT_EQ(DoMethod(loop.app, MUIM_Application_KillPushMethod, nullptr, killMe, 0), 1u);
  ASSERT_TRUE(Rec().WaitFor(2));
  uint64_t t1 = platform::ClockNowMs();
  auto calls = Rec().Take();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].a, 1u);
  EXPECT_EQ(calls[1].a, 2u);
  EXPECT_GE(t1 - t0, 400u);
  // Kill by method leaves the others of the object.
  DoMethod(loop.app, MUIM_Application_PushMethod, obj, 3 | MUIV_PushMethod_Delay(100), TM_Record, 3, 0);
  DoMethod(loop.app, MUIM_Application_PushMethod, obj, 3 | MUIV_PushMethod_Delay(100), MUIM_Set, TA_Value, 5);
  EXPECT_EQ(DoMethod(loop.app, MUIM_Application_KillPushMethod, obj, 0, TM_Record), 1u);
  // And kill by object removes all of them.
  DoMethod(loop.app, MUIM_Application_PushMethod, obj, 3 | MUIV_PushMethod_Delay(100), TM_Record, 4, 0);
  EXPECT_EQ(DoMethod(loop.app, MUIM_Application_KillPushMethod, obj, 0, 0), 2u);
  platform::SleepMs(300);
  loop.Sync([] {});
  EXPECT_EQ(Rec().Count(), 0u);
  loop.Sync([&] { MUI_DisposeObject(obj); });
}

TEST_F(App, DisposedTargetsNeverReceiveTheirPushes) {
  LoopThread loop;
  Object *obj = NewRecorder();
  DoMethod(loop.app, MUIM_Application_PushMethod, obj, 3 | MUIV_PushMethod_Delay(100), TM_Record, 1, 0);
  loop.Sync([&] { MUI_DisposeObject(obj); });
  // A late push to the freed pointer is refused, not queued.
  EXPECT_EQ(DoMethod(loop.app, MUIM_Application_PushMethod, obj, 3, TM_Record, 2, 0), 0u);
  platform::SleepMs(200);
  loop.Sync([] {});
  EXPECT_EQ(Rec().Count(), 0u);
}

TEST_F(App, SinglePushesAreNotDoubled) {
  LoopThread loop;
  Object *obj = NewRecorder();
  IPTR a = DoMethod(loop.app, MUIM_Application_PushMethod, obj, 3 | MUIV_PushMethod_Delay(100) | MUIF_PUSHMETHOD_SINGLE,
                    TM_Record, 1, 0);
  IPTR b = DoMethod(loop.app, MUIM_Application_PushMethod, obj, 3 | MUIV_PushMethod_Delay(100) | MUIF_PUSHMETHOD_SINGLE,
                    TM_Record, 1, 0);
  EXPECT_EQ(a, b);
  ASSERT_TRUE(Rec().WaitFor(1));
  platform::SleepMs(100);
  loop.Sync([] {});
  EXPECT_EQ(Rec().Take().size(), 1u);
  loop.Sync([&] { MUI_DisposeObject(obj); });
}

TEST_F(App, TimersRepeatUntilRemoved) {
  LoopThread loop;
  Object *obj = NewRecorder();
  struct MUI_InputHandlerNode ihn {};
  ihn.ihn_Object = obj;
  ihn.ihn_Millis = 100;
  ihn.ihn_Flags = MUIIHNF_TIMER;
  ihn.ihn_Method = TM_Record;
  // Added from another task, as the connection worker does.
  uint64_t t0 = platform::ClockNowMs();
  EXPECT_TRUE(DoMethod(loop.app, MUIM_Application_AddInputHandler, &ihn));
  ASSERT_TRUE(Rec().WaitFor(3));
  uint64_t elapsed = platform::ClockNowMs() - t0;
  EXPECT_GE(elapsed, 300u);
  DoMethod(loop.app, MUIM_Application_RemInputHandler, &ihn);
  loop.Sync([] {});
  Rec().Take();
  platform::SleepMs(300);
  loop.Sync([] {});
  EXPECT_EQ(Rec().Count(), 0u);
  for (auto &c : Rec().Take())
    EXPECT_EQ(c.obj, obj);
  // A timer whose object is disposed goes with it.
  DoMethod(loop.app, MUIM_Application_AddInputHandler, &ihn);
  loop.Sync([&] { MUI_DisposeObject(obj); });
  platform::SleepMs(300);
  loop.Sync([] {});
  EXPECT_EQ(Rec().Count(), 0u);
}

TEST_F(App, InputBufferedRunsWhatIsPendingWithoutALoop) {
  Object *app = MUI_NewObject(MUIC_Application, TAG_DONE);
  Object *obj = NewRecorder();
  DoMethod(app, MUIM_Application_PushMethod, obj, 3, TM_Record, 1, 0);
  DoMethod(app, MUIM_Application_PushMethod, obj, 3 | MUIV_PushMethod_Delay(60000), TM_Record, 2, 0);
  EXPECT_EQ(Rec().Count(), 0u);
  DoMethod(app, MUIM_Application_InputBuffered);
  auto calls = Rec().Take();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].a, 1u);
  MUI_DisposeObject(obj);
  MUI_DisposeObject(app); // the delayed push goes with the application
}

TEST_F(App, ReturnIdQuitEndsTheLoopAndStopBeforeStartIsKept) {
  Object *app = MUI_NewObject(MUIC_Application, TAG_DONE);
  platform::PostToApplication(app, [&] { DoMethod(app, MUIM_Application_ReturnID, MUIV_Application_ReturnID_Quit); });
  platform::RunApplicationLoop(app); // returns
  platform::StopApplication(app);
  platform::RunApplicationLoop(app); // returns at once
  int n = 0;
  platform::PostToApplication(app, [&] { n++; });
  platform::RunApplicationLoop(app, [&] { return n == 0; });
  EXPECT_EQ(n, 1);
  MUI_DisposeObject(app);
}

} // namespace
