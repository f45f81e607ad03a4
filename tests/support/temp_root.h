// A fresh folder under /tmp for one test (or one fixture), removed with
// everything in it when the scope ends. Tests of other programs run at the
// same time, so every folder has its own random name.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace testsupport {

class TempRoot {
public:
  explicit TempRoot(const std::string &prefix = "melodune") {
    std::string tmpl = "/tmp/" + prefix + "-XXXXXX";
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp " + tmpl);
    path_ = tmpl;
  }
  ~TempRoot() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempRoot(const TempRoot &) = delete;
  TempRoot &operator=(const TempRoot &) = delete;

  const std::string &path() const { return path_; }
  operator const std::string &() const { return path_; }
  std::string operator/(const std::string &name) const { return path_ + "/" + name; }

  // The shipped skeleton (default station list, icons) copied to sub (the
  // root itself when empty); returns the folder.
  std::string CopySkeleton(const std::string &sub = "") const {
    const std::string to = sub.empty() ? path_ : path_ + "/" + sub;
    std::filesystem::copy(MELODUNE_SOURCE_DIR "/skeleton", to, std::filesystem::copy_options::recursive);
    return to;
  }

private:
  std::string path_;
};

} // namespace testsupport
