// CON: names, the factory of console windows, and the debug-log console.
#include "dos/console.h"

#include <mutex>

#include "exec/exec.h"
#include "exec/text.h"

namespace platform {

namespace {

std::mutex &FactoryMutex() {
  static auto *m = new std::mutex;
  return *m;
}
ConsoleFactory &Factory() {
  static auto *f = new ConsoleFactory;
  return *f;
}

bool ParseNumber(std::string_view text, LONG &out) {
  if (text.empty()) return true; // left to the console
  if (text.size() > 5) return false;
  LONG v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  out = v;
  return true;
}

bool IsOption(std::string_view word, const char *name) { return EqualsNoCaseLatin1(word, name); }

// Without a window: the output goes to the debug log, whole lines at a time.
class LogConsole : public ConsoleWindow {
public:
  explicit LogConsole(std::string title) : title_(std::move(title)) {}
  ~LogConsole() override { Flush(); }
  void Write(const char *data, size_t length) override {
    line_ += PlainConsoleText(std::string_view(data, length));
    size_t nl;
    while ((nl = line_.find('\n')) != std::string::npos) {
      Say(line_.substr(0, nl));
      line_.erase(0, nl + 1);
    }
    if (line_.size() > 4096) Flush();
  }
  void Close() override { Flush(); }

private:
  void Flush() {
    if (!line_.empty()) Say(line_);
    line_.clear();
  }
  void Say(const std::string &line) {
    const std::string text = "CON:" + title_ + ": " + line + "\n";
    KPutStr(text.c_str());
  }
  std::string title_, line_;
};

} // namespace

bool ParseConsoleName(std::string_view name, ConsoleOptions &opts) {
  opts = ConsoleOptions{};
  size_t colon = name.find(':');
  if (colon == std::string_view::npos) return false;
  std::string_view device = name.substr(0, colon);
  if (!EqualsNoCaseLatin1(device, "CON") && !EqualsNoCaseLatin1(device, "RAW")) return false;
  std::string_view rest = name.substr(colon + 1);
  // Fields: left, top, width, height, title, then options.
  size_t field = 0;
  while (true) {
    size_t slash = rest.find('/');
    std::string_view part = rest.substr(0, slash);
    if (field < 4) {
      LONG *slots[] = {&opts.left, &opts.top, &opts.width, &opts.height};
      if (!ParseNumber(part, *slots[field])) return false;
    } else if (field == 4) {
      opts.title.assign(part);
    } else if (!part.empty()) {
      if (IsOption(part, "AUTO"))
        opts.autoOpen = true;
      else if (IsOption(part, "WAIT"))
        opts.wait = true;
      else if (IsOption(part, "CLOSE"))
        opts.close = true;
      else if (part.size() > 6 && EqualsNoCaseLatin1(part.substr(0, 6), "SCREEN"))
        opts.screen.assign(part.substr(6));
      else if (part.size() > 3 && EqualsNoCaseLatin1(part.substr(0, 3), "ALT")) {
        // The other size of a zoom gadget: nothing to keep here.
      } else if (!IsOption(part, "NOSIZE") && !IsOption(part, "NODRAG") && !IsOption(part, "NODEPTH") &&
                 !IsOption(part, "SMART") && !IsOption(part, "SIMPLE") && !IsOption(part, "BACKDROP") &&
                 !IsOption(part, "NOBORDER") && !IsOption(part, "INACTIVE") && !IsOption(part, "SCREEN"))
        return false;
    }
    if (slash == std::string_view::npos) break;
    rest.remove_prefix(slash + 1);
    ++field;
  }
  return true;
}

void SetConsoleFactory(ConsoleFactory factory) {
  std::lock_guard g(FactoryMutex());
  Factory() = std::move(factory);
}

std::unique_ptr<ConsoleWindow> MakeConsoleWindow(const ConsoleOptions &opts) {
  ConsoleFactory f;
  {
    std::lock_guard g(FactoryMutex());
    f = Factory();
  }
  if (f)
    if (auto w = f(opts)) return w;
  return std::make_unique<LogConsole>(opts.title);
}

std::string PlainConsoleText(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    const bool csi = c == 0x9B || (c == 0x1B && i + 1 < bytes.size() && bytes[i + 1] == '[');
    if (csi) {
      // Parameters and intermediates up to the final byte (0x40..0x7E).
      i += c == 0x1B ? 2 : 1;
      while (i < bytes.size() && !(bytes[i] >= 0x40 && bytes[i] <= 0x7E))
        ++i;
      continue;
    }
    if (c == 0x1B) {
      ++i; // ESC and the one character it introduces
      continue;
    }
    if ((c < 0x20 && c != '\n' && c != '\t') || c == 0x7F || (c >= 0x80 && c < 0xA0)) continue;
    out += static_cast<char>(c);
  }
  return out;
}

} // namespace platform
