// The browser display's inside, shared by its parts:
//   web_display.cpp   clients, the bar frames, bubbles, tooltips, windows
//                     and the keyed updates of their nodes
//   web_describe.cpp  how each kind of toolkit object is described
//   web_input.cpp     the pages' requests: input, rows of lists, pictures,
//                     drawers
//   web_dialogs.cpp   requesters, file requesters, pop-up and context menus
// The messages themselves are written down in host/web/PROTOCOL.md.
#pragma once

#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "host/host.h"
#include "host/web_display.h"
#include "host/web_encode.h"
#include "mui/mui.h"
#include "mui/render.h"

namespace platform {

namespace webview {

constexpr size_t kMaxTreeDepth = 64;
constexpr long kMaxRowsAsked = 500; // rows of one list in one answer
constexpr size_t kMaxText = 4096;   // an input text (bytes)

IPTR Get(Object *o, Tag attr, IPTR def = 0);
std::string Str(Object *o, Tag attr);
bool ParseInt(const std::string &s, long &out, long lo, long hi);
bool CleanText(const std::string &s);

} // namespace webview

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
  std::string json; // the window as last sent whole
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

// Who runs what:
//   GUI task       the Display calls (windows, attributes, disposal,
//                  requesters, menus), Flush and the descriptions, and the
//                  input that OnObject and OnObjectWait hand to it.
//                  Requesters and menus wait in Ask until a page answers or
//                  Stop. Only the GUI task reads objects.
//   any task       bubbles and tooltips, which read no object (ScreenOf).
//   frame thread   FrameLoop: encodes the bars that TargetChanged marked.
//   listeners      TargetChanged and ObjectChanged, on the task that drew or
//                  laid out.
//   connection threads of the server: Connected, Handle and what it calls
//                  (Answer, Rows, Image, Dir, OnObject, OnObjectWait).
// `lock` guards every member below it; Broadcast runs with it held and each
// stream's own lock nests inside. It is let go while a window is described
// and while a frame is encoded. `bars`, `opt`, `host` and `app` are fixed
// after Start and read without it.
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
  // What changed since the last flush: nodes (object ids), windows' own
  // attributes, whole windows.
  std::set<uint32_t> dirtyNodes, dirtyWins, rebuildWins;
  bool flushQueued = false;
  std::map<APTR, std::pair<uint32_t, std::string>> bubbles; // handle -> id, JSON
  std::map<int, std::string> helps;                         // screen -> JSON
  std::map<uint32_t, Dialog *> dialogs;
  std::vector<bool> frameDirty;
  std::vector<std::string> frames;
  std::vector<bool> pressed;
  std::thread frameThread;

  explicit Impl(web::HttpLimits limits) : server(limits) {}

  // ---- clients (web_display.cpp) ----
  void Broadcast(const std::string &event, const std::string &data, int onlyScreen = -1, const std::string &key = {});
  void Connected(const web::HttpRequest &req, const std::shared_ptr<web::EventStream> &stream);

  // ---- object registry (lock held) ----
  uint32_t IdLocked(Object *o);
  uint32_t WinOfLocked(Object *o);
  Object *Lookup(uint32_t id);
  // The screen an object is shown on, and whether it is a bar (else the id
  // of its window, 0 when unknown). No object is read: this runs on any task.
  int ScreenOf(Object *o, bool &onBar, uint32_t &winId);

  // ---- windows and keyed updates (web_display.cpp, GUI task) ----
  std::string DescribeWindow(uint32_t id, const WinState &w);
  std::string DescribeWindowAttrs(uint32_t id, Object *win);
  uint32_t FocusOf(Object *win);
  void PublishWindow(uint32_t id);
  void MarkLocked(uint32_t winId, uint32_t nodeId, bool wholeWindow, bool windowAttrs);
  void Flush();
  void ObjectChanged(Object *o);

  // ---- descriptions (web_describe.cpp, GUI task) ----
  void Describe(web::Json &j, Object *o, uint32_t winId, size_t depth);
  void DescribeList(web::Json &j, Object *o);
  std::string ListHeader(uint32_t winId, uint32_t id, Object *o);

  // ---- bar frames ----
  void FrameLoop();
  void TargetChanged(RenderTarget *t);

  // ---- blocking calls (web_dialogs.cpp) ----
  bool Ask(Dialog &d, std::string &answer);
  bool Answer(uint32_t id, const std::string &value);

  // ---- requests from pages (web_input.cpp) ----
  web::HttpResponse Handle(const web::HttpRequest &req);
  web::HttpResponse HandleInput(const std::map<std::string, std::string> &f);
  web::HttpResponse Rows(const web::HttpRequest &req);
  web::HttpResponse Image(const std::string &spec);
  web::HttpResponse Dir(const std::string &path);
  // Runs fn on the GUI task when object id is still the one the page saw,
  // alive, and not in a sleeping window.
  bool OnObject(uint32_t id, std::function<void(Impl &, Object *)> fn);
  // The same, waiting (a bounded time) for fn's verdict: 1 done, 0 refused,
  // -1 no such object or no answer in time.
  int OnObjectWait(uint32_t id, std::function<bool(Impl &, Object *)> check, std::function<void(Impl &, Object *)> act);
};

} // namespace platform
