// SystemTagList: one command line, run by the built-in command table.
#include "dos/system.h"

#include <mutex>
#include <vector>

#include "dos/cmdline.h"
#include "dos/rdargs.h"
#include "dos/system_private.h"
#include "exec/exec.h"
#include "exec/text.h"

namespace platform::sys {

namespace {

struct Builtin {
  const char *name;
  const char *tmpl;
  LONG (*run)(CommandContext &, IPTR *);
};

const Builtin kBuiltins[] = {
    {"Rename", "FROM/A/M,TO=AS/A,QUIET/S", CmdRename},
    {"MakeDir", "NAME/M,ALL/S", CmdMakeDir},
    {"Copy", "FROM/M,TO/A,ALL/S,QUIET/S,BUF=BUFFER/K/N,CLONE/S,DATES/S,NOPRO/S,COM/S,NOREQ/S", CmdCopy},
    {"Execute", "FILE/A,ARGS/F", CmdExecute},
    {"Clip", "STR/A/F", CmdClip},
    {"Open", "NAME/A/F", CmdOpen},
    {"Echo", "/M,NOLINE/S", CmdEcho},
};

const Builtin *FindBuiltin(std::string_view name) {
  std::string_view base = CommandBaseName(name);
  for (const auto &b : kBuiltins)
    if (EqualsNoCaseLatin1(base, b.name))
      return &b;
  return nullptr;
}

size_t SlotCount(const char *tmpl) {
  size_t n = 1;
  for (const char *p = tmpl; *p; ++p)
    n += *p == ',';
  return n;
}

// Runs an already split command.
LONG RunParsed(const ParsedCommand &pc, const Builtin *b, CommandContext &ctx) {
  std::vector<IPTR> array(SlotCount(b->tmpl) + 1, 0);
  std::string text = pc.arguments;
  RDArgs rda{};
  rda.RDA_Source.CS_Buffer = text.data();
  rda.RDA_Source.CS_Length = static_cast<LONG>(text.size());
  rda.RDA_Flags = RDAF_NOPROMPT;
  if (!ReadArgs(b->tmpl, array.data(), &rda)) {
    LONG err = IoErr();
    SayFault(ctx, err, b->name);
    SetIoErr(err);
    return RETURN_FAIL;
  }
  SetIoErr(0);
  LONG rc = b->run(ctx, array.data());
  LONG err = IoErr();
  FreeArgs(&rda);
  SetIoErr(err);
  return rc;
}

// Splits the line and finds its command; on failure says why and returns false.
bool Prepare(std::string_view line, const CommandContext &ctx, ParsedCommand &pc, const Builtin *&b, LONG &err) {
  b = nullptr;
  err = ParseCommandLine(line, pc);
  if (err) {
    SayFault(ctx, err, "Command");
    return false;
  }
  if (pc.name.empty() && pc.arguments.empty())
    return true; // blank line or comment: nothing to do
  b = FindBuiltin(pc.name);
  if (!b) {
    Say(ctx, pc.name + ": Unknown command\n");
    err = ERROR_OBJECT_NOT_FOUND;
    return false;
  }
  return true;
}

// ---- asynchronous commands -----------------------------------------------------

struct AsyncTable {
  std::mutex mutex;
  std::vector<struct Task *> tasks;
};

AsyncTable &Async() {
  static auto *t = new AsyncTable;
  return *t;
}

// Joins the tasks that have finished; the others stay.
void JoinFinished() {
  std::vector<struct Task *> done;
  {
    std::lock_guard g(Async().mutex);
    auto &v = Async().tasks;
    for (auto it = v.begin(); it != v.end();) {
      if (!platform::TaskRunning(*it)) {
        done.push_back(*it);
        it = v.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto *t : done)
    platform::JoinTask(t);
}

} // namespace

LONG RunCommandLine(std::string_view line, CommandContext &ctx) {
  ParsedCommand pc;
  const Builtin *b = nullptr;
  LONG err = 0;
  if (!Prepare(line, ctx, pc, b, err)) {
    SetIoErr(err);
    return RETURN_FAIL;
  }
  if (!b) {
    SetIoErr(0);
    return RETURN_OK;
  }
  return RunParsed(pc, b, ctx);
}

void Say(const CommandContext &ctx, const std::string &text) {
  if (ctx.output && !text.empty()) {
    Write(ctx.output, text.data(), static_cast<LONG>(text.size()));
    Flush(ctx.output);
  }
}

void SayFault(const CommandContext &ctx, LONG code, const std::string &header) {
  char buf[300];
  if (Fault(code, header.c_str(), buf, sizeof buf) > 0)
    Say(ctx, std::string(buf) + "\n");
}

std::string StripOuterQuotes(std::string text) {
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
    return text.substr(1, text.size() - 2);
  return text;
}

} // namespace platform::sys

using namespace platform::sys;
using platform::ParsedCommand;

LONG SystemTagList(CONST_STRPTR command, const struct TagItem *tags) {
  if (!command) {
    SetIoErr(ERROR_REQUIRED_ARG_MISSING);
    return -1;
  }
  bool async = GetTagData(SYS_Asynch, FALSE, tags) != 0;
  const TagItem *in = FindTagItem(SYS_Input, tags);
  const TagItem *out = FindTagItem(SYS_Output, tags);
  CommandContext ctx;
  ctx.input = in ? static_cast<BPTR>(in->ti_Data) : (async ? 0 : Input());
  ctx.output = out ? static_cast<BPTR>(out->ti_Data) : (async ? 0 : Output());

  if (!async)
    return RunCommandLine(command, ctx);

  // Asynchronous: whatever cannot start is reported now, with -1.
  ParsedCommand pc;
  const Builtin *b = nullptr;
  LONG err = 0;
  CommandContext quiet; // nothing is printed for a start that fails
  if (!Prepare(command, quiet, pc, b, err)) {
    SetIoErr(err);
    return -1;
  }
  JoinFinished();
  ReapChildren();
  std::string name = reinterpret_cast<const char *>(GetTagData(NP_Name, reinterpret_cast<IPTR>("Background CLI"), tags));
  LONG pri = static_cast<LONG>(GetTagData(NP_Priority, 0, tags));
  // The caller's own standard streams are shared, never closed.
  BPTR callerIn = Input(), callerOut = Output();
  struct Task *task = platform::CreateTask(name.c_str(), pri, [pc, b, ctx, callerIn, callerOut]() mutable {
    if (b)
      RunParsed(pc, b, ctx);
    if (ctx.input && ctx.input != callerIn && ctx.input != callerOut)
      Close(ctx.input);
    if (ctx.output && ctx.output != ctx.input && ctx.output != callerIn && ctx.output != callerOut)
      Close(ctx.output);
  });
  if (!task) {
    SetIoErr(ERROR_TASK_TABLE_FULL);
    return -1;
  }
  {
    std::lock_guard g(Async().mutex);
    Async().tasks.push_back(task);
  }
  SetIoErr(0);
  return 0;
}

namespace platform {

void WaitAsyncCommands() {
  // Commands may start others; loop until none is left.
  for (;;) {
    std::vector<struct Task *> all;
    {
      std::lock_guard g(sys::Async().mutex);
      all.swap(sys::Async().tasks);
    }
    if (all.empty())
      break;
    for (auto *t : all)
      JoinTask(t);
  }
  sys::ReapChildren();
}

size_t RunningAsyncCommands() {
  std::lock_guard g(sys::Async().mutex);
  size_t n = 0;
  for (auto *t : sys::Async().tasks)
    n += TaskRunning(t) ? 1 : 0;
  return n;
}

} // namespace platform
