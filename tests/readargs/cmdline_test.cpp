// Splitting command lines.
#include <gtest/gtest.h>

#include "dos/cmdline.h"
#include "dos/dos.h"

using platform::CommandBaseName;
using platform::ParseCommandLine;
using platform::ParsedCommand;

TEST(CommandLine, SplitsNameAndArguments) {
  ParsedCommand pc;
  ASSERT_EQ(ParseCommandLine("c:Clip STR \"Artist - Song\"", pc), 0);
  EXPECT_EQ(pc.name, "c:Clip");
  EXPECT_EQ(pc.arguments, "STR \"Artist - Song\"\n");
  ASSERT_EQ(ParseCommandLine("  \tRename  \"a b\" to c\n", pc), 0);
  EXPECT_EQ(pc.name, "Rename");
  EXPECT_EQ(pc.arguments, " \"a b\" to c\n");
  ASSERT_EQ(ParseCommandLine("\"Sys:C/My *\"Tool*\"\" x\r\n", pc), 0);
  EXPECT_EQ(pc.name, "Sys:C/My \"Tool\"");
  EXPECT_EQ(pc.arguments, "x\n");
  ASSERT_EQ(ParseCommandLine("MakeDir", pc), 0);
  EXPECT_EQ(pc.name, "MakeDir");
  EXPECT_EQ(pc.arguments, "\n");
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
