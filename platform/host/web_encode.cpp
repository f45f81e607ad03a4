// JSON and PNG for the browser display.
#include "host/web_encode.h"

#include <cstdio>

#include "clib/png_codec.h"
#include "exec/text.h"

namespace platform::web {

std::string JsonString(std::string_view utf8) {
  std::string s = "\"";
  for (char ch : utf8) {
    auto c = static_cast<unsigned char>(ch);
    switch (c) {
    case '"': s += "\\\""; break;
    case '\\': s += "\\\\"; break;
    case '\n': s += "\\n"; break;
    case '\r': s += "\\r"; break;
    case '\t': s += "\\t"; break;
    default:
      if (c < 0x20 || c == 0x7f) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "\\u%04x", c);
        s += buf;
      } else {
        s += ch;
      }
    }
  }
  return s + "\"";
}

std::string JsonLatin1(std::string_view latin1) { return JsonString(Latin1ToUtf8(latin1)); }

void Json::Comma() {
  if (needComma_) s_ += ',';
  needComma_ = true;
}
Json &Json::Open(char c) {
  Comma();
  s_ += c;
  needComma_ = false;
  return *this;
}
Json &Json::Close(char c) {
  s_ += c;
  needComma_ = true;
  return *this;
}
Json &Json::Key(std::string_view key) {
  Comma();
  s_ += JsonString(key);
  s_ += ':';
  needComma_ = false;
  return *this;
}
Json &Json::Str(std::string_view utf8) {
  Comma();
  s_ += JsonString(utf8);
  return *this;
}
Json &Json::Latin1(std::string_view latin1) {
  Comma();
  s_ += JsonLatin1(latin1);
  return *this;
}
Json &Json::Num(int64_t n) {
  Comma();
  s_ += std::to_string(n);
  return *this;
}
Json &Json::Bool(bool b) {
  Comma();
  s_ += b ? "true" : "false";
  return *this;
}
Json &Json::Null() {
  Comma();
  s_ += "null";
  return *this;
}
Json &Json::Raw(std::string_view json) {
  Comma();
  s_ += json.empty() ? std::string_view("null") : json;
  return *this;
}

std::string EncodePNG(const uint32_t *argb, int w, int h) {
  if (!argb || w <= 0 || h <= 0 || w > 16384 || h > 16384) return {};
  clib::png::EncodeOptions options;
  options.compression = 3; // frames go out many times a second
  std::vector<uint8_t> png;
  if (clib::png::Encode(argb, uint32_t(w), uint32_t(h), size_t(w), png, options) != clib::Error::None) return {};
  return std::string(png.begin(), png.end());
}

std::string Base64(std::string_view bytes) {
  static const char tab[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string s;
  s.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    uint32_t v = static_cast<uint8_t>(bytes[i]) << 16 | static_cast<uint8_t>(bytes[i + 1]) << 8 |
                 static_cast<uint8_t>(bytes[i + 2]);
    s += tab[v >> 18];
    s += tab[(v >> 12) & 63];
    s += tab[(v >> 6) & 63];
    s += tab[v & 63];
  }
  if (i < bytes.size()) {
    uint32_t v = static_cast<uint8_t>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) v |= static_cast<uint8_t>(bytes[i + 1]) << 8;
    s += tab[v >> 18];
    s += tab[(v >> 12) & 63];
    s += i + 1 < bytes.size() ? tab[(v >> 6) & 63] : '=';
    s += '=';
  }
  return s;
}

} // namespace platform::web
