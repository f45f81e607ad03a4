// The directory table's in-place scanner, the Url trim and the query.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "exec/exec.h"
#include "search/SearchCsv.h"
#include "search/SearchQuery.h"

namespace {

// The eight texts of one line as ParseStations sees them.
std::vector<std::string> Fields(std::string line, const StationColumns *cols = &DefaultStationColumns) {
  std::vector<char> buf(line.begin(), line.end());
  buf.push_back(0);
  STRPTR texts[SEARCH_COLUMNS];
  CsvStationFields(buf.data(), static_cast<LONG>(line.size()), cols, texts);
  std::vector<std::string> out;
  for (STRPTR t : texts) {
    EXPECT_TRUE(t >= buf.data() && t <= buf.data() + line.size()) << "a text outside the line buffer";
    out.emplace_back(t);
  }
  return out;
}

// A data line with the given fields at their positions (others filled).
std::string Line(std::vector<std::pair<int, std::string>> at, int count = 36) {
  std::vector<std::string> f(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) f[static_cast<size_t>(i)] = "x" + std::to_string(i);
  for (auto &[i, t] : at) f[static_cast<size_t>(i)] = t;
  std::string s;
  for (int i = 0; i < count; ++i) s += (i ? "," : "") + f[static_cast<size_t>(i)];
  return s + "\n";
}

TEST(StationCsv, QuotedFieldsCommasDoubledQuotesAndShortLines) {
  auto f = Fields(Line({{3, "\"Jazz Cafe, Paris\""}, {4, "http://a/s"}, {7, "http://a/i.png"}, {8, "\"jazz,lounge\""},
                        {9, "France"}, {13, "french"}, {18, "MP3"}, {19, "128"}}));
  EXPECT_EQ(f, (std::vector<std::string>{"Jazz Cafe, Paris", "MP3", "128", "jazz,lounge", "France", "french",
                                         "http://a/s", "http://a/i.png"}));

  // Doubled quotes stay doubled; a quote inside that is not before a comma
  // is an ordinary character.
  f = Fields(Line({{3, "\"Radio \"\"Le Jazz\"\" Cafe\""}, {8, "\"a\"b\""}}));
  EXPECT_EQ(f[SEARCH_COL_NAME], "Radio \"\"Le Jazz\"\" Cafe");
  EXPECT_EQ(f[SEARCH_COL_TAGS], "a\"b");

  // Fewer than 20 fields: the missing ones are empty; a field that runs to
  // the end of the line keeps its newline.
  f = Fields("c,s,v,Short Name,http://s/x,r,h,fav,tags,Chile,cl\n");
  EXPECT_EQ(f[SEARCH_COL_NAME], "Short Name");
  EXPECT_EQ(f[SEARCH_COL_COUNTRY], "Chile");
  EXPECT_EQ(f[SEARCH_COL_LANGUAGE], "");
  EXPECT_EQ(f[SEARCH_COL_CODEC], "");
  EXPECT_EQ(f[SEARCH_COL_BITRATE], "");
  f = Fields("a,b,c,Last\n");
  EXPECT_EQ(f[SEARCH_COL_NAME], "Last\n");
  EXPECT_EQ(Fields("\n")[SEARCH_COL_NAME], "");
  EXPECT_EQ(Fields("a,b,\"\n")[SEARCH_COL_NAME], "");

  // A piece of 8094 characters (an over-long line cut by the read): the
  // scanner stays inside it.
  std::string longName(8100, 'n');
  std::string piece = Line({{3, longName}}).substr(0, 8094);
  f = Fields(piece);
  EXPECT_EQ(f[SEARCH_COL_NAME].size(), 8094u - std::strlen("x0,x1,x2,"));
  EXPECT_EQ(f[SEARCH_COL_URL], "");
}

TEST(StationCsv, TextsAreLatin1) {
  auto f = Fields(Line({{3, "Caf\xC3\xA9 \xE2\x98\x95"}, {9, "\xC3\xB6sterreich"}, {13, "caf\xE9"}}));
  EXPECT_EQ(f[SEARCH_COL_NAME], "Caf\xE9 ?");
  EXPECT_EQ(f[SEARCH_COL_COUNTRY], "\xF6sterreich");
  EXPECT_EQ(f[SEARCH_COL_LANGUAGE], "caf\xE9") << "a byte that is not UTF-8 stays as it is";
}

TEST(StationCsv, QuotedLineBreakContinuesTheRecord) {
  auto continues = [](const std::string &s) { return CsvLineContinues(s.c_str(), static_cast<LONG>(s.size())) != 0; };
  EXPECT_TRUE(continues("a,b,c,\"Jazz Cafe\n"));
  EXPECT_TRUE(continues("a,b,c,\"Jazz \"\"Cafe\"\"\r\n"));
  EXPECT_FALSE(continues("a,b,c,\"Jazz\"\n"));
  EXPECT_FALSE(continues("a,b,c,\"Jazz\"\"\"\r\n"));
  EXPECT_FALSE(continues("a,\"b\",c,Jazz\n"));
  EXPECT_FALSE(continues("a,b,c,\"Jazz")) << "no line break: the over-long rule, not a continuation";
}

TEST(StationCsv, HeaderNamesTheColumns) {
  StationColumns cols;
  std::string header = "stationuuid,url,name,bitrate,codec,favicon,language,country,tags\r\n";
  ASSERT_TRUE(CsvHeaderColumns(header.data(), static_cast<LONG>(header.size()), &cols));
  auto f = Fields("u,http://s,Moved,64,AAC,fav,german,Austria,news\n", &cols);
  EXPECT_EQ(f, (std::vector<std::string>{"Moved", "AAC", "64", "news\n", "Austria", "german", "http://s", "fav"}));

  std::string partial = "name,url,something\n";
  EXPECT_FALSE(CsvHeaderColumns(partial.data(), static_cast<LONG>(partial.size()), &cols));
  EXPECT_EQ(std::memcmp(&cols, &DefaultStationColumns, sizeof(cols)), 0);
}

TEST(StationCsv, TrimStationUrl) {
  auto trim = [](std::string s) {
    TrimStationUrl(s.data());
    return std::string(s.c_str());
  };
  EXPECT_EQ(trim("http://a.example/live?"), "http://a.example/live");
  EXPECT_EQ(trim("http://a.example/live?http://b.example/x"), "http://a.example/live");
  EXPECT_EQ(trim("https://a.example/live http://b"), "https://a.example/live ");
  EXPECT_EQ(trim("http://a.example/live?id=1"), "http://a.example/live?id=1");
  EXPECT_EQ(trim("ab?"), "ab?");
  EXPECT_EQ(trim(""), "");
}

// The query as the directory gets it, for the typed criteria.
std::string Query(const char *name, const char *tags, const char *country, const char *languages, bool limitOn = true,
                  LONG limit = 100) {
  char c[SEARCH_CRITERION_SIZE], l[SEARCH_CRITERION_SIZE];
  std::strcpy(c, country);
  std::strcpy(l, languages);
  NormaliseCountry(c);
  NormaliseLanguages(l);
  STRPTR url = BuildStationQuery("https://dir.example", name, tags, c, l, limitOn, limit);
  EXPECT_NE(url, nullptr);
  std::string s = url ? url : "";
  FreeVec(url);
  return s.substr(std::strlen("https://dir.example"));
}

TEST(StationQuery, CriteriaInTheirOrderEncodedAndNormalised) {
  EXPECT_EQ(Query("", "", "", ""), "/csv/stations/search?codec=MP3&limit=100");
  EXPECT_EQ(Query("", "", "", "", false), "/csv/stations/search?codec=MP3&limit=");
  EXPECT_EQ(Query("Jazz Cafe", "", "france", ""), "/csv/stations/search?codec=MP3&name=Jazz%20Cafe&country=France&limit=100");
  EXPECT_EQ(Query("&&", "pop,rock", "UNITED KINGDOM", "English,FRENCH", true, 1000),
            "/csv/stations/search?codec=MP3&name=%26%26&tagList=pop%2Crock&country=United%20kingdom"
            "&language=english%2Cfrench&limit=1000");
  EXPECT_EQ(Query("a\"b/c\xA0" "d\xE9", "", "\xE9" "COLE", ""),
            "/csv/stations/search?codec=MP3&name=a\"b%2Fc%20d\xE9&country=\xC9" "cole&limit=100");
}

} // namespace
