// Splitting command lines.
#include <gtest/gtest.h>

#include "dos/cmdline.h"
#include "dos/dos.h"

using platform::CommandBaseName;
using platform::ParseCommandLine;
using platform::ParsedCommand;

TEST(CommandLine, SplitsNameAndArguments) {
  ParsedCommand pc;
  struct Split {
    const char *line, *name, *arguments;
  };
  for (const Split &c : {Split{"c:Clip STR \"Artist - Song\"", "c:Clip", "STR \"Artist - Song\"\n"},
                         Split{"  \tRename  \"a b\" to c\n", "Rename", " \"a b\" to c\n"},
                         Split{"\"Sys:C/My *\"Tool*\"\" x\r\n", "Sys:C/My \"Tool\"", "x\n"},
                         Split{"MakeDir", "MakeDir", "\n"}}) {
    ASSERT_EQ(ParseCommandLine(c.line, pc), 0) << c.line;
    EXPECT_EQ(pc.name, c.name) << c.line;
    EXPECT_EQ(pc.arguments, c.arguments) << c.line;
  }
  // Nothing to run.
  for (const char *empty : {"", "   ", "\n", "; a comment"}) {
    ASSERT_EQ(ParseCommandLine(empty, pc), 0) << empty;
    EXPECT_TRUE(pc.name.empty() && pc.arguments.empty()) << empty;
  }
}

TEST(CommandLine, RefusesWhatCouldHideASecondCommand) {
  ParsedCommand pc;
  EXPECT_EQ(ParseCommandLine("c:Clip STR \"a\nRename x y\"", pc), ERROR_LINE_TOO_LONG);
  EXPECT_EQ(ParseCommandLine("Copy a b\rDelete c", pc), ERROR_LINE_TOO_LONG);
  EXPECT_EQ(ParseCommandLine(std::string_view("Copy a\0b", 8), pc), ERROR_LINE_TOO_LONG);
  EXPECT_EQ(ParseCommandLine("\"c:Clip STR x", pc), ERROR_UNMATCHED_QUOTES);
  EXPECT_EQ(ParseCommandLine("\"c:Clip*", pc), ERROR_UNMATCHED_QUOTES);
  EXPECT_EQ(ParseCommandLine("\"c:Clip*NRename\" x y", pc), ERROR_INVALID_COMPONENT_NAME);
  std::string longest = "Clip " + std::string(platform::kMaxCommandLine - 5, 'x');
  EXPECT_EQ(ParseCommandLine(longest, pc), 0);
  EXPECT_EQ(ParseCommandLine(longest + "x", pc), ERROR_LINE_TOO_LONG);
  // Semicolons and shell characters are only text to the argument parser.
  ASSERT_EQ(ParseCommandLine("Clip STR x; rm -rf / | cat $(id) `id` &", pc), 0);
  EXPECT_EQ(pc.name, "Clip");
}

TEST(CommandLine, BaseName) {
  EXPECT_EQ(CommandBaseName("Sys:C/Copy"), "Copy");
  EXPECT_EQ(CommandBaseName("c:Clip"), "Clip");
  EXPECT_EQ(CommandBaseName("Rename"), "Rename");
  EXPECT_EQ(CommandBaseName("C:"), "");
  EXPECT_EQ(CommandBaseName("/x/"), "");
}
