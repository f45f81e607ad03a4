// The browser display: shows the host's title bars, bubbles, tooltips,
// pop-up menus, requesters and windows in pages served on a loopback
// address, and feeds the pages' input back to the toolkit.
//
//   GET  /?t=TOKEN&s=N     the page of screen N (the URL that is printed)
//   GET  /events?t=...&s=N server-sent events: the whole state on connect,
//                          then every change, keyed per node
//   GET  /rows?t=...&id=&from=&n=  rows of a list or tree by range
//   GET  /img?t=...&spec=S a picture of an image spec ("4:SYS:x.png") as PNG
//   GET  /dir?t=...&path=P a drawer's entries for the file chooser
//   POST /input            input (form fields, token in X-Melodune-Token)
// Every message kind and its keys: host/web/PROTOCOL.md.
//
// Blocking calls (requesters, file requesters, pop-up menus) wait until a
// page answers, however long that takes. Only when no page has connected
// at all during the run are they answered as without a display (the
// default button, cancel, no choice), so that a host started with --web
// and never looked at does not hang. Stop answers what is still open the
// same way.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/web_http.h"
#include "mui/display.h"

namespace platform {

class ScreenbarHost;

// A file the pages load (index.html, app.js, style.css), served at path.
struct WebAsset {
  std::string path; // "/index.html"
  std::string type; // "text/html; charset=utf-8"
  std::string_view data;
};

struct WebDisplayOptions {
  std::string address = "127.0.0.1"; // must be a loopback address
  int port = 0;                      // 0: any free port
  std::vector<WebAsset> assets;
  web::HttpLimits limits;
  int frameIntervalMs = 10; // a redraw settles this long before its frame is sent
};

class WebDisplay : public Display {
public:
  // Starts serving the host's bars. On the GUI task, after host.Start.
  // Null (and why) when the address is refused or cannot be bound. The
  // caller installs it with SetDisplay.
  static std::unique_ptr<WebDisplay> Start(ScreenbarHost &host, const WebDisplayOptions &options, std::string &why);
  ~WebDisplay() override;

  // The address to open, token included.
  std::string Url() const;
  int Port() const;
  const std::string &Token() const;
  bool EverConnected() const;
  // Stops serving and answers what is still waiting. On the GUI task (or
  // after the loop ended), before the host shuts down.
  void Stop();

  void WindowOpened(Object *window) override;
  void WindowClosed(Object *window) override;
  void WindowChanged(Object *window) override;
  void AttributeChanged(Object *obj, Tag attr, IPTR value) override;
  void ObjectDisposed(Object *obj) override;
  void BubbleCreated(APTR bubble, Object *obj, LONG x, LONG y, const std::string &text, ULONG flags) override;
  void BubbleDeleted(APTR bubble) override;
  void ShortHelpShown(Object *obj, const std::string &text) override;
  void ShortHelpHidden(Object *obj) override;
  int Request(const RequestInfo &info) override;
  std::optional<AslAnswer> AslRequest(const AslInfo &info) override;
  Object *PopupMenu(const MenuEntry &strip, Object *parent, LONG x, LONG y) override;

  struct Impl;

private:
  WebDisplay();
  std::shared_ptr<Impl> d_;
};

// Text with the toolkit's codes as the pages draw it: a JSON array of lines
// {"a":"l|c|r","r":[{"t":text,"b":1,"i":1,"u":1,"img":spec}]}.
std::string WebTextJson(std::string_view latin1, std::string_view preParse = {});

} // namespace platform
