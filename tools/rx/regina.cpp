// The interpreter side of rx: runs a program in Regina and routes every host
// command to the script port named by its ADDRESS environment.

#define INCL_REXXSAA
#include <rexxsaa.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "bridge.h"

namespace {

rx::SendFn gSend = nullptr;
bool gResults = false; // OPTIONS RESULTS in effect

// The interpreter traces a failed command with the condition's flag instead
// of its return code; the trace line of our last failed command is put right.
struct {
  bool pending = false;
  long rc = 0;
  bool missing = false;
  std::string host;
} gFailed;

constexpr long kHostNotFound = -3; // the usual "command not found" failure code

void SetVariable(const char *name, const std::string *value) {
  SHVBLOCK b{};
  MAKERXSTRING(b.shvname, const_cast<char *>(name), std::strlen(name));
  if (value) {
    MAKERXSTRING(b.shvvalue, const_cast<char *>(value->data()), value->size());
    b.shvcode = RXSHV_SET;
  } else {
    b.shvcode = RXSHV_DROPV;
  }
  RexxVariablePool(&b);
}

void PutString(RXSTRING *out, const std::string &text) {
  if (text.size() > out->strlength || !out->strptr) {
    out->strptr = static_cast<char *>(RexxAllocateMemory(text.size() + 1));
    if (!out->strptr) {
      out->strlength = 0;
      return;
    }
  }
  std::memcpy(out->strptr, text.data(), text.size());
  out->strlength = text.size();
}

APIRET APIENTRY OptionsFunction(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING ret) {
  std::string text = argc && argv[0].strptr ? std::string(argv[0].strptr, argv[0].strlength) : std::string();
  std::string word, previous;
  bool any = false;
  for (size_t i = 0; i <= text.size(); ++i) {
    char c = i < text.size() ? text[i] : ' ';
    if (c != ' ' && c != '\t') {
      word += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      continue;
    }
    if (word.empty()) continue;
    any = true;
    if (word == "RESULTS") gResults = previous != "NO";
    previous = word;
    word.clear();
  }
  if (!any) gResults = false; // a bare OPTIONS restores the defaults
  PutString(ret, text);
  return 0;
}

LONG APIENTRY CommandExit(LONG function, LONG subfunction, PEXIT parameters) {
  if (function != RXCMD || subfunction != RXCMDHST) return RXEXIT_NOT_HANDLED;
  auto *p = reinterpret_cast<RXCMDHST_PARM *>(parameters);
  std::string host(reinterpret_cast<const char *>(p->rxcmd_address), p->rxcmd_addressl);
  std::string command(p->rxcmd_command.strptr ? p->rxcmd_command.strptr : "", p->rxcmd_command.strlength);
  rx::HostReply reply = gSend(host, command, gResults);
  long rc = reply.found ? reply.rc : kHostNotFound;
  if (!reply.found) p->rxcmd_flags.rxfcfail = 1;
  else if (rc != 0) p->rxcmd_flags.rxfcerr = 1;
  gFailed.pending = rc != 0;
  gFailed.rc = rc;
  gFailed.missing = !reply.found;
  gFailed.host = host;
  PutString(&p->rxcmd_retc, std::to_string(rc));
  // With OPTIONS RESULTS a command sets RESULT, or drops it when it fails or
  // gives none; without, RESULT is left alone.
  if (gResults) SetVariable("RESULT", reply.found && rc == 0 && reply.hasResult ? &reply.result : nullptr);
  return RXEXIT_HANDLED;
}

LONG APIENTRY OutputExit(LONG function, LONG subfunction, PEXIT parameters) {
  if (function != RXSIO || subfunction != RXSIOTRC || !gFailed.pending) return RXEXIT_NOT_HANDLED;
  auto *p = reinterpret_cast<RXSIOTRC_PARM *>(parameters);
  std::string line(p->rxsio_string.strptr ? p->rxsio_string.strptr : "", p->rxsio_string.strlength);
  size_t at = line.find_first_not_of(' ');
  if (at == std::string::npos || line.compare(at, 7, "+++ RC=") != 0 || line.size() < 4 ||
      line.compare(line.size() - 4, 4, " +++") != 0)
    return RXEXIT_NOT_HANDLED;
  gFailed.pending = false;
  std::string text = line.substr(0, at) + "+++ RC=" + std::to_string(gFailed.rc) + " +++";
  if (gFailed.missing) text += " Host environment not found: " + gFailed.host;
  std::fflush(stdout);
  std::fprintf(stderr, "%s\n", text.c_str());
  return RXEXIT_HANDLED;
}

} // namespace

namespace rx {

int RunRexx(const std::string &programName, const std::string &source, const std::string &arguments, SendFn send) {
  gSend = send;
  gResults = false;
  RexxRegisterExitExe("RXPORTCMD", CommandExit, nullptr);
  RexxRegisterExitExe("RXPORTSIO", OutputExit, nullptr);
  RexxRegisterFunctionExe(kOptionsFunction, OptionsFunction);
  RXSYSEXIT exits[] = {{const_cast<char *>("RXPORTCMD"), RXCMD},
                       {const_cast<char *>("RXPORTSIO"), RXSIO},
                       {nullptr, RXENDLST}};

  std::string program = MarkOptions(source);
  RXSTRING instore[2];
  MAKERXSTRING(instore[0], program.data(), program.size());
  MAKERXSTRING(instore[1], nullptr, 0);
  RXSTRING arg;
  MAKERXSTRING(arg, const_cast<char *>(arguments.data()), arguments.size());
  SHORT returnCode = 0;
  RXSTRING result;
  MAKERXSTRING(result, nullptr, 0);
  long started = RexxStart(arguments.empty() ? 0 : 1, &arg, programName.c_str(), instore, "REXX", RXCOMMAND, exits,
                           &returnCode, &result);
  if (result.strptr) RexxFreeMemory(result.strptr);
  std::fflush(stdout);
  if (started != 0) return 10; // the interpreter has reported the error
  return returnCode;
}

} // namespace rx

// The interpreter keeps one block for the life of the process; a leak checker
// in a sanitizer build should not count it against rx.
extern "C" const char *__lsan_default_suppressions() { return "leak:libregina.so"; }
