// The station search with a directory of N stations (default 50,000, about
// 40 MB of CSV from the testkit generator), headless in the real title-bar
// host with the built plug-in:
//   - search: from "_Search..." to "N station(s) found!" over loopback;
//   - parse: the table already on disk read into the result list (the
//     download is held back by the server, the file put in place, then
//     "Abort..." parses it);
//   - Python's csv module reading the same file into a list of the same
//     eight columns, for comparison.
//
//   bench_search [STATIONS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "core/Melodune.h"
#include "dos/dos.h"
#include "exec/clock.h"
#include "host/host.h"
#include "mui/display.h"
#include "reggae/reggae.h"
#include "testkit/directory.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

std::string Text(Object *o, IPTR attr) {
  IPTR v = 0;
  if (!o || !GetAttr(attr, o, &v) || !v) return "";
  return reinterpret_cast<const char *>(v);
}

// Python's csv module over the same file, timed inside Python; -1 without Python.
double PythonCsv(const std::string &file, size_t *rows) {
  const std::string cmd = "python3 -c \"import csv,sys,time\n"
                          "t=time.perf_counter()\n"
                          "f=open(sys.argv[1],newline='',encoding='utf-8')\n"
                          "r=csv.reader(f)\n"
                          "next(r)\n"
                          "rows=[[x[3],x[18],x[19],x[8],x[9],x[13],x[4],x[7]] for x in r]\n"
                          "print(time.perf_counter()-t,len(rows))\" '" +
                          file + "'";
  FILE *p = popen(cmd.c_str(), "r");
  if (!p) return -1;
  double t = -1;
  unsigned long n = 0;
  if (std::fscanf(p, "%lf %lu", &t, &n) != 2) t = -1;
  pclose(p);
  *rows = n;
  return t;
}

}  // namespace

int main(int argc, char **argv) {
  const size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 50000;
  const std::string plugin = std::string(MELODUNE_BIN_DIR) + "/Melodune.sbar";
  char tmpl[] = "/tmp/bench-search-XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  const std::string root = tmpl;
  std::filesystem::copy(std::string(MELODUNE_SOURCE_DIR) + "/skeleton", root, std::filesystem::copy_options::recursive);
  setenv("MELODUNE_PORT_DIR", root.c_str(), 1);
  platform::SetDosRoot(root);
  platform::SetAudioDevice("null");

  testkit::DirectoryServer dir;
  dir.set_stations(testkit::generated_directory(count));
  setenv("MELODUNE_DIRECTORY", dir.base().c_str(), 1);
  const std::string table = root + "/table.csv";
  {
    std::ofstream out(table, std::ios::binary);
    out << testkit::directory_csv(testkit::generated_directory(count));
  }
  std::printf("directory: %zu stations, %.1f MB of CSV\n", count,
              static_cast<double>(std::filesystem::file_size(table)) / 1e6);

  platform::ScreenbarHost host;
  if (!host.Load(plugin) || !host.Start()) {
    std::fprintf(stderr, "bench_search: %s\n", host.Error().c_str());
    return 1;
  }
  Object *bar = host.Bar(0);
  // The plug-in hands out its g through the bar object.
  IPTR globals = 0;
  auto *G = bar && GetAttr(MUIA_Melodune_Globals, bar, &globals) ? reinterpret_cast<Globals *>(globals) : nullptr;
  if (!G) {
    std::fprintf(stderr, "bench_search: the bar object does not hand out g\n");
    return 1;
  }
  DoMethod(bar, MM_Melodune_SearchWindow);
  platform::InputClick(G->searchLimitOn.load()); // every station, no limit
  host.RunFor(50);
  const std::string found = std::to_string(count) + " station(s) found!";
  auto status = [&] { return Text(G->searchStatus.load(), MUIA_Text_Contents); };

  // The whole search over loopback.
  auto t0 = Clock::now();
  platform::InputClick(G->searchStart.load());
  if (!host.RunUntil([&] { return status() == found; }, 120000)) {
    std::fprintf(stderr, "bench_search: the search ended with \"%s\"\n", status().c_str());
    return 1;
  }
  const double search = Seconds(t0, Clock::now());

  // The parse alone: a download held back by the server, a table put in
  // place of the file, "Abort..." parses it. The same with a table of only
  // the header row gives what stopping the download costs.
  dir.set_mode(testkit::DirectoryServer::Mode::Slow);
  dir.set_rate(1);
  const std::string headerOnly = root + "/header.csv";
  {
    std::ofstream out(headerOnly, std::ios::binary);
    out << testkit::directory_header();
  }
  auto abortWith = [&](const std::string &file, const std::string &expect) -> double {
    platform::InputClick(G->searchStart.load());
    host.RunUntil([&] { return G->searchFile.load() != nullptr; }, 20000);
    std::filesystem::copy_file(file, root + "/T/Melodune_stations.new");
    std::filesystem::rename(root + "/T/Melodune_stations.new", root + "/T/Melodune_stations");
    const auto start = Clock::now();
    platform::InputClick(G->searchAbort.load());
    if (!host.RunUntil([&] { return status() == expect; }, 120000)) {
      std::fprintf(stderr, "bench_search: the parse ended with \"%s\"\n", status().c_str());
      std::exit(1);
    }
    return Seconds(start, Clock::now());
  };
  double stop = 1e9, full = 1e9;
  for (int i = 0; i < 3; ++i) {
    stop = std::min(stop, abortWith(headerOnly, "0 station(s) found!"));
    full = std::min(full, abortWith(table, found));
  }
  const double parse = full - stop;
  host.Shutdown();

  size_t pyRows = 0;
  const double python = PythonCsv(table, &pyRows);
  std::printf("search, \"Search...\" to \"%s\": %.3f s (goal: under 2 s)\n", found.c_str(), search);
  std::printf("parse into the result list: %.3f s (%.0f rows/s; \"Abort...\" to the count %.3f s, of which stopping the download %.3f s)\n",
              parse, static_cast<double>(count) / parse, full, stop);
  if (python > 0)
    std::printf("Python csv, same file, eight columns: %.3f s (%zu rows); parse is %.1f times faster (goal: 10)\n",
                python, pyRows, python / parse);
  else
    std::printf("Python csv: python3 not found\n");
  std::filesystem::remove_all(root);
  return 0;
}
