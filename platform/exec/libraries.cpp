#include <memory>
#include <string>
#include <vector>

#include "exec/exec.h"
#include "exec/text.h"

namespace {

struct LibraryEntry {
  std::string name;
  std::string id;
  Library lib{};
  bool hidden = false;
};

struct LibraryTable {
  std::mutex lock;
  std::vector<std::unique_ptr<LibraryEntry>> entries;

  LibraryEntry *find(std::string_view name) {
    for (auto &e : entries)
      if (platform::EqualsNoCaseLatin1(e->name, name)) return e.get();
    return nullptr;
  }
};

LibraryTable &Table() {
  static LibraryTable t;
  return t;
}

// Libraries whose calls are plain functions of the platform.
struct BuiltIn {
  BuiltIn() {
    platform::RegisterLibrary("exec.library", 50, 0);
    platform::RegisterLibrary("utility.library", 50, 0);
    platform::RegisterLibrary("intuition.library", 51, 0);
    platform::RegisterLibrary("graphics.library", 51, 0);
    platform::RegisterLibrary("cybergraphics.library", 52, 0);
    platform::RegisterLibrary("locale.library", 51, 0);
    platform::RegisterLibrary("extras.library", 3, 0);
  }
} builtIn;

} // namespace

struct Library *OpenLibrary(CONST_STRPTR libName, ULONG version) {
  if (!libName) return nullptr;
  auto &t = Table();
  std::lock_guard g(t.lock);
  LibraryEntry *e = t.find(libName);
  if (!e || e->hidden || e->lib.lib_Version < version) return nullptr;
  ++e->lib.lib_OpenCnt;
  return &e->lib;
}

void CloseLibrary(struct Library *library) {
  if (!library) return;
  auto &t = Table();
  std::lock_guard g(t.lock);
  if (library->lib_OpenCnt) --library->lib_OpenCnt;
}

namespace platform {

struct Library *RegisterLibrary(CONST_STRPTR libName, UWORD version, UWORD revision, CONST_STRPTR idString) {
  auto &t = Table();
  std::lock_guard g(t.lock);
  LibraryEntry *e = t.find(libName);
  if (!e) {
    t.entries.push_back(std::make_unique<LibraryEntry>());
    e = t.entries.back().get();
    e->name = libName;
  }
  e->id = idString ? idString : "";
  e->lib.lib_Node.ln_Name = e->name.data();
  e->lib.lib_Node.ln_Type = NT_LIBRARY;
  e->lib.lib_Version = version;
  e->lib.lib_Revision = revision;
  e->lib.lib_IdString = e->id.c_str();
  return &e->lib;
}

void HideLibrary(CONST_STRPTR libName, bool hidden) {
  auto &t = Table();
  std::lock_guard g(t.lock);
  if (LibraryEntry *e = t.find(libName)) e->hidden = hidden;
}

} // namespace platform
