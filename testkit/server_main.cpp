// testkit-server: the test server as a program, for benchmarks and people.
//
//   testkit-server --stream tone440_128k.mp3 --metaint 16000 --title "A - B" --rate bitrate
//
// prints the stream address (and the playlist's) and serves until SIGINT/SIGTERM.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "testkit/program.h"
#include "testkit/server.h"

namespace {

void usage() {
  std::fputs(
      "usage: testkit-server [options]\n"
      "  --port N              listen on 127.0.0.1:N (default: a free port)\n"
      "  --stream FILE         serve FILE looped forever as an ICY stream at --path\n"
      "  --path /P             route of the stream (default /stream; /P.m3u gets a playlist)\n"
      "  --metaint N           insert metadata every N bytes (0: none)\n"
      "  --title TEXT          a stream title; repeat for a schedule\n"
      "  --title-every MS      switch to the next title every MS milliseconds (default 10000)\n"
      "  --rate N|bitrate      pace at N bytes/s, or at the file's bit rate (default), 0 = unpaced\n"
      "  --burst N             send N bytes at once before pacing\n"
      "  --status LINE         status line (default \"ICY 200 OK\")\n"
      "  --header 'N: V'       add a response header (repeatable)\n"
      "  --serve FILE=/P[=TYPE] serve a file at route /P (repeatable)\n",
      stderr);
}

}  // namespace

int main(int argc, char** argv) {
  std::string stream, path = "/stream", rate_arg = "bitrate", status = "ICY 200 OK";
  uint16_t port = 0;
  uint32_t metaint = 0;
  uint64_t burst = 0;
  long every_ms = 10000;
  std::vector<std::string> titles, serves;
  std::vector<testkit::Header> headers;

  testkit::ProgramArgs args("testkit-server", argc, argv);
  for (std::string a; args.next(a);) {
    if (a == "--port") port = args.number<uint16_t>();
    else if (a == "--stream") stream = args.value();
    else if (a == "--path") path = args.value();
    else if (a == "--metaint") metaint = args.number<uint32_t>();
    else if (a == "--title") titles.push_back(args.value());
    else if (a == "--title-every") every_ms = std::strtol(args.value().c_str(), nullptr, 10);
    else if (a == "--rate") rate_arg = args.value();
    else if (a == "--burst") burst = args.number<uint64_t>();
    else if (a == "--status") status = args.value();
    else if (a == "--header") {
      std::string h = args.value();
      size_t c = h.find(':');
      if (c == std::string::npos) {
        std::fprintf(stderr, "testkit-server: header without ':': %s\n", h.c_str());
        return 2;
      }
      size_t v = h.find_first_not_of(' ', c + 1);
      headers.push_back({h.substr(0, c), v == std::string::npos ? "" : h.substr(v)});
    } else if (a == "--serve") serves.push_back(args.value());
    else {
      usage();
      return a == "--help" || a == "-h" ? 0 : 2;
    }
  }
  if (stream.empty() && serves.empty()) {
    usage();
    return 2;
  }

  // Before any thread starts; main waits for them.
  testkit::StopSignals stop;

  try {
    testkit::ServerOptions opt;
    opt.port = port;
    testkit::Server server(opt);

    if (!stream.empty()) {
      std::vector<testkit::TitleChange> sched;
      for (size_t k = 0; k < titles.size(); ++k)
        sched.push_back({titles[k], 0, std::chrono::milliseconds(every_ms * long(k)), false});
      testkit::Response r = testkit::Response::icy_stream(stream, metaint, 0, sched);
      r.rate = rate_arg == "bitrate" ? testkit::mp3_byte_rate(r.body) : std::strtoull(rate_arg.c_str(), nullptr, 10);
      r.burst = burst;
      r.status = status;
      for (auto& h : headers) r.headers.push_back(h);
      server.route(path, r);
      server.route(path + ".m3u", testkit::Response::m3u({server.url(path)}));
      std::cout << server.url(path) << "\n" << server.url(path + ".m3u") << "\n";
    }
    for (const auto& s : serves) {
      size_t e1 = s.find('=');
      if (e1 == std::string::npos) {
        std::fprintf(stderr, "testkit-server: --serve wants FILE=/ROUTE[=TYPE]\n");
        return 2;
      }
      size_t e2 = s.find('=', e1 + 1);
      std::string route = s.substr(e1 + 1, e2 == std::string::npos ? std::string::npos : e2 - e1 - 1);
      std::string type = e2 == std::string::npos ? "application/octet-stream" : s.substr(e2 + 1);
      server.route(route, testkit::Response::file(s.substr(0, e1), type));
      std::cout << server.url(route) << "\n";
    }
    std::cout.flush();

    stop.wait();
    server.stop();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "testkit-server: %s\n", e.what());
    return 1;
  }
  return 0;
}
