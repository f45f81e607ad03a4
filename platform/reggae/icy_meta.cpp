#include "reggae/icy_meta.h"

#include <algorithm>
#include <cstring>

#include "exec/text.h"

namespace reggae {

namespace {

bool IsKeyChar(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_'; }

// True when s[i...] reads `Key='` (the start of the next field).
bool StartsField(std::string_view s, size_t i) {
  size_t j = i;
  while (j < s.size() && IsKeyChar(s[j]))
    ++j;
  return j > i && j + 1 < s.size() && s[j] == '=' && s[j + 1] == '\'';
}

} // namespace

std::optional<std::string> IcyMetaParser::ParseStreamTitle(std::string_view block) {
  if (size_t nul = block.find('\0'); nul != std::string_view::npos)
    block = block.substr(0, nul);
  while (!block.empty() && (block.back() == ' ' || block.back() == '\r' || block.back() == '\n'))
    block.remove_suffix(1);
  static constexpr std::string_view kKey = "StreamTitle='";
  size_t start = std::string_view::npos;
  for (size_t i = 0; i + kKey.size() <= block.size(); ++i)
    if (platform::EqualsNoCaseLatin1(block.substr(i, kKey.size()), kKey) && (i == 0 || block[i - 1] == ';')) {
      start = i + kKey.size();
      break;
    }
  if (start == std::string_view::npos)
    return std::nullopt;
  // The title ends at the quote that closes the field: one followed by ';'
  // and then nothing or the next field, or by nothing at all. A quote inside
  // the title (Don't) is followed by neither.
  size_t end = std::string_view::npos, lastQuote = std::string_view::npos;
  for (size_t i = start; i < block.size(); ++i) {
    if (block[i] != '\'')
      continue;
    lastQuote = i;
    if (i + 1 == block.size() || (block[i + 1] == ';' && (i + 2 == block.size() || StartsField(block, i + 2)))) {
      end = i;
      break;
    }
  }
  if (end == std::string_view::npos)
    end = lastQuote != std::string_view::npos ? lastQuote : block.size();
  std::string_view raw = block.substr(start, end - start);
  if (platform::LooksLikeUtf8(raw))
    return platform::Utf8ToLatin1(raw);
  return std::string(raw);
}

size_t IcyMetaParser::Process(uint8_t *data, size_t len) {
  size_t out = 0, i = 0;
  while (i < len) {
    if (!inMeta_) {
      if (audioLeft_ > 0) {
        size_t n = std::min(audioLeft_, len - i);
        if (out != i)
          std::memmove(data + out, data + i, n);
        out += n;
        i += n;
        audioLeft_ -= n;
        continue;
      }
      // The length byte.
      metaLeft_ = static_cast<size_t>(data[i++]) * 16;
      block_.clear();
      if (metaLeft_ == 0)
        audioLeft_ = metaint_;
      else
        inMeta_ = true;
      continue;
    }
    size_t n = std::min(metaLeft_, len - i);
    block_.append(reinterpret_cast<const char *>(data + i), n);
    i += n;
    metaLeft_ -= n;
    if (metaLeft_ == 0) {
      inMeta_ = false;
      audioLeft_ = metaint_;
      if (auto t = ParseStreamTitle(block_)) {
        title_ = std::move(t);
        ++serial_;
      }
      block_.clear();
    }
  }
  return out;
}

} // namespace reggae
