// The command line of `screenbar`.
#include "host/screenbar_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "host/host.h"
#include "host/web_http.h"

namespace platform {

namespace {

bool ParseInt(const std::string &s, long min, long max, long &out) {
  if (s.empty() || s.size() > 12) return false;
  char *end = nullptr;
  errno = 0;
  long v = std::strtol(s.c_str(), &end, 10);
  if (errno || !end || *end || v < min || v > max) return false;
  out = v;
  return true;
}

bool ParseWeb(const std::string &listen, ScreenbarOptions &o, std::string &error) {
  std::string addr, port;
  if (!web::SplitListenAddress(listen, addr, port)) {
    error = "--web: expected [ADDR]:PORT, got \"" + listen + "\"";
    return false;
  }
  long p;
  if (!ParseInt(port, 0, 65535, p)) {
    error = "--web: bad port \"" + port + "\"";
    return false;
  }
  if (listen.find_first_of(" \t\r\n") != std::string::npos || (addr.empty() && listen.find(':') != std::string::npos) ||
      addr.size() > 255) {
    error = "--web: bad address in \"" + listen + "\"";
    return false;
  }
  if (!addr.empty()) o.webAddress = addr;
  o.webPort = static_cast<int>(p);
  o.web = true;
  return true;
}

bool ValidAudio(const std::string &a) {
  if (a == "auto" || a == "null" || a == "pulse" || a == "alsa") return true;
  return a.size() > 4 && a.compare(0, 4, "wav:") == 0;
}

} // namespace

const char *ScreenbarUsage() {
  return "usage: screenbar [--root DIR] [--screens N] [--audio auto|null|wav:FILE]\n"
         "                 [--web [ADDR:]PORT | --headless] [--clock-rate R] [--plugin PATH]\n";
}

bool ParseScreenbarOptions(const std::vector<std::string> &args, ScreenbarOptions &o, std::string &error) {
  o = ScreenbarOptions{};
  for (size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i], value;
    bool inlineValue = false;
    if (arg.compare(0, 2, "--") == 0) {
      if (size_t eq = arg.find('='); eq != std::string::npos) {
        value = arg.substr(eq + 1);
        arg.resize(eq);
        inlineValue = true;
      }
    }
    auto take = [&](std::string &v) {
      if (inlineValue) {
        v = value;
        return true;
      }
      if (i + 1 >= args.size()) {
        error = arg + " needs a value";
        return false;
      }
      v = args[++i];
      return true;
    };
    // A value that must not be empty; what names it in the error.
    auto takeNonEmpty = [&](std::string &v, const char *what) {
      if (!take(v)) return false;
      if (!v.empty()) return true;
      error = arg + ": empty " + what;
      return false;
    };
    auto flag = [&] {
      if (!inlineValue) return true;
      error = arg + " takes no value";
      return false;
    };
    if (arg == "--help" || arg == "-h") {
      if (!flag()) return false;
      o.help = true;
    } else if (arg == "--headless") {
      if (!flag()) return false;
      o.headless = true;
    } else if (arg == "--root") {
      if (!takeNonEmpty(o.root, "folder name")) return false;
    } else if (arg == "--screens") {
      std::string v;
      long n;
      if (!take(v)) return false;
      if (!ParseInt(v, 1, ScreenbarHost::kMaxScreens, n)) {
        error = "--screens: expected 1 to " + std::to_string(ScreenbarHost::kMaxScreens) + ", got \"" + v + "\"";
        return false;
      }
      o.screens = static_cast<int>(n);
    } else if (arg == "--audio") {
      if (!take(o.audio)) return false;
      if (!ValidAudio(o.audio)) {
        error = "--audio: expected auto, null or wav:FILE, got \"" + o.audio + "\"";
        return false;
      }
    } else if (arg == "--web") {
      std::string v;
      if (!take(v) || !ParseWeb(v, o, error)) return false;
    } else if (arg == "--clock-rate") {
      std::string v;
      if (!take(v)) return false;
      char *end = nullptr;
      double r = std::strtod(v.c_str(), &end);
      if (v.empty() || !end || *end || !std::isfinite(r) || r <= 0 || r > 1e6) {
        error = "--clock-rate: expected a positive number, got \"" + v + "\"";
        return false;
      }
      o.clockRate = r;
    } else if (arg == "--plugin") {
      if (!takeNonEmpty(o.plugin, "path")) return false;
    } else {
      error = "unknown argument \"" + args[i] + "\"";
      return false;
    }
  }
  if (o.web && o.headless) {
    error = "--web and --headless exclude each other";
    return false;
  }
  return true;
}

} // namespace platform
