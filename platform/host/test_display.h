// A display for tests of the host and its plug-in: requesters, ASL
// requesters and pop-up menus are answered by script, and everything shown
// (windows, bubbles, tooltips, requesters, menus) is recorded.
//
// Thread-safe: observer calls come from the GUI task and from workers, the
// test's own calls from its thread; every method takes lock_, except that
// the menu chooser runs outside it. A test that runs the loop itself waits with ScreenbarHost::RunUntil on
// the counts here; a test whose loop runs elsewhere can use WaitFor.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "mui/display.h"

namespace platform {

class TestDisplay : public Display {
public:
  struct Bubble {
    APTR handle;
    Object *obj;
    LONG x, y;
    std::string text;
    bool live;
  };

  // ---- scripts, each next to the blocking call it answers ----
  // Button indexes for the next requesters (0 = leftmost, -1 = closed);
  // with none queued the default button is answered.
  void QueueRequestAnswer(int button);
  int Request(const RequestInfo &info) override;
  // Answers for the next ASL requesters (nullopt: cancelled); with none
  // queued the requester is cancelled.
  void QueueAslAnswer(std::optional<AslAnswer> answer);
  std::optional<AslAnswer> AslRequest(const AslInfo &info) override;
  // Chooses the entry of a pop-up menu (null: nothing). Without a chooser
  // every menu is cancelled.
  void SetMenuChooser(std::function<Object *(const MenuEntry &strip)> chooser);
  // A chooser for the next menus: the item with this user data.
  void ChooseMenuUserData(IPTR userData);
  Object *PopupMenu(const MenuEntry &strip, Object *parent, LONG x, LONG y) override;
  static const MenuEntry *FindMenuEntry(const MenuEntry &root, IPTR userData);
  static const MenuEntry *FindMenuTitle(const MenuEntry &root, const std::string &title);

  // ---- what was shown ----
  std::vector<RequestInfo> Requests() const;
  std::vector<AslInfo> AslRequests() const;
  std::vector<MenuEntry> Menus() const;
  std::vector<Bubble> Bubbles() const; // every bubble made, in order
  std::vector<std::string> LiveBubbleTexts() const;
  std::vector<Object *> OpenWindows() const;
  std::vector<std::string> ShortHelps() const;
  // One line per observed event: "window+ TITLE", "window- TITLE",
  // "bubble+ X,Y TEXT", "bubble- TEXT", "help+ TEXT", "help-",
  // "request TITLE -> N", "asl TITLE", "menu -> USERDATA".
  std::vector<std::string> Events() const;
  size_t RequestCount() const;
  size_t MenuCount() const;
  size_t BubbleCount() const;
  void Clear();
  // Blocks until pred (run under the display's lock) holds or the real
  // time-out passes. Not on the GUI task of a loop that must run meanwhile.
  bool WaitFor(const std::function<bool()> &pred, int realMs = 5000);

  // ---- Display: what is shown ----
  void WindowOpened(Object *window) override;
  void WindowClosed(Object *window) override;
  void ObjectDisposed(Object *obj) override;
  void BubbleCreated(APTR bubble, Object *obj, LONG x, LONG y, const std::string &text, ULONG flags) override;
  void BubbleDeleted(APTR bubble) override;
  void ShortHelpShown(Object *obj, const std::string &text) override;
  void ShortHelpHidden(Object *obj) override;

private:
  void Event(std::string e); // caller holds lock_
  mutable std::mutex lock_;
  std::condition_variable changed_;
  std::deque<int> requestAnswers_;
  std::deque<std::optional<AslAnswer>> aslAnswers_;
  std::function<Object *(const MenuEntry &)> chooser_;
  std::vector<RequestInfo> requests_;
  std::vector<AslInfo> asls_;
  std::vector<MenuEntry> menus_;
  std::vector<Bubble> bubbles_;
  std::vector<Object *> windows_;
  std::vector<std::string> helps_;
  std::vector<std::string> events_;
};

// Installs a display for a scope (tests): the previous one comes back after.
class DisplayScope {
public:
  explicit DisplayScope(Display *display) : before_(GetDisplay()) { SetDisplay(display); }
  ~DisplayScope() { SetDisplay(before_); }
  DisplayScope(const DisplayScope &) = delete;
  DisplayScope &operator=(const DisplayScope &) = delete;

private:
  Display *before_;
};

} // namespace platform
