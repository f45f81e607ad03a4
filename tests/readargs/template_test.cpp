// ReadArgs template semantics, case by case.
#include <cstring>

#include "readargs_support.h"

namespace {

constexpr IPTR kUntouched = 0x5a5a;

TEST(ReadArgsTemplate, PositionalAndKeywordForms) {
  const char *t = "FROM/A,TO/A";
  for (const char *text : {"a b", "TO b FROM a", "to=b from=a", "FROM = a TO =b", "TO b a", "From a To b"}) {
    Parse p(t, text, 2);
    ASSERT_TRUE(p.ok) << text << " err " << p.err;
    EXPECT_EQ(p.Str(0), "a") << text;
    EXPECT_EQ(p.Str(1), "b") << text;
  }
  // A quoted keyword is a value, not a keyword.
  Parse q(t, "\"TO\" b", 2);
  ASSERT_TRUE(q.ok);
  EXPECT_EQ(q.Str(0), "TO");
  EXPECT_EQ(q.Str(1), "b");
  // A keyword that was already used is an ordinary word the second time.
  Parse r("NAME,ALL/S", "ALL ALL", 2);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.Str(0), "ALL");
  EXPECT_NE(r.array[1], 0u);
}

TEST(ReadArgsTemplate, AliasesAndCase) {
  const char *t = "STATION/F,NEXT/S,PREV/S,LAST=LASTUSED/S,INFO/S";
  for (const char *text : {"LAST", "lastused", "LaSt", "LASTUSED"}) {
    Parse p(t, text, 5);
    ASSERT_TRUE(p.ok) << text;
    EXPECT_NE(p.array[3], 0u) << text;
    EXPECT_EQ(p.array[0], 0u) << text;
  }
  EXPECT_EQ(FindArg(t, "lastused"), 3);
  EXPECT_EQ(FindArg(t, "Last"), 3);
  EXPECT_EQ(FindArg(t, "LAS"), -1);
  EXPECT_EQ(FindArg(t, "STATION"), 0);
}

TEST(ReadArgsTemplate, SwitchesAndToggles) {
  // Items not given keep what the caller put there.
  Parse p("NAME,ALL/S,QUIET/S", "x ALL", 3, kUntouched);
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.Str(0), "x");
  EXPECT_EQ(p.array[1], static_cast<IPTR>(static_cast<SIPTR>(DOSTRUE)));
  EXPECT_EQ(p.array[2], kUntouched);
  // A switch is only ever a keyword.
  Parse q("ALL/S", "x", 1);
  EXPECT_FALSE(q.ok);
  EXPECT_EQ(q.err, ERROR_TOO_MANY_ARGS);
  // /T flips what was there.
  Parse off("T/T", "T", 1, 0);
  ASSERT_TRUE(off.ok);
  EXPECT_NE(off.array[0], 0u);
  Parse on("T/T", "t", 1, 1);
  ASSERT_TRUE(on.ok);
  EXPECT_EQ(on.array[0], 0u);
}

TEST(ReadArgsTemplate, Numbers) {
  const char *t = "W/N,H/N/A";
  Parse p(t, "W=-5 +7", 2);
  ASSERT_TRUE(p.ok) << p.err;
  EXPECT_EQ(p.Num(0), -5);
  EXPECT_EQ(p.Num(1), 7); // /N/A gives a pointer too
  for (const char *bad : {"1 12x", "W x 1", "1 \"\"", "1 99999999999", "1 -", "1 1.5", "1 0x10"}) {
    Parse b(t, bad, 2, kUntouched);
    EXPECT_FALSE(b.ok) << bad;
    EXPECT_EQ(b.err, ERROR_BAD_NUMBER) << bad;
    // A failed parse leaves the array alone.
    EXPECT_EQ(b.array[0], kUntouched) << bad;
    EXPECT_EQ(b.array[1], kUntouched) << bad;
  }
  Parse m("N/M/N", "1 -2 2147483647 -2147483648", 1);
  ASSERT_TRUE(m.ok);
  auto **v = reinterpret_cast<LONG **>(m.array[0]);
  EXPECT_EQ(*v[0], 1);
  EXPECT_EQ(*v[1], -2);
  EXPECT_EQ(*v[2], 2147483647);
  EXPECT_EQ(*v[3], -2147483647 - 1);
  EXPECT_EQ(v[4], nullptr);
  Parse mb("N/M/N", "1 two", 1);
  EXPECT_EQ(mb.err, ERROR_BAD_NUMBER);
}

TEST(ReadArgsTemplate, KeywordOnlyAndRequired) {
  Parse k("NAME/K", "foo", 1);
  EXPECT_FALSE(k.ok);
  EXPECT_EQ(k.err, ERROR_TOO_MANY_ARGS);
  Parse k2("NAME/K", "name foo", 1);
  ASSERT_TRUE(k2.ok);
  EXPECT_EQ(k2.Str(0), "foo");

  Parse a("FROM/A,TO/A", "a", 2);
  EXPECT_EQ(a.err, ERROR_REQUIRED_ARG_MISSING);
  Parse ak("KEY/A/K,OTHER", "x", 2);
  EXPECT_EQ(ak.err, ERROR_REQUIRED_ARG_MISSING);
  Parse none("FROM/A", "", 1);
  EXPECT_EQ(none.err, ERROR_REQUIRED_ARG_MISSING);

  // A keyword with nothing after it.
  for (const char *text : {"a TO", "a TO=", "a TO =", "STATION"}) {
    Parse p(strcmp(text, "STATION") ? "FROM/A,TO/A" : "STATION/F", text, 2);
    EXPECT_FALSE(p.ok) << text;
    EXPECT_EQ(p.err, ERROR_KEY_NEEDS_ARG) << text;
  }
  Parse many("FROM/A,TO/A", "a b c", 2);
  EXPECT_EQ(many.err, ERROR_TOO_MANY_ARGS);
}

TEST(ReadArgsTemplate, Multiple) {
  // The classic example: switches mixed in with the names.
  Parse p("DIR/M,ALL/S", "foo bar all qwe", 2);
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.Multi(0), (std::vector<std::string>{"foo", "bar", "qwe"}));
  EXPECT_NE(p.array[1], 0u);
  // Required items after /M take the last names.
  Parse c("FROM/A/M,TO/A", "a b c", 2);
  ASSERT_TRUE(c.ok);
  EXPECT_EQ(c.Multi(0), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(c.Str(1), "c");
  Parse one("FROM/A/M,TO/A", "a", 2);
  EXPECT_EQ(one.err, ERROR_REQUIRED_ARG_MISSING);
  Parse two("FROM/M,TO/A", "TO x", 2, kUntouched);
  ASSERT_TRUE(two.ok);
  EXPECT_EQ(two.array[0], kUntouched); // an empty /M is not given
  EXPECT_EQ(two.Str(1), "x");
  Parse kw("FROM/M,TO/A", "FROM a TO b c", 2);
  ASSERT_TRUE(kw.ok);
  EXPECT_EQ(kw.Multi(0), (std::vector<std::string>{"a", "c"}));
  EXPECT_EQ(kw.Str(1), "b");
}

TEST(ReadArgsTemplate, RestOfLine) {
  const char *t = "STATION/F,NEXT/S";
  Parse p(t, "  Rock/Radio X  NEXT  ", 2);
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.Str(0), "Rock/Radio X  NEXT");
  EXPECT_EQ(p.array[1], 0u);
  Parse k(t, "NEXT", 2);
  ASSERT_TRUE(k.ok);
  EXPECT_EQ(k.array[0], 0u);
  EXPECT_NE(k.array[1], 0u);
  Parse q(t, "\"Radio *\"X*\"\"", 2);
  ASSERT_TRUE(q.ok);
  EXPECT_EQ(q.Str(0), "Radio \"X\"");
  // Quotes that do not enclose exactly one string stay as they are.
  Parse raw(t, "\"A \"B\" C\"", 2);
  ASSERT_TRUE(raw.ok);
  EXPECT_EQ(raw.Str(0), "\"A \"B\" C\"");
  Parse eq("A,REST/F", "x REST = y z", 2);
  ASSERT_TRUE(eq.ok);
  EXPECT_EQ(eq.Str(1), "y z");
  // /F takes keywords along once it has started.
  Parse after(t, "x = NEXT", 2);
  ASSERT_TRUE(after.ok);
  EXPECT_EQ(after.Str(0), "x = NEXT");
}

TEST(ReadArgsTemplate, QuotesEscapesAndLineEnd) {
  Parse p("A,B,C", "\"a*\"b*Nc*Ed**\" \"x y\"z", 3);
  ASSERT_TRUE(p.ok) << p.err;
  EXPECT_EQ(p.Str(0), "a\"b\nc\x1b" "d*");
  EXPECT_EQ(p.Str(1), "x y");
  EXPECT_EQ(p.Str(2), "z"); // the quoted item ends at its quote
  Parse eq("X,Y", "a=b", 2);
  ASSERT_TRUE(eq.ok);
  EXPECT_EQ(eq.Str(0), "a");
  EXPECT_EQ(eq.Str(1), "b");
  for (const char *bad : {"\"abc", "x \"a*\"", "\"abc*"}) {
    Parse u("X,Y", bad, 2);
    EXPECT_FALSE(u.ok) << bad;
    EXPECT_EQ(u.err, ERROR_UNMATCHED_QUOTES) << bad;
  }
  // The line ends at its line feed or at a ';' comment.
  Parse lf("X", "a\nb c", 1);
  ASSERT_TRUE(lf.ok);
  EXPECT_EQ(lf.Str(0), "a");
  Parse comment("N/M", "a ;b c", 1);
  ASSERT_TRUE(comment.ok);
  EXPECT_EQ(comment.Multi(0), (std::vector<std::string>{"a"}));
  Parse stray("X,Y", "a = b", 2);
  EXPECT_EQ(stray.err, ERROR_BAD_TEMPLATE);
}

TEST(ReadArgsTemplate, BadTemplatesAndLimits) {
  for (const char *t : {"A/X", "A/M,B/M", "/S", "A/", "A/AK"}) {
    Parse p(t, "x", 3);
    EXPECT_FALSE(p.ok) << t;
    EXPECT_EQ(p.err, ERROR_BAD_TEMPLATE) << t;
  }
  // An empty template takes no argument at all.
  Parse e("", "", 0);
  EXPECT_TRUE(e.ok);
  Parse e2("", "x", 0);
  EXPECT_EQ(e2.err, ERROR_TOO_MANY_ARGS);

  Parse longest("A", std::string(MAX_ARGLINE - 1, 'x'), 1);
  ASSERT_TRUE(longest.ok);
  EXPECT_EQ(longest.Str(0).size(), static_cast<size_t>(MAX_ARGLINE - 1));
  Parse tooLong("A", std::string(MAX_ARGLINE, 'x'), 1);
  EXPECT_EQ(tooLong.err, ERROR_LINE_TOO_LONG);
}

TEST(ReadArgsTemplate, ReadItemKeepsTheOriginalQuirks) {
  char text[] = "key=value \"q *\"x\" ; rest\n";
  CSource cs{text, static_cast<LONG>(strlen(text)), 0};
  char buf[16];
  EXPECT_EQ(ReadItem(buf, sizeof buf, &cs), ITEM_UNQUOTED);
  EXPECT_STREQ(buf, "key");
  EXPECT_EQ(ReadItem(buf, sizeof buf, &cs), ITEM_UNQUOTED); // the '=' went with "key"
  EXPECT_STREQ(buf, "value");
  EXPECT_EQ(ReadItem(buf, sizeof buf, &cs), ITEM_QUOTED);
  EXPECT_STREQ(buf, "q \"x");
  EXPECT_EQ(ReadItem(buf, sizeof buf, &cs), ITEM_NOTHING);
  char small[3];
  CSource cs2{text, static_cast<LONG>(strlen(text)), 0};
  EXPECT_EQ(ReadItem(small, sizeof small, &cs2), ITEM_ERROR);
  EXPECT_EQ(IoErr(), ERROR_BUFFER_OVERFLOW);
}

TEST(ReadArgsTemplate, BlockReuseAndOwnership) {
  // The same block twice without FreeArgs in between leaks nothing (ASan
  // would tell), and a block ReadArgs made itself is freed by FreeArgs.
  auto *rda = static_cast<RDArgs *>(AllocDosObject(DOS_RDARGS, nullptr));
  ASSERT_NE(rda, nullptr);
  std::string a = "one\n", b = "two\n";
  IPTR arr[2] = {};
  rda->RDA_Source = {a.data(), static_cast<LONG>(a.size()), 0};
  ASSERT_EQ(ReadArgs("A", arr, rda), rda);
  EXPECT_STREQ(reinterpret_cast<char *>(arr[0]), "one");
  rda->RDA_Source = {b.data(), static_cast<LONG>(b.size()), 0};
  ASSERT_EQ(ReadArgs("A", arr, rda), rda);
  EXPECT_STREQ(reinterpret_cast<char *>(arr[0]), "two");
  FreeArgs(rda);
  FreeArgs(rda); // twice is harmless
  FreeDosObject(DOS_RDARGS, rda);

  char *argv[] = {const_cast<char *>("prog"), const_cast<char *>("x"), nullptr};
  platform::SetProgramArguments(2, argv);
  IPTR arr2[2] = {};
  RDArgs *own = ReadArgs("A", arr2, nullptr);
  ASSERT_NE(own, nullptr);
  EXPECT_STREQ(reinterpret_cast<char *>(arr2[0]), "x");
  FreeArgs(own);
  platform::SetProgramArguments(1, argv);
}

} // namespace
