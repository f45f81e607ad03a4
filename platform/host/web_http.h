// The browser display's HTTP side: a small server on a loopback address,
// one thread per connection, requests of bounded size read under a time
// limit, and server-sent event streams. Every request must carry the run's
// token and name this server in its Host header (and Origin, when sent);
// anything else gets 403. Only the parsing helpers are pure; they are
// declared here so that they can be tested on their own.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace platform::web {

struct HttpLimits {
  size_t maxHead = 16 * 1024;  // request line and headers
  size_t maxBody = 64 * 1024;
  int readTimeoutMs = 5000;    // for the whole request
  int writeTimeoutMs = 5000;   // for each write
  size_t maxConnections = 48;
};

struct HttpRequest {
  std::string method;
  std::string target; // as sent
  std::string path;   // percent-decoded, without the query
  std::string query;
  std::vector<std::pair<std::string, std::string>> headers; // names in lower case
  std::string body;

  // First header of that name ("" when absent); name in lower case.
  std::string Header(std::string_view lowerName) const;
  bool HasHeader(std::string_view lowerName) const;
  // A query parameter, decoded ("" when absent).
  std::string Param(std::string_view key) const;
};

enum class ParseStatus { Incomplete, Complete, Bad, TooLarge };

// Parses the head of a request (request line and headers up to the empty
// line). On Complete, headLength is the size of the head and bodyLength
// the announced Content-Length.
ParseStatus ParseRequestHead(std::string_view data, const HttpLimits &limits, HttpRequest &out, size_t &headLength,
                             size_t &bodyLength);

std::string PercentDecode(std::string_view s, bool plusIsSpace);
// key=value&key=value (application/x-www-form-urlencoded); the first of a
// repeated key wins.
std::map<std::string, std::string> ParseForm(std::string_view s);

// Who may talk to us: the Host header must be one of hosts ("127.0.0.1:8080",
// "localhost:8080"); an Origin header, when present, "http://" and one of
// them; and the token must be given as the query parameter t or the header
// X-Melodune-Token.
enum class Access { Granted, BadHost, BadOrigin, BadToken };
Access CheckAccess(const HttpRequest &req, const std::vector<std::string> &hosts, const std::string &token);
// Constant-time comparison (the token must not leak through timing).
bool SameSecret(std::string_view a, std::string_view b);

// 32 hex digits from the kernel's random source; "" if it cannot be read.
std::string RandomToken();

// Splits "ADDR:PORT" at its last colon, or "[ADDR]:PORT" (brackets taken
// off); a bare "PORT" leaves address as it was. Nothing is checked beyond
// the brackets, which must be followed by ":PORT" (else false).
bool SplitListenAddress(const std::string &listen, std::string &address, std::string &port);
// "[ADDR:]PORT" -> address and port. The address must be a loopback
// address (127.0.0.0/8, ::1 or "localhost"); false with a reason otherwise.
bool ParseListenAddress(const std::string &listen, std::string &address, int &port, std::string &why);
bool IsLoopbackAddress(const std::string &address);

struct HttpResponse {
  int status = 200;
  std::string type = "text/plain; charset=utf-8";
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;

  static HttpResponse Text(int status, std::string body);
};
std::string StatusText(int status);
// The bytes of a complete response (Connection: close, no caching).
std::string FormatResponse(const HttpResponse &r);

// One connected event stream. Events are queued by any thread and written
// by the connection's thread. Events with a key replace a queued event of
// the same key, which moves to the end (frames of a bar, the state of one
// node: a slow page gets the newest, never a backlog, and never loses the
// last one).
class EventStream {
public:
  explicit EventStream(size_t maxQueued = 4096) : maxQueued_(maxQueued) {}
  // False when the stream is closed (or overflowed, which closes it).
  bool Send(const std::string &event, const std::string &data, const std::string &key = {});
  void Close();
  bool Closed() const;
  // The connection side: waits up to timeoutMs for something to write;
  // returns the formatted events ("" on time-out or when closed).
  std::string Next(int timeoutMs);

private:
  mutable std::mutex lock_;
  std::condition_variable ready_;
  std::deque<std::pair<std::string, std::string>> queue_; // key, formatted event
  size_t maxQueued_;
  bool closed_ = false;
};

// The server. One accept thread, and one thread per connection that reads
// its request and runs the handler (or writes its event stream).
//   Set*, Start   the owner, before serving; read afterwards without a lock
//   Stop          the owner (or the destructor); joins every thread
//   ActiveConnections  any thread; connLock_
// The accept thread and the connection threads share conns_ and streams_
// under connLock_, which is never held while a handler runs.
class HttpServer {
public:
  using Handler = std::function<HttpResponse(const HttpRequest &)>;
  // Called for an accepted event-stream request: the stream is written
  // until it closes or the server stops.
  using StreamHandler = std::function<void(const HttpRequest &, const std::shared_ptr<EventStream> &)>;

  explicit HttpServer(HttpLimits limits = {}) : limits_(limits) {}
  ~HttpServer();
  HttpServer(const HttpServer &) = delete;
  HttpServer &operator=(const HttpServer &) = delete;

  void SetToken(std::string token) { token_ = std::move(token); }
  const std::string &Token() const { return token_; }
  void SetHandler(Handler h) { handler_ = std::move(h); }
  // Paths answered with an event stream.
  void SetStreamHandler(std::string path, StreamHandler h) {
    streamPath_ = std::move(path);
    streamHandler_ = std::move(h);
  }

  // Binds address:port (port 0: any free one) and starts accepting.
  bool Start(const std::string &address, int port, std::string &why);
  int Port() const { return port_; }
  const std::string &Address() const { return address_; }
  // "http://127.0.0.1:PORT" (brackets for IPv6).
  std::string Origin() const;
  // Closes everything and joins every thread. Safe to call twice.
  void Stop();
  size_t ActiveConnections() const;

private:
  struct Conn {
    int fd;
    std::thread thread;
    std::atomic<bool> done{false};
  };
  void AcceptLoop();
  void Serve(Conn *c);
  bool ReadRequest(int fd, HttpRequest &req, int &errorStatus);
  bool WriteAll(int fd, std::string_view data);
  void ServeStream(int fd, const HttpRequest &req);
  void Reap(bool all);

  HttpLimits limits_;
  std::string token_;
  Handler handler_;
  std::string streamPath_;
  StreamHandler streamHandler_;
  std::vector<std::string> hosts_;
  std::string address_;
  int port_ = 0;
  int listenFd_ = -1;
  int wakeFds_[2] = {-1, -1};
  std::atomic<bool> stopping_{false};
  std::thread acceptThread_;
  mutable std::mutex connLock_;
  std::vector<std::unique_ptr<Conn>> conns_;
  std::vector<std::shared_ptr<EventStream>> streams_; // guarded by connLock_
};

} // namespace platform::web
