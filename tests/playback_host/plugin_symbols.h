// The plug-in keeps everything but its library entry hidden. A test that
// drives the real, dlopen'ed plug-in still wants to look at its g and call
// a few of its routines: this finds a hidden symbol through the file's
// static symbol table (present in every unstripped build) and the load
// address of the module.
#pragma once

#include <dlfcn.h>
#include <elf.h>
#include <link.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace playbacktest {

// Address of `name` in the loaded module `path`, or null.
inline void *PluginSymbol(const std::string &path, const char *name) {
  void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (!handle) return nullptr;
  void *entry = dlsym(handle, "ScreenbarLibraryEntry");
  Dl_info info{};
  const bool found = entry && dladdr(entry, &info) && info.dli_fbase;
  dlclose(handle); // the host still holds it
  if (!found) return nullptr;

  std::ifstream in(path, std::ios::binary);
  std::vector<char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (file.size() < sizeof(Elf64_Ehdr)) return nullptr;
  auto *eh = reinterpret_cast<const Elf64_Ehdr *>(file.data());
  if (std::memcmp(eh->e_ident, ELFMAG, SELFMAG) != 0 || eh->e_ident[EI_CLASS] != ELFCLASS64) return nullptr;
  if (eh->e_shoff + static_cast<size_t>(eh->e_shnum) * sizeof(Elf64_Shdr) > file.size()) return nullptr;
  auto *sh = reinterpret_cast<const Elf64_Shdr *>(file.data() + eh->e_shoff);
  for (size_t i = 0; i < eh->e_shnum; ++i) {
    if (sh[i].sh_type != SHT_SYMTAB || sh[i].sh_link >= eh->e_shnum) continue;
    const Elf64_Shdr &strs = sh[sh[i].sh_link];
    if (sh[i].sh_offset + sh[i].sh_size > file.size() || strs.sh_offset + strs.sh_size > file.size()) continue;
    auto *syms = reinterpret_cast<const Elf64_Sym *>(file.data() + sh[i].sh_offset);
    const size_t count = sh[i].sh_size / sizeof(Elf64_Sym);
    for (size_t k = 0; k < count; ++k) {
      if (syms[k].st_name >= strs.sh_size || syms[k].st_shndx == SHN_UNDEF) continue;
      if (std::strcmp(file.data() + strs.sh_offset + syms[k].st_name, name) == 0)
        return static_cast<char *>(info.dli_fbase) + syms[k].st_value;
    }
  }
  return nullptr;
}

} // namespace playbacktest
