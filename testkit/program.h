// What the testkit programs share: walking their options, and serving until
// SIGINT or SIGTERM.
#pragma once

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <pthread.h>

namespace testkit {

// The options of a program, one after the other:
//
//   for (std::string a; args.next(a);)
//     if (a == "--port") port = args.number<uint16_t>();
class ProgramArgs {
 public:
  ProgramArgs(const char* program, int argc, char** argv) : program_(program), argc_(argc), argv_(argv) {}

  // The next option into a; false after the last.
  bool next(std::string& a) {
    if (++i_ >= argc_) return false;
    a = option_ = argv_[i_];
    return true;
  }

  // The value that follows the option; the program ends (status 2) when
  // there is none.
  std::string value() {
    if (i_ + 1 >= argc_) {
      std::fprintf(stderr, "%s: %s needs a value\n", program_, option_.c_str());
      std::exit(2);
    }
    return argv_[++i_];
  }

  // The value as a decimal number.
  template <class T>
  T number() {
    return static_cast<T>(std::strtoull(value().c_str(), nullptr, 10));
  }

 private:
  const char* program_;
  int argc_;
  char** argv_;
  int i_ = 0;
  std::string option_;
};

// SIGINT and SIGTERM are blocked from construction on, in every thread
// started after it (so make one before any server); wait() returns when
// one of them comes.
class StopSignals {
 public:
  StopSignals() {
    sigemptyset(&set_);
    sigaddset(&set_, SIGINT);
    sigaddset(&set_, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set_, nullptr);
  }
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  void wait() const {
    int sig = 0;
    sigwait(&set_, &sig);
  }

 private:
  sigset_t set_;
};

}  // namespace testkit
