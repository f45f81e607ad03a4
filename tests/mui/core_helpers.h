// Helpers of the core toolkit tests: a recording custom class, a scripted
// display and an application loop on a thread of its own.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "exec/clock.h"
#include "mui/display.h"
#include "mui/mui.h"
#include "support/scripted_requests.h"

namespace coretest {

enum : IPTR {
  TA_Value = 0x80CF0001, // a plain attribute the recorder stores
  TA_Other = 0x80CF0002,
  TM_Record = 0x80CF0010,  // (a, b): recorded
  TM_Dispose = 0x80CF0011, // (obj): disposes obj
  TM_Block = 0x80CF0012,   // (std::atomic<int> *gate): waits until *gate != 0
};

struct Call {
  Object *obj;
  IPTR method;
  IPTR a, b;
  std::string task;
};

struct Recorder {
  std::mutex lock;
  std::vector<Call> calls;
  std::condition_variable cv;

  void Add(Call c) {
    {
      std::lock_guard g(lock);
      calls.push_back(std::move(c));
    }
    cv.notify_all();
  }
  std::vector<Call> Take() {
    std::lock_guard g(lock);
    auto v = calls;
    calls.clear();
    return v;
  }
  size_t Count() {
    std::lock_guard g(lock);
    return calls.size();
  }
  bool WaitFor(size_t n, int ms = 5000) {
    std::unique_lock g(lock);
    return cv.wait_for(g, std::chrono::milliseconds(ms), [&] { return calls.size() >= n; });
  }
};

Recorder &Rec();

// A test that starts and ends with nothing recorded.
class RecorderTest : public ::testing::Test {
protected:
  void SetUp() override { Rec().Take(); }
  void TearDown() override { Rec().Take(); }
};

// "Notify.mui" subclass with TA_Value/TA_Other and the TM_* methods.
struct MUI_CustomClass *RecorderClass();
Object *NewRecorder(IPTR value = 0);
IPTR Get(Object *obj, IPTR attr);

// A display whose answers the test scripts; it logs what it was shown.
class ScriptedDisplay : public testsupport::ScriptedRequests {
public:
  std::function<Object *(const platform::MenuEntry &)> menuChoice;
  std::vector<platform::MenuEntry> menus;
  std::vector<std::string> events; // "open", "close", "bubble+ text", "bubble-" ...

  Object *PopupMenu(const platform::MenuEntry &strip, Object *parent, LONG x, LONG y) override;
  void WindowOpened(Object *) override { Event("open"); }
  void WindowClosed(Object *) override { Event("close"); }
  void BubbleCreated(APTR, Object *, LONG x, LONG y, const std::string &text, ULONG) override {
    Event("bubble+ " + std::to_string(x) + "," + std::to_string(y) + " " + text);
  }
  void BubbleDeleted(APTR) override { Event("bubble-"); }
  void ShortHelpShown(Object *, const std::string &text) override { Event("help+ " + text); }
  void ShortHelpHidden(Object *) override { Event("help-"); }
  void Event(const std::string &e) {
    std::lock_guard g(lock);
    events.push_back(e);
  }
  size_t RequestCount() {
    std::lock_guard g(lock);
    return requests.size();
  }
  std::vector<std::string> Events() {
    std::lock_guard g(lock);
    return events;
  }
};

// Installs the display for the test's lifetime.
struct DisplayScope {
  explicit DisplayScope(platform::Display *d) { platform::SetDisplay(d); }
  ~DisplayScope() { platform::SetDisplay(nullptr); }
};

// An application whose loop runs on a thread (the test's "GUI task").
class LoopThread {
public:
  Object *app;
  std::thread thread;
  std::atomic<bool> running{false};

  LoopThread();
  ~LoopThread();
  // Runs fn on the GUI task and waits for it.
  void Sync(std::function<void()> fn);
  void Stop();
};

} // namespace coretest
