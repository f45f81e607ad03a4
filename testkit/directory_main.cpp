// testkit-directory: the station directory as a program.
//
//   testkit-directory --sample --icon logo.png     the hard cases of sample_directory
//       [--streams URL]                            their stream addresses are URL + "/jazzcafe" ...
//   testkit-directory --stations 50000             a generated table
//   testkit-directory --stations 50000 --write F   writes the table to F and ends
//
// Prints the base address (for MELODUNE_DIRECTORY), then one line
// "search <target>" per search it answers, and serves until SIGINT/SIGTERM.
// GET /control?mode=normal|404|drop|slow[&rate=N] switches how it answers.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <mutex>
#include <string>

#include "testkit/directory.h"
#include "testkit/program.h"

int main(int argc, char** argv) {
  size_t count = 0;
  bool sample = false;
  uint16_t port = 0;
  uint32_t seed = 1;
  std::string icon, write, streams;
  testkit::ProgramArgs args("testkit-directory", argc, argv);
  for (std::string a; args.next(a);) {
    if (a == "--stations") count = args.number<size_t>();
    else if (a == "--sample") sample = true;
    else if (a == "--icon") icon = args.value();
    else if (a == "--port") port = args.number<uint16_t>();
    else if (a == "--seed") seed = args.number<uint32_t>();
    else if (a == "--write") write = args.value();
    else if (a == "--streams") streams = args.value();
    else {
      std::fputs("usage: testkit-directory [--sample] [--streams URL] [--stations N] [--seed S] [--icon FILE] [--port N]"
                 " [--write FILE]\n",
                 stderr);
      return a == "--help" || a == "-h" ? 0 : 2;
    }
  }
  if (!write.empty()) {
    std::ofstream out(write, std::ios::binary);
    out << testkit::directory_csv(testkit::generated_directory(count, seed));
    return out ? 0 : 1;
  }

  testkit::StopSignals stop;
  try {
    testkit::ServerOptions opt;
    opt.port = port;
    testkit::DirectoryServer dir(icon, opt);
    std::vector<testkit::DirectoryStation> stations;
    if (sample) stations = testkit::sample_directory(dir.icon_base(), streams.empty() ? dir.base() + "/streams" : streams);
    auto more = testkit::generated_directory(count, seed);
    stations.insert(stations.end(), more.begin(), more.end());
    dir.set_stations(std::move(stations));
    std::mutex out;
    dir.set_on_search([&out](const std::string& target) {
      std::lock_guard lk(out);
      std::cout << "search " << target << std::endl;
    });
    std::cout << dir.base() << std::endl;
    stop.wait();
    dir.server().stop();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "testkit-directory: %s\n", e.what());
    return 1;
  }
  return 0;
}
