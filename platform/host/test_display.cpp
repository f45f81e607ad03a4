// The scripted display of the host's tests.
#include "host/test_display.h"

#include <algorithm>
#include <chrono>

namespace platform {

namespace {

std::string WindowTitle(Object *window) {
  IPTR title = 0;
  GetAttr(MUIA_Window_Title, window, &title);
  return title ? reinterpret_cast<const char *>(title) : "";
}

const MenuEntry *FindObject(const MenuEntry &m, Object *obj) {
  if (m.object == obj) return &m;
  for (const MenuEntry &c : m.children)
    if (const MenuEntry *r = FindObject(c, obj)) return r;
  return nullptr;
}

// What f returns, read under the display's lock.
template <class F>
auto Locked(std::mutex &lock, F f) {
  std::lock_guard g(lock);
  return f();
}

// The next scripted answer, or fallback when none is queued.
template <class T>
T TakeNext(std::deque<T> &queue, T fallback) {
  if (queue.empty()) return fallback;
  T next = std::move(queue.front());
  queue.pop_front();
  return next;
}

} // namespace

void TestDisplay::Event(std::string e) {
  events_.push_back(std::move(e));
  changed_.notify_all();
}

void TestDisplay::QueueRequestAnswer(int button) {
  std::lock_guard g(lock_);
  requestAnswers_.push_back(button);
}

void TestDisplay::QueueAslAnswer(std::optional<AslAnswer> answer) {
  std::lock_guard g(lock_);
  aslAnswers_.push_back(std::move(answer));
}

void TestDisplay::SetMenuChooser(std::function<Object *(const MenuEntry &)> chooser) {
  std::lock_guard g(lock_);
  chooser_ = std::move(chooser);
}

void TestDisplay::ChooseMenuUserData(IPTR userData) {
  SetMenuChooser([userData](const MenuEntry &strip) -> Object * {
    const MenuEntry *e = FindMenuEntry(strip, userData);
    return e ? e->object : nullptr;
  });
}

const MenuEntry *TestDisplay::FindMenuEntry(const MenuEntry &root, IPTR userData) {
  if (root.kind == MenuEntry::Item && root.userData == userData) return &root;
  for (const MenuEntry &c : root.children)
    if (const MenuEntry *e = FindMenuEntry(c, userData)) return e;
  return nullptr;
}

const MenuEntry *TestDisplay::FindMenuTitle(const MenuEntry &root, const std::string &title) {
  if (root.kind != MenuEntry::Bar && root.title == title) return &root;
  for (const MenuEntry &c : root.children)
    if (const MenuEntry *e = FindMenuTitle(c, title)) return e;
  return nullptr;
}

std::vector<RequestInfo> TestDisplay::Requests() const { return Locked(lock_, [&] { return requests_; }); }
std::vector<AslInfo> TestDisplay::AslRequests() const { return Locked(lock_, [&] { return asls_; }); }
std::vector<MenuEntry> TestDisplay::Menus() const { return Locked(lock_, [&] { return menus_; }); }
std::vector<TestDisplay::Bubble> TestDisplay::Bubbles() const { return Locked(lock_, [&] { return bubbles_; }); }
std::vector<std::string> TestDisplay::LiveBubbleTexts() const {
  std::vector<std::string> out;
  for (const Bubble &b : Bubbles())
    if (b.live) out.push_back(b.text);
  return out;
}
std::vector<Object *> TestDisplay::OpenWindows() const { return Locked(lock_, [&] { return windows_; }); }
std::vector<std::string> TestDisplay::ShortHelps() const { return Locked(lock_, [&] { return helps_; }); }
std::vector<std::string> TestDisplay::Events() const { return Locked(lock_, [&] { return events_; }); }
size_t TestDisplay::RequestCount() const { return Locked(lock_, [&] { return requests_.size(); }); }
size_t TestDisplay::MenuCount() const { return Locked(lock_, [&] { return menus_.size(); }); }
size_t TestDisplay::BubbleCount() const { return Locked(lock_, [&] { return bubbles_.size(); }); }

void TestDisplay::Clear() {
  std::lock_guard g(lock_);
  requests_.clear();
  asls_.clear();
  menus_.clear();
  // Live bubbles stay known, so that their deletion is still matched.
  bubbles_.erase(std::remove_if(bubbles_.begin(), bubbles_.end(), [](const Bubble &b) { return !b.live; }),
                 bubbles_.end());
  helps_.clear();
  events_.clear();
}

bool TestDisplay::WaitFor(const std::function<bool()> &pred, int realMs) {
  std::unique_lock g(lock_);
  return changed_.wait_for(g, std::chrono::milliseconds(realMs), pred);
}

void TestDisplay::WindowOpened(Object *window) {
  std::string title = WindowTitle(window);
  std::lock_guard g(lock_);
  windows_.push_back(window);
  Event("window+ " + title);
}

void TestDisplay::WindowClosed(Object *window) {
  std::string title = WindowTitle(window);
  std::lock_guard g(lock_);
  windows_.erase(std::remove(windows_.begin(), windows_.end(), window), windows_.end());
  Event("window- " + title);
}

void TestDisplay::ObjectDisposed(Object *obj) {
  std::lock_guard g(lock_);
  windows_.erase(std::remove(windows_.begin(), windows_.end(), obj), windows_.end());
}

void TestDisplay::BubbleCreated(APTR bubble, Object *obj, LONG x, LONG y, const std::string &text, ULONG) {
  std::lock_guard g(lock_);
  bubbles_.push_back({bubble, obj, x, y, text, true});
  Event("bubble+ " + std::to_string(x) + "," + std::to_string(y) + " " + text);
}

void TestDisplay::BubbleDeleted(APTR bubble) {
  std::lock_guard g(lock_);
  // Handles are reused after a delete: the newest live one is meant.
  for (auto it = bubbles_.rbegin(); it != bubbles_.rend(); ++it)
    if (it->live && it->handle == bubble) {
      it->live = false;
      Event("bubble- " + it->text);
      return;
    }
  Event("bubble- ?");
}

void TestDisplay::ShortHelpShown(Object *, const std::string &text) {
  std::lock_guard g(lock_);
  helps_.push_back(text);
  Event("help+ " + text);
}

void TestDisplay::ShortHelpHidden(Object *) {
  std::lock_guard g(lock_);
  Event("help-");
}

int TestDisplay::Request(const RequestInfo &info) {
  std::lock_guard g(lock_);
  int answer = TakeNext(requestAnswers_, info.defaultButton);
  requests_.push_back(info);
  Event("request " + info.title + " -> " + std::to_string(RequestResultFor(info, answer)));
  return answer;
}

std::optional<AslAnswer> TestDisplay::AslRequest(const AslInfo &info) {
  std::lock_guard g(lock_);
  std::optional<AslAnswer> answer = TakeNext(aslAnswers_, std::optional<AslAnswer>());
  asls_.push_back(info);
  Event("asl " + info.title);
  return answer;
}

Object *TestDisplay::PopupMenu(const MenuEntry &strip, Object *, LONG, LONG) {
  std::function<Object *(const MenuEntry &)> chooser;
  {
    std::lock_guard g(lock_);
    chooser = chooser_;
  }
  // The chooser runs outside the lock: it may look at the display.
  Object *chosen = chooser ? chooser(strip) : nullptr;
  std::lock_guard g(lock_);
  menus_.push_back(strip);
  const MenuEntry *e = chosen ? FindObject(menus_.back(), chosen) : nullptr;
  IPTR ud = e ? e->userData : 0;
  Event("menu -> " + std::to_string(ud));
  return chosen;
}

} // namespace platform
