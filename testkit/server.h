// A small HTTP/ICY server on loopback for tests, benchmarks and people.
//
// Each route answers with a Response: a status line and headers exactly as
// given (so broken servers can be imitated), then a body that can be looped,
// paced, interleaved with ICY metadata, chunked, or cut off (stall or close)
// after a number of bytes. One thread per connection; stop() (and the
// destructor) wakes every thread and joins it, even when a client is stalled.
//
// Plain C++20 and POSIX sockets; nothing here uses the platform.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace testkit {

struct Header {
  std::string name;
  std::string value;
};

struct Request {
  std::string method;
  std::string target;   // as sent: "/path?query"
  std::string path;     // target up to '?'
  std::string query;    // after '?', without it
  std::string version;  // "HTTP/1.1"
  std::vector<Header> headers;  // in order, case kept

  // First header of that name (case-insensitive), or "" when absent.
  std::string header(std::string_view name) const;
  bool has_header(std::string_view name) const;
  // Value of a query key ("" when absent); no percent-decoding.
  std::string query_param(std::string_view key) const;
};

// A metadata title that becomes current once both thresholds are reached:
// `after_bytes` audio bytes sent and `after` time since the response began.
struct TitleChange {
  std::string title;
  uint64_t after_bytes = 0;
  std::chrono::milliseconds after{0};
  bool raw = false;  // send `title` as the whole block text, not StreamTitle='...';
};

// Holds answers back until a test lets them go. Copies share one state, so a
// response can carry a gate while the test keeps its own copy: the server
// never relies on an object of the test body still being alive.
class Gate {
 public:
  Gate();
  void open();
  // Waits until the gate is open, at most `timeout`; true once it is.
  bool wait_for(std::chrono::milliseconds timeout) const;

 private:
  struct State;
  std::shared_ptr<State> s_;
};

struct Response {
  // Status line without CR LF: "HTTP/1.1 200 OK", "ICY 200 OK", "HTTP/1.0 302 Found".
  std::string status = "HTTP/1.1 200 OK";
  std::vector<Header> headers;
  std::string eol = "\r\n";  // line end of the head; "\n" imitates sloppy servers

  // Adds Content-Length (finite, unchunked bodies), Transfer-Encoding (chunked)
  // and Connection: close (HTTP/ status lines) unless already present.
  bool auto_headers = true;

  // Body: `body` sent `loops` times; 0 loops = forever (a live stream).
  std::string body;
  uint32_t loops = 1;

  // Pacing of the body bytes (metadata not counted): bytes per second after an
  // initial burst; 0 = as fast as the client reads.
  uint64_t rate = 0;
  uint64_t burst = 0;

  // ICY metadata. `metaint_header` is the raw header text (unset = no header);
  // `metaint` is the interval actually used for insertion (0 = none). They
  // are separate so that "", "abc" or "0" can be announced.
  std::optional<std::string> metaint_header;
  uint32_t metaint = 0;
  std::vector<TitleChange> titles;
  std::string meta_extra;      // appended after StreamTitle='...'; e.g. StreamUrl='';
  bool meta_every_block = false;  // repeat the title in every block, not only on change
  char meta_pad = '\0';        // padding of a block to its 16-byte multiple
  std::vector<uint8_t> meta_blocks;  // forced length bytes, cycled (text cut/padded)

  // Chunked transfer encoding of everything after the head.
  bool chunked = false;
  size_t chunk_size = 4096;

  // Cut-offs, counted in bytes after the head (or including it with count_head).
  std::optional<uint64_t> stall_after;  // then send nothing, keep the socket open
  std::optional<uint64_t> close_after;  // then close the connection
  bool count_head = false;

  // When set, nothing is sent until the gate opens (or the server stops).
  std::optional<Gate> hold;

  Response& header(std::string name, std::string value);

  // Ready-made answers.
  static Response text(std::string body, std::string content_type = "text/plain");
  static Response file(const std::string& path, std::string content_type);  // throws if unreadable
  static Response error(int code);  // 404, 500, ...: "HTTP/1.1 <code> <reason>" and a short body
  static Response redirect(std::string location, int code = 302);
  // A playlist: "#EXTM3U", then per address an "#EXTINF" line and the address, CR LF ended.
  static Response m3u(const std::vector<std::string>& urls);
  // An endless ICY stream of an MP3 file: "ICY 200 OK", icy-name, content-type,
  // icy-metaint (if metaint > 0), paced at `rate` bytes per second.
  static Response icy_stream(const std::string& mp3_path, uint32_t metaint, uint64_t rate,
                             std::vector<TitleChange> titles = {});
};

using Handler = std::function<Response(const Request&)>;

// Whole file contents; throws std::runtime_error when unreadable.
std::string read_file(const std::string& path);
// Bytes that cannot hold an MPEG audio frame sync (no 0xFF), deterministic.
std::string garbage(size_t n, uint32_t seed = 1);
// Bytes per second of the first MPEG audio frame (after an ID3v2 tag), or 0.
uint64_t mp3_byte_rate(std::string_view data);
// The metadata block (length byte + text + padding) for a block text.
std::string icy_block(std::string_view text, char pad = '\0', std::optional<uint8_t> forced = {});

struct ServerOptions {
  uint16_t port = 0;                // 0 = any free port
  size_t max_header_bytes = 8192;   // request head limit; larger gets 431
  size_t max_connections = 64;      // more are closed at once
  std::chrono::milliseconds request_timeout{10000};  // for the request head
};

class Server {
 public:
  explicit Server(ServerOptions options = {});  // throws std::runtime_error
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  uint16_t port() const { return port_; }
  // "http://127.0.0.1:<port>" + path
  std::string url(std::string_view path = "/") const;

  void route(std::string path, Response r);
  // Answers the requests for `path` in turn with the entries of `seq`, and
  // every later one with its last entry.
  void route_seq(std::string path, std::vector<Response> seq);
  // The handler runs on connection threads until stop(), also after the test
  // body that made it has returned: it must own what it uses (capture by
  // value), never refer to the test's locals.
  void route_fn(std::string path, Handler h);
  void unroute(const std::string& path);

  // Closes the listener and every connection, and joins all threads.
  void stop();

  // Requests seen for a path (all paths when empty), in arrival order.
  size_t request_count(std::string_view path = {}) const;
  std::vector<Request> requests(std::string_view path = {}) const;
  // Waits until at least `n` requests for `path` arrived; false on timeout.
  bool wait_requests(std::string_view path, size_t n, std::chrono::milliseconds timeout) const;
  size_t active_connections() const;

 private:
  struct Conn;
  void accept_loop();
  void serve(Conn* c);
  Response answer(const Request& req);
  void reap_locked();

  ServerOptions opt_;
  int listen_fd_ = -1;
  int wake_[2] = {-1, -1};  // readable once stop() ran
  uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread acceptor_;

  mutable std::mutex mu_;
  mutable std::condition_variable cv_;
  std::map<std::string, Handler, std::less<>> routes_;
  std::vector<Request> log_;
  std::vector<std::unique_ptr<Conn>> conns_;
  bool stopped_ = false;
};

}  // namespace testkit
