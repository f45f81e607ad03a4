// Reading the station file: comment lines, the count, three-line records,
// trimming, no-break spaces in names, the fallback file, short lists and
// long lines.
#include <string>
#include <string_view>

#include "stations_harness.h"

namespace stationstest {
namespace {

using Fields = std::vector<std::string>;

TEST_F(StationsTest, RecordsLoadWithAndWithoutSeparators) {
  ASSERT_TRUE(Load("2\nRock/One\nRock/One.png\nhttp://one\n#\nTwo\nTwo.png\nhttp://two\n#\n"));
  EXPECT_EQ(g.numStations.load(), 2);
  EXPECT_EQ(Entry(0), (Fields{"Rock/One", "Rock/One.png", "http://one"}));
  EXPECT_EQ(Entry(1), (Fields{"Two", "Two.png", "http://two"}));
  // The spare slot and the terminator behind the stations are empty.
  EXPECT_EQ(Entry(2), (Fields{"<null>", "<null>", "<null>"}));
  EXPECT_EQ(Entry(3), (Fields{"<null>", "<null>", "<null>"}));

  ASSERT_TRUE(Load("2\nRock/One\nRock/One.png\nhttp://one\nTwo\nTwo.png\nhttp://two\n"));
  EXPECT_EQ(g.numStations.load(), 2);
  EXPECT_EQ(Entry(1), (Fields{"Two", "Two.png", "http://two"}));
  EXPECT_TRUE(Warnings().empty());
}

TEST_F(StationsTest, CommentLinesAreSkippedAnywhere) {
  ASSERT_TRUE(Load("# my radios\n#\n1\n# name next\nA\n#icon\nA.png\n##\nhttp://a\n"));
  EXPECT_EQ(g.numStations.load(), 1);
  EXPECT_EQ(Entry(0), (Fields{"A", "A.png", "http://a"}));
}

TEST_F(StationsTest, FewerRecordsThanAnnouncedWarnAndInstallWhatWasRead) {
  ASSERT_TRUE(Load("3\nA\na.png\nhttp://a\n#\nB\nb.png\nhttp://b\n#\nC\nc.png\n"));
  EXPECT_EQ(g.numStations.load(), 2); // the incomplete third record is dropped
  EXPECT_EQ(Entry(2), (Fields{"<null>", "<null>", "<null>"}));
  auto w = Warnings();
  ASSERT_EQ(w.size(), 1u);
  EXPECT_EQ(w[0].format, "\33cFailed to read the Station-List\n'%s'\nOnly %ld instead of %ld entries available!");
  EXPECT_STREQ(reinterpret_cast<const char *>(w[0].values[0]), STATIONS_FILE);
  EXPECT_EQ(static_cast<LONG>(w[0].values[1]), 2);
  EXPECT_EQ(static_cast<LONG>(w[0].values[2]), 3);
}

TEST_F(StationsTest, RecordsAfterTheAnnouncedCountAreIgnored) {
  ASSERT_TRUE(Load("1\nA\na.png\nhttp://a\nB\nb.png\nhttp://b\n"));
  EXPECT_EQ(g.numStations.load(), 1);
  EXPECT_EQ(Entry(1), (Fields{"<null>", "<null>", "<null>"}));
  EXPECT_TRUE(Warnings().empty());
}

TEST_F(StationsTest, NoBreakSpacesBecomeSpacesInNamesOnly) {
  ASSERT_TRUE(Load("1\nRock/Radio\xA0One\nRadio\xA0One.png\nhttp://x/a\xA0"
                   "b\n"));
  EXPECT_EQ(Entry(0), (Fields{"Rock/Radio One", "Radio\xA0One.png", "http://x/a\xA0"
                                                                    "b"}));
}

TEST_F(StationsTest, OnlyTrailingSpacesAndLineFeedsAreTrimmed) {
  ASSERT_TRUE(Load("1  \n  Lead\nicon.png\t\nhttp://s/stream   \r\n"));
  EXPECT_EQ(Entry(0), (Fields{"  Lead", "icon.png\t", "http://s/stream   \r"}));
  ASSERT_TRUE(Load("1\nA\ni.png\nhttp://s/stream    \n"));
  EXPECT_EQ(Entry(0)[2], "http://s/stream");
}

TEST_F(StationsTest, EmptyLinesAreFields) {
  // An empty icon is a valid icon.
  ASSERT_TRUE(Load("1\nA\n\nhttp://a\n"));
  EXPECT_EQ(Entry(0), (Fields{"A", "", "http://a"}));
  // A stray empty line shifts every following field by one.
  ASSERT_TRUE(Load("2\nA\na.png\nhttp://a\n\nB\nb.png\nhttp://b\n"));
  EXPECT_EQ(Entry(1), (Fields{"", "B", "b.png"}));
}

TEST_F(StationsTest, ABadCountLoadsNothingAndKeepsTheOldList) {
  ASSERT_TRUE(Load("1\nOld\nold.png\nhttp://old\n"));
  StationEntry *before = g.stations.load();
  for (const char *text : {"zwei\nA\na\nhttp://a\n", "0\nA\na\nhttp://a\n", "-3\nA\na\nhttp://a\n", "", "# only\n"}) {
    EXPECT_FALSE(Load(text)) << text;
    EXPECT_EQ(g.stations.load(), before);
    EXPECT_EQ(g.numStations.load(), 1);
  }
  // Leading blanks and trailing text around the number are fine.
  EXPECT_TRUE(Load("  1 stations\nA\na\nhttp://a\n"));
  EXPECT_EQ(g.numStations.load(), 1);
  EXPECT_EQ(Entry(0)[0], "A");
}

TEST_F(StationsTest, AnnouncedButEmptyListIsInstalledEmpty) {
  ASSERT_TRUE(Load("5\n#\n"));
  EXPECT_NE(g.stations.load(), nullptr);
  EXPECT_EQ(g.numStations.load(), 0);
  ASSERT_EQ(Warnings().size(), 1u);
  EXPECT_EQ(static_cast<LONG>(Warnings()[0].values[1]), 0);
}

TEST_F(StationsTest, AHugeCountIsOnlyABound) {
  ASSERT_TRUE(Load("2000000000\nA\na\nhttp://a\n"));
  EXPECT_EQ(g.numStations.load(), 1);
  ASSERT_EQ(Warnings().size(), 1u);
  EXPECT_EQ(static_cast<LONG>(Warnings()[0].values[2]), 2000000000);
}

TEST_F(StationsTest, TheDefaultFileIsReadOnlyWhenTheListIsMissing) {
  Write("Stations_default.txt", "1\nDefault\nd.png\nhttp://d\n");
  ASSERT_TRUE(LoadStationList());
  EXPECT_EQ(Entry(0)[0], "Default");
  ASSERT_TRUE(Load("1\nMine\nm.png\nhttp://m\n"));
  EXPECT_EQ(Entry(0)[0], "Mine");
  RemoveFile("Stations_default.txt");
  RemoveFile("Stations.txt");
  EXPECT_FALSE(LoadStationList());
  EXPECT_EQ(Entry(0)[0], "Mine");
  // The warning names the file that was read.
  Write("Stations_default.txt", "2\nDefault\nd.png\nhttp://d\n");
  ASSERT_TRUE(LoadStationList());
  ASSERT_EQ(Warnings().size(), 1u);
  EXPECT_STREQ(reinterpret_cast<const char *>(Warnings()[0].values[0]), STATIONS_DEFAULT_FILE);
}

TEST_F(StationsTest, LinesAsLongAsTheEditorAllowsLoadWhole) {
  std::string stream = "http://" + std::string(STATION_FIELD_MAX - 7, 's');
  std::string icon(STATION_FIELD_MAX, 'i');
  ASSERT_TRUE(Load("2\nA\n" + icon + "\n" + stream + "\n#\nB\nb\nhttp://b\n#\n"));
  EXPECT_EQ(g.numStations.load(), 2);
  EXPECT_EQ(Entry(0)[1], icon);
  EXPECT_EQ(Entry(0)[2], stream);
  EXPECT_EQ(Entry(1), (Fields{"B", "b", "http://b"}));
}

TEST_F(StationsTest, LongerLinesAreCutWithoutShiftingTheFields) {
  std::string longStream = "http://" + std::string(5000, 'x');
  std::string longComment = "#" + std::string(3000, 'c');
  ASSERT_TRUE(Load("2\n" + longComment + "\nA\na\n" + longStream + "\nB\nb\nhttp://b\n"));
  EXPECT_EQ(g.numStations.load(), 2);
  EXPECT_EQ(Entry(0)[0], "A");
  EXPECT_EQ(Entry(0)[2], longStream.substr(0, STATION_LINE_SIZE - 1));
  EXPECT_EQ(Entry(1), (Fields{"B", "b", "http://b"}));
}

TEST_F(StationsTest, ALastLineWithoutLineFeedCounts) {
  ASSERT_TRUE(Load("1\nA\na\nhttp://a"));
  EXPECT_EQ(Entry(0), (Fields{"A", "a", "http://a"}));
}

TEST(StationFileText, CommentsTrimmingNulBytesAndTheEnd) {
  using namespace std::string_view_literals;
  EXPECT_EQ(StationFileText("first\n").Announced(), 0);
  StationFileText text("#c\n2  \n#d\nA \na\0hidden\nhttp://a\n#e\n"sv);
  EXPECT_EQ(text.Announced(), 2);
  std::string name, icon, stream;
  ASSERT_TRUE(text.Next(name, icon, stream));
  EXPECT_EQ(name, "A");
  EXPECT_EQ(icon, "a"); // the line ends at the NUL byte
  EXPECT_FALSE(text.Next(name, icon, stream)); // only a comment is left
  EXPECT_EQ(name, "");
}

TEST_F(StationsTest, FreeStationListEmptiesTheList) {
  ASSERT_TRUE(Load("1\nA\na\nhttp://a\n"));
  FreeStationList();
  EXPECT_EQ(g.stations.load(), nullptr);
  EXPECT_EQ(g.numStations.load(), 0);
  FreeStationList(); // nothing to do
  EXPECT_EQ(StationCount(), -1);
}

} // namespace
} // namespace stationstest
