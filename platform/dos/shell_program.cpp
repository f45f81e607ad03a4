#include "dos/shell_program.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "dos/dos.h"
#include "dos/rdargs.h"
#include "exec/text.h"

namespace platform {
namespace {

std::string DefaultRoot() {
  if (const char *r = std::getenv("MELODUNE_ROOT"); r && *r)
    return r;
  std::string data;
  if (const char *x = std::getenv("XDG_DATA_HOME"); x && *x)
    data = x;
  else if (const char *h = std::getenv("HOME"); h && *h)
    data = std::string(h) + "/.local/share";
  else
    return "";
  return data + "/melodune";
}

bool MakeDirs(const std::string &path) {
  for (size_t i = 1; i <= path.size(); ++i)
    if (i == path.size() || path[i] == '/')
      if (mkdir(path.substr(0, i).c_str(), 0755) != 0 && errno != EEXIST)
        return false;
  return true;
}

} // namespace

bool StartShellProgram(int argc, char **argv) {
  SetProgramArguments(argc, argv);
  std::string root = DefaultRoot();
  if (root.empty() || !MakeDirs(root) || !SetDosRoot(root))
    return false;
  EnableHostNames(true);
  char cwd[PATH_MAX], real[PATH_MAX];
  std::string base = DosRoot();
  if (!getcwd(cwd, sizeof cwd) || !realpath(cwd, real))
    return true;
  std::string here = real;
  std::string name;
  if (here.size() > base.size() + 1 && here.compare(0, base.size(), base) == 0 && here[base.size()] == '/') {
    // Inside the root: ROOT/VOLUME/a/b becomes "VOLUME:a/b".
    std::string rel = here.substr(base.size() + 1);
    size_t slash = rel.find('/');
    name = slash == std::string::npos ? rel + ":" : rel.substr(0, slash) + ":" + rel.substr(slash + 1);
  } else {
    // Anywhere else: the same drawer on HOST:.
    name = std::string(kHostVolume) + ":" + here.substr(1);
  }
  std::string latin = Utf8ToLatin1(name);
  if (BPTR lock = Lock(latin.c_str(), SHARED_LOCK))
    UnLock(CurrentDir(lock));
  return true;
}

} // namespace platform
