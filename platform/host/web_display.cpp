// The browser display. The GUI task describes a window (its object tree)
// as JSON when it opens; after that only what changed goes out, keyed by
// node so that a slow page gets the newest state of each and no backlog.
// Lists travel without their rows, which pages ask for by range. Bar
// frames are encoded on a thread of their own; pages get everything over
// server-sent events and send input back as small form posts, which are
// checked again on the GUI task before they touch an object.
#include "host/web_display.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>

#include "exec/text.h"
#include "host/web_impl.h"
#include "mui/screen.h"
#include "mui/textengine.h"

namespace platform {

using web::Json;

namespace webview {

IPTR Get(Object *o, Tag attr, IPTR def) {
  IPTR v = def;
  if (!GetAttr(attr, o, &v)) return def;
  return v;
}

std::string Str(Object *o, Tag attr) {
  auto *p = reinterpret_cast<const char *>(Get(o, attr));
  return p ? std::string(p, strnlen(p, 64 * 1024)) : std::string();
}

bool ParseInt(const std::string &s, long &out, long lo, long hi) {
  if (s.empty() || s.size() > 12) return false;
  char *end = nullptr;
  long v = std::strtol(s.c_str(), &end, 10);
  if (!end || *end || v < lo || v > hi) return false;
  out = v;
  return true;
}

bool CleanText(const std::string &s) {
  if (s.size() > kMaxText) return false;
  for (char c : s)
    if (static_cast<unsigned char>(c) < 0x20) return false;
  return true;
}

} // namespace webview

using namespace webview;

namespace {

const char *AlignName(TextAlign a) { return a == TextAlign::Center ? "c" : a == TextAlign::Right ? "r" : "l"; }

// The bar frames of one screen as JSON: size and PNG.
std::string FrameJson(int screen, const std::vector<uint32_t> &px, int w, int h) {
  Json j;
  j.Begin().Key("s").Num(screen).Key("w").Num(w).Key("h").Num(h);
  j.Key("png").Str("data:image/png;base64," + web::Base64(web::EncodePNG(px.data(), w, h)));
  j.End();
  return j.Text();
}

// Attributes that change nothing a person sees.
bool Unseen(Tag attr) {
  switch (attr) {
  case MUIA_Timer:
  case MUIA_ContextMenuTrigger:
  case MUIA_UserData:
  case MUIA_ObjectID:
  case MUIA_String_Acknowledge:
  case MUIA_List_DoubleClick:
  case MUIA_Listtree_DoubleClick:
  case MUIA_Window_CloseRequest:
  case MUIA_Menuitem_Trigger: return true;
  default: return false;
  }
}

} // namespace

std::string WebTextJson(std::string_view latin1, std::string_view preParse) {
  Json j;
  j.BeginArray();
  for (const TextLine &line : ParseText(latin1, preParse)) {
    j.Begin().Key("a").Str(AlignName(line.align)).Key("r").BeginArray();
    for (const TextRun &run : line.runs) {
      j.Begin();
      if (!run.image.empty())
        j.Key("img").Latin1(run.image);
      else
        j.Key("t").Latin1(run.text);
      if (run.bold) j.Key("b").Num(1);
      if (run.italic) j.Key("i").Num(1);
      if (run.underline) j.Key("u").Num(1);
      j.End();
    }
    j.EndArray().End();
  }
  j.EndArray();
  return j.Text();
}

// ---- clients ---------------------------------------------------------------------------------------------

void WebDisplay::Impl::Broadcast(const std::string &event, const std::string &data, int onlyScreen, const std::string &key) {
  // Caller holds lock.
  for (auto &c : clients)
    if (onlyScreen < 0 || c.screen == onlyScreen) c.stream->Send(event, data, key);
  clients.erase(std::remove_if(clients.begin(), clients.end(), [](auto &c) { return c.stream->Closed(); }), clients.end());
}

void WebDisplay::Impl::Connected(const web::HttpRequest &req, const std::shared_ptr<web::EventStream> &stream) {
  long s = 0;
  if (!ParseInt(req.Param("s"), s, 0, static_cast<long>(bars.size()) - 1)) s = 0;
  std::lock_guard g(lock);
  if (stopped) {
    stream->Close();
    return;
  }
  everConnected = true;
  Json j;
  j.Begin().Key("s").Num(s).Key("screens").BeginArray();
  for (auto &b : bars) {
    j.Begin().Key("title").Latin1(b.title);
    j.Key("w").Num(b.target ? b.target->Width() : 0).Key("h").Num(b.target ? b.target->Height() : 0);
    j.Key("sw").Num(b.screen ? b.screen->Width : 0).Key("sh").Num(b.screen ? b.screen->Height : 0);
    j.Key("box").Begin().Key("x").Num(b.box.Left).Key("y").Num(b.box.Top).Key("w").Num(b.box.Width);
    j.Key("h").Num(b.box.Height).End().End();
  }
  j.EndArray();
  j.Key("frame").Raw(frames[static_cast<size_t>(s)]);
  j.Key("bubbles").BeginArray();
  for (auto &[h, b] : bubbles) j.Raw(b.second);
  j.EndArray().Key("helps").BeginArray();
  for (auto &[sc, h] : helps) j.Raw(h);
  j.EndArray().Key("windows").BeginArray();
  for (auto &[id, w] : windows)
    if (!w.json.empty()) j.Raw(w.json);
  j.EndArray().Key("dialogs").BeginArray();
  for (auto &[id, d] : dialogs) j.Raw(d->json);
  j.EndArray().End();
  stream->Send("hello", j.Text());
  clients.push_back({stream, static_cast<int>(s)});
  // What was sent whole may have changed node by node since: the windows
  // go again, whole, to every page (keyed, so nothing piles up).
  for (auto &[id, w] : windows) MarkLocked(id, 0, true, false);
}

// ---- object registry -----------------------------------------------------------------------------------

uint32_t WebDisplay::Impl::IdLocked(Object *o) {
  auto it = ids.find(o);
  if (it != ids.end()) return it->second;
  uint32_t id = nextId++;
  ids[o] = id;
  objects[id] = o;
  return id;
}

Object *WebDisplay::Impl::Lookup(uint32_t id) {
  std::lock_guard g(lock);
  auto it = objects.find(id);
  return it == objects.end() ? nullptr : it->second;
}

uint32_t WebDisplay::Impl::WinOfLocked(Object *o) {
  if (!o) return 0;
  if (auto it = objWin.find(o); it != objWin.end()) return it->second;
  for (auto &[id, w] : windows)
    if (w.win == o) return id;
  return 0;
}

int WebDisplay::Impl::ScreenOf(Object *o, bool &onBar, uint32_t &winId) {
  onBar = false;
  winId = 0;
  for (size_t i = 0; i < bars.size(); ++i)
    if (o && (o == bars[i].bar || o == bars[i].window)) {
      onBar = true;
      return static_cast<int>(i);
    }
  std::lock_guard g(lock);
  if (uint32_t w = WinOfLocked(o)) {
    winId = w;
    return windows[w].screen;
  }
  return static_cast<int>(std::min(host->ActiveBar(), bars.empty() ? 0 : bars.size() - 1));
}

// ---- windows and their keyed updates ---------------------------------------------------------------------

void WebDisplay::Impl::PublishWindow(uint32_t id) {
  // GUI task: describe the whole window and hand it to the pages.
  WinState copy;
  {
    std::lock_guard g(lock);
    auto it = windows.find(id);
    if (it == windows.end()) return;
    copy = it->second;
  }
  if (!IsLiveObject(copy.win)) return;
  std::string json = DescribeWindow(id, copy);
  std::lock_guard g(lock);
  auto it = windows.find(id);
  if (it == windows.end()) return;
  it->second.json = json;
  // Keyed like its nodes: a newer whole window makes older parts moot.
  Broadcast("window", json, -1, "w" + std::to_string(id));
}

void WebDisplay::Impl::MarkLocked(uint32_t winId, uint32_t nodeId, bool wholeWindow, bool windowAttrs) {
  if (!windows.count(winId)) return;
  if (wholeWindow) rebuildWins.insert(winId);
  else if (windowAttrs) dirtyWins.insert(winId);
  else dirtyNodes.insert(nodeId);
  if (flushQueued || stopped || !app) return;
  flushQueued = true;
  std::weak_ptr<Impl> weak = weak_from_this();
  PostToApplication(app, [weak] {
    if (auto d = weak.lock()) d->Flush();
  });
}

void WebDisplay::Impl::Flush() {
  // GUI task. Whole windows first; then, per window, the nodes whose
  // ancestors are not sent anyway.
  std::set<uint32_t> nodes, wins, whole;
  {
    std::lock_guard g(lock);
    flushQueued = false;
    if (stopped) return;
    nodes.swap(dirtyNodes);
    wins.swap(dirtyWins);
    whole.swap(rebuildWins);
  }
  for (uint32_t id : whole) PublishWindow(id);
  for (uint32_t id : wins) {
    if (whole.count(id)) continue;
    Object *win = Lookup(id);
    if (!win || !IsLiveObject(win)) continue;
    std::string json = DescribeWindowAttrs(id, win);
    std::lock_guard g(lock);
    if (windows.count(id)) Broadcast("win", json, -1, "a" + std::to_string(id));
  }
  for (uint32_t id : nodes) {
    Object *o = Lookup(id);
    if (!o || !IsLiveObject(o)) continue;
    uint32_t winId;
    bool covered = false;
    {
      std::lock_guard g(lock);
      winId = WinOfLocked(o);
      if (!windows.count(winId) || whole.count(winId)) continue;
      for (Object *p = ObjectParent(o); p && !covered; p = ObjectParent(p)) {
        auto it = ids.find(p);
        covered = it != ids.end() && nodes.count(it->second); // the ancestor's description holds it
      }
    }
    if (covered) continue;
    std::string json;
    std::string event = "node";
    ListState st;
    if (GetListState(o, st)) {
      if (st.quiet) continue; // one update when the quiet ends
      json = ListHeader(winId, id, o);
      event = "list";
    } else {
      Json j;
      j.Begin().Key("win").Num(winId).Key("node");
      Describe(j, o, winId, 0);
      j.End();
      json = j.Text();
    }
    std::lock_guard g(lock);
    if (windows.count(winId)) Broadcast(event, json, -1, "n" + std::to_string(id));
  }
}

void WebDisplay::Impl::ObjectChanged(Object *o) {
  // A group's children or a list's rows changed: the node goes again.
  std::lock_guard g(lock);
  uint32_t w = WinOfLocked(o);
  if (!w) return;
  if (auto it = windows.find(w); it != windows.end() && it->second.win == o) return MarkLocked(w, 0, true, false);
  if (auto it = ids.find(o); it != ids.end()) MarkLocked(w, it->second, false, false);
}

// ---- bar frames -------------------------------------------------------------------------------------------

void WebDisplay::Impl::FrameLoop() {
  std::unique_lock g(lock);
  for (;;) {
    wake.wait(g, [&] { return stopped || std::find(frameDirty.begin(), frameDirty.end(), true) != frameDirty.end(); });
    if (stopped) return;
    // Let a burst of drawing settle into one frame; the flag set by a
    // change after the snapshot makes the next one.
    wake.wait_for(g, std::chrono::milliseconds(opt.frameIntervalMs), [&] { return stopped; });
    if (stopped) return;
    for (size_t i = 0; i < bars.size(); ++i) {
      if (!frameDirty[i]) continue;
      frameDirty[i] = false;
      RenderTarget *t = bars[i].target;
      g.unlock();
      std::vector<uint32_t> px = t->Snapshot();
      std::string json = FrameJson(static_cast<int>(i), px, t->Width(), t->Height());
      g.lock();
      if (stopped) return;
      frames[i] = json;
      Broadcast("bar", json, static_cast<int>(i), "bar");
    }
  }
}

void WebDisplay::Impl::TargetChanged(RenderTarget *t) {
  for (size_t i = 0; i < bars.size(); ++i)
    if (bars[i].target == t) {
      std::lock_guard g(lock);
      frameDirty[i] = true;
      wake.notify_all();
    }
}

// ---- the display -----------------------------------------------------------------------------------------

WebDisplay::WebDisplay() = default;

WebDisplay::~WebDisplay() { Stop(); }

std::unique_ptr<WebDisplay> WebDisplay::Start(ScreenbarHost &host, const WebDisplayOptions &options,
                                              std::string &why) {
  if (!host.Started() || host.BarCount() == 0) {
    why = "the host shows no bars";
    return nullptr;
  }
  std::unique_ptr<WebDisplay> wd(new WebDisplay());
  auto d = std::make_shared<Impl>(options.limits);
  wd->d_ = d;
  d->host = &host;
  d->app = host.Application();
  d->opt = options;
  for (size_t i = 0; i < host.BarCount(); ++i) {
    BarInfo b;
    b.bar = host.Bar(i);
    b.window = host.BarWindow(i);
    b.screen = host.BarScreen(i);
    b.target = ScreenBarTarget(b.screen);
    b.box = host.BarBox(i);
    b.title = b.screen && b.screen->Title ? b.screen->Title : "";
    if (!b.target) {
      why = "a screen has no title bar";
      return nullptr;
    }
    d->bars.push_back(b);
  }
  d->frameDirty.assign(d->bars.size(), true);
  d->frames.assign(d->bars.size(), std::string());
  d->pressed.assign(d->bars.size(), false);

  std::string token = web::RandomToken();
  if (token.empty()) {
    why = "no random numbers for the access token";
    return nullptr;
  }
  d->server.SetToken(token);
  std::weak_ptr<Impl> weak = d;
  d->server.SetHandler([weak](const web::HttpRequest &req) {
    auto dd = weak.lock();
    return dd ? dd->Handle(req) : web::HttpResponse::Text(503, "stopped\n");
  });
  d->server.SetStreamHandler("/events", [weak](const web::HttpRequest &req,
                                                const std::shared_ptr<web::EventStream> &stream) {
    if (auto dd = weak.lock())
      dd->Connected(req, stream);
    else
      stream->Close();
  });
  if (!d->server.Start(options.address, options.port, why)) return nullptr;

  SetRenderListener([d](RenderTarget *t, LONG, LONG, LONG, LONG) { d->TargetChanged(t); });
  SetLayoutListener([d](Object *o) { d->ObjectChanged(o); });
  d->frameThread = std::thread([d] { d->FrameLoop(); });
  return wd;
}

std::string WebDisplay::Url() const { return d_->server.Origin() + "/?t=" + d_->server.Token(); }
int WebDisplay::Port() const { return d_->server.Port(); }
const std::string &WebDisplay::Token() const { return d_->server.Token(); }
bool WebDisplay::EverConnected() const {
  std::lock_guard g(d_->lock);
  return d_->everConnected;
}

void WebDisplay::Stop() {
  if (!d_) return;
  std::lock_guard once(d_->stopLock);
  {
    std::lock_guard g(d_->lock);
    if (d_->stopped) return;
    d_->stopped = true;
    d_->wake.notify_all();
  }
  SetRenderListener(nullptr);
  SetLayoutListener(nullptr);
  if (d_->frameThread.joinable()) d_->frameThread.join();
  d_->server.Stop();
}

void WebDisplay::WindowOpened(Object *window) {
  int screen = -1;
  auto *scr = reinterpret_cast<struct Screen *>(Get(window, MUIA_Window_Screen));
  for (size_t i = 0; i < d_->bars.size(); ++i)
    if (d_->bars[i].screen == scr) screen = static_cast<int>(i);
  if (screen < 0) screen = static_cast<int>(std::min(d_->host->ActiveBar(), d_->bars.size() - 1));
  uint32_t id;
  {
    std::lock_guard g(d_->lock);
    id = d_->IdLocked(window);
    WinState &w = d_->windows[id];
    w.win = window;
    w.screen = screen;
  }
  d_->PublishWindow(id);
}

void WebDisplay::WindowClosed(Object *window) {
  std::lock_guard g(d_->lock);
  auto it = d_->ids.find(window);
  if (it == d_->ids.end() || !d_->windows.count(it->second)) return;
  uint32_t id = it->second;
  d_->windows.erase(id);
  for (auto o = d_->objWin.begin(); o != d_->objWin.end();) o = o->second == id ? d_->objWin.erase(o) : std::next(o);
  Json j;
  j.Begin().Key("id").Num(id).End();
  d_->Broadcast("windowEnd", j.Text(), -1, "w" + std::to_string(id));
}

void WebDisplay::WindowChanged(Object *window) { d_->ObjectChanged(window); }

void WebDisplay::AttributeChanged(Object *obj, Tag attr, IPTR value) {
  (void)value;
  if (Unseen(attr)) return;
  std::lock_guard g(d_->lock);
  if (d_->windows.empty()) return;
  if (auto it = d_->objWin.find(obj); it != d_->objWin.end()) {
    auto id = d_->ids.find(obj);
    if (id != d_->ids.end()) d_->MarkLocked(it->second, id->second, false, false);
    return;
  }
  if (auto it = d_->ids.find(obj); it != d_->ids.end() && d_->windows.count(it->second))
    d_->MarkLocked(it->second, 0, attr == MUIA_Window_RootObject, true);
}

void WebDisplay::ObjectDisposed(Object *obj) {
  bool wasWindow = false;
  {
    std::lock_guard g(d_->lock);
    auto it = d_->ids.find(obj);
    if (it == d_->ids.end()) return;
    wasWindow = d_->windows.count(it->second) != 0;
    if (!wasWindow) {
      d_->objWin.erase(obj);
      d_->objects.erase(it->second);
      d_->ids.erase(it);
      return;
    }
  }
  WindowClosed(obj);
  std::lock_guard g(d_->lock);
  auto it = d_->ids.find(obj);
  if (it == d_->ids.end()) return;
  d_->objects.erase(it->second);
  d_->ids.erase(it);
}

void WebDisplay::BubbleCreated(APTR bubble, Object *obj, LONG x, LONG y, const std::string &text, ULONG flags) {
  (void)flags;
  bool onBar;
  uint32_t win;
  int screen = d_->ScreenOf(obj, onBar, win);
  std::lock_guard g(d_->lock);
  uint32_t id = d_->nextId++;
  uint32_t anchor = 0;
  if (!onBar)
    if (auto it = d_->ids.find(obj); it != d_->ids.end()) anchor = it->second;
  Json j;
  j.Begin().Key("id").Num(id).Key("s").Num(screen).Key("x").Num(x).Key("y").Num(y);
  j.Key("bar").Bool(onBar).Key("win").Num(win).Key("anchor").Num(anchor).Key("text").Raw(WebTextJson(text)).End();
  d_->bubbles[bubble] = {id, j.Text()};
  d_->Broadcast("bubble", j.Text());
}

void WebDisplay::BubbleDeleted(APTR bubble) {
  std::lock_guard g(d_->lock);
  auto it = d_->bubbles.find(bubble);
  if (it == d_->bubbles.end()) return;
  Json j;
  j.Begin().Key("id").Num(it->second.first).End();
  d_->bubbles.erase(it);
  d_->Broadcast("bubbleEnd", j.Text());
}

void WebDisplay::ShortHelpShown(Object *obj, const std::string &text) {
  bool onBar;
  uint32_t win;
  int screen = d_->ScreenOf(obj, onBar, win);
  std::lock_guard g(d_->lock);
  Json j;
  j.Begin().Key("s").Num(screen).Key("text").Raw(WebTextJson(text)).End();
  if (text.empty())
    d_->helps.erase(screen);
  else
    d_->helps[screen] = j.Text();
  d_->Broadcast(text.empty() ? "helpEnd" : "help", j.Text());
}

void WebDisplay::ShortHelpHidden(Object *obj) {
  bool onBar;
  uint32_t win;
  int screen = d_->ScreenOf(obj, onBar, win);
  std::lock_guard g(d_->lock);
  d_->helps.erase(screen);
  Json j;
  j.Begin().Key("s").Num(screen).End();
  d_->Broadcast("helpEnd", j.Text());
}

} // namespace platform
