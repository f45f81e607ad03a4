// Clip and Open: the two commands that reach the Linux desktop. Programs are
// started with posix_spawn and an argument vector, never through a shell, and
// only the fixed names below are looked for on $PATH.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "dos/system_private.h"
#include "exec/text.h"

extern char **environ;

namespace platform::sys {

namespace {

constexpr int kClipWaitMs = 5000;
constexpr int kOpenWaitMs = 5000;

// Children still running after their wait; collected later so none stays a zombie for long.
std::mutex g_childMutex;
std::vector<pid_t> g_children;

bool EnvSet(const char *name) {
  const char *v = getenv(name);
  return v && *v;
}

bool WriteAllTo(int fd, const std::string &data, std::chrono::steady_clock::time_point deadline) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0)
        return false;
      pollfd p{fd, POLLOUT, 0};
      poll(&p, 1, static_cast<int>(left.count()));
      continue;
    }
    return false;
  }
  return true;
}

// An address for the web opener: http, https, ftp or mailto, no control characters.
bool IsWebAddress(const std::string &s) {
  static const char *const kSchemes[] = {"http://", "https://", "ftp://", "mailto:"};
  bool known = false;
  for (const char *scheme : kSchemes) {
    size_t n = strlen(scheme);
    if (s.size() > n && EqualsNoCaseLatin1(std::string_view(s).substr(0, n), scheme))
      known = true;
  }
  if (!known)
    return false;
  for (unsigned char c : s)
    if (c < 0x20 || c == 0x7f)
      return false;
  return true;
}

} // namespace

std::string FindOnPath(const char *program) {
  const char *path = getenv("PATH");
  if (!path || !*path)
    return "";
  std::string_view rest(path);
  while (true) {
    size_t colon = rest.find(':');
    std::string dir(rest.substr(0, colon));
    // Only absolute folders: an empty or relative entry would mean the current directory.
    if (!dir.empty() && dir[0] == '/') {
      std::string full = dir + "/" + program;
      struct stat st {};
      if (stat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(full.c_str(), X_OK) == 0)
        return full;
    }
    if (colon == std::string_view::npos)
      break;
    rest.remove_prefix(colon + 1);
  }
  return "";
}

SpawnResult Spawn(const std::string &path, const std::vector<std::string> &argv, const std::string *stdinText,
                  int waitMs) {
  SpawnResult result;
  int sv[2] = {-1, -1};
  if (stdinText && socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0)
    return result;

  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  if (stdinText)
    posix_spawn_file_actions_adddup2(&fa, sv[1], 0);
  else
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&fa, 1, 2);
  posix_spawn_file_actions_addclosefrom_np(&fa, 3);

  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  // Its own process group: a Ctrl-C for the player does not close the browser.
  posix_spawnattr_setpgroup(&attr, 0);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

  std::vector<char *> args;
  for (const auto &a : argv)
    args.push_back(const_cast<char *>(a.c_str()));
  args.push_back(nullptr);

  pid_t pid = -1;
  int rc = posix_spawn(&pid, path.c_str(), &fa, &attr, args.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  posix_spawnattr_destroy(&attr);
  if (stdinText)
    close(sv[1]);
  if (rc != 0) {
    if (stdinText)
      close(sv[0]);
    return result;
  }
  result.started = true;

  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  if (stdinText) {
    WriteAllTo(sv[0], *stdinText, deadline);
    close(sv[0]); // end of input
  }
  for (;;) {
    int status = 0;
    pid_t w = waitpid(pid, &status, WNOHANG);
    if (w == pid) {
      result.exited = true;
      result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
      return result;
    }
    if (w < 0 && errno != EINTR) {
      // Someone else reaped it (SIGCHLD ignored): it ended, outcome unknown.
      result.exited = true;
      result.exitCode = 0;
      return result;
    }
    if (std::chrono::steady_clock::now() >= deadline)
      break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  std::lock_guard g(g_childMutex);
  g_children.push_back(pid);
  return result;
}

void ReapChildren() {
  std::lock_guard g(g_childMutex);
  for (auto it = g_children.begin(); it != g_children.end();) {
    int status = 0;
    pid_t w = waitpid(*it, &status, WNOHANG);
    if (w == *it || (w < 0 && errno == ECHILD))
      it = g_children.erase(it);
    else
      ++it;
  }
}

LONG CmdClip(CommandContext &ctx, IPTR *args) {
  std::string text = StripOuterQuotes(reinterpret_cast<STRPTR>(args[0]));
  ReapChildren();
  if (EnvSet("WAYLAND_DISPLAY") || EnvSet("DISPLAY")) {
    std::string utf8 = Latin1ToUtf8(text);
    struct Tool {
      const char *name;
      std::vector<std::string> argv;
      const char *needs;
    };
    const Tool tools[] = {
        {"wl-copy", {"wl-copy"}, "WAYLAND_DISPLAY"},
        {"xclip", {"xclip", "-selection", "clipboard"}, "DISPLAY"},
        {"xsel", {"xsel", "--clipboard", "--input"}, "DISPLAY"},
    };
    for (const auto &t : tools) {
      if (!EnvSet(t.needs))
        continue;
      std::string path = FindOnPath(t.name);
      if (path.empty())
        continue;
      SpawnResult r = Spawn(path, t.argv, &utf8, kClipWaitMs);
      // Still running means it is serving the selection: that is success.
      if (r.started && (!r.exited || r.exitCode == 0)) {
        SetIoErr(0);
        return RETURN_OK;
      }
    }
  }
  // No desktop clipboard: the text goes to T:Clipboard, as Latin-1.
  BPTR fh = Open("T:Clipboard", MODE_NEWFILE);
  if (!fh) {
    LONG err = IoErr();
    SayFault(ctx, err, "Clip: T:Clipboard");
    SetIoErr(err);
    return RETURN_ERROR;
  }
  LONG written = Write(fh, text.data(), static_cast<LONG>(text.size()));
  LONG err = written == static_cast<LONG>(text.size()) ? 0 : (IoErr() ? IoErr() : ERROR_DISK_FULL);
  if (Close(fh) == DOSFALSE && !err)
    err = IoErr() ? IoErr() : ERROR_DISK_FULL;
  if (err) {
    SayFault(ctx, err, "Clip: T:Clipboard");
    SetIoErr(err);
    return RETURN_ERROR;
  }
  SetIoErr(0);
  return RETURN_OK;
}

LONG CmdOpen(CommandContext &ctx, IPTR *args) {
  std::string name = StripOuterQuotes(reinterpret_cast<STRPTR>(args[0]));
  ReapChildren();
  // Only web addresses go to the desktop's opener: a file name would let a
  // text from outside (a stream title) start whatever the desktop runs for
  // that file.
  if (!IsWebAddress(name)) {
    SayFault(ctx, ERROR_OBJECT_WRONG_TYPE, "Open: " + name);
    SetIoErr(ERROR_OBJECT_WRONG_TYPE);
    return RETURN_ERROR;
  }
  const std::string target = Latin1ToUtf8(name);
  std::string opener = FindOnPath("xdg-open");
  if (opener.empty()) {
    Say(ctx, "Open: no desktop opener (xdg-open) found\n");
    SetIoErr(ERROR_OBJECT_NOT_FOUND);
    return RETURN_FAIL;
  }
  SpawnResult r = Spawn(opener, {"xdg-open", target}, nullptr, kOpenWaitMs);
  if (!r.started) {
    SetIoErr(ERROR_OBJECT_NOT_FOUND);
    return RETURN_FAIL;
  }
  if (r.exited && r.exitCode != 0) {
    SetIoErr(r.exitCode == 2 ? ERROR_OBJECT_NOT_FOUND : ERROR_ACTION_NOT_KNOWN);
    SayFault(ctx, IoErr(), "Open: " + name);
    return RETURN_ERROR;
  }
  SetIoErr(0);
  return RETURN_OK;
}

} // namespace platform::sys
