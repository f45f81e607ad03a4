// The title-bar host, in process: loads a plug-in (.sbar) through its
// library entry points, makes the screens with one bar object each, runs
// the application loop, keeps the configuration items in its preferences
// file, builds the preferences panel, and takes everything down in order.
//
// The `screenbar` program is a thin shell around this class; tests use it
// directly (with a display of their own, see host/test_display.h).
//
// Threads. The task that calls Start becomes the GUI task: every method
// here runs on it, except Stop, Call and ConfigItem (any task).
// Configuration items are answered to any task (workers read them too); a
// text handed out stays valid until Shutdown, even after the item changes.
//
// Display. Bars are not windows a display opens: each bar's window is made
// and added to the application (so that _win, _app and event handlers
// work) but never opened. A display shows the title bars from the screens'
// render targets (ScreenBarTarget, SetRenderListener), reports the mouse
// with SetScreenMouse and sends input to Bar(i) through mui/display.h.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/host_prefs.h"
#include "host/screenbar.h"
#include "mui/mui.h"
#include "mui/screen.h"

namespace platform {

struct ScreenbarHostOptions {
  int screens = 1;
  ScreenOptions screen;                 // every screen ...
  std::vector<ScreenOptions> perScreen; // ... unless screen i has its own here
  // Preferences file as an AmigaDOS name; "" = "ENVARC:Screenbar/<plug-in>.prefs".
  std::string prefsName;
};

class ScreenbarHost {
public:
  static constexpr int kMaxScreens = 16;

  ScreenbarHost();
  ~ScreenbarHost(); // shuts down what is still up
  ScreenbarHost(const ScreenbarHost &) = delete;
  ScreenbarHost &operator=(const ScreenbarHost &) = delete;

  // ---- the plug-in ----
  // dlopen, ScreenbarLibraryEntry, Init, Open(version), Query(0). On failure
  // everything is undone and Error() says why.
  bool Load(const std::string &path, ULONG version = 0);
  bool Loaded() const;
  struct Library *Base() const;
  struct MUI_CustomClass *Class() const;
  std::string Credit() const;     // Query(7), "" when none
  std::string PluginName() const; // file name without ".sbar"
  const std::string &Error() const;

  // ---- screens and bars ----
  // Makes the application, the screens and one bar object per screen: new
  // object, its window, MUIM_Setup, MUIM_AskMinMax, placed at the right end
  // of the title bar, MUIM_Show, drawn. All or nothing: on failure what was
  // made is taken down again (the plug-in stays loaded).
  bool Start(const ScreenbarHostOptions &options = {});
  bool Started() const;
  Object *Application() const;
  size_t BarCount() const;
  Object *Bar(size_t i) const;
  Object *BarWindow(size_t i) const;
  struct Screen *BarScreen(size_t i) const;
  struct IBox BarBox(size_t i) const;
  // One bar more, on a new screen (after Start); false when the plug-in's
  // object refuses, and nothing is left of it.
  bool AddBar(const ScreenOptions &screen);
  // Cleans up and disposes of bar i and closes its screen; later bars move
  // down one place.
  bool RemoveBar(size_t i);
  // MUIM_Hide and MUIM_Cleanup of bar i (the object stays), and again
  // MUIM_Setup, placing, MUIM_Show and drawing.
  bool CleanupBar(size_t i);
  bool SetupBar(size_t i);
  bool BarIsSetUp(size_t i) const;
  // The screen new windows open on (the bar the person used last).
  void SetActiveBar(size_t i);
  size_t ActiveBar() const;
  // Repaints title bar i: background, screen title, gadget.
  void DrawBar(size_t i);

  // ---- the loop ----
  void Run();  // until Stop (or MUIV_Application_ReturnID_Quit)
  void Stop(); // any task, also a signal-handling thread
  // Runs the loop until done() holds (checked at every wake-up) or the real
  // time-out passes; returns done().
  bool RunUntil(const std::function<bool()> &done, uint64_t realTimeoutMs = 10000);
  // Runs the loop for platformMs on the platform clock.
  void RunFor(uint64_t platformMs);
  // Runs fn on the GUI task and waits for it (at once on the GUI task).
  // The loop must be running when called from elsewhere.
  void Call(const std::function<void()> &fn);

  // ---- configuration items ----
  std::string PrefsPath() const; // Linux path of the preferences file
  // As MUIM_GetConfigItem answers: the stored value, else the plug-in's
  // default when the item is one of its own; false for an unknown item.
  bool ConfigItem(ULONG id, IPTR *value);
  std::optional<ConfigValue> StoredConfig(ULONG id) const;
  // Stores the value, writes the file, sends MUIM_ConfigItemChanged with a
  // refresh list to every bar and redraws the listed objects. False (and
  // Error()) when the file could not be written; the change still applies.
  bool SetConfig(ULONG id, const ConfigValue &value);
  // Objects redrawn by the last SetConfig, in order, without repeats.
  std::vector<Object *> LastRefreshed() const;

  // ---- the preferences panel ----
  // Asks the plug-in for its panel (MUIM_Screenbar_PrefsPanel), puts it in
  // a window with the plug-in's image and "Save"/"Cancel", loads the current
  // values into the registered gadgets and opens the window. Returns the
  // window (the same one while it is open), null on failure.
  Object *OpenPrefs();
  Object *PrefsWindow() const;
  Object *PrefsPanel() const;
  // Stores the registered gadgets' values that differ from the current
  // items (each through SetConfig). False when a store failed.
  bool ApplyPrefs();
  void ClosePrefs(); // closes and disposes the window with the panel

  // ---- shutdown ----
  // Cleans up and disposes every bar (the first one made last), the
  // windows and the application, waits for asynchronous commands, closes
  // and expunges the library and unloads it. Returns true when nothing of
  // the plug-in is left: no task still running, the library unloaded. A
  // library whose tasks still run is left loaded (unloading would pull the
  // code from under them).
  bool Shutdown();

  struct Impl;

private:
  std::unique_ptr<Impl> d_;
};

} // namespace platform
