// The browser display. The GUI task describes windows (their object trees)
// as JSON when they open or change; bar frames are encoded on a thread of
// their own; pages get everything over server-sent events and send input
// back as small form posts, which are checked again on the GUI task before
// they touch an object.
#include "host/web_display.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "dos/dos.h"
#include "exec/text.h"
#include "host/host.h"
#include "host/web_encode.h"
#include "mui/mui.h"
#include "mui/render.h"
#include "mui/screen.h"
#include "mui/textengine.h"

namespace platform {

using web::Json;

namespace {

constexpr size_t kMaxTreeDepth = 64;
constexpr size_t kMaxRows = 5000; // rows of one list sent to a page
constexpr size_t kMaxText = 4096; // an input text (bytes)

const char *AlignName(TextAlign a) { return a == TextAlign::Center ? "c" : a == TextAlign::Right ? "r" : "l"; }

IPTR Get(Object *o, Tag attr, IPTR def = 0) {
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

// The bar frames of one screen as JSON: size and PNG.
std::string FrameJson(int screen, const std::vector<uint32_t> &px, int w, int h) {
  Json j;
  j.Begin().Key("s").Num(screen).Key("w").Num(w).Key("h").Num(h);
  j.Key("png").Str("data:image/png;base64," + web::Base64(web::EncodePNG(px.data(), w, h)));
  j.End();
  return j.Text();
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

struct BarInfo {
  Object *bar = nullptr;
  Object *window = nullptr;
  struct Screen *screen = nullptr;
  RenderTarget *target = nullptr;
  IBox box{};
  std::string title;
};

struct WinState {
  Object *win = nullptr;
  int screen = 0;
  std::string json;
  bool dirty = false;
};

struct Dialog {
  uint32_t id = 0;
  int screen = 0;
  std::string json;
  bool done = false;
  std::string answer;
  std::function<bool(const std::string &)> valid;
};

struct Client {
  std::shared_ptr<web::EventStream> stream;
  int screen = 0;
};

struct WebDisplay::Impl : std::enable_shared_from_this<WebDisplay::Impl> {
  ScreenbarHost *host = nullptr;
  Object *app = nullptr;
  WebDisplayOptions opt;
  web::HttpServer server;
  std::vector<BarInfo> bars; // fixed after Start

  std::mutex stopLock;     // Stop runs once, and a second caller waits for it
  mutable std::mutex lock; // guards everything below
  std::condition_variable wake;
  bool stopped = false;
  bool everConnected = false;
  std::vector<Client> clients;
  uint32_t nextId = 1;
  std::unordered_map<Object *, uint32_t> ids;
  std::unordered_map<uint32_t, Object *> objects;
  std::unordered_map<Object *, uint32_t> objWin; // object -> its window's id
  std::map<uint32_t, WinState> windows;
  std::unordered_map<uint32_t, std::vector<APTR>> treeNodes; // list tree id -> visible nodes
  bool flushQueued = false;
  std::map<APTR, std::pair<uint32_t, std::string>> bubbles; // handle -> id, JSON
  std::map<int, std::string> helps;                         // screen -> JSON
  std::map<uint32_t, Dialog *> dialogs;
  std::vector<bool> frameDirty;
  std::vector<std::string> frames;
  std::vector<bool> pressed;
  std::thread frameThread;

  explicit Impl(web::HttpLimits limits) : server(limits) {}

  // ---- clients ----

  void Broadcast(const std::string &event, const std::string &data, int onlyScreen = -1,
                 const std::string &key = {}) {
    // Caller holds lock.
    for (auto &c : clients)
      if (onlyScreen < 0 || c.screen == onlyScreen) c.stream->Send(event, data, key);
    clients.erase(std::remove_if(clients.begin(), clients.end(), [](auto &c) { return c.stream->Closed(); }),
                  clients.end());
  }

  void Connected(const web::HttpRequest &req, const std::shared_ptr<web::EventStream> &stream) {
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
  }

  // ---- object registry (lock held) ----

  uint32_t IdLocked(Object *o) {
    auto it = ids.find(o);
    if (it != ids.end()) return it->second;
    uint32_t id = nextId++;
    ids[o] = id;
    objects[id] = o;
    return id;
  }

  Object *Lookup(uint32_t id) {
    std::lock_guard g(lock);
    auto it = objects.find(id);
    return it == objects.end() ? nullptr : it->second;
  }

  // The screen an object is shown on, and whether it is a bar (else the id
  // of its window, 0 when unknown). No object is read: this runs on any task.
  int ScreenOf(Object *o, bool &onBar, uint32_t &winId) {
    onBar = false;
    winId = 0;
    for (size_t i = 0; i < bars.size(); ++i)
      if (o && (o == bars[i].bar || o == bars[i].window)) {
        onBar = true;
        return static_cast<int>(i);
      }
    std::lock_guard g(lock);
    auto w = winIds(o);
    if (w) {
      winId = w;
      return windows[w].screen;
    }
    return static_cast<int>(std::min(host->ActiveBar(), bars.empty() ? 0 : bars.size() - 1));
  }

  // Caller holds lock.
  uint32_t winIds(Object *o) {
    if (!o) return 0;
    if (auto it = objWin.find(o); it != objWin.end()) return it->second;
    for (auto &[id, w] : windows)
      if (w.win == o) return id;
    return 0;
  }

  // ---- windows (GUI task) ----

  void Describe(Json &j, Object *o, uint32_t winId, size_t depth);

  void DescribeList(Json &j, Object *o, uint32_t id) {
    bool hasTitle = false;
    auto rows = ListRows(o, &hasTitle);
    j.Key("k").Str("list").Key("title").Bool(hasTitle);
    j.Key("active").Num(static_cast<LONG>(Get(o, MUIA_List_Active, static_cast<IPTR>(-1))));
    j.Key("rows").BeginArray();
    for (size_t r = 0; r < rows.size() && r < kMaxRows; ++r) {
      j.BeginArray();
      for (auto &col : rows[r]) j.Raw(WebTextJson(col));
      j.EndArray();
    }
    j.EndArray();
    (void)id;
  }

  void VisibleNodes(Object *o, APTR list, size_t depth, std::vector<std::pair<APTR, size_t>> &out) {
    if (depth > kMaxTreeDepth) return;
    auto *n = reinterpret_cast<MUIS_Listtree_TreeNode *>(
        DoMethod(o, MUIM_Listtree_GetEntry, list, 0, MUIV_Listtree_GetEntry_Flags_SameLevel));
    while (n && out.size() < kMaxRows) {
      out.emplace_back(n, depth);
      if (n->tn_Flags & TNF_OPEN) VisibleNodes(o, n, depth + 1, out);
      n = reinterpret_cast<MUIS_Listtree_TreeNode *>(
          DoMethod(o, MUIM_Listtree_GetEntry, n, MUIV_Listtree_GetEntry_Position_Next, 0));
    }
  }

  void DescribeTree(Json &j, Object *o, uint32_t id) {
    bool hasTitle = false;
    auto rows = ListRows(o, &hasTitle);
    std::vector<std::pair<APTR, size_t>> nodes;
    VisibleNodes(o, nullptr, 0, nodes);
    APTR active = reinterpret_cast<APTR>(Get(o, MUIA_Listtree_Active));
    j.Key("k").Str("tree").Key("title").Bool(hasTitle);
    size_t first = hasTitle ? 1 : 0;
    if (hasTitle && !rows.empty()) {
      j.Key("head").BeginArray();
      for (auto &col : rows[0]) j.Raw(WebTextJson(col));
      j.EndArray();
    }
    j.Key("rows").BeginArray();
    long activeRow = -1;
    std::vector<APTR> table;
    for (size_t r = 0; r < nodes.size(); ++r) {
      auto *n = static_cast<MUIS_Listtree_TreeNode *>(nodes[r].first);
      if (n == active) activeRow = static_cast<long>(r);
      table.push_back(n);
      j.Begin().Key("d").Num(static_cast<int64_t>(nodes[r].second));
      j.Key("list").Bool(n->tn_Flags & TNF_LIST).Key("open").Bool(n->tn_Flags & TNF_OPEN);
      j.Key("c").BeginArray();
      if (first + r < rows.size())
        for (auto &col : rows[first + r]) j.Raw(WebTextJson(col));
      else
        j.Raw(WebTextJson(n->tn_Name ? n->tn_Name : ""));
      j.EndArray().End();
    }
    j.EndArray().Key("active").Num(activeRow);
    std::lock_guard g(lock);
    treeNodes[id] = std::move(table);
  }

  std::string DescribeWindow(uint32_t id, WinState &w) {
    Json j;
    j.Begin().Key("id").Num(id).Key("s").Num(w.screen);
    j.Key("title").Latin1(Str(w.win, MUIA_Window_Title));
    j.Key("sleep").Bool(Get(w.win, MUIA_Window_Sleep) != 0);
    j.Key("close").Bool(Get(w.win, MUIA_Window_CloseGadget, TRUE) != 0);
    j.Key("root");
    Object *root = reinterpret_cast<Object *>(Get(w.win, MUIA_Window_RootObject));
    if (root)
      Describe(j, root, id, 0);
    else
      j.Null();
    j.End();
    return j.Text();
  }

  void Publish(uint32_t id) {
    // GUI task: describe the window and hand it to the pages.
    WinState copy;
    {
      std::lock_guard g(lock);
      auto it = windows.find(id);
      if (it == windows.end()) return;
      it->second.dirty = false;
      copy = it->second;
    }
    if (!IsLiveObject(copy.win)) return;
    std::string json = DescribeWindow(id, copy);
    std::lock_guard g(lock);
    auto it = windows.find(id);
    if (it == windows.end()) return;
    it->second.json = json;
    Broadcast("window", json);
  }

  void MarkDirtyLocked(uint32_t winId) {
    auto it = windows.find(winId);
    if (it == windows.end()) return;
    it->second.dirty = true;
    if (flushQueued || stopped || !app) return;
    flushQueued = true;
    std::weak_ptr<Impl> weak = weak_from_this();
    PostToApplication(app, [weak] {
      if (auto d = weak.lock()) d->Flush();
    });
  }

  void Flush() {
    std::vector<uint32_t> dirty;
    {
      std::lock_guard g(lock);
      flushQueued = false;
      if (stopped) return;
      for (auto &[id, w] : windows)
        if (w.dirty) dirty.push_back(id);
    }
    for (uint32_t id : dirty) Publish(id);
  }

  void ObjectChanged(Object *o) {
    std::lock_guard g(lock);
    if (uint32_t w = winIds(o)) MarkDirtyLocked(w);
  }

  // ---- bar frames ----

  void FrameLoop() {
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

  void TargetChanged(RenderTarget *t) {
    for (size_t i = 0; i < bars.size(); ++i)
      if (bars[i].target == t) {
        std::lock_guard g(lock);
        frameDirty[i] = true;
        wake.notify_all();
      }
  }

  // ---- blocking calls ----

  // Waits for a page's answer; false when the display stopped first.
  bool Ask(Dialog &d, std::string &answer) {
    std::unique_lock g(lock);
    if (stopped || !everConnected) return false;
    dialogs[d.id] = &d;
    Broadcast("dialog", d.json);
    wake.wait(g, [&] { return stopped || d.done; });
    dialogs.erase(d.id);
    Json j;
    j.Begin().Key("id").Num(d.id).End();
    Broadcast("dialogEnd", j.Text());
    if (!d.done) return false;
    answer = d.answer;
    return true;
  }

  bool Answer(uint32_t id, const std::string &value) {
    std::lock_guard g(lock);
    auto it = dialogs.find(id);
    if (it == dialogs.end() || it->second->done) return false;
    if (it->second->valid && !it->second->valid(value)) return false;
    it->second->answer = value;
    it->second->done = true;
    wake.notify_all();
    return true;
  }

  // ---- requests from pages ----

  web::HttpResponse Handle(const web::HttpRequest &req);
  web::HttpResponse HandleInput(const std::map<std::string, std::string> &f);
  web::HttpResponse Image(const std::string &spec);
  web::HttpResponse Dir(const std::string &path);

  // Runs fn on the GUI task when object id is still the one the page saw,
  // alive, and not in a sleeping window.
  bool OnObject(uint32_t id, std::function<void(Impl &, Object *)> fn) {
    Object *o = Lookup(id);
    if (!o) return false;
    std::weak_ptr<Impl> weak = weak_from_this();
    InputCall(o, [weak, id, fn = std::move(fn)](Object *obj) {
      auto d = weak.lock();
      if (!d || d->Lookup(id) != obj) return;
      if (Object *win = ObjectWindow(obj); win && Get(win, MUIA_Window_Sleep)) return;
      fn(*d, obj);
    });
    return true;
  }
};

// ---- describing objects ------------------------------------------------------------------------------

void WebDisplay::Impl::Describe(Json &j, Object *o, uint32_t winId, size_t depth) {
  if (!o || depth > kMaxTreeDepth) {
    j.Null();
    return;
  }
  uint32_t id;
  {
    std::lock_guard g(lock);
    id = IdLocked(o);
    objWin[o] = winId;
  }
  j.Begin().Key("id").Num(id);
  if (Get(o, MUIA_Disabled)) j.Key("dis").Bool(true);
  if (!Get(o, MUIA_ShowMe, TRUE)) j.Key("hide").Bool(true);
  IPTR help = Get(o, MUIA_ShortHelp);
  if (help > 0x1000) j.Key("help").Latin1(PlainText(reinterpret_cast<const char *>(help)));
  // A label's phantom frame only lines it up with framed neighbours.
  LONG frame = Get(o, MUIA_FramePhantomHoriz) ? 0 : static_cast<LONG>(Get(o, MUIA_Frame));
  if (frame) j.Key("frame").Num(frame);
  std::string frameTitle = Str(o, MUIA_FrameTitle);
  if (!frameTitle.empty()) j.Key("ftitle").Raw(WebTextJson(frameTitle));
  LONG hw = static_cast<LONG>(Get(o, MUIA_HorizWeight, 100));
  if (hw != 100) j.Key("hw").Num(hw);
  LONG vw = static_cast<LONG>(Get(o, MUIA_VertWeight, 100));
  if (vw != 100) j.Key("vw").Num(vw);
  LONG input = static_cast<LONG>(Get(o, MUIA_InputMode));
  if (input) j.Key("input").Num(input);
  if (Get(o, MUIA_Selected)) j.Key("sel").Bool(true);

  if (IsInstanceOf(o, MUIC_Listtree)) {
    DescribeTree(j, o, id);
  } else if (IsInstanceOf(o, MUIC_List)) {
    DescribeList(j, o, id);
  } else if (IsInstanceOf(o, MUIC_Popstring)) {
    j.Key("k").Str("pop").Key("open").Bool(PopupIsOpen(o));
    j.Key("ch").BeginArray();
    for (Object *c : GroupChildren(o)) Describe(j, c, winId, depth + 1);
    j.EndArray();
    if (IsInstanceOf(o, MUIC_Popobject) && PopupIsOpen(o)) {
      j.Key("popped");
      Describe(j, reinterpret_cast<Object *>(Get(o, MUIA_Popobject_Object)), winId, depth + 1);
    }
  } else if (IsInstanceOf(o, MUIC_Group)) {
    j.Key("k").Str("group");
    if (Get(o, MUIA_Group_Horiz)) j.Key("horiz").Bool(true);
    if (LONG c = static_cast<LONG>(Get(o, MUIA_Group_Columns))) j.Key("cols").Num(c);
    if (LONG r = static_cast<LONG>(Get(o, MUIA_Group_Rows))) j.Key("rows").Num(r);
    if (Get(o, MUIA_Group_PageMode)) j.Key("page").Num(static_cast<LONG>(Get(o, MUIA_Group_ActivePage)));
    j.Key("ch").BeginArray();
    for (Object *c : GroupChildren(o)) Describe(j, c, winId, depth + 1);
    j.EndArray();
  } else if (IsInstanceOf(o, MUIC_Hyperlink)) {
    j.Key("k").Str("link").Key("text").Raw(WebTextJson(Str(o, MUIA_Text_Contents), Str(o, MUIA_Text_PreParse)));
    j.Key("uri").Latin1(Str(o, MUIA_Hyperlink_URI));
  } else if (IsInstanceOf(o, MUIC_Text)) {
    j.Key("k").Str("text").Key("text").Raw(WebTextJson(Str(o, MUIA_Text_Contents), Str(o, MUIA_Text_PreParse)));
    if (Get(o, MUIA_Text_HiCharIdx) == '_') j.Key("hi").Bool(true);
  } else if (IsInstanceOf(o, MUIC_String)) {
    j.Key("k").Str("string").Key("v").Latin1(Str(o, MUIA_String_Contents));
    if (Get(o, MUIA_String_Secret)) j.Key("secret").Bool(true);
    j.Key("max").Num(static_cast<LONG>(Get(o, MUIA_String_MaxLen)));
  } else if (IsInstanceOf(o, MUIC_Gauge)) {
    LONG cur = static_cast<LONG>(Get(o, MUIA_Gauge_Current)), max = static_cast<LONG>(Get(o, MUIA_Gauge_Max));
    // The info text is a format with the current value.
    std::string fmt = Str(o, MUIA_Gauge_InfoText), info;
    bool used = false;
    for (size_t i = 0; i < fmt.size(); ++i) {
      if (fmt[i] != '%' || i + 1 >= fmt.size()) {
        info += fmt[i];
        continue;
      }
      size_t k = i + 1;
      if (fmt[k] == '%') {
        info += '%';
        i = k;
        continue;
      }
      while (k < fmt.size() && std::strchr("lL0123456789-", fmt[k])) ++k;
      if (k < fmt.size() && std::strchr("dDuU", fmt[k]) && !used) {
        info += std::to_string(cur);
        used = true;
      }
      i = k;
    }
    j.Key("k").Str("gauge").Key("cur").Num(cur).Key("max").Num(max).Key("horiz").Bool(Get(o, MUIA_Gauge_Horiz));
    j.Key("info").Raw(WebTextJson(info));
  } else if (IsInstanceOf(o, MUIC_Numeric)) {
    LONG v = static_cast<LONG>(Get(o, MUIA_Numeric_Value)), lo = static_cast<LONG>(Get(o, MUIA_Numeric_Min)),
         hi = static_cast<LONG>(Get(o, MUIA_Numeric_Max));
    if (lo > hi) std::swap(lo, hi);
    j.Key("k").Str("numeric").Key("v").Num(v).Key("min").Num(lo).Key("max").Num(hi);
    auto label = [&](LONG n) {
      auto *s = reinterpret_cast<const char *>(DoMethod(o, MUIM_Numeric_Stringify, n));
      return std::string(s ? s : "");
    };
    if (static_cast<int64_t>(hi) - lo < 400) {
      j.Key("labels").BeginArray();
      for (LONG n = lo; n <= hi; ++n) j.Latin1(label(n));
      j.EndArray();
    } else {
      j.Key("label").Latin1(label(v));
    }
  } else if (IsInstanceOf(o, MUIC_Busy)) {
    j.Key("k").Str("busy").Key("speed").Num(static_cast<LONG>(Get(o, MUIA_Busy_Speed)));
  } else if (IsInstanceOf(o, MUIC_Balance)) {
    j.Key("k").Str("balance");
  } else if (IsInstanceOf(o, MUIC_Pendisplay)) {
    uint32_t argb = 0;
    LONG pen = -1;
    char kind = 0;
    const auto *spec = reinterpret_cast<const MUI_PenSpec *>(Get(o, MUIA_Pendisplay_Spec));
    std::string text = spec ? std::string(spec->buf, strnlen(spec->buf, sizeof spec->buf)) : std::string();
    char rgb[8] = "#000000";
    if (ParsePenSpec(text.c_str(), argb, pen, kind))
      std::snprintf(rgb, sizeof rgb, "#%06x", static_cast<unsigned>(argb & 0xFFFFFF));
    j.Key("k").Str("pen").Key("spec").Latin1(text).Key("rgb").Str(rgb).Key("pick").Bool(IsInstanceOf(o, MUIC_Poppen));
  } else if (IsInstanceOf(o, MUIC_Image)) {
    IPTR spec = Get(o, MUIA_Image_Spec);
    j.Key("k").Str("image");
    if (IsInstanceOf(o, MUIC_Dtpic) && !Str(o, MUIA_Dtpic_Name).empty())
      j.Key("spec").Latin1("5:" + Str(o, MUIA_Dtpic_Name));
    else if (spec > 0x1000)
      j.Key("spec").Latin1(reinterpret_cast<const char *>(spec));
    else
      j.Key("std").Num(static_cast<int64_t>(spec));
  } else if (IsInstanceOf(o, MUIC_Rectangle)) {
    j.Key("k").Str("rect");
    if (Get(o, MUIA_Rectangle_HBar)) j.Key("hbar").Bool(true);
    if (Get(o, MUIA_Rectangle_VBar)) j.Key("vbar").Bool(true);
    std::string bt = Str(o, MUIA_Rectangle_BarTitle);
    if (!bt.empty()) j.Key("btitle").Latin1(bt);
  } else if (IsInstanceOf(o, MUIC_Scale)) {
    j.Key("k").Str("scale");
  } else {
    j.Key("k").Str("area");
  }
  j.End();
}

// ---- pages' requests -----------------------------------------------------------------------------------

web::HttpResponse WebDisplay::Impl::Image(const std::string &spec) {
  std::string name = spec;
  if (name.size() > 2 && (name[0] == '4' || name[0] == '5') && name[1] == ':') name = name.substr(2);
  if (name.empty() || name.size() > 1024 || name.find('\0') != std::string::npos)
    return web::HttpResponse::Text(400, "bad image spec\n");
  ULONG w = 0, h = 0;
  APTR px = LoadPNGARGB(name.c_str(), &w, &h);
  if (!px) return web::HttpResponse::Text(404, "no picture\n");
  std::string png;
  if (w > 0 && h > 0 && w <= 4096 && h <= 4096) {
    // ARGB bytes to 32-bit pixels.
    std::vector<uint32_t> pixels(static_cast<size_t>(w) * h);
    auto *b = static_cast<const uint8_t *>(px);
    for (size_t i = 0; i < pixels.size(); ++i)
      pixels[i] = static_cast<uint32_t>(b[i * 4]) << 24 | static_cast<uint32_t>(b[i * 4 + 1]) << 16 |
                  static_cast<uint32_t>(b[i * 4 + 2]) << 8 | b[i * 4 + 3];
    png = web::EncodePNG(pixels.data(), static_cast<int>(w), static_cast<int>(h));
  }
  FreeVec(px);
  if (png.empty()) return web::HttpResponse::Text(404, "no picture\n");
  web::HttpResponse r;
  r.type = "image/png";
  r.body = std::move(png);
  return r;
}

web::HttpResponse WebDisplay::Impl::Dir(const std::string &utf8Path) {
  std::string path = Utf8ToLatin1(utf8Path);
  if (path.size() > 1024 || !CleanText(path)) return web::HttpResponse::Text(400, "bad path\n");
  Json j;
  j.Begin().Key("path").Latin1(path).Key("entries").BeginArray();
  if (path.empty()) {
    // The volumes: the folders of the root.
    std::vector<std::string> names;
    std::error_code ec;
    for (auto &e : std::filesystem::directory_iterator(DosRoot(), ec))
      if (e.is_directory(ec)) names.push_back(Utf8ToLatin1(e.path().filename().string()) + ":");
    std::sort(names.begin(), names.end(), [](auto &a, auto &b) { return CompareNoCaseLatin1(a, b) < 0; });
    for (auto &n : names) j.Begin().Key("name").Latin1(n).Key("dir").Bool(true).End();
  } else {
    std::vector<DirEntry> entries;
    if (!ListDir(path.c_str(), entries)) return web::HttpResponse::Text(404, "no such drawer\n");
    for (auto &e : entries)
      j.Begin().Key("name").Latin1(e.name).Key("dir").Bool(e.type == ST_USERDIR).End();
  }
  j.EndArray().End();
  web::HttpResponse r;
  r.type = "application/json";
  r.body = j.Text();
  return r;
}

web::HttpResponse WebDisplay::Impl::Handle(const web::HttpRequest &req) {
  if (req.method == "POST") {
    if (req.path != "/input") return web::HttpResponse::Text(404, "Not Found\n");
    return HandleInput(web::ParseForm(req.body));
  }
  if (req.method != "GET" && req.method != "HEAD") return web::HttpResponse::Text(405, "Method Not Allowed\n");
  if (req.path == "/img") return Image(req.Param("spec"));
  if (req.path == "/dir") return Dir(req.Param("path"));
  std::string path = req.path == "/" ? "/index.html" : req.path;
  for (auto &a : opt.assets)
    if (a.path == path) {
      web::HttpResponse r;
      r.type = a.type;
      r.body = std::string(a.data);
      // The page names its scripts with the token, so that they load too.
      for (size_t p; (p = r.body.find("{{TOKEN}}")) != std::string::npos;) r.body.replace(p, 9, server.Token());
      return r;
    }
  return web::HttpResponse::Text(404, "Not Found\n");
}

web::HttpResponse WebDisplay::Impl::HandleInput(const std::map<std::string, std::string> &f) {
  auto field = [&](const char *k) {
    auto it = f.find(k);
    return it == f.end() ? std::string() : it->second;
  };
  auto ok = [] { return web::HttpResponse::Text(204, ""); };
  auto bad = [](const char *why) { return web::HttpResponse::Text(400, std::string(why) + "\n"); };
  std::string kind = field("k");
  long id = 0, s = 0, x = 0, y = 0, v = 0;

  if (kind == "bar" || kind == "mouse" || kind == "help") {
    if (!ParseInt(field("s"), s, 0, static_cast<long>(bars.size()) - 1)) return bad("bad screen");
    if (!ParseInt(field("x"), x, -32768, 32767) || !ParseInt(field("y"), y, -32768, 32767))
      return bad("bad position");
    BarInfo &b = bars[static_cast<size_t>(s)];
    SetScreenMouse(b.screen, x, y);
    if (kind == "mouse") return ok();
    if (kind == "help") {
      if (field("on") == "1")
        InputShowShortHelp(b.bar, x, y);
      else
        InputHideShortHelp(b.bar);
      return ok();
    }
    std::string e = field("e");
    bool inside = x >= b.box.Left && x < b.box.Left + b.box.Width && y >= b.box.Top && y < b.box.Top + b.box.Height;
    WORD wx = static_cast<WORD>(x), wy = static_cast<WORD>(y);
    if (e == "down") {
      host->SetActiveBar(static_cast<size_t>(s));
      InputMouseButton(b.bar, SELECTDOWN, wx, wy);
      if (inside) {
        std::lock_guard g(lock);
        pressed[static_cast<size_t>(s)] = true;
      }
      if (inside) InputPress(b.bar);
    } else if (e == "up") {
      InputMouseButton(b.bar, SELECTUP, wx, wy);
      bool was;
      {
        std::lock_guard g(lock);
        was = pressed[static_cast<size_t>(s)];
        pressed[static_cast<size_t>(s)] = false;
      }
      if (was) InputRelease(b.bar, inside);
    } else if (e == "rdown") {
      host->SetActiveBar(static_cast<size_t>(s));
      InputMouseButton(b.bar, MENUDOWN, wx, wy);
    } else if (e == "rup") {
      InputMouseButton(b.bar, MENUUP, wx, wy);
    } else {
      return bad("bad event");
    }
    return ok();
  }
  if (kind == "answer") {
    if (!ParseInt(field("id"), id, 1, 0x7fffffff)) return bad("bad id");
    return Answer(static_cast<uint32_t>(id), field("v")) ? ok() : web::HttpResponse::Text(409, "not waiting\n");
  }
  if (kind == "prefs") {
    std::weak_ptr<Impl> weak = weak_from_this();
    if (!app) return bad("no application");
    InputCall(app, [weak](Object *) {
      if (auto d = weak.lock()) d->host->OpenPrefs();
    });
    return ok();
  }
  if (!ParseInt(field("id"), id, 1, 0x7fffffff)) return bad("bad id");
  auto oid = static_cast<uint32_t>(id);
  bool known = false;
  if (kind == "click") {
    known = OnObject(oid, [](Impl &, Object *o) { AreaClick(o); });
  } else if (kind == "type") {
    std::string text = Utf8ToLatin1(field("v"));
    if (!CleanText(text)) return bad("bad text");
    bool ack = field("ack") == "1";
    known = OnObject(oid, [text, ack](Impl &, Object *o) {
      if (IsInstanceOf(o, MUIC_String)) StringType(o, text, ack);
    });
  } else if (kind == "sel" || kind == "dbl" || kind == "open" || kind == "close-node") {
    if (!ParseInt(field("v"), v, -1, static_cast<long>(kMaxRows))) return bad("bad row");
    bool dbl = kind == "dbl";
    std::string what = kind;
    known = OnObject(oid, [oid, v, dbl, what](Impl &d, Object *o) {
      if (IsInstanceOf(o, MUIC_Listtree)) {
        APTR node = nullptr;
        {
          std::lock_guard g(d.lock);
          auto &t = d.treeNodes[oid];
          if (v >= 0 && static_cast<size_t>(v) < t.size()) node = t[static_cast<size_t>(v)];
        }
        // The node must still be in the tree.
        std::vector<std::pair<APTR, size_t>> all;
        if (node) {
          d.VisibleNodes(o, nullptr, 0, all);
          if (std::none_of(all.begin(), all.end(), [&](auto &p) { return p.first == node; })) return;
        }
        if (what == "open" || what == "close-node") {
          if (node)
            DoMethod(o, what == "open" ? MUIM_Listtree_Open : MUIM_Listtree_Close, MUIV_Listtree_ListNode_Parent,
                     node, 0);
          return;
        }
        SetAttrs(o, MUIA_Listtree_Active, node);
        if (dbl && node) TriggerNotify(o, MUIA_Listtree_DoubleClick, 0);
      } else if (IsInstanceOf(o, MUIC_List)) {
        if (what != "sel" && what != "dbl") return;
        SetAttrs(o, MUIA_List_Active, static_cast<IPTR>(v));
        if (dbl && v >= 0) TriggerNotify(o, MUIA_List_DoubleClick, TRUE);
      }
    });
  } else if (kind == "num") {
    if (!ParseInt(field("v"), v, -0x7fffffffL, 0x7fffffffL)) return bad("bad value");
    known = OnObject(oid, [v](Impl &, Object *o) {
      if (IsInstanceOf(o, MUIC_Numeric)) SetAttrs(o, MUIA_Numeric_Value, static_cast<IPTR>(v));
    });
  } else if (kind == "pen") {
    std::string spec = field("v");
    uint32_t argb;
    LONG pen;
    char pk;
    if (spec.size() >= sizeof(MUI_PenSpec) || !ParsePenSpec(spec.c_str(), argb, pen, pk)) return bad("bad pen");
    known = OnObject(oid, [spec](Impl &, Object *o) {
      if (IsInstanceOf(o, MUIC_Pendisplay)) SetAttrs(o, MUIA_Pendisplay_Spec, spec.c_str());
    });
  } else if (kind == "popclose") {
    known = OnObject(oid, [](Impl &, Object *o) {
      if (IsInstanceOf(o, MUIC_Popstring)) DoMethod(o, MUIM_Popstring_Close, FALSE);
    });
  } else if (kind == "closewin") {
    Object *win = nullptr;
    {
      std::lock_guard g(lock);
      if (auto it = windows.find(oid); it != windows.end()) win = it->second.win;
    }
    if (!win) return web::HttpResponse::Text(404, "no such window\n");
    InputCloseWindow(win);
    return ok();
  } else {
    return bad("unknown input");
  }
  return known ? ok() : web::HttpResponse::Text(404, "no such object\n");
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
  d_->Publish(id);
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
  d_->Broadcast("windowEnd", j.Text());
}

void WebDisplay::WindowChanged(Object *window) { d_->ObjectChanged(window); }

void WebDisplay::AttributeChanged(Object *obj, Tag attr, IPTR value) {
  (void)attr, (void)value;
  std::lock_guard g(d_->lock);
  if (d_->windows.empty()) return;
  if (auto it = d_->objWin.find(obj); it != d_->objWin.end()) {
    d_->MarkDirtyLocked(it->second);
    return;
  }
  if (auto it = d_->ids.find(obj); it != d_->ids.end() && d_->windows.count(it->second))
    d_->MarkDirtyLocked(it->second);
}

void WebDisplay::ObjectDisposed(Object *obj) {
  bool wasWindow = false;
  {
    std::lock_guard g(d_->lock);
    auto it = d_->ids.find(obj);
    if (it == d_->ids.end()) return;
    wasWindow = d_->windows.count(it->second) != 0;
    if (!wasWindow) {
      if (auto w = d_->objWin.find(obj); w != d_->objWin.end()) d_->MarkDirtyLocked(w->second);
      d_->objWin.erase(obj);
      d_->treeNodes.erase(it->second);
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

int WebDisplay::Request(const RequestInfo &info) {
  bool onBar;
  uint32_t win;
  Dialog dlg;
  dlg.screen = d_->ScreenOf(info.window, onBar, win);
  int n = static_cast<int>(info.buttons.size());
  dlg.valid = [n](const std::string &v) {
    long b;
    return ParseInt(v, b, -1, n - 1);
  };
  {
    std::lock_guard g(d_->lock);
    if (d_->stopped || !d_->everConnected) return HeadlessRequest(info);
    dlg.id = d_->nextId++;
  }
  Json j;
  j.Begin().Key("id").Num(dlg.id).Key("kind").Str("request").Key("s").Num(dlg.screen);
  j.Key("title").Latin1(info.title).Key("text").Raw(WebTextJson(info.text));
  j.Key("buttons").BeginArray();
  for (auto &b : info.buttons) j.Raw(WebTextJson(b));
  j.EndArray().Key("def").Num(info.defaultButton);
  if (info.atPosition) j.Key("at").Begin().Key("x").Num(info.x).Key("y").Num(info.y).End();
  j.End();
  dlg.json = j.Text();
  std::string answer;
  if (!d_->Ask(dlg, answer)) return HeadlessRequest(info);
  return std::stoi(answer);
}

std::optional<AslAnswer> WebDisplay::AslRequest(const AslInfo &info) {
  bool onBar;
  uint32_t win;
  Dialog dlg;
  dlg.screen = d_->ScreenOf(info.window, onBar, win);
  dlg.valid = [](const std::string &v) { return v.size() <= 2 * kMaxText; };
  {
    std::lock_guard g(d_->lock);
    if (d_->stopped || !d_->everConnected) return Display::AslRequest(info);
    dlg.id = d_->nextId++;
    Json j;
    j.Begin().Key("id").Num(dlg.id).Key("kind").Str("asl").Key("s").Num(dlg.screen);
    j.Key("title").Latin1(info.title).Key("drawer").Latin1(info.drawer).Key("file").Latin1(info.file);
    j.Key("pattern").Latin1(info.pattern).Key("pos").Latin1(info.positiveText).Key("neg").Latin1(info.negativeText);
    j.Key("drawersOnly").Bool(info.drawersOnly).Key("save").Bool(info.saveMode).End();
    dlg.json = j.Text();
  }
  std::string answer;
  if (!d_->Ask(dlg, answer)) return Display::AslRequest(info);
  // "" cancels; otherwise the drawer, a line feed, and the file.
  if (answer.empty()) return std::nullopt;
  auto form = web::ParseForm(answer);
  AslAnswer a;
  a.drawer = Utf8ToLatin1(form["drawer"]);
  a.file = info.drawersOnly ? std::string() : Utf8ToLatin1(form["file"]);
  if (!CleanText(a.drawer) || !CleanText(a.file) || a.file.find('/') != std::string::npos ||
      a.file.find(':') != std::string::npos)
    return std::nullopt;
  return a;
}

Object *WebDisplay::PopupMenu(const MenuEntry &strip, Object *parent, LONG x, LONG y) {
  bool onBar;
  uint32_t win;
  Dialog dlg;
  dlg.screen = d_->ScreenOf(parent, onBar, win);
  std::vector<Object *> entries;
  std::function<void(Json &, const MenuEntry &)> item = [&](Json &j, const MenuEntry &e) {
    j.Begin().Key("n").Num(static_cast<int64_t>(entries.size()));
    entries.push_back(e.object);
    j.Key("k").Str(e.kind == MenuEntry::Bar ? "bar" : e.kind == MenuEntry::Menu ? "menu" : "item");
    if (e.kind != MenuEntry::Bar) j.Key("t").Raw(WebTextJson(e.title));
    if (!e.shortcut.empty()) j.Key("key").Latin1(e.shortcut);
    j.Key("en").Bool(e.enabled);
    if (e.checkit) j.Key("check").Bool(e.checked);
    if (!e.children.empty()) {
      j.Key("ch").BeginArray();
      for (auto &c : e.children) item(j, c);
      j.EndArray();
    }
    j.End();
  };
  {
    std::lock_guard g(d_->lock);
    if (d_->stopped || !d_->everConnected) return nullptr;
    dlg.id = d_->nextId++;
  }
  Json j;
  j.Begin().Key("id").Num(dlg.id).Key("kind").Str("menu").Key("s").Num(dlg.screen);
  j.Key("x").Num(x).Key("y").Num(y).Key("bar").Bool(onBar).Key("win").Num(win);
  j.Key("items").BeginArray();
  // The strip's menus are the top level; a strip of one menu pops up as
  // that menu.
  const MenuEntry &top = strip.children.size() == 1 && strip.children[0].kind == MenuEntry::Menu ? strip.children[0] : strip;
  if (&top != &strip) entries.push_back(top.object);
  for (auto &c : top.children) item(j, c);
  j.EndArray().End();
  dlg.json = j.Text();
  size_t n = entries.size();
  dlg.valid = [n](const std::string &v) {
    long k;
    return ParseInt(v, k, -1, static_cast<long>(n) - 1);
  };
  std::string answer;
  if (!d_->Ask(dlg, answer)) return nullptr;
  long k = std::stol(answer);
  return k < 0 ? nullptr : entries[static_cast<size_t>(k)];
}

} // namespace platform
