// The browser view of the `screenbar` program (--web): the platform's web
// display with the page files built into the program.
#include <cstdio>

#include "host/web_display.h"
#include "web_assets.h"
#include "web_frontend.h"

namespace {

class WebFrontend : public Frontend {
public:
  explicit WebFrontend(std::unique_ptr<platform::WebDisplay> display) : display_(std::move(display)) {}
  platform::Display *GetDisplay() override { return display_.get(); }
  void Stop() override { display_->Stop(); }

private:
  std::unique_ptr<platform::WebDisplay> display_;
};

} // namespace

std::unique_ptr<Frontend> StartWebFrontend(platform::ScreenbarHost &host, const std::string &address, int port,
                                           std::string &why) {
  if (!platform::web::IsLoopbackAddress(address)) {
    why = address + " is not a loopback address; the browser view is only served on this machine";
    return nullptr;
  }
  platform::WebDisplayOptions options;
  options.address = address;
  options.port = port;
  options.assets = WebAssets();
  auto display = platform::WebDisplay::Start(host, options, why);
  if (!display) return nullptr;
  std::printf("screenbar: open %s in a browser\n", display->Url().c_str());
  std::fflush(stdout);
  return std::make_unique<WebFrontend>(std::move(display));
}
