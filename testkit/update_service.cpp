#include "testkit/update_service.h"

#include <cctype>

namespace testkit {

namespace {

// The query as the player sends it: no percent-encoding is expected.
std::string decode(const std::string& v) {
  std::string out;
  for (size_t i = 0; i < v.size(); ++i) {
    if (v[i] == '%' && i + 2 < v.size() && std::isxdigit(static_cast<unsigned char>(v[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(v[i + 2]))) {
      out += static_cast<char>(std::stoi(v.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += v[i] == '+' ? ' ' : v[i];
    }
  }
  return out;
}

}  // namespace

UpdateService::UpdateService(ServerOptions options) : server_(options) {
  server_.route_fn("/CheckUpdate.php", [this](const Request& req) { return answer(req); });
}

std::string UpdateService::host() const { return "127.0.0.1:" + std::to_string(server_.port()); }

void UpdateService::set_latest(const std::string& name, const std::string& version, const std::string& notes) {
  std::lock_guard g(mu_);
  latest_[name] = {version, notes};
}

void UpdateService::forget(const std::string& name) {
  std::lock_guard g(mu_);
  latest_.erase(name);
}

void UpdateService::set_override(std::optional<Response> r) {
  std::lock_guard g(mu_);
  override_ = std::move(r);
}

Response UpdateService::answer(const Request& req) {
  std::lock_guard g(mu_);
  if (override_) return *override_;
  auto it = latest_.find(decode(req.query_param("name")));
  if (it == latest_.end()) return Response::text("ERR_NAME_NOT_FOUND");
  if (decode(req.query_param("ver")) == it->second.first) return Response::text("");
  return Response::text(it->second.first + "\n" + it->second.second);
}

Response UpdateService::error_text(const std::string& text) { return Response::text(text); }

Response UpdateService::without_length(const std::string& body) {
  Response r;
  r.status = "HTTP/1.0 200 OK";
  r.auto_headers = false;
  r.header("Content-Type", "text/plain");
  r.header("Connection", "close");
  r.body = body;
  return r;
}

Response UpdateService::stalled(const std::string& first_bytes) {
  Response r = Response::text(first_bytes + "\nnever ends");
  r.stall_after = first_bytes.size();
  return r;
}

Response UpdateService::dropped(const std::string& body) {
  Response r = Response::text(body);
  r.auto_headers = false;
  r.header("Content-Type", "text/plain");
  r.header("Content-Length", std::to_string(body.size() + 100));
  r.header("Connection", "close");
  r.close_after = body.size();
  return r;
}

}  // namespace testkit
