// The update service on loopback: answers GET /CheckUpdate.php?name=N&ver=V
// in plain text the way the player expects. It knows the newest version of
// each program it was told about:
//   unknown name             -> "ERR_NAME_NOT_FOUND"
//   ver is the newest        -> an empty body
//   otherwise                -> "<newest>\n<notes>"
// and it can be made to answer anything else instead (a fixed Response:
// another ERR_ text, no length header, a stalled or dropped answer).
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "testkit/server.h"

namespace testkit {

class UpdateService {
 public:
  explicit UpdateService(ServerOptions options = {});

  // "127.0.0.1:<port>": what MELODUNE_UPDATE_HOST takes (no scheme).
  std::string host() const;
  Server& server() { return server_; }

  void set_latest(const std::string& name, const std::string& version, const std::string& notes = "");
  void forget(const std::string& name);
  // Every request gets this answer from now on; nullopt goes back to the table.
  void set_override(std::optional<Response> r);

  // Ready-made broken answers.
  static Response error_text(const std::string& text);            // "ERR_..." with a length
  static Response without_length(const std::string& body);        // body, then the connection closes
  static Response stalled(const std::string& first_bytes = "3");  // head and a few bytes, then silence
  static Response dropped(const std::string& body);               // announces more than it sends

  size_t request_count() const { return server_.request_count("/CheckUpdate.php"); }
  std::vector<Request> requests() const { return server_.requests("/CheckUpdate.php"); }

 private:
  Response answer(const Request& req);

  Server server_;
  mutable std::mutex mu_;
  std::map<std::string, std::pair<std::string, std::string>> latest_;
  std::optional<Response> override_;
};

}  // namespace testkit
