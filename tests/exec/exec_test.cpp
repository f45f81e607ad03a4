#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "exec/clock.h"
#include "exec/exec.h"
#include "exec/text.h"

namespace {

TEST(Signals, WaitWakesOnAnySignalOfTheSetAndClearsOnlyThose) {
  std::atomic<struct Task *> waiter{nullptr};
  std::atomic<ULONG> got{0};
  struct Task *t = platform::CreateTask("sig waiter", 0, [&] {
    waiter = FindTask(nullptr);
    got = Wait(SIGBREAKF_CTRL_C | SIGBREAKF_CTRL_F);
    // CTRL-D arrived too but was not waited for: it stays pending
    got = got | (CheckSignal(SIGBREAKF_CTRL_D) << 16);
  });
  while (!waiter) std::this_thread::yield();
  Signal(waiter, SIGBREAKF_CTRL_D | SIGBREAKF_CTRL_F);
  platform::JoinTask(t);
  EXPECT_EQ(got.load(), SIGBREAKF_CTRL_F | (SIGBREAKF_CTRL_D << 16));
}

TEST(Signals, CheckSignalIsTestAndClearAndSetSignalReportsOld) {
  SetSignal(0, 0xFFFFFFFF);
  Signal(FindTask(nullptr), SIGBREAKF_CTRL_C);
  EXPECT_EQ(CheckSignal(SIGBREAKF_CTRL_C | SIGBREAKF_CTRL_D), SIGBREAKF_CTRL_C);
  EXPECT_EQ(CheckSignal(SIGBREAKF_CTRL_C), 0u);
  SetSignal(SIGBREAKF_CTRL_E, SIGBREAKF_CTRL_E);
  EXPECT_EQ(SetSignal(0, SIGBREAKF_CTRL_E) & SIGBREAKF_CTRL_E, SIGBREAKF_CTRL_E);
  EXPECT_EQ(SetSignal(0, 0) & SIGBREAKF_CTRL_E, 0u);
}

TEST(Signals, AllocSignalGivesUserBitsUntilExhausted) {
  std::vector<BYTE> bits;
  for (BYTE b; (b = AllocSignal(-1)) >= 0;) bits.push_back(b);
  EXPECT_EQ(bits.size(), 16u);
  for (BYTE b : bits) EXPECT_GE(b, 16);
  EXPECT_EQ(AllocSignal(12), -1); // CTRL-C belongs to the system
  FreeSignal(bits[3]);
  EXPECT_EQ(AllocSignal(bits[3]), bits[3]);
  for (BYTE b : bits) FreeSignal(b);
}

TEST(Tasks, FindTaskByNameOnlyWhileAlive) {
  std::atomic<bool> release{false};
  struct Task *t = platform::CreateTask("Melodune Test-Task", 0, [&] {
    while (!release) std::this_thread::yield();
  });
  EXPECT_EQ(FindTask("Melodune Test-Task"), t);
  EXPECT_STREQ(t->tc_Node.ln_Name, "Melodune Test-Task");
  EXPECT_EQ(FindTask("Melodune Test"), nullptr);
  release = true;
  while (platform::TaskRunning(t)) std::this_thread::yield();
  EXPECT_EQ(FindTask("Melodune Test-Task"), nullptr);
  platform::JoinTask(t);
  EXPECT_EQ(platform::LiveTaskCount(), 0u);
}

TEST(Tasks, ForeignThreadGetsATaskOfItsOwn) {
  struct Task *mine = FindTask(nullptr);
  struct Task *other = nullptr;
  std::thread th([&] { other = FindTask(nullptr); });
  th.join();
  EXPECT_NE(mine, nullptr);
  EXPECT_NE(other, mine);
  EXPECT_EQ(FindTask(nullptr), mine);
}

TEST(Tasks, WaitTimeoutReturnsZeroAfterThePlatformTime) {
  platform::SetClockRate(100);
  uint64_t start = platform::ClockNowMs();
  EXPECT_EQ(platform::WaitTimeout(SIGBREAKF_CTRL_F, 2000), 0u);
  EXPECT_GE(platform::ClockNowMs() - start, 2000u);
  Signal(FindTask(nullptr), SIGBREAKF_CTRL_F);
  EXPECT_EQ(platform::WaitTimeout(SIGBREAKF_CTRL_F, 2000), SIGBREAKF_CTRL_F);
  platform::SetClockRate(1);
}

TEST(Clock, DelayCountsTicksOnTheFastClockAndTimeNeverGoesBack) {
  platform::SetClockRate(200);
  uint64_t p0 = platform::ClockNowMs();
  auto r0 = std::chrono::steady_clock::now();
  Delay(250); // 5 s of platform time
  auto real = std::chrono::steady_clock::now() - r0;
  uint64_t p1 = platform::ClockNowMs();
  EXPECT_GE(p1 - p0, 5000u);
  EXPECT_LT(real, std::chrono::seconds(1));
  platform::SetClockRate(1);
  EXPECT_GE(platform::ClockNowMs(), p1);
}

TEST(Semaphore, NestsForTheOwnerAndExcludesOthers) {
  SignalSemaphore sem;
  InitSemaphore(&sem);
  ObtainSemaphore(&sem);
  EXPECT_TRUE(AttemptSemaphore(&sem)); // nested
  std::atomic<int> otherGot{-1};
  std::thread([&] { otherGot = AttemptSemaphore(&sem); }).join();
  EXPECT_EQ(otherGot, FALSE);
  ReleaseSemaphore(&sem);
  std::thread([&] { otherGot = AttemptSemaphore(&sem); }).join();
  EXPECT_EQ(otherGot, FALSE); // still held once
  ReleaseSemaphore(&sem);

  std::atomic<bool> inside{false};
  std::thread holder([&] {
    ObtainSemaphore(&sem);
    inside = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    inside = false;
    ReleaseSemaphore(&sem);
  });
  while (!inside) std::this_thread::yield();
  ObtainSemaphore(&sem); // blocks until the holder lets go
  EXPECT_FALSE(inside);
  ReleaseSemaphore(&sem);
  holder.join();
}

struct Named {
  Node node;
  char name[16];
};

TEST(Lists, OrderInsertEnqueueAndFindName) {
  List l;
  NewList(&l);
  EXPECT_TRUE(IsListEmpty(&l));
  EXPECT_EQ(RemHead(&l), nullptr);
  EXPECT_EQ(RemTail(&l), nullptr);
  Named n[5]{};
  for (int i = 0; i < 5; ++i) {
    std::snprintf(n[i].name, sizeof n[i].name, "n%d", i);
    n[i].node.ln_Name = n[i].name;
  }
  AddTail(&l, &n[1].node);
  AddHead(&l, &n[0].node);
  AddTail(&l, &n[3].node);
  Insert(&l, &n[2].node, &n[1].node);
  Insert(&l, &n[4].node, l.lh_TailPred);
  std::string order;
  for (Node *x = l.lh_Head; x->ln_Succ; x = x->ln_Succ) order += x->ln_Name;
  EXPECT_EQ(order, "n0n1n2n3n4");
  EXPECT_EQ(FindName(&l, "n3"), &n[3].node);
  EXPECT_EQ(FindName(&l, "N3"), nullptr);
  Remove(&n[2].node);
  EXPECT_EQ(RemTail(&l), &n[4].node);
  EXPECT_EQ(RemHead(&l), &n[0].node);

  List q;
  NewList(&q);
  Named p[4]{};
  BYTE pri[] = {0, 5, 0, -3};
  for (int i = 0; i < 4; ++i) {
    p[i].node.ln_Pri = pri[i];
    Enqueue(&q, &p[i].node);
  }
  // highest priority first, equal priorities in arrival order
  Node *x = q.lh_Head;
  EXPECT_EQ(x, &p[1].node);
  EXPECT_EQ(x = x->ln_Succ, &p[0].node);
  EXPECT_EQ(x = x->ln_Succ, &p[2].node);
  EXPECT_EQ(x = x->ln_Succ, &p[3].node);
}

struct TestMsg {
  Message msg;
  int value;
};

TEST(Ports, MessagesTravelAndComeBackAsReplies) {
  MsgPort *reply = CreateMsgPort();
  ASSERT_NE(reply, nullptr);
  std::atomic<MsgPort *> server{nullptr};
  struct Task *t = platform::CreateTask("port server", 0, [&] {
    MsgPort *port = CreateMsgPort();
    port->mp_Node.ln_Name = const_cast<char *>("EXECTESTPORT");
    AddPort(port);
    server = port;
    for (int handled = 0; handled < 3;) {
      WaitPort(port);
      while (auto *m = reinterpret_cast<TestMsg *>(GetMsg(port))) {
        m->value *= 10;
        ReplyMsg(&m->msg);
        ++handled;
      }
    }
    RemPort(port);
    DeleteMsgPort(port);
  });
  while (!server) std::this_thread::yield();
  ASSERT_EQ(FindPort("EXECTESTPORT"), server.load());
  TestMsg m[3]{};
  for (int i = 0; i < 3; ++i) {
    m[i].msg.mn_ReplyPort = reply;
    m[i].value = i + 1;
    PutMsg(FindPort("EXECTESTPORT"), &m[i].msg);
  }
  for (int i = 0; i < 3; ++i) {
    WaitPort(reply);
    auto *r = reinterpret_cast<TestMsg *>(GetMsg(reply));
    EXPECT_EQ(r, &m[i]); // replies in order
    EXPECT_EQ(r->value, (i + 1) * 10);
    EXPECT_EQ(r->msg.mn_Node.ln_Type, NT_REPLYMSG);
  }
  platform::JoinTask(t);
  EXPECT_EQ(FindPort("EXECTESTPORT"), nullptr);
  DeleteMsgPort(reply);
}

TEST(Ports, OlderPortOfTheSameNameIsFoundFirstAndHooksSeeBoth) {
  std::vector<std::string> events;
  platform::SetPublicPortHooks([&](MsgPort *p) { events.push_back(std::string("+") + p->mp_Node.ln_Name); },
                               [&](MsgPort *p) { events.push_back(std::string("-") + p->mp_Node.ln_Name); });
  MsgPort *a = CreateMsgPort(), *b = CreateMsgPort();
  a->mp_Node.ln_Name = b->mp_Node.ln_Name = const_cast<char *>("SAME");
  AddPort(a);
  AddPort(b);
  EXPECT_EQ(FindPort("SAME"), a);
  RemPort(a);
  EXPECT_EQ(FindPort("SAME"), b);
  DeleteMsgPort(b); // removes it too
  DeleteMsgPort(a);
  EXPECT_EQ(FindPort("SAME"), nullptr);
  platform::SetPublicPortHooks(nullptr, nullptr);
  EXPECT_EQ(events, (std::vector<std::string>{"+SAME", "+SAME", "-SAME", "-SAME"}));
}

TEST(Memory, AllocVecClearsOnRequestAndRefusesZero) {
  EXPECT_EQ(AllocVec(0, MEMF_CLEAR), nullptr);
  auto *p = static_cast<unsigned char *>(AllocVec(4096, MEMF_ANY | MEMF_CLEAR));
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 4096; ++i) ASSERT_EQ(p[i], 0);
  FreeVec(p);
  FreeVec(nullptr);
}

TEST(Tags, WalkFollowsMoreAndSkipsIgnoreAndSkip) {
  TagItem tail[] = {{TAG_USER + 3, 30}, {TAG_DONE, 0}};
  TagItem head[] = {{TAG_USER + 1, 10}, {TAG_IGNORE, 0},  {TAG_SKIP, 1},
                    {TAG_USER + 9, 99}, {TAG_USER + 2, 20}, {TAG_MORE, reinterpret_cast<IPTR>(tail)}};
  std::vector<IPTR> seen;
  TagItem *state = head;
  while (TagItem *t = NextTagItem(&state)) seen.push_back(t->ti_Data);
  EXPECT_EQ(seen, (std::vector<IPTR>{10, 20, 30}));
  EXPECT_EQ(GetTagData(TAG_USER + 3, 7, head), 30u);
  EXPECT_EQ(GetTagData(TAG_USER + 9, 7, head), 7u); // skipped
  TagArray built(TAG_USER + 5, "x", TAG_USER + 6, -1);
  EXPECT_STREQ(reinterpret_cast<const char *>(GetTagData(TAG_USER + 5, 0, built.items())), "x");
  EXPECT_EQ(static_cast<LONG>(GetTagData(TAG_USER + 6, 0, built.items())), -1);
}

TEST(Libraries, VersionAndHiddenDecideTheOpen) {
  platform::RegisterLibrary("test/some.class", 52, 1);
  Library *lib = OpenLibrary("test/some.class", 51);
  ASSERT_NE(lib, nullptr);
  EXPECT_EQ(lib->lib_Version, 52);
  EXPECT_EQ(OpenLibrary("test/some.class", 53), nullptr);
  EXPECT_EQ(OpenLibrary("test/missing.class", 0), nullptr);
  platform::HideLibrary("test/some.class", true);
  EXPECT_EQ(OpenLibrary("test/some.class", 0), nullptr);
  platform::HideLibrary("test/some.class", false);
  CloseLibrary(lib);
  EXPECT_EQ(lib->lib_OpenCnt, 0);
}

TEST(Text, Latin1AndUtf8ConvertAtTheBorder) {
  EXPECT_EQ(platform::Utf8ToLatin1("Caf\xC3\xA9 \xE2\x82\xAC"), "Caf\xE9 ?");
  EXPECT_EQ(platform::Utf8ToLatin1("raw \xE9 byte"), "raw \xE9 byte"); // not UTF-8: kept
  EXPECT_EQ(platform::Latin1ToUtf8("Caf\xE9\xA0x"), "Caf\xC3\xA9\xC2\xA0x");
  EXPECT_TRUE(platform::LooksLikeUtf8("\xC3\xA9"));
  EXPECT_FALSE(platform::LooksLikeUtf8("plain"));
  EXPECT_FALSE(platform::LooksLikeUtf8("\xC0\xAF")); // overlong
  EXPECT_TRUE(platform::EqualsNoCaseLatin1("\xC9t\xE9", "\xE9T\xC9"));
  EXPECT_EQ(platform::ToUpperLatin1(0xF7), 0xF7); // division sign has no case
  EXPECT_EQ(platform::ToUpperLatin1(0xFF), 0xFF);
}

} // namespace
