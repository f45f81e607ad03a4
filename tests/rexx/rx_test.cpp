// rx against a port served by this test process.

#include <gtest/gtest.h>

#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "rexx/rexx.h"
#include "support/temp_root.h"
#include "test_host.h"

extern char **environ;

namespace fs = std::filesystem;

namespace {

struct RxRun {
  int status = -1;
  std::string out, err;
};

// Runs the built rx with the given arguments (no shell involved).
RxRun RunRx(const std::vector<std::string> &args) {
  RxRun r;
  int out[2], err[2];
  if (pipe(out) != 0 || pipe(err) != 0) return r;
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, out[1], 1);
  posix_spawn_file_actions_adddup2(&fa, err[1], 2);
  posix_spawn_file_actions_addclose(&fa, out[0]);
  posix_spawn_file_actions_addclose(&fa, err[0]);
  std::string bin = std::string(MELODUNE_BIN_DIR) + "/rx";
  std::vector<char *> argv{bin.data()};
  std::vector<std::string> copy = args;
  for (auto &a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, bin.c_str(), &fa, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  close(out[1]);
  close(err[1]);
  if (rc == 0) {
    pollfd p[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    int open = 2;
    while (open > 0 && poll(p, 2, 60000) > 0) { // a guard only: rx answers at once
      for (int i = 0; i < 2; ++i) {
        if (!p[i].revents) continue;
        char buf[4096];
        ssize_t n = read(p[i].fd, buf, sizeof buf);
        if (n <= 0) {
          p[i].fd = -1;
          --open;
        } else {
          (i ? r.err : r.out).append(buf, static_cast<size_t>(n));
        }
      }
    }
    int st = 0;
    waitpid(pid, &st, 0);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  }
  close(out[0]);
  close(err[0]);
  return r;
}

class Rx : public ::testing::Test {
protected:
  void SetUp() override {
    setenv("MELODUNE_PORT_DIR", (root_ + "/ports").c_str(), 1);
    port_ = "TESTPORT" + std::to_string(getpid());
    host_ = std::make_unique<TestHost>(port_);
    ASSERT_TRUE(platform::RexxPortPublished(host_->port()));
  }
  void TearDown() override {
    host_.reset();
    unsetenv("MELODUNE_PORT_DIR");
  }
  // The program with every "PORT" replaced by the test's port name.
  std::string P(const std::string &program) const {
    std::string out;
    size_t from = 0;
    for (size_t at; (at = program.find("PORT", from)) != std::string::npos; from = at + 4)
      out += program.substr(from, at - from) + port_;
    return out + program.substr(from);
  }

  testsupport::TempRoot tmp_{"rexx-rx"};
  std::string root_ = tmp_.path(), port_;
  std::unique_ptr<TestHost> host_;
};

TEST_F(Rx, CommandSetsRcAndWithOptionsResultsResult) {
  RxRun r = RunRx({P("options results; address PORT 'ECHO hi'; say rc result")});
  EXPECT_EQ(r.out, "0 hi\n");
  EXPECT_EQ(r.status, 0);

  // A result of 2047 characters arrives whole.
  r = RunRx({P("options results; address PORT 'LONG 2047'; say rc length(result)")});
  EXPECT_EQ(r.out, "0 2047\n");

  // Without OPTIONS RESULTS no result is asked for and RESULT stays unset.
  r = RunRx({P("address PORT 'ECHO hi'; say rc result")});
  EXPECT_EQ(r.out, "0 RESULT\n");

  host_->Stop();
  EXPECT_EQ(host_->commands(), (std::vector<std::string>{"ECHO hi", "LONG 2047", "ECHO hi"}));
}

TEST_F(Rx, FailingCommandGivesItsCodeDropsResultAndRaisesError) {
  RxRun r = RunRx({P("options results; result = 'old'; address PORT 'BOGUS'; say rc; say result")});
  EXPECT_EQ(r.out, "10\nRESULT\n");
  EXPECT_NE(r.err.find("+++ RC=10 +++"), std::string::npos) << r.err;

  r = RunRx({P("signal on error; address PORT 'BOGUS'; say 'not reached'; exit\nerror: say 'trapped' rc")});
  EXPECT_EQ(r.out, "trapped 10\n");

  // Success without a result drops RESULT too.
  r = RunRx({P("options results; result = 'old'; address PORT 'NONE'; say rc result")});
  EXPECT_EQ(r.out, "0 RESULT\n");
}

TEST_F(Rx, OptionsResultsFollowsTheOptionsInstructionsAsTheyRun) {
  std::string program = P("address PORT\n"
                          "if 1 then options results /* comment */\n"
                          "'ECHO a'; say result\n"
                          "options no results\n"
                          "result = 'kept'; 'ECHO b'; say result\n"
                          "x: OPTIONS ,\n"
                          "  RESULTS\n"
                          "'ECHO c'; say result\n"
                          "options; result = 'kept'; 'ECHO d'; say result\n"
                          "options = 'a variable'; say options; say 'options results'\n");
  RxRun r = RunRx({program});
  EXPECT_EQ(r.out, "a\nkept\nc\nkept\na variable\noptions results\n") << r.err;
}

TEST_F(Rx, MissingPortIsAHostEnvironmentNotFoundFailure) {
  RxRun r = RunRx({"address NOSUCHPORT 'ECHO x'; say rc"});
  EXPECT_EQ(r.out, "-3\n");
  EXPECT_NE(r.err.find("Host environment not found: NOSUCHPORT"), std::string::npos) << r.err;

  r = RunRx({"signal on error; address NOSUCHPORT 'X'; exit 0\nerror: say 'trapped' rc; exit 5"});
  EXPECT_EQ(r.out, "trapped -3\n");
  EXPECT_EQ(r.status, 5);
}

TEST_F(Rx, RunsScriptFilesWithArgumentsAndReturnsTheirExitCode) {
  std::string script = root_ + "/test.rexx";
  std::ofstream(script) << P("/* a script */\n"
                             "parse arg first rest\n"
                             "options results\n"
                             "address PORT 'ECHO' first\n"
                             "say result '|' rest\n"
                             "exit 7\n");
  RxRun r = RunRx({script, "one", "two", "three"});
  EXPECT_EQ(r.out, "one | two three\n");
  EXPECT_EQ(r.status, 7);

  // A program that does not parse: the interpreter's error, status 10.
  r = RunRx({"say 'unterminated"});
  EXPECT_EQ(r.status, 10);
  EXPECT_NE(r.err.find("Error"), std::string::npos);

  r = RunRx({});
  EXPECT_EQ(r.status, 10);
  EXPECT_NE(r.err.find("Usage: rx SCRIPT|PROGRAM [ARGUMENTS]"), std::string::npos);
}

} // namespace
