#include "testkit/directory.h"

#include <algorithm>
#include <cstdio>
#include <random>

namespace testkit {

namespace {

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string lowered(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = lower(c);
  return out;
}

bool contains_nocase(std::string_view hay, std::string_view needle) {
  return lowered(hay).find(lowered(needle)) != std::string::npos;
}

std::vector<std::string> split(std::string_view s, char sep) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= s.size()) {
    size_t end = s.find(sep, start);
    if (end == std::string_view::npos) end = s.size();
    std::string part(s.substr(start, end - start));
    while (!part.empty() && part.front() == ' ') part.erase(part.begin());
    while (!part.empty() && part.back() == ' ') part.pop_back();
    if (!part.empty()) parts.push_back(part);
    start = end + 1;
  }
  return parts;
}

std::string uuid(std::mt19937& rng) {
  static const char hex[] = "0123456789abcdef";
  std::string u;
  for (int i = 0; i < 32; ++i) {
    if (i == 8 || i == 12 || i == 16 || i == 20) u += '-';
    u += hex[rng() % 16];
  }
  return u;
}

}  // namespace

std::string directory_row(const DirectoryStation& s, size_t index) {
  std::mt19937 rng(static_cast<uint32_t>(index * 2654435761u + 7));
  char stamp[32], iso[32];
  std::snprintf(stamp, sizeof(stamp), "2025-%02u-%02u %02u:%02u:%02u", unsigned(1 + rng() % 12), unsigned(1 + rng() % 28),
                unsigned(rng() % 24), unsigned(rng() % 60), unsigned(rng() % 60));
  std::snprintf(iso, sizeof(iso), "%.10sT%.8sZ", stamp, stamp + 11);
  const std::vector<std::string> fields = {
      uuid(rng), uuid(rng), uuid(rng), s.name, s.url, s.url, s.homepage, s.favicon, s.tags, s.country,
      s.countrycode, s.countrycode.empty() ? "" : s.countrycode + "-" + std::to_string(rng() % 90 + 10), s.state,
      s.language, s.languagecodes, std::to_string(s.votes), stamp, iso, s.codec, std::to_string(s.bitrate), "0", "1",
      stamp, iso, stamp, iso, stamp, iso, stamp, iso, std::to_string(rng() % 500), std::to_string(int(rng() % 11) - 5),
      "0", std::to_string(double(rng() % 18000) / 100.0 - 90.0), std::to_string(double(rng() % 36000) / 100.0 - 180.0),
      "false"};
  std::string line;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i) line += ',';
    line += csv_field(fields[i]);
  }
  line += '\n';
  return line;
}

const std::vector<std::string>& directory_columns() {
  static const std::vector<std::string> cols = {
      "changeuuid", "stationuuid", "serveruuid", "name", "url", "url_resolved", "homepage", "favicon", "tags",
      "country", "countrycode", "iso_3166_2", "state", "language", "languagecodes", "votes", "lastchangetime",
      "lastchangetime_iso8601", "codec", "bitrate", "hls", "lastcheckok", "lastchecktime", "lastchecktime_iso8601",
      "lastcheckoktime", "lastcheckoktime_iso8601", "lastlocalchecktime", "lastlocalchecktime_iso8601",
      "clicktimestamp", "clicktimestamp_iso8601", "clickcount", "clicktrend", "ssl_error", "geo_lat", "geo_long",
      "has_extended_info"};
  return cols;
}

std::string csv_field(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

std::string directory_header() {
  std::string out;
  const auto& cols = directory_columns();
  for (size_t i = 0; i < cols.size(); ++i) out += (i ? "," : "") + cols[i];
  return out + "\n";
}

std::string directory_csv(const std::vector<DirectoryStation>& stations) {
  std::string out = directory_header();
  out.reserve(out.size() + stations.size() * 820);
  for (size_t i = 0; i < stations.size(); ++i) out += directory_row(stations[i], i);
  return out;
}

std::vector<DirectoryStation> sample_directory(const std::string& iconBase, const std::string& streamBase) {
  auto st = [&](std::string name, std::string path, std::string icon, std::string tags, std::string country,
                std::string cc, std::string language, std::string codec = "MP3", int bitrate = 128) {
    DirectoryStation s;
    s.name = std::move(name);
    s.url = streamBase + path;
    s.homepage = "https://example.org/" + path;
    s.favicon = icon.empty() ? "" : iconBase + icon;
    s.tags = std::move(tags);
    s.country = std::move(country);
    s.countrycode = std::move(cc);
    s.language = std::move(language);
    s.languagecodes = s.language.substr(0, 2);
    s.codec = std::move(codec);
    s.bitrate = bitrate;
    return s;
  };
  std::vector<DirectoryStation> v = {
      st("Jazz Cafe", "/jazzcafe", "jazzcafe.png", "jazz,lounge", "France", "FR", "french"),
      st("Jazz Cafe, Paris", "/jazzparis", "paris.ico", "jazz,smooth jazz", "France", "FR", "french", "MP3", 192),
      st("Le \"Jazz Cafe\" Club", "/lejazz", "", "jazz", "France", "FR", "french,english", "MP3", 96),
      st("Jazz Cafe\nNuit", "/nuit", "nuit.png", "jazz,night", "France", "FR", "french", "MP3", 64),
      st("Caf\xC3\xA9 Fran\xC3\xA7" "ais \xE2\x98\x95", "/francais", "", "chanson,pop", "France", "FR", "french"),
      st("Rock Antenne", "/rock", "rock.png", "pop,rock,classic rock", "Germany", "DE", "german"),
      st("Pop Hits UK", "/pophits", "", "pop,rock,hits", "The United Kingdom Of Great Britain And Northern Ireland",
         "GB", "english"),
      st("Jazz Cafe AAC", "/aac", "", "jazz", "France", "FR", "french", "AAC", 64),
  };
  // A Url that names a second address behind a question mark.
  v[5].url = streamBase + "/rock?http://mirror.example.org/rock";
  return v;
}

std::vector<DirectoryStation> generated_directory(size_t n, uint32_t seed) {
  static const char* const words[] = {"Radio", "FM", "Jazz", "Rock", "Classic", "Hits", "Love", "Dance", "Chill",
                                      "Lounge", "Metal", "Country", "Soul", "Funk", "Blues", "News", "Talk", "Latino",
                                      "Party", "Deep", "House", "Techno", "Ambient", "Oldies", "Gold", "City"};
  static const char* const countries[][3] = {
      {"Germany", "DE", "german"},  {"France", "FR", "french"},         {"Spain", "ES", "spanish"},
      {"Italy", "IT", "italian"},   {"Austria", "AT", "german"},        {"Brazil", "BR", "portuguese"},
      {"Greece", "GR", "greek"},    {"The United States Of America", "US", "english"},
      {"Poland", "PL", "polish"},   {"The Netherlands", "NL", "dutch"}, {"Canada", "CA", "english,french"},
  };
  static const char* const tagWords[] = {"pop", "rock", "jazz", "classical", "news", "talk", "dance", "electronic",
                                         "hits", "80s", "90s", "oldies", "chillout", "lounge", "metal", "country",
                                         "soul", "funk", "blues", "house", "techno", "ambient", "local news",
                                         "community radio", "christian", "sports", "top 40", "alternative"};
  static const int bitrates[] = {64, 96, 128, 128, 160, 192, 256, 320};
  std::mt19937 rng(seed);
  std::vector<DirectoryStation> v;
  v.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    DirectoryStation s;
    const size_t nw = 2 + rng() % 3;
    for (size_t k = 0; k < nw; ++k) s.name += (k ? " " : "") + std::string(words[rng() % std::size(words)]);
    s.name += " " + std::to_string(i);
    if (rng() % 40 == 0) s.name += ", Live";        // a comma: quoted
    if (rng() % 200 == 0) s.name = "\"" + s.name + "\"";  // quotes: doubled
    const auto& c = countries[rng() % std::size(countries)];
    std::string host = "stream" + std::to_string(rng() % 900 + 100) + ".example-radio" + std::to_string(i % 97) + ".net";
    s.url = "https://" + host + ":" + std::to_string(8000 + rng() % 100) + "/live/" + std::to_string(i) +
            "/stream.mp3?type=http&nocache=" + std::to_string(rng());
    s.homepage = "https://www.station" + std::to_string(i) + ".example.org/en/listen-live/programme-schedule";
    s.favicon = rng() % 4 ? "https://www.station" + std::to_string(i) + ".example.org/wp-content/uploads/2024/05/logo-" +
                                std::to_string(rng() % 1000) + "-192x192.png"
                          : "";
    const size_t nt = 3 + rng() % 9;
    for (size_t k = 0; k < nt; ++k) s.tags += (k ? "," : "") + std::string(tagWords[rng() % std::size(tagWords)]);
    s.country = c[0];
    s.countrycode = c[1];
    s.state = rng() % 2 ? "State of Region " + std::to_string(rng() % 50) : "";
    s.language = c[2];
    s.languagecodes = s.language.substr(0, 2);
    s.codec = "MP3"; // what the search asks for; other codecs are in the sample
    s.bitrate = bitrates[rng() % std::size(bitrates)];
    s.votes = static_cast<int>(rng() % 5000);
    v.push_back(std::move(s));
  }
  return v;
}

std::string percent_decode(std::string_view text) {
  std::string out;
  auto hexval = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() + 0 && hexval(text[i + 1]) >= 0 && hexval(text[i + 2]) >= 0) {
      out += static_cast<char>(hexval(text[i + 1]) * 16 + hexval(text[i + 2]));
      i += 2;
    } else if (text[i] == '+') {
      out += ' ';
    } else {
      out += text[i];
    }
  }
  return out;
}

std::vector<size_t> directory_search(const std::vector<DirectoryStation>& all, const Request& req) {
  const std::string codec = percent_decode(req.query_param("codec"));
  const std::string name = percent_decode(req.query_param("name"));
  const std::vector<std::string> tags = split(percent_decode(req.query_param("tagList")), ',');
  const std::string country = percent_decode(req.query_param("country"));
  const std::string language = percent_decode(req.query_param("language"));
  const std::string limitText = req.query_param("limit");
  const size_t limit = limitText.empty() ? all.size() : std::strtoul(limitText.c_str(), nullptr, 10);
  std::vector<size_t> out;
  for (size_t i = 0; i < all.size(); ++i) {
    const DirectoryStation& s = all[i];
    if (out.size() >= limit) break;
    if (!codec.empty() && lowered(s.codec) != lowered(codec)) continue;
    if (!name.empty() && !contains_nocase(s.name, name)) continue;
    if (!country.empty() && !contains_nocase(s.country, country)) continue;
    if (!language.empty() && !contains_nocase(s.language, language)) continue;
    const std::vector<std::string> have = split(lowered(s.tags), ',');
    bool all_tags = true;
    for (const auto& t : tags) all_tags &= std::find(have.begin(), have.end(), lowered(t)) != have.end();
    if (!all_tags) continue;
    out.push_back(i);
  }
  return out;
}

DirectoryServer::DirectoryServer(std::string icon, ServerOptions options)
    : icon_(std::move(icon)), server_(options) {
  server_.route_fn("/csv/stations/search", [this](const Request& req) { return search(req); });
  server_.route_fn("/control", [this](const Request& req) {
    Mode m;
    if (!parse_mode(req.query_param("mode"), &m)) return Response::error(400);
    set_mode(m);
    const std::string rate = req.query_param("rate");
    if (!rate.empty()) set_rate(std::strtoull(rate.c_str(), nullptr, 10));
    return Response::text("ok\n");
  });
}

void DirectoryServer::set_stations(std::vector<DirectoryStation> stations) {
  const std::string icons = icon_base();
  std::lock_guard lk(mu_);
  stations_ = std::move(stations);
  rows_.clear();
  for (size_t i = 0; i < stations_.size(); ++i) rows_.push_back(directory_row(stations_[i], i));
  if (icon_.empty()) return;
  const Response picture = Response::file(icon_, "image/png");
  for (const auto& s : stations_)
    if (s.favicon.rfind(icons, 0) == 0) server_.route("/icons/" + s.favicon.substr(icons.size()), picture);
}

bool DirectoryServer::parse_mode(std::string_view name, Mode* mode) {
  if (name == "normal") *mode = Mode::Normal;
  else if (name == "404") *mode = Mode::NotFound;
  else if (name == "drop") *mode = Mode::Drop;
  else if (name == "slow") *mode = Mode::Slow;
  else return false;
  return true;
}

std::vector<std::string> DirectoryServer::searches() const {
  std::vector<std::string> out;
  for (const auto& r : server_.requests("/csv/stations/search")) out.push_back(r.target);
  return out;
}

Response DirectoryServer::search(const Request& req) {
  std::function<void(const std::string&)> told;
  {
    std::lock_guard lk(mu_);
    told = on_search_;
  }
  if (told) told(req.target);
  const Mode mode = mode_.load();
  if (mode == Mode::NotFound) return Response::error(404);
  Response r;
  r.header("Content-Type", "text/csv; charset=utf-8");
  {
    std::lock_guard lk(mu_);
    const std::vector<size_t> found = directory_search(stations_, req);
    // No match: an empty body, as the directory answers.
    if (!found.empty()) {
      size_t size = 0;
      for (size_t i : found) size += rows_[i].size();
      r.body.reserve(size + 1024);
      r.body = directory_header();
      for (size_t i : found) r.body += rows_[i];
    }
  }
  if (mode == Mode::Drop) r.close_after = r.body.size() / 2;
  if (mode == Mode::Slow) {
    r.rate = rate_.load();
    r.burst = std::min<uint64_t>(r.body.size() / 2, 4096);
  }
  return r;
}

}  // namespace testkit
