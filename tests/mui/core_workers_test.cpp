// Slave.mui, Process.mui and the semaphore methods.
#include "core_helpers.h"

using namespace coretest;

namespace {

TEST(Slave, RunsMethodsInOrderOnItsOwnTaskWhileTheSenderGoesOn) {
  Rec().Take();
  Object *target = NewRecorder();
  Object *slave = MUI_NewObject(MUIC_Slave, MUIA_Slave_Class, RecorderClass()->mcc_Class, MUIA_Slave_Target, target,
                                MUIA_Slave_Name, "Test Connection-Slave");
  ASSERT_NE(slave, nullptr);
  std::atomic<int> gate{0};
  EXPECT_EQ(DoMethod(slave, TM_Block, &gate), 0u); // returns although the method blocks
  for (int i = 0; i < 100; i++)
    DoMethod(slave, TM_Record, i, 0);
  EXPECT_EQ(Rec().Count(), 0u);
  gate = 1;
  ASSERT_TRUE(Rec().WaitFor(100));
  auto calls = Rec().Take();
  for (int i = 0; i < 100; i++) {
    EXPECT_EQ(calls[i].a, static_cast<IPTR>(i));
    EXPECT_EQ(calls[i].obj, target);
    EXPECT_EQ(calls[i].task, "Test Connection-Slave");
  }
  // Its own attributes are still its own.
  SetAttrs(slave, MUIA_UserData, 3);
  EXPECT_EQ(Get(slave, MUIA_UserData), 3u);
  MUI_DisposeObject(slave);
  MUI_DisposeObject(target);
}

TEST(Slave, DisposalLetsTheRunningMethodEndAndDropsTheRest) {
  Rec().Take();
  Object *target = NewRecorder();
  Object *slave = MUI_NewObject(MUIC_Slave, MUIA_Slave_Target, target, MUIA_Slave_Name, "Test Slave");
  std::atomic<int> gate{0};
  DoMethod(slave, TM_Block, &gate);
  DoMethod(slave, TM_Record, 1, 0);
  std::thread opener([&] {
    platform::SleepMs(20);
    gate = 1;
  });
  MUI_DisposeObject(slave); // waits for the blocked method only
  opener.join();
  EXPECT_EQ(Rec().Count(), 0u);
  EXPECT_EQ(MUI_NewObject(MUIC_Slave, MUIA_Slave_Name, "no target"), nullptr);
  MUI_DisposeObject(target);
}

struct ProcessBody {
  std::atomic<int> ctrlD{0};
  std::atomic<int> ctrlF{0};
  std::atomic<bool> ended{false};
  std::atomic<struct Task *> task{nullptr};
  std::atomic<Object *> procSeen{nullptr};
};
ProcessBody g_body;

IPTR ProcessOwner(struct IClass *cl, Object *obj, Msg msg) {
  if (msg->MethodID == MUIM_Process_Process) {
    auto *m = reinterpret_cast<MUIP_Process_Process *>(msg);
    g_body.task = FindTask(nullptr);
    g_body.procSeen = m->proc;
    while (!__atomic_load_n(m->kill, __ATOMIC_ACQUIRE)) {
      ULONG got = Wait(SIGBREAKF_CTRL_C | SIGBREAKF_CTRL_D | SIGBREAKF_CTRL_F);
      if (got & SIGBREAKF_CTRL_D) g_body.ctrlD++;
      if (got & SIGBREAKF_CTRL_F) g_body.ctrlF++;
    }
    g_body.ended = true;
    return 0;
  }
  return DoSuperMethodA(cl, obj, msg);
}

TEST(Process, LaunchSignalAndKill) {
  struct MUI_CustomClass *mcc = MUI_CreateCustomClass(nullptr, MUIC_Notify, nullptr, 8, ProcessOwner);
  Object *owner = NewObject(mcc->mcc_Class, nullptr, TAG_DONE);
  Object *proc =
      MUI_NewObject(MUIC_Process, MUIA_Process_Priority, -1, MUIA_Process_AutoLaunch, FALSE, MUIA_Process_SourceClass,
                    mcc->mcc_Class, MUIA_Process_SourceObject, owner, MUIA_Process_Name, "Test ARexx");
  ASSERT_NE(proc, nullptr);
  EXPECT_EQ(Get(proc, MUIA_Process_Task), 0u); // not launched by itself
  EXPECT_TRUE(DoMethod(proc, MUIM_Process_Launch));
  for (int i = 0; i < 500 && !g_body.task; i++)
    platform::SleepMs(1);
  ASSERT_NE(g_body.task.load(), nullptr);
  EXPECT_EQ(Get(proc, MUIA_Process_Task), reinterpret_cast<IPTR>(g_body.task.load()));
  EXPECT_EQ(g_body.procSeen.load(), proc);
  EXPECT_EQ(FindTask("Test ARexx"), g_body.task.load());
  DoMethod(proc, MUIM_Process_Signal, SIGBREAKF_CTRL_D);
  for (int i = 0; i < 1000 && !g_body.ctrlD; i++)
    platform::SleepMs(1);
  EXPECT_EQ(g_body.ctrlD, 1);
  // Signals sent to the task found through the attribute work the same.
  Signal(reinterpret_cast<struct Task *>(Get(proc, MUIA_Process_Task)), SIGBREAKF_CTRL_F);
  for (int i = 0; i < 1000 && !g_body.ctrlF; i++)
    platform::SleepMs(1);
  EXPECT_EQ(g_body.ctrlF, 1);
  EXPECT_TRUE(DoMethod(proc, MUIM_Process_Kill, 0));
  EXPECT_TRUE(g_body.ended);
  EXPECT_EQ(Get(proc, MUIA_Process_Task), 0u);
  DoMethod(proc, MUIM_Process_Signal, SIGBREAKF_CTRL_D); // no task: nothing happens
  // Launch again after a kill, then dispose of it running.
  g_body.ended = false;
  EXPECT_TRUE(DoMethod(proc, MUIM_Process_Launch));
  MUI_DisposeObject(proc);
  EXPECT_TRUE(g_body.ended);
  MUI_DisposeObject(owner);
  EXPECT_TRUE(MUI_DeleteCustomClass(mcc));
}

TEST(Process, SemaphoreIsTheConnectionLock) {
  Object *proc = MUI_NewObject(MUIC_Process, MUIA_Process_AutoLaunch, FALSE, TAG_DONE);
  ASSERT_NE(proc, nullptr);
  DoMethod(proc, MUIM_Semaphore_Obtain);
  EXPECT_TRUE(DoMethod(proc, MUIM_Semaphore_Attempt)); // nested by its owner
  DoMethod(proc, MUIM_Semaphore_Release);
  std::atomic<IPTR> other{99};
  std::thread([&] { other = DoMethod(proc, MUIM_Semaphore_Attempt); }).join();
  EXPECT_EQ(other, static_cast<IPTR>(FALSE)); // the ARexx PLAY backs off
  DoMethod(proc, MUIM_Semaphore_Release);
  std::thread([&] {
    other = DoMethod(proc, MUIM_Semaphore_Attempt);
    if (other) DoMethod(proc, MUIM_Semaphore_Release);
  }).join();
  EXPECT_EQ(other, static_cast<IPTR>(TRUE));
  MUI_DisposeObject(proc);
}

} // namespace
