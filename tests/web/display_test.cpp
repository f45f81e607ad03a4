// The browser display in process: the host with WebBar.sbar, a page played
// by a socket client (event stream in, form posts out), the GUI loop run by
// the test.
#include <gtest/gtest.h>

#include <filesystem>
#include <future>
#include <thread>

#include "client.h"
#include "dos/dos.h"
#include "host/host.h"
#include "host/web_display.h"
#include "mui/display.h"
#include "mui/mui.h"
#include "mui/screen.h"
#include "support/temp_root.h"

namespace fs = std::filesystem;
using platform::ScreenbarHost;
using platform::WebDisplay;
using namespace webtest;

namespace {

const std::string kWebBar = std::string(MELODUNE_BIN_DIR) + "/WebBar.sbar";

class DisplayTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(platform::SetDosRoot(root));
    fs::copy(std::string(MELODUNE_SOURCE_DIR) + "/skeleton", root, fs::copy_options::recursive |
                                                                       fs::copy_options::overwrite_existing);
    ASSERT_TRUE(host.Load(kWebBar)) << host.Error();
    ASSERT_TRUE(host.Start()) << host.Error();
    platform::WebDisplayOptions o;
    o.assets.push_back({"/index.html", "text/html; charset=utf-8", "<script src=\"/app.js?t={{TOKEN}}\"></script>"});
    o.frameIntervalMs = 5;
    std::string why;
    web = WebDisplay::Start(host, o, why);
    ASSERT_TRUE(web) << why;
    platform::SetDisplay(web.get());
    port = web->Port();
    token = web->Token();
  }
  void TearDown() override {
    if (web) web->Stop();
    platform::SetDisplay(nullptr);
    host.Shutdown();
    web.reset();
  }
  // The test's page runs on a thread of its own while this thread runs the
  // GUI loop (also the nested loops of blocking calls), as in the program.
  void AsPage(const std::function<void()> &body) {
    std::atomic<bool> done{false};
    std::thread page([&] {
      body();
      done = true;
    });
    host.RunUntil([&] { return done.load(); }, 60000);
    page.join();
  }
  int Send(const std::string &body) { return Status(Post(port, token, body)); }
  // The number after "key": in a text.
  static long Field(const std::string &text, const std::string &key) {
    if (key == "id" && text.rfind(":", 0) == 0) return std::stol(text.substr(1)); // right after a matched "id"
    size_t p = text.find("\"" + key + "\":");
    return p == std::string::npos ? -999 : std::stol(text.substr(p + key.size() + 3));
  }
  // The id of the object (or entry "n") described just before text.
  static long IdBefore(const std::string &json, const std::string &text, const std::string &key = "id") {
    size_t at = json.find(text);
    if (at == std::string::npos) return -1;
    return Field(json.substr(json.rfind("{\"" + key + "\":", at)), key);
  }
  void Click() {
    IBox b = host.BarBox(0);
    std::string xy = "&x=" + std::to_string(b.Left + 5) + "&y=" + std::to_string(b.Top + 5);
    EXPECT_EQ(Send("k=bar&s=0&e=down" + xy), 204);
    EXPECT_EQ(Send("k=bar&s=0&e=up" + xy), 204);
  }
  // From the page's hello on: item chosen from the bar's pop-up menu; win
  // is the description of the window it opens.
  void OpenFromMenu(Events &ev, const std::string &item, std::string &win) {
    ASSERT_TRUE(ev.Wait("event: hello"));
    Click();
    ASSERT_TRUE(ev.Wait("event: dialog\ndata: {\"id\""));
    std::string m = ev.Rest();
    EXPECT_EQ(Send("k=answer&id=" + std::to_string(Field(m, "id")) + "&v=" +
                   std::to_string(IdBefore(m, "\"t\":\"" + item + "\"", "n"))),
              204);
    ASSERT_TRUE(ev.Wait("event: window"));
    win = ev.Rest();
  }
  uint32_t Centre() {
    IBox b = host.BarBox(0);
    return platform::ScreenBarTarget(host.BarScreen(0))->Pixel(b.Left + b.Width / 2, b.Top + b.Height / 2);
  }
  static bool Eventually(const std::function<bool()> &f) {
    for (int i = 0; i < 500; ++i) {
      if (f()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  testsupport::TempRoot tmp{"web-test"};
  std::string root = tmp.path();
  ScreenbarHost host;
  std::unique_ptr<WebDisplay> web;
  int port = 0;
  std::string token;
};

} // namespace

TEST_F(DisplayTest, ServesThePageWithItsTokenAndNothingWithoutIt) {
  std::string r = Get(port, "/?t=" + token);
  EXPECT_EQ(Status(r), 200);
  EXPECT_EQ(Body(r), "<script src=\"/app.js?t=" + token + "\"></script>");
  EXPECT_EQ(Status(Get(port, "/")), 403);
  EXPECT_EQ(Status(Get(port, "/nothing?t=" + token)), 404);
  EXPECT_EQ(web->Url(), "http://127.0.0.1:" + std::to_string(port) + "/?t=" + token);
  // Pictures of image specs, and drawers, only inside the root.
  r = Get(port, "/img?t=" + token + "&spec=4:SYS:Data/Screenbar/Melodune/StationIcons/_empty.png");
  EXPECT_EQ(Status(r), 200);
  EXPECT_EQ(Body(r).substr(1, 3), "PNG");
  EXPECT_EQ(Status(Get(port, "/img?t=" + token + "&spec=4:SYS:../../etc/passwd")), 404);
  r = Get(port, "/dir?t=" + token + "&path=");
  EXPECT_NE(Body(r).find("\"name\":\"SYS:\",\"dir\":true"), std::string::npos) << r;
  r = Get(port, "/dir?t=" + token + "&path=SYS:Data/Screenbar/Melodune");
  EXPECT_NE(Body(r).find("\"name\":\"Stations_default.txt\",\"dir\":false"), std::string::npos) << r;
  EXPECT_EQ(Status(Get(port, "/dir?t=" + token + "&path=SYS:/../..")), 404);
}

TEST_F(DisplayTest, RequestersAreHeadlessUntilAPageHasConnected) {
  EXPECT_FALSE(web->EverConnected());
  AsPage([&] {
    // Nobody ever looked: the default button, at once.
    EXPECT_EQ(MUI_Request(nullptr, nullptr, 0, "T", "A|*B|C", "text"), 2);
    Events ev(port, token);
    ASSERT_TRUE(ev.Wait("event: hello"));
    EXPECT_TRUE(web->EverConnected());
  });
}

TEST_F(DisplayTest, HelloCarriesTheBarAndFramesFollowItsDrawing) {
  AsPage([&] {
    Events ev(port, token);
    ASSERT_TRUE(ev.Wait("event: hello"));
    ASSERT_TRUE(ev.Wait("\"screens\":[{\"title\":\"Workbench Screen\""));
    ASSERT_TRUE(ev.Wait("\"png\":\"data:image/png;base64,"));
    // A change of the colour item redraws the gadget: a new frame arrives.
    host.Call([&] { host.SetConfig(0x00CC80B1, LONG{0}); });
    EXPECT_TRUE(ev.Wait("event: bar"));
  });
}

TEST_F(DisplayTest, RequesterWaitsForThePageAndTakesOnlyValidAnswers) {
  AsPage([&] {
    Events ev(port, token);
    ASSERT_TRUE(ev.Wait("event: hello"));
    auto f = std::async(std::launch::async, [] {
      return MUI_Request(nullptr, nullptr, MUIV_Request_AtPosition(300, 40), "Caf\xe9", "*Yes|Maybe|No",
                         "\33cRemove %s?", "Station \xc4");
    });
    ASSERT_TRUE(ev.Wait("event: dialog"));
    std::string d = ev.Rest();
    EXPECT_NE(d.find("\"kind\":\"request\""), std::string::npos) << d;
    EXPECT_NE(d.find("\"title\":\"Caf\xc3\xa9\""), std::string::npos) << d;
    EXPECT_NE(d.find("{\"a\":\"c\",\"r\":[{\"t\":\"Remove Station \xc3\x84?\"}]}"), std::string::npos) << d;
    EXPECT_NE(d.find("\"def\":0,\"at\":{\"x\":300,\"y\":40}"), std::string::npos) << d;
    long id = Field(d, "id");
    EXPECT_EQ(Send("k=answer&id=" + std::to_string(id) + "&v=3"), 409); // no 4th button
    EXPECT_EQ(Send("k=answer&id=" + std::to_string(id) + "&v=x"), 409);
    EXPECT_EQ(Send("k=answer&id=" + std::to_string(id + 1000) + "&v=0"), 409);
    EXPECT_EQ(f.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    EXPECT_EQ(Send("k=answer&id=" + std::to_string(id) + "&v=1"), 204);
    EXPECT_EQ(f.get(), 2); // "Maybe"
    EXPECT_TRUE(ev.Wait("event: dialogEnd"));
  });
}

TEST_F(DisplayTest, StopAnswersWhatIsStillOpen) {
  AsPage([&] {
    Events ev(port, token);
    ASSERT_TRUE(ev.Wait("event: hello"));
    auto f = std::async(std::launch::async, [] { return MUI_Request(nullptr, nullptr, 0, "T", "A|*B|C", "x"); });
    ASSERT_TRUE(ev.Wait("event: dialog"));
    web->Stop();
    EXPECT_EQ(f.get(), 2);
  });
}

TEST_F(DisplayTest, MenuChoiceAndCancelReachThePlugin) {
  AsPage([&] {
    Events ev(port, token);
    ASSERT_TRUE(ev.Wait("event: hello"));
    Click();
    ASSERT_TRUE(ev.Wait("event: dialog\ndata: {\"id\""));
    std::string m = ev.Rest();
    long id = Field(m, "id");
    // Disabled items, separators, a submenu with inline icons, Latin-1 made UTF-8.
    EXPECT_NE(m.find("\"t\":\"Switched off\"}]}],\"en\":false"), std::string::npos) << m;
    EXPECT_NE(m.find("\"k\":\"bar\""), std::string::npos);
    EXPECT_NE(m.find("\"k\":\"menu\",\"t\":[{\"a\":\"l\",\"r\":[{\"t\":\"Group\"}]}]"), std::string::npos) << m;
    long station = IdBefore(m, "{\"img\":\"4:SYS:Data/Screenbar/Melodune/StationIcons/_empty.png\"},{\"t\":\"\xc2\xa0Station \xc3\x84\"}", "n");
    ASSERT_GT(station, 0) << m;
    // A disabled entry is refused by the toolkit: nothing chosen.
    EXPECT_EQ(Send("k=answer&id=" + std::to_string(id) + "&v=" + std::to_string(IdBefore(m, "Switched off", "n"))), 204);
    ASSERT_TRUE(ev.Wait("event: bubble\ndata: "));
    EXPECT_NE(ev.Rest().find("Cancelled"), std::string::npos);

    Click();
    ASSERT_TRUE(ev.Wait("event: dialog\ndata: {\"id\""));
    id = Field(ev.Rest(), "id");
    EXPECT_EQ(Send("k=answer&id=" + std::to_string(id) + "&v=" + std::to_string(station)), 204);
    ASSERT_TRUE(ev.Wait("event: bubble\ndata: "));
    EXPECT_NE(ev.Rest().find("\"t\":\"Connecting to\"}]},{\"a\":\"l\",\"r\":[{\"t\":\"Station \xc3\x84\""), std::string::npos)
        << ev.Rest();
    EXPECT_NE(ev.Rest().find("\"bar\":true"), std::string::npos);

    Click();
    ASSERT_TRUE(ev.Wait("event: dialog\ndata: {\"id\""));
    id = Field(ev.Rest(), "id");
    EXPECT_EQ(Send("k=answer&id=" + std::to_string(id) + "&v=-1"), 204);
    ASSERT_TRUE(ev.Wait("event: bubble\ndata: "));
    EXPECT_NE(ev.Rest().find("Cancelled"), std::string::npos);
  });
}

TEST_F(DisplayTest, RightButtonInsideTheGadgetReachesItsEventHandler) {
  AsPage([&] {
    Events ev(port, token);
    ASSERT_TRUE(ev.Wait("event: hello"));
    uint32_t before = Centre();
    IBox b = host.BarBox(0);
    std::string xy = "&x=" + std::to_string(b.Left + b.Width / 2) + "&y=" + std::to_string(b.Top + b.Height / 2);
    // Outside the gadget: nothing (the press inside below is seen first).
    EXPECT_EQ(Send("k=bar&s=0&e=rdown&x=5&y=5"), 204);
    EXPECT_EQ(Send("k=bar&s=0&e=rdown" + xy), 204);
    EXPECT_EQ(Send("k=bar&s=0&e=rup" + xy), 204);
    EXPECT_TRUE(Eventually([&] { return Centre() != before; })); // the "x"
    EXPECT_TRUE(ev.Wait("event: bar"));
    EXPECT_EQ(Send("k=bar&s=9&e=rdown" + xy), 400);
    EXPECT_EQ(Send("k=bar&s=0&e=jump" + xy), 400);
    EXPECT_EQ(Send("k=bar&s=0&e=rdown&x=1e9&y=0"), 400);
  });
}

TEST_F(DisplayTest, WindowsAreDescribedAndTheirInputReachesTheObjects) {
  AsPage([&] {
    Events ev(port, token);
    std::string win;
    ASSERT_NO_FATAL_FAILURE(OpenFromMenu(ev, "Window...", win));
    for (const char *k :
         {"\"k\":\"group\"", "\"k\":\"string\",\"v\":\"caf\xc3\xa9\"", "\"k\":\"list\",\"count\":3", "\"k\":\"tree\"",
          "\"k\":\"gauge\",\"cur\":40,\"max\":100", "\"t\":\"40 %\"", "\"k\":\"busy\",\"speed\":20", "\"k\":\"balance\"",
          "\"k\":\"link\"", "\"k\":\"numeric\",\"v\":0,\"min\":0,\"max\":10", "\"0 dB\"", "\"std\":15", "\"page\":0",
          "\"title\":\"WebBar Gadgets\"", "\"titles\":[[{\"a\":\"l\",\"r\":[{\"t\":\"Name\",\"b\":1}]}]",
          "[{\"a\":\"c\",\"r\":[{\"t\":\"Centred bold\",\"b\":1}]},{\"a\":\"l\",\"r\":[{\"t\":\"underlined\",\"u\":1}"})
      EXPECT_NE(win.find(k), std::string::npos) << k << "\n" << win;
    EXPECT_EQ(win.find("Alpha"), std::string::npos) << "rows are asked for, not sent";
    long winId = Field(win, "id");
    // The string: typed text (UTF-8 in, Latin-1 inside) with Return; only
    // the changed text goes out.
    long str = IdBefore(win, "\"k\":\"string\"");
    EXPECT_EQ(Send("k=type&id=" + std::to_string(str) + "&v=Gr%C3%BC%C3%9Fe&ack=1"), 204);
    ASSERT_TRUE(ev.Wait("event: node\ndata: {\"win\":" + std::to_string(winId)));
    ASSERT_TRUE(ev.Wait("Typed: Gr\xc3\xbc\xc3\x9f" "e"));
    EXPECT_EQ(ev.Rest().find("\"k\":\"group\""), std::string::npos);
    // The list: rows by range, a row becomes active with the revision shown.
    long list = IdBefore(win, "\"k\":\"list\"");
    std::string rows = Body(Get(port, "/rows?t=" + token + "&id=" + std::to_string(list) + "&from=1&n=5"));
    EXPECT_NE(rows.find("\"count\":3,\"from\":1,\"rows\":[{\"c\":[[{\"a\":\"l\",\"r\":[{\"t\":\"Beta\"}]}]"), std::string::npos) << rows;
    std::string rev = std::to_string(Field(rows, "rev"));
    EXPECT_EQ(Send("k=sel&id=" + std::to_string(list) + "&v=1"), 400); // no revision
    EXPECT_EQ(Send("k=sel&id=" + std::to_string(list) + "&v=1&rev=" + std::to_string(Field(rows, "rev") + 1)), 409);
    EXPECT_EQ(Send("k=sel&id=" + std::to_string(list) + "&v=1&rev=" + rev), 204);
    ASSERT_TRUE(ev.Wait("Row: 1"));
    // The tree: open the group, choose its station.
    long tree = IdBefore(win, "\"k\":\"tree\"");
    std::string trev = std::to_string(Field(win.substr(win.find("\"k\":\"tree\"")), "rev"));
    EXPECT_EQ(Send("k=open&id=" + std::to_string(tree) + "&v=0&rev=" + trev), 204);
    ASSERT_TRUE(ev.Wait("event: list\ndata: {\"win\":" + std::to_string(winId) + ",\"id\":" + std::to_string(tree)));
    rows = Body(Get(port, "/rows?t=" + token + "&id=" + std::to_string(tree) + "&from=0&n=10"));
    EXPECT_NE(rows.find("{\"c\":[[{\"a\":\"l\",\"r\":[{\"t\":\"Radio One\"}]}]],\"l\":2,\"g\":false,\"o\":false}"), std::string::npos) << rows;
    trev = std::to_string(Field(rows, "rev"));
    EXPECT_EQ(Send("k=sel&id=" + std::to_string(tree) + "&v=1&rev=" + trev), 204);
    ASSERT_TRUE(ev.Wait("Node: Radio One"));
    EXPECT_EQ(Send("k=sel&id=" + std::to_string(tree) + "&v=77&rev=" + trev), 409); // rows that are gone are refused
    // Unknown objects and bad text.
    EXPECT_EQ(Send("k=click&id=999999"), 404);
    EXPECT_EQ(Send("k=type&id=" + std::to_string(str) + "&v=a%0Ab"), 400);
    EXPECT_EQ(Send("k=fly&id=" + std::to_string(str)), 400);
    // The sleep button: the window sleeps, input is ignored, it wakes up.
    EXPECT_EQ(Send("k=click&id=" + std::to_string(IdBefore(win, "\"t\":\"_Sleep\""))), 204);
    ASSERT_TRUE(ev.Wait("\"sleep\":true"));
    EXPECT_EQ(Send("k=type&id=" + std::to_string(str) + "&v=zzz&ack=1"), 204);
    ASSERT_TRUE(ev.Wait("\"sleep\":false"));
    EXPECT_EQ(ev.All().find("Typed: zzz"), std::string::npos);
    // Closing.
    EXPECT_EQ(Send("k=closewin&id=" + std::to_string(winId)), 204);
    ASSERT_TRUE(ev.Wait("event: windowEnd\ndata: {\"id\":" + std::to_string(winId) + "}"));
    EXPECT_EQ(Send("k=closewin&id=" + std::to_string(winId)), 404);
  });
}

TEST_F(DisplayTest, FileRequesterAnswersADrawerAndFile) {
  AsPage([&] {
    Events ev(port, token);
    ASSERT_TRUE(ev.Wait("event: hello"));
    auto f = std::async(std::launch::async, [] {
      APTR req = MUI_AllocAslRequestTags(ASL_FileRequest, ASLFR_TitleText, "Pick", ASLFR_InitialDrawer, "RAM:", TAG_DONE);
      std::string out = "cancelled";
      if (MUI_AslRequestTags(req, TAG_DONE)) {
        auto *fr = static_cast<FileRequester *>(req);
        out = std::string(fr->fr_Drawer) + "|" + fr->fr_File;
      }
      MUI_FreeAslRequest(req);
      return out;
    });
    ASSERT_TRUE(ev.Wait("event: dialog\ndata: {\"id\""));
    long id = Field(ev.Rest(), "id");
    EXPECT_NE(ev.Rest().find("\"drawer\":\"RAM:\""), std::string::npos);
    EXPECT_EQ(Send("k=answer&id=" + std::to_string(id) + "&v=drawer%3DSYS%3A%26file%3Dcaf%25C3%25A9.png"), 204);
    EXPECT_EQ(f.get(), "SYS:|caf\xe9.png");
    // A file name with a path in it is no answer: cancelled.
    auto g = std::async(std::launch::async, [] {
      APTR req = MUI_AllocAslRequestTags(ASL_FileRequest, ASLFR_TitleText, "Pick", TAG_DONE);
      BOOL ok = MUI_AslRequestTags(req, TAG_DONE);
      MUI_FreeAslRequest(req);
      return ok;
    });
    ASSERT_TRUE(ev.Wait("event: dialog\ndata: {\"id\""));
    id = Field(ev.Rest(), "id");
    EXPECT_EQ(Send("k=answer&id=" + std::to_string(id) + "&v=drawer%3DSYS%3A%26file%3D..%2Fx"), 204);
    EXPECT_FALSE(g.get());
  });
}

TEST_F(DisplayTest, AContextMenuChoiceReachesTheListWithTheItemsUserData) {
  AsPage([&] {
    Events ev(port, token);
    std::string win;
    ASSERT_NO_FATAL_FAILURE(OpenFromMenu(ev, "Rows...", win));
    long big = IdBefore(win, "\"k\":\"list\",\"count\":50000");
    ASSERT_GT(big, 0) << win;
    // The right button on the list: its menu pops up at that point; the
    // choice comes back through the trigger with the item's user data.
    EXPECT_EQ(Send("k=ctx&id=" + std::to_string(big) + "&x=40&y=200"), 204);
    ASSERT_TRUE(ev.Wait("event: dialog\ndata: {\"id\""));
    std::string menu = ev.Rest();
    EXPECT_NE(menu.find("\"x\":40,\"y\":200,\"bar\":false"), std::string::npos) << menu;
    EXPECT_EQ(Send("k=answer&id=" + std::to_string(Field(menu, "id")) + "&v=" +
                   std::to_string(IdBefore(menu, "\"t\":\"Copy to clipboard\"", "n"))),
              204);
    ASSERT_TRUE(ev.Wait("Menu: 2"));
  });
}
