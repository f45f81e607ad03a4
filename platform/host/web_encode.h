// Encoders of the browser display: JSON texts (from Latin-1) and PNG
// pictures (from the toolkit's ARGB pixels).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform::web {

// A JSON string literal, quotes included, of UTF-8 text.
std::string JsonString(std::string_view utf8);
// The same for a Latin-1 text of the system.
std::string JsonLatin1(std::string_view latin1);

// Builds one JSON value. Keys and values are appended in order; commas are
// placed by the builder.
class Json {
public:
  Json &Begin() { return Open('{'); }
  Json &End() { return Close('}'); }
  Json &BeginArray() { return Open('['); }
  Json &EndArray() { return Close(']'); }
  Json &Key(std::string_view key);
  Json &Str(std::string_view utf8);
  Json &Latin1(std::string_view latin1);
  Json &Num(int64_t n);
  Json &Bool(bool b);
  Json &Null();
  Json &Raw(std::string_view json); // an already formatted value
  const std::string &Text() const { return s_; }

private:
  Json &Open(char c);
  Json &Close(char c);
  void Comma();
  std::string s_;
  bool needComma_ = false;
};

// PNG of w x h ARGB pixels (rows top to bottom); empty on failure.
std::string EncodePNG(const uint32_t *argb, int w, int h);
std::string Base64(std::string_view bytes);

} // namespace platform::web
