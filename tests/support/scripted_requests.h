// A display that answers requesters and ASL requesters by script and keeps
// what they asked; the other observer calls do nothing.
#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "mui/display.h"

namespace testsupport {

class ScriptedRequests : public platform::Display {
public:
  std::mutex lock;
  std::deque<int> requestAnswers; // button indexes, 0 = leftmost; none queued: the default button
  std::vector<platform::RequestInfo> requests;
  std::optional<platform::AslAnswer> aslAnswer; // the answer to every ASL requester (nullopt: cancelled)
  std::vector<platform::AslInfo> asls;
  std::function<void()> onRequest; // runs inside Request before answering, without the lock

  int Request(const platform::RequestInfo &info) override {
    std::function<void()> hook;
    {
      std::lock_guard g(lock);
      requests.push_back(info);
      hook = onRequest;
    }
    if (hook) hook();
    std::lock_guard g(lock);
    if (requestAnswers.empty()) return info.defaultButton;
    int a = requestAnswers.front();
    requestAnswers.pop_front();
    return a;
  }
  std::optional<platform::AslAnswer> AslRequest(const platform::AslInfo &info) override {
    std::lock_guard g(lock);
    asls.push_back(info);
    return aslAnswer;
  }
};

} // namespace testsupport
