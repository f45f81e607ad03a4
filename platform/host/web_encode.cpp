// JSON and PNG for the browser display. libpng is used only here.
#include "host/web_encode.h"

#include <png.h>

#include <cstdio>

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

namespace {

void WriteToString(png_structp png, png_bytep data, png_size_t length) {
  auto *out = static_cast<std::string *>(png_get_io_ptr(png));
  out->append(reinterpret_cast<const char *>(data), length);
}
void FlushNothing(png_structp) {}

} // namespace

std::string EncodePNG(const uint32_t *argb, int w, int h) {
  if (!argb || w <= 0 || h <= 0 || w > 16384 || h > 16384) return {};
  std::string out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return {};
  png_infop info = png_create_info_struct(png);
  std::vector<png_byte> row(static_cast<size_t>(w) * 4);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, info ? &info : nullptr);
    return {};
  }
  png_set_write_fn(png, &out, WriteToString, FlushNothing);
  png_set_IHDR(png, info, static_cast<png_uint_32>(w), static_cast<png_uint_32>(h), 8, PNG_COLOR_TYPE_RGB_ALPHA,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, 3); // frames go out many times a second
  png_write_info(png, info);
  for (int y = 0; y < h; ++y) {
    const uint32_t *src = argb + static_cast<size_t>(y) * w;
    for (int x = 0; x < w; ++x) {
      uint32_t p = src[x];
      row[x * 4 + 0] = static_cast<png_byte>(p >> 16);
      row[x * 4 + 1] = static_cast<png_byte>(p >> 8);
      row[x * 4 + 2] = static_cast<png_byte>(p);
      row[x * 4 + 3] = static_cast<png_byte>(p >> 24);
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
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
