// Between the interpreter side of rx (which sees only Regina's header, whose
// ULONG/LONG differ from the platform's) and the platform side.
#pragma once

#include <string>

namespace rx {

struct HostReply {
  bool found = false; // false: no port of that name
  long rc = 0;
  bool hasResult = false;
  std::string result;
};

using SendFn = HostReply (*)(const std::string &host, const std::string &command, bool wantResult);

// Runs a program; returns the exit status of rx.
int RunRexx(const std::string &programName, const std::string &source, const std::string &arguments, SendFn send);

// The program with every OPTIONS instruction's expression passed through the
// function kOptionsFunction, so that rx sees OPTIONS RESULTS.
extern const char kOptionsFunction[];
std::string MarkOptions(const std::string &source);

} // namespace rx
