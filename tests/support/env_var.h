// An environment variable set (or, with null, removed) for a scope; the
// value it had comes back at the end.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace testsupport {

class EnvVar {
public:
  EnvVar(const char *name, const char *value) : name_(name) {
    if (const char *v = std::getenv(name)) old_ = v;
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~EnvVar() {
    if (old_)
      setenv(name_.c_str(), old_->c_str(), 1);
    else
      unsetenv(name_.c_str());
  }
  EnvVar(const EnvVar &) = delete;
  EnvVar &operator=(const EnvVar &) = delete;

private:
  std::string name_;
  std::optional<std::string> old_;
};

} // namespace testsupport
