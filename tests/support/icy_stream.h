// A radio station's answer for the testkit server, made of the MP3
// fixtures built with the tests.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "testkit/server.h"

namespace testsupport {

inline std::string Fixture(const char *name) { return std::string(MELODUNE_FIXTURE_DIR) + "/" + name; }

// file as an ICY stream with no headers but its type (and icy-metaint when
// metaint is not 0, with titles inserted every metaint bytes), sent once.
inline testkit::Response IcyFile(const std::string &file, uint32_t metaint,
                                 std::vector<testkit::TitleChange> titles = {}) {
  testkit::Response r;
  r.status = "ICY 200 OK";
  r.auto_headers = false;
  r.body = testkit::read_file(file);
  r.header("content-type", "audio/mpeg");
  if (metaint) {
    r.metaint_header = std::to_string(metaint);
    r.metaint = metaint;
  }
  r.titles = std::move(titles);
  return r;
}

// The 128 kbit/s tone as a live station: it never ends.
inline testkit::Response Icy(uint32_t metaint, std::vector<testkit::TitleChange> titles = {}) {
  testkit::Response r = IcyFile(Fixture("tone440_128k.mp3"), metaint, std::move(titles));
  r.loops = 0;
  return r;
}

} // namespace testsupport
