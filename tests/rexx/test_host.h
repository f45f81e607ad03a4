// A script host for tests: a task with a public port that answers
//   ECHO text  -> 0, result "text"
//   LONG n     -> 0, a result of n 'x'
//   FAIL       -> 10, no result
//   NONE       -> 0, no result
// and anything else with 10 (unknown command). Messages still waiting when
// it stops are answered with 10, the way a closing host does.
#pragma once

#include <atomic>
#include <cstdlib>
#include <string>
#include <vector>

#include "exec/exec.h"
#include "rexx/rexx.h"

class TestHost {
public:
  explicit TestHost(std::string name, bool holdReplies = false) : name_(std::move(name)), hold_(holdReplies) {
    task_ = platform::CreateTask("test host", 0, [this] { Run(); });
    while (!ready_.load()) platform::WaitTimeout(0, 1);
  }
  ~TestHost() { Stop(); }

  void Stop() {
    if (!task_) return;
    Signal(task_, SIGBREAKF_CTRL_C);
    platform::JoinTask(task_);
    task_ = nullptr;
  }
  struct MsgPort *port() const { return port_; }
  int handled() const { return handled_.load(); }
  int seen() const { return seen_.load(); }
  // Commands seen by this host, in order (read after Stop).
  const std::vector<std::string> &commands() const { return commands_; }

private:
  void Answer(struct RexxMsg *rm) {
    std::string cmd(ARG0(rm), LengthArgstring(ARG0(rm)));
    commands_.push_back(cmd);
    std::string word = cmd.substr(0, cmd.find(' '));
    std::string arg = cmd.find(' ') == std::string::npos ? "" : cmd.substr(cmd.find(' ') + 1);
    LONG rc = 0;
    std::string result;
    bool hasResult = true;
    if (word == "ECHO") result = arg;
    else if (word == "LONG") result.assign(std::strtoul(arg.c_str(), nullptr, 10), 'x');
    else if (word == "NONE") hasResult = false;
    else rc = 10;
    rm->rm_Result1 = rc;
    rm->rm_Result2 = 0;
    if (rc == 0 && hasResult && (rm->rm_Action & RXFF_RESULT))
      rm->rm_Result2 = reinterpret_cast<IPTR>(CreateArgstring(result.data(), static_cast<ULONG>(result.size())));
    ++handled_;
  }

  void Run() {
    port_ = CreateMsgPort();
    port_->mp_Node.ln_Name = name_.data();
    port_->mp_Node.ln_Pri = 0;
    AddPort(port_);
    ready_ = true;
    for (;;) {
      ULONG got = Wait((1u << port_->mp_SigBit) | SIGBREAKF_CTRL_C);
      if (got & SIGBREAKF_CTRL_C) break;
      if (hold_) continue;
      while (struct Message *m = GetMsg(port_)) {
        auto *rm = reinterpret_cast<struct RexxMsg *>(m);
        ++seen_;
        if ((rm->rm_Action & RXCODEMASK) == RXCOMM) Answer(rm);
        else rm->rm_Result1 = 10;
        ReplyMsg(m);
      }
    }
    Forbid();
    while (struct Message *m = GetMsg(port_)) {
      auto *rm = reinterpret_cast<struct RexxMsg *>(m);
      ++seen_;
      rm->rm_Result1 = 10;
      rm->rm_Result2 = 0;
      ReplyMsg(m);
    }
    RemPort(port_);
    DeleteMsgPort(port_);
    Permit();
  }

  std::string name_;
  bool hold_;
  struct Task *task_ = nullptr;
  struct MsgPort *port_ = nullptr;
  std::atomic<bool> ready_{false};
  std::atomic<int> handled_{0}, seen_{0};
  std::vector<std::string> commands_;
};
