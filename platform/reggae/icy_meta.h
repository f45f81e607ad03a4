// The in-band metadata of an ICY (SHOUTcast) stream: after every `metaint`
// audio bytes comes one length byte n and n * 16 bytes of text such as
// "StreamTitle='Artist - Song';StreamUrl='';", padded with NULs.
// No I/O here: the demuxer feeds bytes in, tests and the fuzzer do the same.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace reggae {

class IcyMetaParser {
public:
  static constexpr size_t kMaxBlock = 255 * 16;

  explicit IcyMetaParser(size_t metaint) : metaint_(metaint), audioLeft_(metaint) {}

  // Removes the metadata from data[0, len) in place; returns how many audio
  // bytes are left at the front. A title from a finished block is kept.
  size_t Process(uint8_t *data, size_t len);

  // The latest StreamTitle (Latin-1), and a counter that changes with it.
  const std::optional<std::string> &Title() const { return title_; }
  uint64_t TitleSerial() const { return serial_; }

  // The title of one metadata block, converted to Latin-1 when it was sent
  // as UTF-8; nullopt when the block has no StreamTitle.
  static std::optional<std::string> ParseStreamTitle(std::string_view block);

private:
  size_t metaint_;
  size_t audioLeft_;
  size_t metaLeft_ = 0;
  bool inMeta_ = false;
  std::string block_;
  std::optional<std::string> title_;
  uint64_t serial_ = 0;
};

} // namespace reggae
