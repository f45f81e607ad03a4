// The update service's reply: the grammar, the cleaning before it is shown,
// and the names of the results.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "update/Update.h"

namespace {

struct Parsed {
  LONG result;
  std::string version, notes;
};

Parsed Parse(const std::string &reply) {
  char version[UPDATE_REQUEST_SIZE];
  std::memset(version, 'x', sizeof(version));
  CONST_STRPTR notes = nullptr;
  Parsed p;
  p.result = ClassifyUpdateReply(reply.c_str(), version, &notes);
  p.version = version;
  p.notes = notes ? notes : "(null)";
  return p;
}

TEST(UpdateReply, GrammarGivesEachResult) {
  EXPECT_EQ(Parse("").result, 0);
  EXPECT_EQ(Parse("ERR_NAME_NOT_FOUND").result, 2);
  // Only the exact text means "not found"; the rest of ERR_ is an error.
  for (const char *e : {"ERR_NAME_NOT_FOUND\n", "ERR_DATABASE", "ERR_", "ERR_name_not_found"})
    EXPECT_EQ(Parse(e).result, -1) << e;
  // Lower case is no error prefix: it is a version.
  EXPECT_EQ(Parse("err_x").result, 1);

  const Parsed withNotes = Parse("3.6\nFaster start.\nFewer bugs.");
  EXPECT_EQ(withNotes.result, 1);
  EXPECT_EQ(withNotes.version, "3.6");
  EXPECT_EQ(withNotes.notes, "Faster start.\nFewer bugs.");

  const Parsed bare = Parse("3.7");
  EXPECT_EQ(bare.result, 1);
  EXPECT_EQ(bare.version, "3.7");
  EXPECT_EQ(bare.notes, "");
}

TEST(UpdateReply, VersionIsCutAt127Characters) {
  const Parsed longLine = Parse(std::string(10000, '9') + "\nnotes");
  EXPECT_EQ(longLine.result, 1);
  EXPECT_EQ(longLine.version, std::string(127, '9'));
  EXPECT_EQ(longLine.notes, "notes");
  EXPECT_EQ(Parse(std::string(127, '1')).version, std::string(127, '1'));
}

TEST(UpdateReply, CleaningTakesOutCodesAndConvertsUtf8) {
  char escapes[] = "3.6\n\33bbold\33n \33I[4:sys:secret]\x9b"
                   "1m\r\ttab\x01";
  CleanUpdateReply(escapes);
  EXPECT_STREQ(escapes, "3.6\nbboldn I[4:sys:secret]1m\ttab");

  char utf8[] = "3.6\nGr\xC3\xBC\xC3\x9F"
                "e \xE2\x82\xAC";
  CleanUpdateReply(utf8);
  EXPECT_STREQ(utf8, "3.6\nGr\xFC\xDF"
                     "e ?");

  char latin1[] = "3.6\nGr\xFC\xDF"
                  "e";
  CleanUpdateReply(latin1);
  EXPECT_STREQ(latin1, "3.6\nGr\xFC\xDF"
                       "e")
      << "Latin-1 stays as it is";
}

TEST(UpdateReply, ResultNames) {
  EXPECT_STREQ(UpdateResultText(0), "Same version");
  EXPECT_STREQ(UpdateResultText(1), "New version");
  EXPECT_STREQ(UpdateResultText(2), "App not found");
  EXPECT_STREQ(UpdateResultText(-1), "Unknown error");
  EXPECT_STREQ(UpdateResultText(-2), "Not enough memory");
  EXPECT_STREQ(UpdateResultText(-3), "No network");
  EXPECT_STREQ(UpdateResultText(-4), "OpenLibs failed");
  for (LONG other : {3, -5, 100, -100000})
    EXPECT_STREQ(UpdateResultText(other), "Unsupported result") << other;
}

} // namespace
