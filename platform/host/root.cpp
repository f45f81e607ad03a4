// The root folder and its skeleton.
#include "host/root.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace platform {

namespace {

std::string Lower(std::string s) {
  for (char &c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// The entry of dir whose name equals name without regard to case, or
// dir/name when there is none.
fs::path Match(const fs::path &dir, const std::string &name) {
  fs::path exact = dir / name;
  std::error_code ec;
  if (fs::symlink_status(exact, ec).type() != fs::file_type::not_found && !ec) return exact;
  std::string want = Lower(name);
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
    if (Lower(it->path().filename().string()) == want) return it->path();
  return exact;
}

bool Fail(std::string *error, const std::string &what, const std::error_code &ec) {
  if (error) *error = what + ": " + ec.message();
  return false;
}

bool CopyTree(const fs::path &from, const fs::path &to, std::string *error) {
  std::error_code ec;
  for (fs::directory_iterator it(from, ec), end; it != end; it.increment(ec)) {
    if (ec) return Fail(error, from.string(), ec);
    std::string name = it->path().filename().string();
    fs::path target = Match(to, name);
    fs::file_status st = it->symlink_status(ec);
    if (ec) return Fail(error, it->path().string(), ec);
    fs::file_type have = fs::symlink_status(target, ec).type();
    ec.clear();
    if (st.type() == fs::file_type::directory) {
      if (have == fs::file_type::not_found) {
        if (!fs::create_directory(target, ec) && ec) return Fail(error, target.string(), ec);
      } else if (!fs::is_directory(target, ec)) {
        continue; // the user has a file of that name: keep it, skip the drawer
      }
      if (!CopyTree(it->path(), target, error)) return false;
    } else if (st.type() == fs::file_type::regular) {
      if (name == ".keep" || have != fs::file_type::not_found) continue;
      if (!fs::copy_file(it->path(), target, fs::copy_options::none, ec))
        return Fail(error, target.string(), ec);
    }
  }
  return true;
}

} // namespace

std::string DefaultRootDir() {
  const char *xdg = std::getenv("XDG_DATA_HOME");
  if (xdg && *xdg == '/') return (fs::path(xdg) / "melodune" / "root").string();
  const char *home = std::getenv("HOME");
  if (home && *home == '/') return (fs::path(home) / ".local" / "share" / "melodune" / "root").string();
  return "";
}

std::string ExecutableDir() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : exe.parent_path().string();
}

std::string FindSkeleton(const std::string &exeDir, const std::string &fallback) {
  std::error_code ec;
  if (!exeDir.empty()) {
    fs::path near = fs::path(exeDir) / ".." / "share" / "melodune" / "skeleton";
    if (fs::is_directory(near, ec)) return fs::weakly_canonical(near, ec).string();
  }
  if (!fallback.empty() && fs::is_directory(fallback, ec)) return fallback;
  return "";
}

bool PrepareRoot(const std::string &root, const std::string &skeleton, std::string *error) {
  std::error_code ec;
  if (root.empty()) {
    if (error) *error = "no root folder";
    return false;
  }
  fs::create_directories(root, ec);
  if (ec || !fs::is_directory(root, ec)) return Fail(error, root, ec ? ec : std::make_error_code(std::errc::not_a_directory));
  if (skeleton.empty()) return true;
  if (!fs::is_directory(skeleton, ec)) {
    if (error) *error = skeleton + ": no skeleton folder";
    return false;
  }
  return CopyTree(skeleton, root, error);
}

} // namespace platform
