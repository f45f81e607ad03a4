// The real title-bar host with the built plug-in: a fixture base for the
// tests that follow what a person would see (bubbles, requesters, menus)
// and what the player holds (g, which the plug-in's object answers).
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "Melodune.h"
#include "dos/dos.h"
#include "host/host.h"
#include "host/test_display.h"
#include "mui/display.h"
#include "support/temp_root.h"

namespace testsupport {

inline const std::string MelodunePlugin = std::string(MELODUNE_BIN_DIR) + "/Melodune.sbar";

// Runs the host's loop until pred holds or realMs of real time pass; a
// helper keeps waking the loop, so that what other tasks do (servers,
// workers) is seen at once. Returns pred().
inline bool PumpUntil(platform::ScreenbarHost &host, const std::function<bool()> &pred, uint64_t realMs = 15000) {
  std::atomic<bool> waking{true};
  std::thread waker([&] {
    while (waking) {
      platform::WakeApplication(host.Application());
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  const bool ok = host.RunUntil(pred, realMs);
  waking = false;
  waker.join();
  return ok;
}

// g of the plug-in behind a bar object, or null.
inline Globals *PluginGlobals(Object *bar) {
  IPTR p = 0;
  if (!bar || !GetAttr(MUIA_Melodune_Globals, bar, &p)) return nullptr;
  return reinterpret_cast<Globals *>(p);
}

class PluginHost : public ::testing::Test {
protected:
  void TearDown() override {
    if (host.Started() || host.Loaded()) {
      EXPECT_TRUE(host.Shutdown());
    }
  }

  // The shipped skeleton as the root of the volumes.
  void MakeRoot() {
    tmp.CopySkeleton();
    ASSERT_TRUE(platform::SetDosRoot(root));
  }
  // Loads and starts the plug-in and finds its g.
  void Launch() {
    ASSERT_TRUE(host.Load(MelodunePlugin)) << host.Error();
    ASSERT_TRUE(host.Start()) << host.Error();
    G = PluginGlobals(host.Bar(0));
    ASSERT_NE(G, nullptr);
  }

  bool Until(const std::function<bool()> &pred, uint64_t realMs = 15000) { return PumpUntil(host, pred, realMs); }
  void Push(IPTR method, IPTR arg) {
    DoMethod(host.Application(), MUIM_Application_PushMethod, host.Bar(0), 2, method, arg);
  }
  size_t BubblesWith(const std::string &text) {
    size_t n = 0;
    for (const auto &b : display.Bubbles()) n += b.text == text;
    return n;
  }
  static IPTR Attr(Object *o, IPTR attr) {
    IPTR v = 0;
    if (o) GetAttr(attr, o, &v);
    return v;
  }

  static bool textIsSet(const SharedText *t) { return t->IsSet(); }
  static std::string textGet(const SharedText *t) { return t->Get(); }
  static void textSet(SharedText *t, CONST_STRPTR text) { t->Set(text); }

  TempRoot tmp{"melodune-host"};
  std::string root = tmp.path();
  platform::TestDisplay display;
  platform::DisplayScope scope{&display};
  platform::ScreenbarHost host;
  Globals *G = nullptr;
};

} // namespace testsupport
