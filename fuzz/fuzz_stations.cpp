// Fuzzes the station file reader: any file the user (or a broken save) left
// in SYS:Data/Screenbar/Melodune/Stations.txt loads into a list whose every
// entry is whole, or is refused; reading the entries back never fails.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "dos/dos.h"
#include "mui/display.h"
#include "stations/Stations.h"

// The class core's global record, which the reader fills.
Globals g;

namespace {

// Requesters (the warning about a short list) are answered at once.
struct QuietDisplay : platform::Display {
  int Request(const platform::RequestInfo &) override { return 0; }
};

std::string StationFile() {
  static const std::string path = [] {
    char tmpl[] = "/tmp/melodune-fuzz-stations-XXXXXX";
    if (!mkdtemp(tmpl) || !platform::SetDosRoot(tmpl))
      std::abort();
    static QuietDisplay display;
    platform::SetDisplay(&display);
    std::filesystem::path data = std::filesystem::path(tmpl) / "SYS" / "Data" / "Screenbar" / "Melodune";
    std::filesystem::create_directories(data);
    return (data / "Stations.txt").string();
  }();
  return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string path = StationFile();
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char *>(data), size);
  if (LoadStationList()) {
    const LONG n = StationCount();
    if (n < 0 || static_cast<LONG>(StationNames().size()) != n)
      std::abort();
    for (LONG i = 0; i < n; ++i) {
      std::string name, icon, stream;
      if (!GetStation(i, &name, &icon, &stream))
        std::abort();
      if (FindStationByName(name.c_str()) < 0)
        std::abort();
    }
  } else if (StationCount() != -1) {
    std::abort();
  }
  FreeStationList();
  return 0;
}
