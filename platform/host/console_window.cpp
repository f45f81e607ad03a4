// Console windows built with the toolkit: a window holding a read-only list,
// one entry per line of output.
#include "host/console_window.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "dos/console.h"
#include "exec/exec.h"
#include "mui/display.h"

namespace platform {

namespace {

// Lines a window keeps; older ones scroll away for good.
constexpr size_t kMaxLines = 1000;
constexpr size_t kMaxLineBytes = 4096;

class Console;

IPTR Attr(Object *obj, IPTR attr) {
  IPTR v = 0;
  GetAttr(attr, obj, &v);
  return v;
}

struct Registry {
  std::mutex lock;
  Object *app = nullptr;
  struct Task *guiTask = nullptr;
  std::set<std::shared_ptr<Console>> live; // GUI task only
};
Registry &Reg() {
  static auto *r = new Registry;
  return *r;
}

class Console : public std::enable_shared_from_this<Console> {
public:
  Console(Object *app, ConsoleOptions opts) : app_(app), opts_(std::move(opts)) {}

  // ---- any task (the handle's) ----
  void Write(const char *data, size_t length) {
    std::string text = PlainConsoleText(std::string_view(data, length));
    if (text.empty()) return;
    std::lock_guard g(lock_);
    if (gone_) return;
    for (char c : text) {
      if (c == '\n') {
        lines_.push_back(std::move(partial_));
        partial_.clear();
        if (lines_.size() > kMaxLines) lines_.pop_front();
      } else if (partial_.size() < kMaxLineBytes) {
        partial_ += c;
      }
    }
    wanted_ = true; // output opens an AUTO window, and one the person closed
    Post();
  }

  // Shows the window (unless AUTO).
  void Start() {
    std::lock_guard g(lock_);
    Post();
  }

  void HandleClosed() {
    std::unique_lock g(lock_);
    if (gone_) return;
    handleClosed_ = true;
    Post();
    // Nobody can close a window no display shows, and the GUI task must not
    // wait for itself.
    if (!opts_.wait || !GetDisplay() || OnGuiTask()) return;
    closedCv_.wait(g, [&] { return gone_ || (personClosed_ && !windowOpen_); });
  }

  // ---- GUI task ----
  void Sync() {
    std::deque<std::string> lines;
    std::string partial;
    bool open, closeNow;
    {
      std::lock_guard g(lock_);
      posted_ = false;
      if (gone_) return;
      lines = lines_;
      partial = partial_;
      // Shown at once unless AUTO; then with the first output.
      open = wanted_ || (!opts_.autoOpen && !personClosed_);
      if (personClosed_ && !wanted_) open = false;
      // Without WAIT the window goes with the handle; with it, the window
      // stays until the person closes it, unless there is nothing to show.
      const bool nothingShown = !everOpen_ && !open;
      const bool personDone = personClosed_ && !windowOpen_;
      closeNow = handleClosed_ && (!opts_.wait || !GetDisplay() || nothingShown || personDone);
    }
    if (closeNow) {
      Drop();
      return;
    }
    if (open && !win_ && !Build()) return;
    if (!win_) return;
    SetAttrs(list_, MUIA_List_Quiet, TRUE);
    DoMethod(list_, MUIM_List_Clear);
    for (const auto &l : lines)
      DoMethod(list_, MUIM_List_InsertSingle, l.c_str(), MUIV_List_Insert_Bottom);
    if (!partial.empty()) DoMethod(list_, MUIM_List_InsertSingle, partial.c_str(), MUIV_List_Insert_Bottom);
    SetAttrs(list_, MUIA_List_Quiet, FALSE);
    const IPTR entries = Attr(list_, MUIA_List_Entries);
    if (entries) DoMethod(list_, MUIM_List_Jump, entries - 1);
    if (open && !Attr(win_, MUIA_Window_Open)) {
      SetAttrs(win_, MUIA_Window_Open, TRUE);
      std::lock_guard g(lock_);
      windowOpen_ = everOpen_ = true;
      personClosed_ = false;
    }
  }

  // The close gadget.
  void PersonClosed() {
    if (win_) SetAttrs(win_, MUIA_Window_Open, FALSE);
    bool drop;
    {
      std::lock_guard g(lock_);
      personClosed_ = true;
      windowOpen_ = false;
      wanted_ = false;
      drop = handleClosed_;
      closedCv_.notify_all();
    }
    // Not inside the window's own notification.
    std::shared_ptr<Console> self = shared_from_this();
    if (drop) PostToApplication(app_, [self] { self->Drop(); });
  }

  // The window goes for good; a waiting handle is let go.
  void Drop() {
    std::shared_ptr<Console> keep = shared_from_this();
    if (win_) {
      SetAttrs(win_, MUIA_Window_Open, FALSE);
      DoMethod(app_, OM_REMMEMBER, win_);
      MUI_DisposeObject(win_);
      win_ = list_ = nullptr;
    }
    {
      std::lock_guard g(lock_);
      gone_ = true;
      closedCv_.notify_all();
    }
    Reg().live.erase(shared_from_this());
  }

  Object *Window() const { return win_; }
  static bool OnGuiTask() {
    std::lock_guard g(Reg().lock);
    return Reg().guiTask == FindTask(nullptr);
  }
  Object *List() const { return list_; }

private:
  static IPTR CloseHook(struct Hook *hook, APTR, APTR) {
    auto *self = static_cast<Console *>(hook->h_Data);
    self->PersonClosed();
    return 0;
  }

  bool Build() {
    list_ = MUI_NewObject(MUIC_List, MUIA_Frame, MUIV_Frame_ReadList, MUIA_List_ConstructHook,
                          MUIV_List_ConstructHook_String, MUIA_List_DestructHook, MUIV_List_DestructHook_String);
    Object *view =
        list_ ? MUI_NewObject(MUIC_Listview, MUIA_Listview_List, list_, MUIA_Listview_Input, FALSE) : nullptr;
    if (!view) {
      if (list_) MUI_DisposeObject(list_);
      list_ = nullptr;
      return false;
    }
    const bool gadget = opts_.close || opts_.wait;
    win_ = MUI_NewObject(MUIC_Window, MUIA_Window_Title, opts_.title.c_str(), MUIA_Window_LeftEdge,
                         opts_.left >= 0 ? opts_.left : MUIV_Window_LeftEdge_Centered, MUIA_Window_TopEdge,
                         opts_.top >= 0 ? opts_.top : MUIV_Window_TopEdge_Centered, MUIA_Window_Width,
                         opts_.width > 0 ? opts_.width : 640, MUIA_Window_Height, opts_.height > 0 ? opts_.height : 200,
                         MUIA_Window_CloseGadget, gadget ? TRUE : FALSE, MUIA_Window_RootObject, view);
    if (!win_) {
      MUI_DisposeObject(view);
      list_ = nullptr;
      return false;
    }
    closeHook_.h_Entry = &Console::CloseHook;
    closeHook_.h_Data = this;
    DoMethod(win_, MUIM_Notify, MUIA_Window_CloseRequest, TRUE, win_, 2, MUIM_CallHook, &closeHook_);
    DoMethod(app_, OM_ADDMEMBER, win_);
    return true;
  }

  // Caller holds lock_.
  void Post() {
    if (posted_) return;
    posted_ = true;
    std::shared_ptr<Console> self = shared_from_this();
    if (!PostToApplication(app_, [self] { self->Sync(); })) posted_ = false;
  }

  Object *const app_;
  const ConsoleOptions opts_;
  Object *win_ = nullptr, *list_ = nullptr; // GUI task
  struct Hook closeHook_ {};

  std::mutex lock_;
  std::condition_variable closedCv_;
  std::deque<std::string> lines_;
  std::string partial_;
  bool posted_ = false, wanted_ = false, handleClosed_ = false, personClosed_ = false;
  bool windowOpen_ = false, everOpen_ = false, gone_ = false;
};

// What the dos handle holds: it outlives neither the console nor the host.
class Handle : public ConsoleWindow {
public:
  explicit Handle(std::shared_ptr<Console> c) : c_(std::move(c)) {}
  ~Handle() override {
    if (c_) c_->HandleClosed();
  }
  void Write(const char *data, size_t length) override { c_->Write(data, length); }
  void Close() override {
    c_->HandleClosed();
    c_.reset();
  }

private:
  std::shared_ptr<Console> c_;
};

} // namespace

void InstallConsoleWindows(Object *app) {
  Registry &r = Reg();
  if (!app) {
    SetConsoleFactory(nullptr);
    {
      std::lock_guard g(r.lock);
      r.app = nullptr;
      r.guiTask = nullptr;
    }
    auto all = r.live;
    for (auto &c : all)
      c->Drop();
    return;
  }
  {
    std::lock_guard g(r.lock);
    r.app = app;
    r.guiTask = FindTask(nullptr);
  }
  SetConsoleFactory([app](const ConsoleOptions &opts) -> std::unique_ptr<ConsoleWindow> {
    auto c = std::make_shared<Console>(app, opts);
    // Registered on the GUI task, where the window will live.
    if (!PostToApplication(app, [c] { Reg().live.insert(c); })) return nullptr;
    c->Start();
    return std::make_unique<Handle>(c);
  });
}

std::vector<Object *> ConsoleWindows() {
  std::vector<Object *> out;
  for (auto &c : Reg().live)
    if (c->Window()) out.push_back(c->Window());
  return out;
}

std::vector<std::string> ConsoleLines(Object *window) {
  std::vector<std::string> out;
  for (auto &c : Reg().live) {
    if (c->Window() != window) continue;
    const IPTR n = Attr(c->List(), MUIA_List_Entries);
    for (IPTR i = 0; i < n; ++i) {
      CONST_STRPTR line = nullptr;
      DoMethod(c->List(), MUIM_List_GetEntry, i, &line);
      out.push_back(line ? line : "");
    }
  }
  return out;
}

} // namespace platform
