// The host's own preferences file: the configuration items of one plug-in,
// each a text or a number, kept under ENVARC:.
//
// The file is plain text, one item a line, written whole and renamed into
// place so that a crash never leaves half a file:
//   ; comment
//   0x00CAC0C9 text "RAM:"
//   0x00CA80CA number 1
// Texts are Latin-1 bytes between double quotes; '"', '\' and control
// characters are escaped (\", \\, \n, \t, \xHH). Lines that do not parse
// are skipped.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <variant>

#include "exec/types.h"

namespace platform {

using ConfigValue = std::variant<std::string, LONG>;

struct HostPrefsLimits {
  static constexpr size_t kMaxLine = 8192;
  static constexpr size_t kMaxText = 4096;
  static constexpr size_t kMaxItems = 1024;
};

// Pure parsing and formatting (no I/O). Parse returns the number of lines it
// skipped as malformed in *skipped.
std::map<ULONG, ConfigValue> ParseHostPrefs(const std::string &text, size_t *skipped = nullptr);
std::string FormatHostPrefs(const std::map<ULONG, ConfigValue> &items, const std::string &comment);

// Reads and writes a Linux file. Load of a missing file gives no items and
// succeeds; when lines were skipped it also succeeds and says so in *error.
// Save writes "<path>.new" then renames it.
bool LoadHostPrefs(const std::string &linuxPath, std::map<ULONG, ConfigValue> &items, std::string *error);
bool SaveHostPrefs(const std::string &linuxPath, const std::map<ULONG, ConfigValue> &items,
                   const std::string &comment, std::string *error);

} // namespace platform
