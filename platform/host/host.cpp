// The title-bar host: plug-in library, screens and bars, configuration
// items, preferences panel, orderly shutdown.
#include "host/host.h"

#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <shared_mutex>
#include <thread>

#include "dos/dos.h"
#include "dos/system.h"
#include "exec/clock.h"
#include "host/console_window.h"
#include "mui/display.h"
#include "mui/render.h"

namespace platform {

namespace {

// Only one host answers configuration items and picks window screens.
std::atomic<ScreenbarHost::Impl *> g_activeHost{nullptr};

// How long Shutdown waits for the plug-in's tasks to end before it gives
// up unloading the library (real time).
constexpr auto kTaskGrace = std::chrono::seconds(3);

enum : IPTR { kPrefsSave = 1, kPrefsCancel = 2 };

// Attributes whose value is a text; every other registered attribute
// carries a number.
bool IsTextAttr(IPTR attr) {
  switch (attr) {
  case MUIA_String_Contents:
  case MUIA_Pendisplay_Spec:
  case MUIA_Text_Contents:
  case MUIA_Image_Spec:
  case MUIA_Hyperlink_URI:
    return true;
  default:
    return false;
  }
}

std::string FileBaseName(const std::string &path) {
  std::string name = std::filesystem::path(path).filename().string();
  const std::string ext = ".sbar";
  if (name.size() > ext.size() && name.compare(name.size() - ext.size(), ext.size(), ext) == 0)
    name.resize(name.size() - ext.size());
  return name;
}

// A library is initialised once per load, however many hosts use it (a
// second dlopen gives the same handle and the same library base).
struct LoadedLibrary {
  struct Library *base;
  int users;
};
std::mutex g_librariesLock;
std::map<void *, LoadedLibrary> g_libraries; // by dlopen handle; guarded by g_librariesLock

struct BarSlot {
  struct Screen *screen = nullptr;
  Object *window = nullptr;
  Object *titleBar = nullptr; // the window's root: a group holding the bar
  Object *bar = nullptr;
  std::unique_ptr<MUI_RenderInfo> ri;
  bool setUp = false;
  bool shown = false;
  struct IBox box {};
};

struct PluginAnswer {
  bool isItem;
  IPTR def;
};

} // namespace

struct ScreenbarHost::Impl {
  ScreenbarHost *self = nullptr;

  // The plug-in.
  void *handle = nullptr;
  const ScreenbarLibraryFuncs *funcs = nullptr;
  struct Library *base = nullptr;
  struct MUI_CustomClass *mcc = nullptr;
  std::string path, name, error;
  size_t tasksBefore = 0;

  // The GUI.
  std::atomic<Object *> app{nullptr};
  std::atomic<bool> stopRequested{false};
  bool started = false;
  std::vector<BarSlot> bars;           // grown and shrunk on the GUI task under barsLock
  mutable std::shared_mutex barsLock;  // readers: tasks asking for configuration items
  std::atomic<size_t> active{0};

  // Configuration items.
  mutable std::mutex configLock;       // guards what follows
  std::map<ULONG, ConfigValue> stored;
  std::map<ULONG, IPTR> answers;       // what MUIM_GetConfigItem hands out for a stored item
  std::set<std::string> texts;         // every text handed out, kept until Shutdown
  std::map<ULONG, PluginAnswer> plugin;
  std::vector<Object *> refreshed;
  std::string prefsName, prefsPath; // GUI task only

  // The preferences window.
  Object *prefsWindow = nullptr;
  Object *prefsPanel = nullptr;
  struct Hook prefsHook {};

  // ---- plug-in ----

  bool Fail(const std::string &message) {
    error = message;
    return false;
  }

  // Drops this host's use of the library; true when it was the last user.
  bool Release() {
    std::lock_guard g(g_librariesLock);
    auto it = g_libraries.find(handle);
    if (it == g_libraries.end() || --it->second.users > 0) return false;
    g_libraries.erase(it);
    return true;
  }

  void Unload() {
    if (handle) dlclose(handle);
    handle = nullptr;
    funcs = nullptr;
    base = nullptr;
    mcc = nullptr;
  }

  bool IsPluginObject(Object *obj) const {
    if (!obj || !mcc || !IsLiveObject(obj)) return false;
    for (struct IClass *c = OCLASS(obj); c; c = c->cl_Super)
      if (c == mcc->mcc_Class) return true;
    return false;
  }

  // ---- configuration ----

  // Caller holds configLock.
  IPTR InternLocked(const std::string &text) { return reinterpret_cast<IPTR>(texts.insert(text).first->c_str()); }

  void StoreLocked(ULONG id, const ConfigValue &value) {
    stored[id] = value;
    if (const auto *t = std::get_if<std::string>(&value))
      answers[id] = InternLocked(*t);
    else
      answers[id] = static_cast<IPTR>(static_cast<SIPTR>(std::get<LONG>(value)));
  }

  bool Answer(Object *obj, ULONG id, IPTR *storage) {
    {
      std::lock_guard g(configLock);
      if (auto it = answers.find(id); it != answers.end()) {
        *storage = it->second;
        return true;
      }
      if (auto it = plugin.find(id); it != plugin.end()) {
        if (!it->second.isItem) return false;
        *storage = it->second.def;
        return true;
      }
    }
    PluginAnswer a{false, 0};
    {
      // The bars cannot go away while their class is asked.
      std::shared_lock bl(barsLock);
      Object *target = IsPluginObject(obj) ? obj : nullptr;
      for (size_t i = 0; !target && i < bars.size(); ++i)
        if (bars[i].bar) target = bars[i].bar;
      if (!target) return false;
      a.isItem = DoMethod(target, MUIM_Screenbar_IsConfigItem, id) != 0;
      if (a.isItem) a.def = DoMethod(target, MUIM_Screenbar_ConfigDefault, id);
    }
    std::lock_guard g(configLock);
    plugin.emplace(id, a);
    if (!a.isItem) return false;
    *storage = a.def;
    return true;
  }

  bool EnsurePrefsPath() {
    if (!prefsPath.empty()) return true;
    if (DosRoot().empty()) return Fail("no root folder: preferences are not kept");
    size_t cut = prefsName.find_last_of("/:");
    if (cut == std::string::npos) return Fail(prefsName + ": not a file name");
    std::string dir = prefsName.substr(0, cut + (prefsName[cut] == ':' ? 1 : 0));
    std::string linuxDir = ToLinuxPath(dir.c_str(), true);
    if (linuxDir.empty()) return Fail(dir + ": no such volume");
    std::error_code ec;
    std::filesystem::create_directories(linuxDir, ec);
    std::string file = ToLinuxPath(prefsName.c_str(), true);
    if (file.empty()) return Fail(prefsName + ": cannot be made");
    prefsPath = file;
    return true;
  }

  bool SaveConfig() {
    if (!EnsurePrefsPath()) return false;
    std::map<ULONG, ConfigValue> copy;
    {
      std::lock_guard g(configLock);
      copy = stored;
    }
    std::string err;
    if (!SaveHostPrefs(prefsPath, copy, "Screenbar preferences of " + name + ".sbar", &err)) return Fail(err);
    return true;
  }

  void LoadConfig() {
    if (!EnsurePrefsPath()) {
      std::fprintf(stderr, "screenbar: %s\n", error.c_str());
      return;
    }
    std::map<ULONG, ConfigValue> items;
    std::string err;
    bool ok = LoadHostPrefs(prefsPath, items, &err);
    if (!err.empty()) std::fprintf(stderr, "screenbar: %s\n", err.c_str());
    if (!ok) return;
    std::lock_guard g(configLock);
    for (auto &[id, value] : items) StoreLocked(id, value);
  }

  // The current value of an item as a gadget with a text (or number)
  // attribute takes it; false when the item is unknown.
  bool ValueForGadget(ULONG id, bool text, IPTR *out) {
    {
      std::lock_guard g(configLock);
      if (auto it = stored.find(id); it != stored.end()) {
        const ConfigValue &v = it->second;
        if (text)
          *out = std::holds_alternative<std::string>(v) ? answers[id] : InternLocked(std::to_string(std::get<LONG>(v)));
        else
          *out = std::holds_alternative<LONG>(v) ? answers[id]
                                                 : static_cast<IPTR>(std::strtol(std::get<std::string>(v).c_str(), nullptr, 10));
        return true;
      }
    }
    return Answer(nullptr, id, out);
  }

  static ConfigValue ReadGadget(const PrefsGadget &pg) {
    IPTR v = 0;
    GetAttr(pg.attr, pg.gadget, &v);
    if (!IsTextAttr(pg.attr)) return static_cast<LONG>(v);
    const char *p = reinterpret_cast<const char *>(v);
    if (!p) return std::string();
    size_t max = pg.attr == MUIA_Pendisplay_Spec ? sizeof(MUI_PenSpec) : HostPrefsLimits::kMaxText;
    return std::string(p, strnlen(p, max));
  }

  // ---- bars ----

  void DrawTitle(BarSlot &b) {
    RenderTarget *t = ScreenBarTarget(b.screen);
    if (!t || !b.screen->Title) return;
    LONG pen = 1;
    GetScreenAttr(b.screen, SA_ScreenbarTextPen, &pen, sizeof pen);
    LONG top = (t->Height() - kFontHeight) / 2;
    LONG x = b.screen->BarHBorder;
    LONG room = (b.box.Width > 0 ? b.box.Left : t->Width()) - x - 2;
    LONG len = static_cast<LONG>(std::strlen(b.screen->Title));
    len = std::max<LONG>(0, std::min(len, room / kFontWidth));
    DrawText(t, x, top, b.screen->Title, len, PenColor(b.screen->ViewPort.ColorMap, pen));
  }

  void Draw(BarSlot &b) {
    if (!b.shown) return;
    MUI_Redraw(b.titleBar, MADF_DRAWOBJECT); // background, then the gadget
    DrawTitle(b);
  }

  // Undoes a Start that failed half-way; the plug-in stays loaded.
  bool AbortStart(const std::string &why) {
    for (size_t k = bars.size(); k-- > 0;) TakeDown(bars[k]);
    for (size_t k = bars.size(); k-- > 0;) Drop(k);
    if (g_activeHost.load() == this) InstallConsoleWindows(nullptr); // lets go of consoles that wait
    if (Object *a = app.exchange(nullptr)) DisposeObject(a);
    started = false;
    Impl *me = this;
    if (g_activeHost.compare_exchange_strong(me, nullptr)) {
      SetConfigProvider(nullptr);
      SetWindowScreenHook(nullptr);
    }
    return Fail(why);
  }

  void TakeDown(BarSlot &b) {
    if (b.shown) {
      DoMethod(b.titleBar, MUIM_Hide);
      b.shown = false;
      if (b.ri) b.ri->mri_RastPort = nullptr;
    }
    if (b.setUp) {
      DoMethod(b.titleBar, MUIM_Cleanup);
      b.setUp = false;
    }
  }

  void Dispose(BarSlot &b) {
    if (b.window) {
      Object *a = app.load();
      if (a) DoMethod(a, OM_REMMEMBER, b.window);
      DisposeObject(b.window); // and with it the title bar and the gadget
    } else if (b.titleBar) {
      DisposeObject(b.titleBar);
    } else {
      DisposeObject(b.bar);
    }
    b.window = b.titleBar = b.bar = nullptr;
    ClosePlatformScreen(b.screen);
    b.screen = nullptr;
  }

  bool MakeBar(size_t index, const ScreenOptions &so) {
    BarSlot slot;
    slot.screen = OpenPlatformScreen(so);
    {
      std::unique_lock bl(barsLock);
      bars.push_back(std::move(slot));
    }
    BarSlot &b = bars[index];
    Object *obj = NewObject(mcc->mcc_Class, nullptr, TAG_DONE);
    {
      std::unique_lock bl(barsLock); // workers of other bars may be asking for items
      b.bar = obj;
    }
    if (!b.bar) return Fail(name + ": the plug-in made no object for screen " + std::to_string(index + 1));
    b.titleBar = MUI_NewObject(MUIC_Group, MUIA_Group_Horiz, TRUE, MUIA_Group_Spacing, 0, TAG_DONE);
    if (!b.titleBar) return Fail("no title bar group");
    DoMethod(b.titleBar, OM_ADDMEMBER, b.bar);
    b.window = MUI_NewObject(MUIC_Window, MUIA_Window_Screen, b.screen, MUIA_Window_Title, so.title.c_str(),
                             MUIA_Window_RootObject, b.titleBar, MUIA_Window_CloseGadget, FALSE, TAG_DONE);
    if (!b.window) return Fail("no window for the title bar");
    DoMethod(app.load(), OM_ADDMEMBER, b.window);

    b.ri = std::make_unique<MUI_RenderInfo>(*ScreenRenderInfo(b.screen));
    b.ri->mri_WindowObject = b.window;
    // There is no intuition window here; the window object stands for it.
    b.ri->mri_Window = reinterpret_cast<struct Window *>(b.window);
    b.ri->mri_RastPort = nullptr;
    return SetUp(b, index);
  }

  // MUIM_Setup, the size and place of the gadget, MUIM_Show, drawn.
  bool SetUp(BarSlot &b, size_t index) {
    if (b.setUp) return true;
    if (!DoMethod(b.titleBar, MUIM_Setup, b.ri.get()))
      return Fail(name + ": the bar object of screen " + std::to_string(index + 1) + " refused its set-up");
    b.setUp = true;

    RenderTarget *target = ScreenBarTarget(b.screen);
    LONG barHeight = target->Height();
    struct MUI_MinMax mm {};
    DoMethod(b.bar, MUIM_AskMinMax, &mm);
    LONG w = std::clamp<LONG>(mm.DefWidth, mm.MinWidth, std::max<LONG>(mm.MinWidth, mm.MaxWidth));
    LONG h = std::clamp<LONG>(mm.DefHeight, mm.MinHeight, std::max<LONG>(mm.MinHeight, mm.MaxHeight));
    w = std::clamp<LONG>(w, 1, target->Width());
    h = std::clamp<LONG>(h, 1, barHeight);
    LONG margin = b.screen->BarHBorder;
    b.box = IBox{static_cast<WORD>(std::max<LONG>(0, target->Width() - w - margin)),
                 static_cast<WORD>((barHeight - h) / 2), static_cast<WORD>(w), static_cast<WORD>(h)};
    AreaSetBox(b.titleBar, 0, 0, target->Width(), barHeight);
    AreaSetBox(b.bar, b.box.Left, b.box.Top, b.box.Width, b.box.Height);

    b.ri->mri_RastPort = &b.screen->RastPort;
    DoMethod(b.titleBar, MUIM_Show, 0);
    b.shown = true;
    Draw(b);
    return true;
  }

  // Takes bar i down and out of the list (on failure of AddBar, RemoveBar).
  void Drop(size_t i) {
    TakeDown(bars[i]);
    BarSlot slot;
    {
      std::unique_lock bl(barsLock);
      slot = std::move(bars[i]);
      bars.erase(bars.begin() + static_cast<std::ptrdiff_t>(i));
    }
    Dispose(slot);
  }

  // ---- preferences window ----

  static IPTR PrefsHookEntry(struct Hook *hook, APTR, APTR msg) {
    auto *impl = static_cast<Impl *>(hook->h_Data);
    IPTR action = static_cast<const IPTR *>(msg)[0];
    // Not now: the window must not go away under its own notification.
    PostToApplication(impl->app.load(), [impl, action] {
      if (!impl->prefsWindow) return;
      if (action == kPrefsSave) impl->self->ApplyPrefs();
      impl->self->ClosePrefs();
    });
    return 0;
  }
};

ScreenbarHost::ScreenbarHost() : d_(std::make_unique<Impl>()) {
  d_->self = this;
  d_->prefsHook.h_Entry = &Impl::PrefsHookEntry;
  d_->prefsHook.h_Data = d_.get();
}

ScreenbarHost::~ScreenbarHost() {
  if (d_->handle || d_->app.load()) Shutdown();
}

// ---- the plug-in ----

bool ScreenbarHost::Load(const std::string &path, ULONG version) {
  Impl &d = *d_;
  if (d.handle) return d.Fail("a plug-in is loaded already");
  d.path = path;
  d.name = FileBaseName(path);
  d.tasksBefore = LiveTaskCount();
  dlerror();
  d.handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!d.handle) {
    const char *why = dlerror();
    return d.Fail(path + ": cannot be loaded (" + (why ? why : "unknown reason") + ")");
  }
  auto entry = reinterpret_cast<ScreenbarLibraryEntryFunc>(dlsym(d.handle, SCREENBAR_ENTRY_SYMBOL));
  d.funcs = entry ? entry() : nullptr;
  if (!d.funcs || !d.funcs->Init || !d.funcs->Open || !d.funcs->Close || !d.funcs->Expunge || !d.funcs->Query) {
    d.Unload();
    return d.Fail(path + ": no Screenbar plug-in (" SCREENBAR_ENTRY_SYMBOL " missing or incomplete)");
  }
  {
    std::lock_guard g(g_librariesLock);
    auto it = g_libraries.find(d.handle);
    if (it != g_libraries.end()) {
      d.base = it->second.base;
      ++it->second.users;
    } else {
      d.base = d.funcs->Init(d.handle);
      if (d.base) g_libraries[d.handle] = {d.base, 1};
    }
  }
  if (!d.base) {
    d.Unload();
    return d.Fail(d.name + ".sbar: the library did not initialise");
  }
  if (!d.funcs->Open(d.base, version)) {
    // Never opened by us: when nobody else uses it, it can go at once.
    if (d.Release()) d.funcs->Expunge(d.base);
    d.Unload();
    return d.Fail(d.name + ".sbar: the library did not open (its class could not be made)");
  }
  d.mcc = static_cast<struct MUI_CustomClass *>(d.funcs->Query(d.base, 0));
  if (!d.mcc || !d.mcc->mcc_Class) {
    APTR seg = d.funcs->Close(d.base);
    if (d.Release() && !seg) d.funcs->Expunge(d.base);
    d.Unload();
    return d.Fail(d.name + ".sbar: the library has no class");
  }
  return true;
}

bool ScreenbarHost::Loaded() const { return d_->handle != nullptr; }
struct Library *ScreenbarHost::Base() const { return d_->base; }
struct MUI_CustomClass *ScreenbarHost::Class() const { return d_->mcc; }
std::string ScreenbarHost::PluginName() const { return d_->name; }
const std::string &ScreenbarHost::Error() const { return d_->error; }

std::string ScreenbarHost::Credit() const {
  if (!d_->base) return "";
  auto *text = static_cast<const char *>(d_->funcs->Query(d_->base, 7));
  return text ? std::string(text, strnlen(text, 1024)) : std::string();
}

// ---- screens and bars ----

bool ScreenbarHost::Start(const ScreenbarHostOptions &options) {
  Impl &d = *d_;
  if (!d.handle) return d.Fail("no plug-in loaded");
  if (d.started) return d.Fail("started already");
  if (options.screens < 1 || options.screens > kMaxScreens)
    return d.Fail("the number of screens must be 1 to " + std::to_string(kMaxScreens));
  Impl *none = nullptr;
  if (!g_activeHost.compare_exchange_strong(none, &d)) return d.Fail("another host is running");

  d.prefsName = options.prefsName.empty() ? "ENVARC:Screenbar/" + d.name + ".prefs" : options.prefsName;
  d.prefsPath.clear();
  d.LoadConfig();
  SetConfigProvider([impl = &d](Object *obj, ULONG id, IPTR *storage) { return impl->Answer(obj, id, storage); });
  SetWindowScreenHook([impl = &d](Object *) -> APTR {
    std::shared_lock bl(impl->barsLock);
    if (impl->bars.empty()) return nullptr;
    size_t i = std::min(impl->active.load(), impl->bars.size() - 1);
    return impl->bars[i].screen;
  });

  Object *app = MUI_NewObject(MUIC_Application, MUIA_Application_Title, "Screenbar", MUIA_Application_Base,
                              "SCREENBAR", MUIA_Application_Description, "Title-bar host", TAG_DONE);
  if (!app) return d.AbortStart("the application could not be made");
  d.app.store(app);
  InstallConsoleWindows(app);
  d.started = true;
  for (int i = 0; i < options.screens; ++i) {
    ScreenOptions so = static_cast<size_t>(i) < options.perScreen.size() ? options.perScreen[i] : options.screen;
    if (options.screens > 1 && static_cast<size_t>(i) >= options.perScreen.size())
      so.title += " " + std::to_string(i + 1);
    if (!d.MakeBar(static_cast<size_t>(i), so)) return d.AbortStart(d.error);
  }
  return true;
}

bool ScreenbarHost::AddBar(const ScreenOptions &screen) {
  Impl &d = *d_;
  if (!d.started) return d.Fail("not started");
  if (d.bars.size() >= static_cast<size_t>(kMaxScreens)) return d.Fail("no more screens");
  size_t i = d.bars.size();
  if (d.MakeBar(i, screen)) return true;
  std::string why = d.error;
  d.Drop(i);
  return d.Fail(why);
}

bool ScreenbarHost::RemoveBar(size_t i) {
  Impl &d = *d_;
  if (i >= d.bars.size()) return d.Fail("no such bar");
  d.Drop(i);
  size_t active = d.active.load();
  if (active > 0 && active >= d.bars.size()) d.active.store(d.bars.size() ? d.bars.size() - 1 : 0);
  return true;
}

bool ScreenbarHost::CleanupBar(size_t i) {
  Impl &d = *d_;
  if (i >= d.bars.size()) return d.Fail("no such bar");
  d.TakeDown(d.bars[i]);
  return true;
}

bool ScreenbarHost::SetupBar(size_t i) {
  Impl &d = *d_;
  if (i >= d.bars.size()) return d.Fail("no such bar");
  return d.SetUp(d.bars[i], i);
}

bool ScreenbarHost::BarIsSetUp(size_t i) const { return i < d_->bars.size() && d_->bars[i].setUp; }

bool ScreenbarHost::Started() const { return d_->started; }
Object *ScreenbarHost::Application() const { return d_->app.load(); }
size_t ScreenbarHost::BarCount() const { return d_->bars.size(); }
Object *ScreenbarHost::Bar(size_t i) const { return i < d_->bars.size() ? d_->bars[i].bar : nullptr; }
Object *ScreenbarHost::BarWindow(size_t i) const { return i < d_->bars.size() ? d_->bars[i].window : nullptr; }
struct Screen *ScreenbarHost::BarScreen(size_t i) const { return i < d_->bars.size() ? d_->bars[i].screen : nullptr; }
struct IBox ScreenbarHost::BarBox(size_t i) const { return i < d_->bars.size() ? d_->bars[i].box : IBox{}; }
void ScreenbarHost::SetActiveBar(size_t i) { d_->active.store(i); }
size_t ScreenbarHost::ActiveBar() const { return d_->active.load(); }

void ScreenbarHost::DrawBar(size_t i) {
  if (i < d_->bars.size()) d_->Draw(d_->bars[i]);
}

// ---- the loop ----

void ScreenbarHost::Run() {
  Object *app = d_->app.load();
  if (!app || d_->stopRequested.load()) return;
  RunApplicationLoop(app, [this] { return !d_->stopRequested.load(); });
}

void ScreenbarHost::Stop() {
  d_->stopRequested.store(true);
  if (Object *app = d_->app.load()) StopApplication(app);
}

bool ScreenbarHost::RunUntil(const std::function<bool()> &done, uint64_t realTimeoutMs) {
  Object *app = d_->app.load();
  if (done()) return true;
  if (!app) return false;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(realTimeoutMs);
  // The loop sleeps until something is due; a ticker makes it look at the
  // condition and the deadline now and then.
  std::mutex m;
  std::condition_variable cv;
  bool finished = false;
  std::thread ticker([&] {
    std::unique_lock g(m);
    while (!cv.wait_for(g, std::chrono::milliseconds(2), [&] { return finished; })) WakeApplication(app);
  });
  bool ok = false;
  RunApplicationLoop(app, [&] {
    if (done()) {
      ok = true;
      return false;
    }
    return !d_->stopRequested.load() && std::chrono::steady_clock::now() < deadline;
  });
  {
    std::lock_guard g(m);
    finished = true;
  }
  cv.notify_all();
  ticker.join();
  return ok || done();
}

void ScreenbarHost::RunFor(uint64_t platformMs) {
  uint64_t end = ClockNowMs() + platformMs;
  auto real = std::chrono::duration_cast<std::chrono::milliseconds>(RealDuration(platformMs)).count();
  RunUntil([end] { return ClockNowMs() >= end; }, static_cast<uint64_t>(real) + 10000);
}

void ScreenbarHost::Call(const std::function<void()> &fn) {
  Object *app = d_->app.load();
  if (!app || IsApplicationTask(app)) {
    fn();
    return;
  }
  std::mutex m;
  std::condition_variable cv;
  bool done = false;
  if (!PostToApplication(app, [&] {
        fn();
        std::lock_guard g(m);
        done = true;
        cv.notify_all();
      })) {
    return;
  }
  std::unique_lock g(m);
  cv.wait(g, [&] { return done; });
}

// ---- configuration items ----

std::string ScreenbarHost::PrefsPath() const { return d_->prefsPath; }

bool ScreenbarHost::ConfigItem(ULONG id, IPTR *value) {
  IPTR v = 0;
  bool ok = d_->Answer(nullptr, id, &v);
  if (value) *value = ok ? v : 0;
  return ok;
}

std::optional<ConfigValue> ScreenbarHost::StoredConfig(ULONG id) const {
  std::lock_guard g(d_->configLock);
  auto it = d_->stored.find(id);
  if (it == d_->stored.end()) return std::nullopt;
  return it->second;
}

bool ScreenbarHost::SetConfig(ULONG id, const ConfigValue &value) {
  Impl &d = *d_;
  ConfigValue v = value;
  if (auto *t = std::get_if<std::string>(&v); t && t->size() > HostPrefsLimits::kMaxText) t->resize(HostPrefsLimits::kMaxText);
  {
    std::lock_guard g(d.configLock);
    d.StoreLocked(id, v);
  }
  bool saved = d.SaveConfig();
  std::vector<Object *> redraw;
  for (size_t i = 0; i < d.bars.size(); ++i) {
    Object *bar = d.bars[i].bar;
    if (!bar || !d.bars[i].setUp) continue;
    ScreenbarRefreshList list{};
    DoMethod(bar, MUIM_ConfigItemChanged, id, &list);
    ULONG n = std::min<ULONG>(list.count, SCREENBAR_REFRESH_MAX); // a careless plug-in cannot overrun it
    for (ULONG k = 0; k < n; ++k) {
      Object *o = list.objects[k];
      if (o && IsLiveObject(o) && std::find(redraw.begin(), redraw.end(), o) == redraw.end()) redraw.push_back(o);
    }
  }
  for (Object *o : redraw)
    if (IsLiveObject(o)) MUI_Redraw(o, MADF_DRAWOBJECT);
  {
    std::lock_guard g(d.configLock);
    d.refreshed = redraw;
  }
  return saved;
}

std::vector<Object *> ScreenbarHost::LastRefreshed() const {
  std::lock_guard g(d_->configLock);
  return d_->refreshed;
}

// ---- the preferences panel ----

Object *ScreenbarHost::OpenPrefs() {
  Impl &d = *d_;
  if (d.prefsWindow) return d.prefsWindow;
  Object *app = d.app.load();
  Object *bar = d.bars.empty() ? nullptr : d.bars[std::min(d.active.load(), d.bars.size() - 1)].bar;
  if (!app || !bar) {
    d.Fail("no bar to ask for its preferences");
    return nullptr;
  }
  auto *panel = reinterpret_cast<Object *>(DoMethod(bar, MUIM_Screenbar_PrefsPanel));
  if (!panel) {
    d.Fail(d.name + ".sbar: no preferences panel");
    return nullptr;
  }
  IPTR image = 0;
  if (!GetAttr(MUIA_Screenbar_PrefsImage, bar, &image)) image = 0;
  std::string heading = "\33b" + d.name + ".sbar\33n";
  std::string credit = Credit();
  if (!credit.empty()) heading += "\n" + credit;
  Object *head = MUI_NewObject(MUIC_Group, MUIA_Group_Horiz, TRUE, TAG_DONE);
  if (head) {
    if (image) DoMethod(head, OM_ADDMEMBER, image);
    if (Object *text = MUI_NewObject(MUIC_Text, MUIA_Text_Contents, heading.c_str(), TAG_DONE))
      DoMethod(head, OM_ADDMEMBER, text);
  } else {
    DisposeObject(reinterpret_cast<Object *>(image));
  }
  Object *save = MUI_MakeObject(MUIO_Button, "_Save");
  Object *cancel = MUI_MakeObject(MUIO_Button, "_Cancel");
  Object *buttons = MUI_NewObject(MUIC_Group, MUIA_Group_Horiz, TRUE, TAG_DONE);
  if (buttons) {
    if (save) DoMethod(buttons, OM_ADDMEMBER, save);
    if (cancel) DoMethod(buttons, OM_ADDMEMBER, cancel);
  } else {
    DisposeObject(save);
    DisposeObject(cancel);
    save = cancel = nullptr;
  }
  Object *root = MUI_NewObject(MUIC_Group, TAG_DONE);
  if (!root) {
    DisposeObject(head);
    DisposeObject(buttons);
    DisposeObject(panel);
    d.Fail("no preferences window");
    return nullptr;
  }
  if (head) DoMethod(root, OM_ADDMEMBER, head);
  DoMethod(root, OM_ADDMEMBER, panel);
  if (buttons) DoMethod(root, OM_ADDMEMBER, buttons);
  std::string title = "Screenbar: " + d.name;
  Object *win = MUI_NewObject(MUIC_Window, MUIA_Window_Title, title.c_str(), MUIA_Window_ID, 0x53425052 /* SBPR */,
                              MUIA_Window_RootObject, root, TAG_DONE);
  if (!win) {
    DisposeObject(root);
    d.Fail("no preferences window");
    return nullptr;
  }
  if (save) DoMethod(save, MUIM_Notify, MUIA_Pressed, FALSE, save, 3, MUIM_CallHook, &d.prefsHook, kPrefsSave);
  if (cancel)
    DoMethod(cancel, MUIM_Notify, MUIA_Pressed, FALSE, cancel, 3, MUIM_CallHook, &d.prefsHook, kPrefsCancel);
  DoMethod(win, MUIM_Notify, MUIA_Window_CloseRequest, TRUE, win, 3, MUIM_CallHook, &d.prefsHook, kPrefsCancel);
  d.prefsWindow = win;
  d.prefsPanel = panel;
  for (const PrefsGadget &pg : PrefsGadgets(panel)) {
    IPTR v = 0;
    if (d.ValueForGadget(pg.id, IsTextAttr(pg.attr), &v)) SetAttrs(pg.gadget, pg.attr, v);
  }
  DoMethod(app, OM_ADDMEMBER, win);
  SetAttrs(win, MUIA_Window_Open, TRUE);
  return win;
}

Object *ScreenbarHost::PrefsWindow() const { return d_->prefsWindow; }
Object *ScreenbarHost::PrefsPanel() const { return d_->prefsPanel; }

bool ScreenbarHost::ApplyPrefs() {
  Impl &d = *d_;
  if (!d.prefsPanel) return true;
  bool ok = true;
  for (const PrefsGadget &pg : PrefsGadgets(d.prefsPanel)) {
    if (!IsLiveObject(pg.gadget)) continue;
    ConfigValue now = Impl::ReadGadget(pg);
    bool text = IsTextAttr(pg.attr);
    IPTR cur = 0;
    bool known = d.ValueForGadget(pg.id, text, &cur);
    bool same;
    if (!known)
      same = false;
    else if (text)
      same = cur && std::get<std::string>(now) ==
                        std::string(reinterpret_cast<const char *>(cur),
                                    strnlen(reinterpret_cast<const char *>(cur), HostPrefsLimits::kMaxText));
    else
      same = static_cast<LONG>(cur) == std::get<LONG>(now);
    if (!same) ok &= SetConfig(pg.id, now);
  }
  return ok;
}

void ScreenbarHost::ClosePrefs() {
  Impl &d = *d_;
  Object *win = d.prefsWindow;
  if (!win) return;
  d.prefsWindow = d.prefsPanel = nullptr;
  SetAttrs(win, MUIA_Window_Open, FALSE);
  if (Object *app = d.app.load()) DoMethod(app, OM_REMMEMBER, win);
  DisposeObject(win);
}

// ---- shutdown ----

bool ScreenbarHost::Shutdown() {
  Impl &d = *d_;
  bool clean = true;
  ClosePrefs();
  // The first bar is the plug-in's main instance: it goes last, when it is
  // the only one left set up.
  // AbortStart also disposes of the application, with any window the
  // plug-in left behind.
  if (d.started || d.app.load()) d.AbortStart("");
  d.error.clear();
  WaitAsyncCommands();

  if (d.handle) {
    bool last;
    {
      std::lock_guard g(g_librariesLock);
      auto it = g_libraries.find(d.handle);
      last = it == g_libraries.end() || it->second.users == 1;
    }
    if (last && d.mcc && d.mcc->mcc_Class && d.mcc->mcc_Class->cl_ObjectCount) {
      std::fprintf(stderr, "screenbar: %lu object(s) of %s.sbar still exist; the library stays loaded\n",
                   static_cast<unsigned long>(d.mcc->mcc_Class->cl_ObjectCount), d.name.c_str());
      d.Fail("objects of the plug-in's class are still alive");
      return false;
    }
    d.mcc = nullptr;
    APTR seg = d.funcs->Close(d.base);
    if (!d.Release()) {
      d.Unload(); // another host still uses it
    } else {
      if (!seg) seg = d.funcs->Expunge(d.base);
      d.base = nullptr;
      if (seg != d.handle)
        std::fprintf(stderr, "screenbar: %s.sbar did not give back its segment list\n", d.name.c_str());
      // Its tasks end with its objects; wait a little for stragglers.
      auto until = std::chrono::steady_clock::now() + kTaskGrace;
      while (LiveTaskCount() > d.tasksBefore && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      if (LiveTaskCount() > d.tasksBefore) {
        std::fprintf(stderr, "screenbar: %lu task(s) still running; %s.sbar stays loaded\n",
                     static_cast<unsigned long>(LiveTaskCount() - d.tasksBefore), d.name.c_str());
        d.Fail("tasks of the plug-in are still running");
        d.handle = nullptr; // left mapped on purpose: its code may still run
        d.funcs = nullptr;
        clean = false;
      } else if (seg == d.handle) {
        d.Unload();
      } else {
        d.handle = nullptr; // not given back: not ours to unload
        d.funcs = nullptr;
        clean = false;
      }
    }
  }
  {
    std::lock_guard g(d.configLock);
    d.plugin.clear();
    d.refreshed.clear();
    d.answers.clear();
    d.stored.clear();
    d.texts.clear();
  }
  d.stopRequested.store(false);
  return clean;
}

} // namespace platform
