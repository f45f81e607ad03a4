// The browser display's blocking calls: requesters, file requesters and
// pop-up menus (the bar's and context menus) wait for a page's answer,
// which is checked before it is believed.
#include "exec/text.h"
#include "host/web_impl.h"

namespace platform {

using web::Json;
using namespace webview;

// Waits for a page's answer; false when the display stopped first.
bool WebDisplay::Impl::Ask(Dialog &d, std::string &answer) {
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

bool WebDisplay::Impl::Answer(uint32_t id, const std::string &value) {
  std::lock_guard g(lock);
  auto it = dialogs.find(id);
  if (it == dialogs.end() || it->second->done) return false;
  if (it->second->valid && !it->second->valid(value)) return false;
  it->second->answer = value;
  it->second->done = true;
  wake.notify_all();
  return true;
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
