// A station directory on loopback for tests, benchmarks and people: answers
// /csv/stations/search in the public directory's CSV layout (a header row,
// 36 columns in its order, quoting only where a field needs it), filtered by
// the query keys it receives (codec, name, tagList, country, language,
// limit). Also serves station icons (/icons/<file>) and lets a test switch
// how it fails (/control?mode=...).
//
// Plain C++20; nothing here uses the platform.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "testkit/server.h"

namespace testkit {

struct DirectoryStation {
  std::string name, url, homepage, favicon, tags, country, countrycode, state, language, languagecodes;
  std::string codec = "MP3";
  int bitrate = 128;
  int votes = 0;
};

// The column names of the directory's table, in its order (36).
const std::vector<std::string>& directory_columns();
// One field as the directory writes it: quoted when it holds a comma, a
// quote or a line break, with quotes doubled.
std::string csv_field(std::string_view text);
// The whole table: header row and one row per station, "\n" line ends.
std::string directory_csv(const std::vector<DirectoryStation>& stations);
std::string directory_header();
// The line of the index-th station of a table (its generated fields follow the index).
std::string directory_row(const DirectoryStation& station, size_t index);
// A few stations that are hard to read: a name with a comma, one with
// doubled quotes, one with a line break, non-ASCII names, a Url with a
// second address, one without an icon. iconBase: where their icons are
// ("http://127.0.0.1:port/icons/").
std::vector<DirectoryStation> sample_directory(const std::string& iconBase, const std::string& streamBase);
// n realistic stations (about 800 bytes a row), deterministic for a seed.
std::vector<DirectoryStation> generated_directory(size_t n, uint32_t seed = 1);
// The indexes of the stations a query selects, in order, at most `limit` unless it is empty.
std::vector<size_t> directory_search(const std::vector<DirectoryStation>& all, const Request& req);
// %XX and '+' decoded.
std::string percent_decode(std::string_view text);

class DirectoryServer {
 public:
  enum class Mode {
    Normal,    // the table
    NotFound,  // 404
    Drop,      // the connection closes halfway through the table
    Slow,      // the table at `rate` bytes per second
  };

  // icon: the picture file served for every station icon under /icons/.
  explicit DirectoryServer(std::string icon = {}, ServerOptions options = {});
  // The table; every favicon under icon_base() gets the icon.
  void set_stations(std::vector<DirectoryStation> stations);
  Server& server() { return server_; }
  std::string base() const { return server_.url(""); }  // "http://127.0.0.1:port"
  std::string icon_base() const { return server_.url("/icons/"); }
  void set_mode(Mode m) { mode_ = m; }
  void set_rate(uint64_t bytes_per_second) { rate_ = bytes_per_second; }
  // Targets of the searches received ("/csv/stations/search?..."), in order.
  std::vector<std::string> searches() const;

  static bool parse_mode(std::string_view name, Mode* mode);

  // Told of each search as it comes, on the server's thread. Safe to set
  // while the server runs.
  void set_on_search(std::function<void(const std::string& target)> f) {
    std::lock_guard lk(mu_);
    on_search_ = std::move(f);
  }

 private:
  Response search(const Request& req);
  mutable std::mutex mu_;
  std::function<void(const std::string& target)> on_search_; // guarded by mu_
  std::vector<DirectoryStation> stations_;
  std::vector<std::string> rows_; // each station's CSV line, made once
  std::string icon_;
  std::atomic<Mode> mode_{Mode::Normal};
  std::atomic<uint64_t> rate_{20000};
  Server server_;
};

}  // namespace testkit
