// The Search Stations window with the plug-in's sources, against the
// testkit directory on loopback: what a person types and sees, what the
// directory is asked, and how downloads end.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "core/core_harness.h"
#include "reggae/reggae.h"
#include "search/Search.h"
#include "search/SearchCsv.h"
#include "testkit/directory.h"
#include "update/HttpStatus.h"
#include "support/temp_root.h"

namespace {

using namespace std::chrono_literals;

class SearchWindow : public coretest::CoreTest {
protected:
  void SetUp() override {
    setenv("MELODUNE_PORT_DIR", portDir.c_str(), 1);
    CoreTest::SetUp();
    dir = std::make_unique<testkit::DirectoryServer>(MELODUNE_SOURCE_DIR
                                                     "/skeleton/SYS/Data/Screenbar/Melodune/StationIcons/_empty.png");
    dir->set_stations(testkit::sample_directory(dir->icon_base(), "http://127.0.0.1:9/streams"));
    setenv("MELODUNE_DIRECTORY", dir->base().c_str(), 1);
    bar = &MakeBar();
    ASSERT_TRUE(Setup(*bar));
    DoMethod(bar->obj, MM_Melodune_SearchWindow);
    ASSERT_NE(g.searchWin.load(), nullptr);
  }
  void TearDown() override {
    CoreTest::TearDown();
    dir.reset();
    unsetenv("MELODUNE_DIRECTORY");
    unsetenv("MELODUNE_PORT_DIR");
  }

  // Runs the GUI until pred holds (the end of a download comes from the
  // ARexx process as a push).
  bool Until(const std::function<bool()> &pred, std::chrono::milliseconds limit = 15s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
      if (std::chrono::steady_clock::now() > end) return false;
      Pump();
      std::this_thread::sleep_for(2ms);
    }
    return true;
  }
  std::string Status() {
    auto *t = reinterpret_cast<CONST_STRPTR>(xget(g.searchStatus.load(), MUIA_Text_Contents));
    return t ? t : "";
  }
  bool Idle() { return !g.searchHttp.load() && !g.searchFile.load() && Page() == 0; }
  LONG Page() { return static_cast<LONG>(xget(SearchPageGroup(), MUIA_Group_ActivePage)); }
  std::vector<std::vector<std::string>> Rows() {
    auto rows = platform::ListRows(g.searchList.load());
    if (!rows.empty()) rows.erase(rows.begin()); // the title row
    return rows;
  }
  // Input from the display runs on the GUI task, in order.
  void Click(Object *o) {
    platform::InputClick(o);
    Pump();
  }
  void Type(Object *o, const std::string &text, bool enter) {
    platform::InputType(o, text, enter);
    Pump();
  }
  void Select(Object *list, LONG entry) {
    platform::InputSelectEntry(list, entry);
    Pump();
  }
  void CloseWindow(Object *win) {
    platform::InputCloseWindow(win);
    Pump();
  }
  void Search() {
    Click(g.searchStart.load());
    ASSERT_TRUE(Until([&] { return Idle(); })) << Status();
  }
  bool CriteriaEnabled() {
    for (Object *o : {g.searchName.load(), g.searchTags.load(), g.searchCountry.load(), g.searchLanguages.load()})
      if (xget(o, MUIA_Disabled)) return false;
    return true;
  }
  std::string LastRequest() {
    std::lock_guard l(spy.lock);
    return spy.requests.empty() ? "" : spy.requests.back().text;
  }

  testsupport::TempRoot ports{"melodune-search-ports"};
  std::string portDir = ports.path();
  std::unique_ptr<testkit::DirectoryServer> dir;
  coretest::Bar *bar = nullptr;
};

TEST_F(SearchWindow, GadgetsNotificationsAndReopening) {
  EXPECT_STREQ(reinterpret_cast<CONST_STRPTR>(xget(g.searchWin.load(), MUIA_Window_Title)), "Melodune: Search Stations");
  EXPECT_EQ(xget(g.searchWin.load(), MUIA_Window_ID), 0x4D445353u);
  EXPECT_TRUE(xget(g.searchWin.load(), MUIA_Window_Open));
  EXPECT_STREQ(reinterpret_cast<CONST_STRPTR>(xget(g.searchCountry.load(), MUIA_String_Placeholder)),
               "Country of the station, first letter in uppercase");
  EXPECT_TRUE(xget(g.searchLimitOn.load(), MUIA_Selected));
  EXPECT_EQ(xget(g.searchLimit.load(), MUIA_Numeric_Value), 100u);
  EXPECT_EQ(Page(), 0);
  auto title = platform::ListRows(g.searchList.load()).at(0);
  EXPECT_EQ(title, (std::vector<std::string>{"Name", "Codec", "Bitrate", "Tags", "Country", "Language", "Url", "Icon"}));

  // Unchecking the limit greys out the number, checking brings it back.
  Click(g.searchLimitOn.load());
  EXPECT_TRUE(xget(g.searchLimit.load(), MUIA_Disabled));
  Click(g.searchLimitOn.load());
  EXPECT_FALSE(xget(g.searchLimit.load(), MUIA_Disabled));

  // Return in Name moves the focus to "_Search...".
  Type(g.searchName.load(), "Jazz", true);
  EXPECT_EQ(reinterpret_cast<Object *>(xget(g.searchWin.load(), MUIA_Window_ActiveObject)), g.searchStart.load());

  // "Test" and "_Add" without a row do nothing; closing hides, the next call
  // shows the same window with its contents.
  Click(g.searchTest.load());
  Click(g.searchAdd.load());
  Object *win = g.searchWin.load();
  CloseWindow(win);
  EXPECT_FALSE(xget(win, MUIA_Window_Open));
  DoMethod(bar->obj, MM_Melodune_SearchWindow);
  EXPECT_EQ(g.searchWin.load(), win);
  EXPECT_TRUE(xget(win, MUIA_Window_Open));
  EXPECT_STREQ(reinterpret_cast<CONST_STRPTR>(xget(g.searchName.load(), MUIA_String_Contents)), "Jazz");
  EXPECT_EQ(g.stations.load(), nullptr) << "no test without a row";
}

TEST_F(SearchWindow, SearchSendsTheQueryAndListsOneRowPerStation) {
  Type(g.searchName.load(), "Jazz Cafe", false);
  Type(g.searchCountry.load(), "france", false);
  Search();
  ASSERT_EQ(dir->searches(), std::vector<std::string>{"/csv/stations/search?codec=MP3&name=Jazz%20Cafe&country=France&limit=100"});
  EXPECT_STREQ(reinterpret_cast<CONST_STRPTR>(xget(g.searchCountry.load(), MUIA_String_Contents)), "France");
  EXPECT_EQ(Status(), "4 station(s) found!");
  EXPECT_TRUE(CriteriaEnabled());
  auto rows = Rows();
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"Jazz Cafe", "MP3", "128", "jazz,lounge", "France", "french",
                                               "http://127.0.0.1:9/streams/jazzcafe", dir->icon_base() + "jazzcafe.png"}));
  EXPECT_EQ(rows[1][0], "Jazz Cafe, Paris");
  EXPECT_EQ(rows[2][0], "Le \"\"Jazz Cafe\"\" Club");
  EXPECT_EQ(rows[2][7], "");
  EXPECT_EQ(rows[3][0], "Jazz Cafe Nuit") << "a line break inside the quoted name";
  EXPECT_EQ(rows[3][6], "http://127.0.0.1:9/streams/nuit");

  // No limit, tags, a second address in the Url, UTF-8 names.
  Type(g.searchName.load(), "", false);
  Type(g.searchCountry.load(), "", false);
  Type(g.searchTags.load(), "pop,rock", false);
  Click(g.searchLimitOn.load());
  Search();
  EXPECT_EQ(dir->searches().back(), "/csv/stations/search?codec=MP3&tagList=pop%2Crock&limit=");
  rows = Rows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][6], "http://127.0.0.1:9/streams/rock");
  Type(g.searchTags.load(), "chanson", false);
  Search();
  ASSERT_EQ(Rows().size(), 1u);
  EXPECT_EQ(Rows()[0][0], "Caf\xE9 Fran\xE7" "ais ?");

  // "Test" plays the selected row through the spare entry.
  Select(g.searchList.load(), 0);
  Click(g.searchTest.load());
  ASSERT_NE(g.stations.load(), nullptr);
  const StationEntry spare = g.stations.load()[g.numStations.load()];
  EXPECT_STREQ(spare.name, "Caf\xE9 Fran\xE7" "ais ?");
  EXPECT_STREQ(spare.stream, "http://127.0.0.1:9/streams/francais");
  EXPECT_EQ(KillPending(bar->obj, MM_Melodune_MenuAction), 1u);

  // A search with no match: an empty answer.
  Type(g.searchTags.load(), "nothing-like-this", false);
  Search();
  EXPECT_EQ(Status(), "0 station(s) found!");
  EXPECT_TRUE(Rows().empty());
}

TEST_F(SearchWindow, FailuresLeaveTheCriteriaEditable) {
  dir->set_mode(testkit::DirectoryServer::Mode::NotFound);
  Search();
  EXPECT_EQ(LastRequest(), "\33cFailed to create the http.stream object!\n\nErrorCode = " +
                               std::to_string(MMERR_HTTP_ERROR) + " (" + MediaFault(MMERR_HTTP_ERROR) +
                               ")\nResponseCode = 404 (" + HttpStatusText(404) + ")");
  EXPECT_EQ(Status(), "Downloading failed!");
  EXPECT_TRUE(CriteriaEnabled());

  dir->set_mode(testkit::DirectoryServer::Mode::Drop);
  Click(g.searchLimitOn.load()); // all stations: a table long enough to drop
  Search();
  EXPECT_EQ(Status().rfind("Failed! ErrorCode = ", 0), 0u) << Status();
  EXPECT_NE(Status(), "Failed! ErrorCode = 0 (" + std::string(MediaFault(0)) + ")");
  EXPECT_TRUE(CriteriaEnabled());
  EXPECT_EQ(Page(), 0);

  // Nobody listens at the directory's address any more.
  const std::string base = dir->base();
  dir.reset();
  Search();
  EXPECT_NE(LastRequest().find("ErrorCode = " + std::to_string(MMERR_CONNECTION_REFUSED)), std::string::npos)
      << LastRequest();
  EXPECT_EQ(Status(), "Downloading failed!");
  EXPECT_TRUE(CriteriaEnabled());
}

TEST_F(SearchWindow, AbortListsWhatArrivedAndCleanupStopsADownload) {
  std::vector<testkit::DirectoryStation> many = testkit::generated_directory(400);
  dir->set_stations(many);
  dir->set_mode(testkit::DirectoryServer::Mode::Slow);
  dir->set_rate(40000);
  Click(g.searchLimitOn.load());
  Click(g.searchStart.load());
  EXPECT_EQ(Page(), 1);
  EXPECT_FALSE(CriteriaEnabled());
  std::this_thread::sleep_for(300ms);
  Pump();
  Click(g.searchAbort.load());
  EXPECT_TRUE(Idle());
  const size_t listed = Rows().size();
  EXPECT_GT(listed, 0u);
  EXPECT_LT(listed, many.size());
  EXPECT_EQ(Status(), std::to_string(listed) + " station(s) found!");
  EXPECT_EQ(Rows()[0][0], many[0].name);
  // The end signal of the stopped output arrives later and finds nothing.
  for (int i = 0; i < 50; ++i) {
    Pump();
    std::this_thread::sleep_for(2ms);
  }
  EXPECT_EQ(Rows().size(), listed);

  // The end of a download that was replaced, still queued, ends nothing.
  Click(g.searchStart.load());
  ASSERT_EQ(Page(), 1);
  MeloPush(bar->obj, 0, MM_Melodune_ParseStations);
  DoMethod(bar->obj, MM_Melodune_GetStations);
  Pump();
  EXPECT_EQ(Page(), 1) << Status();
  Click(g.searchAbort.load());
  ASSERT_TRUE(Idle());

  // A download still running when the bar goes: stopped before its window.
  Click(g.searchStart.load());
  ASSERT_NE(g.searchFile.load(), nullptr);
  Cleanup(*bar);
  EXPECT_EQ(g.searchWin.load(), nullptr);
  EXPECT_EQ(g.searchFile.load(), nullptr);
  EXPECT_EQ(g.searchHttp.load(), nullptr);
  DoMethod(bar->obj, MM_Melodune_ParseStations); // a late end finds nothing to touch
}

TEST_F(SearchWindow, LongLinesAndHeaderlessTables) {
  // A table served as it is: an over-long line, a row without a name, no header names.
  std::string longLine = "a,b,c,Long," + std::string(8100, 'u') + "\n";
  std::string table = "some,other,header\n" + longLine +
                      "a,b,c,,http://x/nameless\n"
                      "c,s,v,Next,http://x/next?,r,h,http://x/i.png,tag,Chile,cl,i,s,spanish,es,1,t,t,MP3,64,0\n";
  testkit::Server raw;
  raw.route("/csv/stations/search", testkit::Response::text(table, "text/csv"));
  setenv("MELODUNE_DIRECTORY", raw.url("").c_str(), 1);
  Search();
  EXPECT_EQ(Status(), "2 station(s) found!");
  auto rows = Rows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][0], "Long");
  EXPECT_EQ(rows[0][6].size(), 8094u - std::strlen("a,b,c,Long,"));
  EXPECT_EQ(rows[1], (std::vector<std::string>{"Next", "MP3", "64", "tag", "Chile", "spanish", "http://x/next",
                                               "http://x/i.png"}));
}

} // namespace
