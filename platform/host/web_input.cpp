// The browser display's side of the pages' requests: input (checked here
// for form, and again on the GUI task against the objects as they are then),
// rows of lists by range, pictures of image specs, drawers for the file
// chooser, and the page files.
#include <filesystem>

#include "dos/dos.h"
#include "exec/text.h"
#include "host/web_impl.h"
#include "mui/screen.h"

namespace platform {

using web::Json;
using namespace webview;

bool WebDisplay::Impl::OnObject(uint32_t id, std::function<void(Impl &, Object *)> fn) {
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


int WebDisplay::Impl::OnObjectWait(uint32_t id, std::function<bool(Impl &, Object *)> check,
                                   std::function<void(Impl &, Object *)> act) {
  struct Verdict {
    std::mutex lock;
    std::condition_variable cv;
    int value = -2; // not yet
  };
  auto verdict = std::make_shared<Verdict>();
  auto tell = [verdict](int v) {
    std::lock_guard g(verdict->lock);
    verdict->value = v;
    verdict->cv.notify_all();
  };
  Object *o = Lookup(id);
  if (!o) return -1;
  std::weak_ptr<Impl> weak = weak_from_this();
  InputCall(o, [weak, id, check = std::move(check), act = std::move(act), tell](Object *obj) {
    auto d = weak.lock();
    if (!d || d->Lookup(id) != obj) return tell(-1);
    // Input to a sleeping window is dropped, as the person cannot give it.
    if (Object *win = ObjectWindow(obj); win && Get(win, MUIA_Window_Sleep)) return tell(1);
    bool ok = check(*d, obj);
    // Answered before acting: the action may open a requester and wait.
    tell(ok ? 1 : 0);
    if (ok) act(*d, obj);
  });
  std::unique_lock g(verdict->lock);
  // Dropped input (the object went, the window sleeps) never answers.
  if (!verdict->cv.wait_for(g, std::chrono::seconds(2), [&] { return verdict->value != -2; })) return 1;
  return verdict->value;
}

web::HttpResponse WebDisplay::Impl::Rows(const web::HttpRequest &req) {
  // Rows of a list by range, made by its display hook on the GUI task.
  long id = 0, from = 0, n = 0;
  if (!ParseInt(req.Param("id"), id, 1, 0x7fffffff) || !ParseInt(req.Param("from"), from, 0, 0x7fffffff) ||
      !ParseInt(req.Param("n"), n, 1, kMaxRowsAsked))
    return web::HttpResponse::Text(400, "bad range\n");
  struct Answer {
    std::mutex lock;
    std::condition_variable cv;
    bool done = false;
    std::string json;
  };
  auto answer = std::make_shared<Answer>();
  auto oid = static_cast<uint32_t>(id);
  bool known = OnObject(oid, [answer, oid, from, n](Impl &, Object *o) {
    ListState st;
    Json j;
    if (GetListState(o, st)) {
      j.Begin().Key("id").Num(oid).Key("rev").Num(st.revision).Key("ver").Num(st.version);
      j.Key("count").Num(st.entries).Key("from").Num(from).Key("rows").BeginArray();
      for (const ListRowView &r : ListRowRange(o, static_cast<LONG>(from), static_cast<LONG>(n))) {
        j.Begin().Key("c").BeginArray();
        for (auto &cell : r.cells) j.Raw(WebTextJson(cell));
        j.EndArray();
        if (st.tree) j.Key("l").Num(r.level).Key("g").Bool(r.group).Key("o").Bool(r.open);
        j.End();
      }
      j.EndArray().End();
    }
    std::lock_guard g(answer->lock);
    answer->json = j.Text();
    answer->done = true;
    answer->cv.notify_all();
  });
  if (!known) return web::HttpResponse::Text(404, "no such object\n");
  std::unique_lock g(answer->lock);
  if (!answer->cv.wait_for(g, std::chrono::seconds(5), [&] { return answer->done; }))
    return web::HttpResponse::Text(503, "busy\n");
  if (answer->json.empty()) return web::HttpResponse::Text(404, "no list\n");
  web::HttpResponse r;
  r.type = "application/json";
  r.body = answer->json;
  return r;
}

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
  if (req.path == "/rows") return Rows(req);
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
  } else if (kind == "press") {
    known = OnObject(oid, [](Impl &, Object *o) { AreaPress(o); });
  } else if (kind == "release") {
    bool inside = field("in") != "0";
    known = OnObject(oid, [inside](Impl &, Object *o) { AreaRelease(o, inside); });
  } else if (kind == "type") {
    std::string text = Utf8ToLatin1(field("v"));
    if (!CleanText(text)) return bad("bad text");
    bool ack = field("ack") == "1";
    known = OnObject(oid, [text, ack](Impl &, Object *o) {
      if (IsInstanceOf(o, MUIC_String)) StringType(o, text, ack);
    });
  } else if (kind == "sel" || kind == "dbl" || kind == "open" || kind == "close-node" || kind == "drop") {
    // Rows are named by their index and the revision the page showed; the
    // list checks both, and a stale one is refused (the page asks again).
    long rev = 0, to = 0;
    if (!ParseInt(field("v"), v, -1, 0x7fffffffL)) return bad("bad row");
    if (!ParseInt(field("rev"), rev, 0, 0xffffffffL)) return bad("bad revision");
    DropPlace place = DropPlace::Before;
    if (kind == "drop") {
      std::string at = field("at");
      if (!ParseInt(field("to"), to, 0, 0x7fffffffL) || (at != "before" && at != "after" && at != "into")) return bad("bad drop");
      place = at == "after" ? DropPlace::After : at == "into" ? DropPlace::Into : DropPlace::Before;
    }
    auto revision = static_cast<uint32_t>(rev);
    std::string what = kind;
    auto row = static_cast<LONG>(v), target = static_cast<LONG>(to);
    auto check = [revision, row, what](Impl &, Object *o) {
      ListState st;
      if (!GetListState(o, st) || st.revision != revision || row >= st.entries) return false;
      return row >= 0 || what == "sel";
    };
    int r = OnObjectWait(oid, check, [=](Impl &, Object *o) {
      if (what == "open" || what == "close-node") ListToggleRow(o, row, revision);
      else if (what == "drop") ListDropRow(o, row, target, place, revision);
      else ListActivateRow(o, row, revision, what == "dbl");
    });
    if (r == 0) return web::HttpResponse::Text(409, "stale rows\n");
    known = r > 0;
  } else if (kind == "key") {
    static const std::map<std::string, ListKey> keys = {
        {"ArrowUp", ListKey::Up},     {"ArrowDown", ListKey::Down}, {"PageUp", ListKey::PageUp},
        {"PageDown", ListKey::PageDown}, {"Home", ListKey::Top},    {"End", ListKey::Bottom},
        {"Enter", ListKey::Enter},    {"ArrowRight", ListKey::Expand}, {"ArrowLeft", ListKey::Collapse}};
    auto k = keys.find(field("key"));
    if (k == keys.end()) return bad("bad key");
    ListKey key = k->second;
    known = OnObject(oid, [key](Impl &, Object *o) { ListKeyPress(o, key); });
  } else if (kind == "shown") {
    long vis = 0;
    if (!ParseInt(field("v"), v, 0, 0x7fffffffL) || !ParseInt(field("n"), vis, 1, 10000)) return bad("bad range");
    known = OnObject(oid, [v, vis](Impl &, Object *o) { ListShown(o, static_cast<LONG>(v), static_cast<LONG>(vis)); });
  } else if (kind == "ctx") {
    if (!ParseInt(field("x"), x, -32768, 32767) || !ParseInt(field("y"), y, -32768, 32767)) return bad("bad position");
    known = OnObject(oid, [x, y](Impl &, Object *o) {
      // The toolkit pops the menu up and hears the choice (a nested wait).
      InputContextMenu(o, static_cast<LONG>(x), static_cast<LONG>(y));
    });
  } else if (kind == "focus") {
    known = OnObject(oid, [](Impl &, Object *o) { InputFocus(o); });
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
  } else if (kind == "closewin" || kind == "geom") {
    Object *win = nullptr;
    {
      std::lock_guard g(lock);
      if (auto it = windows.find(oid); it != windows.end()) win = it->second.win;
    }
    if (!win) return web::HttpResponse::Text(404, "no such window\n");
    if (kind == "closewin") {
      InputCloseWindow(win);
      return ok();
    }
    long w = 0, h = 0;
    if (!ParseInt(field("x"), x, -32768, 32767) || !ParseInt(field("y"), y, -32768, 32767) ||
        !ParseInt(field("w"), w, 1, 32767) || !ParseInt(field("h"), h, 1, 32767))
      return bad("bad box");
    InputWindowBox(win, static_cast<LONG>(x), static_cast<LONG>(y), static_cast<LONG>(w), static_cast<LONG>(h));
    return ok();
  } else {
    return bad("unknown input");
  }
  return known ? ok() : web::HttpResponse::Text(404, "no such object\n");
}

} // namespace platform
