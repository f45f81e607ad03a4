// The built `screenbar` program, run as a person (or a script) runs it:
// headless, on a fresh root, stopped with a signal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_root.h"

extern char **environ;

namespace fs = std::filesystem;

namespace {

const std::string kScreenbar = std::string(MELODUNE_BIN_DIR) + "/screenbar";
const std::string kTestBar = std::string(MELODUNE_BIN_DIR) + "/TestBar.sbar";

class Program {
public:
  explicit Program(const std::vector<std::string> &args) {
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_adddup2(&fa, err[1], 2);
    std::vector<char *> argv{const_cast<char *>(kScreenbar.c_str())};
    for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, kScreenbar.c_str(), &fa, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&fa);
    close(out[1]);
    close(err[1]);
    out_ = out[0];
    err_ = err[0];
  }
  ~Program() {
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
    if (err_ >= 0) close(err_);
  }
  bool Started() const { return pid_ > 0; }
  void Signal(int sig) { kill(pid_, sig); }

  // Reads both outputs until stdout holds text (or the program ends).
  bool WaitForOutput(const std::string &text, int ms = 20000) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (out.find(text) == std::string::npos) {
      if (std::chrono::steady_clock::now() > until || !Pump(50)) return out.find(text) != std::string::npos;
    }
    return true;
  }
  // Exit code, or -1 when it did not end in time (or ended by a signal).
  int Wait(int ms = 20000) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    int status = 0;
    while (std::chrono::steady_clock::now() < until) {
      Pump(20);
      pid_t r = waitpid(pid_, &status, WNOHANG);
      if (r == pid_) {
        exited_ = true;
        while (Pump(0)) {
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
    }
    return -1;
  }

  std::string out, err;

private:
  // False once both outputs are closed.
  bool Pump(int ms) {
    pollfd p[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
    int open = (out_ >= 0) + (err_ >= 0);
    if (!open) return false;
    if (poll(p, 2, ms) <= 0) return true;
    for (int i = 0; i < 2; ++i) {
      if (!(p[i].revents & (POLLIN | POLLHUP))) continue;
      char buf[4096];
      ssize_t n = read(p[i].fd, buf, sizeof buf);
      int &fd = i == 0 ? out_ : err_;
      if (n <= 0) {
        close(fd);
        fd = -1;
      } else {
        (i == 0 ? out : err).append(buf, static_cast<size_t>(n));
      }
    }
    return true;
  }
  pid_t pid_ = -1;
  int out_ = -1, err_ = -1;
  bool exited_ = false;
};

class ProgramTest : public ::testing::Test {
protected:
  testsupport::TempRoot tmp{"host-program"};
  std::string root = tmp / "root";
};

TEST_F(ProgramTest, HeadlessRunStopsCleanlyOnSigterm) {
  Program p({"--headless", "--root", root, "--screens", "2", "--clock-rate", "10", "--plugin", kTestBar,
             "--audio", "null"});
  ASSERT_TRUE(p.Started());
  ASSERT_TRUE(p.WaitForOutput("screenbar: TestBar on 2 screens, root " + root)) << p.out << p.err;
  // A first start fills the root from the skeleton shipped with the build.
  EXPECT_TRUE(fs::exists(root + "/SYS/Data/Screenbar/Melodune/Stations_default.txt"));
  EXPECT_TRUE(fs::is_directory(root + "/ENVARC"));
  p.Signal(SIGTERM);
  EXPECT_EQ(p.Wait(), 0) << p.err;
  EXPECT_NE(p.err.find("screenbar: terminated, shutting down"), std::string::npos) << p.err;
  EXPECT_EQ(p.err.find("not everything ended"), std::string::npos) << p.err;
}

TEST_F(ProgramTest, SigintStopsItToo) {
  Program p({"--headless", "--root", root, "--plugin", kTestBar});
  ASSERT_TRUE(p.Started());
  ASSERT_TRUE(p.WaitForOutput("screenbar: TestBar on 1 screen, root")) << p.out << p.err;
  p.Signal(SIGINT);
  EXPECT_EQ(p.Wait(), 0) << p.err;
  EXPECT_NE(p.err.find("screenbar: interrupted, shutting down"), std::string::npos) << p.err;
}

TEST_F(ProgramTest, StartFailuresEndWithAMessageAndACode) {
  Program bad({"--screens", "0"});
  ASSERT_TRUE(bad.Started());
  EXPECT_EQ(bad.Wait(), 2);
  EXPECT_NE(bad.err.find("--screens: expected 1 to 16"), std::string::npos) << bad.err;
  EXPECT_NE(bad.err.find("usage: screenbar"), std::string::npos) << bad.err;

  Program broken({"--headless", "--root", root, "--plugin", std::string(MELODUNE_BIN_DIR) + "/TestBarBroken.sbar"});
  ASSERT_TRUE(broken.Started());
  EXPECT_EQ(broken.Wait(), 1);
  EXPECT_NE(broken.err.find("TestBarBroken.sbar: the library did not open"), std::string::npos) << broken.err;
}

} // namespace
