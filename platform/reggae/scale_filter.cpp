#include "reggae/scale_filter.h"

#include <new>
#include <string>
#include <vector>

#include "reggae/media_class.h"
#include "reggae/picture_decode.h"

namespace reggae::pictures {

bool ParseScaleArguments(const char *text, ScaleArguments &out) {
  out = ScaleArguments{};
  if (!text)
    return false;
  bool haveW = false, haveH = false;
  const char *p = text;
  for (;;) {
    while (*p == ' ' || *p == '\t' || *p == '\n')
      ++p;
    if (!*p)
      break;
    const char *key = p;
    while (*p && *p != '=' && *p != ' ' && *p != '\t' && *p != '\n')
      ++p;
    std::string k(key, size_t(p - key));
    for (char &c : k)
      c = char(c >= 'a' && c <= 'z' ? c - 32 : c);
    if (*p != '=')
      return false;
    ++p;
    uint64_t v = 0;
    const char *digits = p;
    while (*p >= '0' && *p <= '9' && v <= 0xFFFFFFFFu)
      v = v * 10 + uint64_t(*p++ - '0');
    if (p == digits || (*p && *p != ' ' && *p != '\t' && *p != '\n') || v > 0xFFFFFFFFu)
      return false;
    if (k == "WIDTH")
      out.width = uint32_t(v), haveW = true;
    else if (k == "HEIGHT")
      out.height = uint32_t(v), haveH = true;
    else if (k == "MODE") {
      if (v == 4)
        out.mode = ScaleMode::AreaAverage;
      else if (v == 0)
        out.mode = ScaleMode::Nearest;
      else
        return false;
    } else
      return false;
  }
  return haveW && haveH && PictureFits(out.width, out.height);
}

namespace {

// Reads the whole input picture a band of rows at a time and scales it.
LONG Run(Object *obj, const ScaleArguments &args, std::vector<uint8_t> &out) {
  IPTR w = GetInputAttr(obj, 0, MMA_Video_Width), h = GetInputAttr(obj, 0, MMA_Video_Height);
  IPTR format = GetInputAttr(obj, 0, MMA_PortFormat);
  if (!w || !h)
    return InputPeer(obj, 0) ? MMERR_BAD_ARGUMENTS : MMERR_NOT_CONNECTED;
  if (format != MMFC_VIDEO_ARGB32)
    return MMERR_UNSUPPORTED_FORMAT;
  if (!PictureFits(w, h))
    return MMERR_TOO_LARGE;
  PixelScaler scaler;
  if (!scaler.Init(uint32_t(w), uint32_t(h), args.width, args.height, args.mode))
    return MMERR_NO_MEMORY;
  const size_t bpl = size_t(w) * 4;
  // About 256 KiB per pull: few calls through the chain, and the band stays in cache.
  const size_t band = std::max<size_t>(1, (256u << 10) / bpl);
  std::vector<uint8_t> rows;
  try {
    rows.resize(band * bpl);
  } catch (const std::bad_alloc &) {
    return MMERR_NO_MEMORY;
  }
  for (uint32_t y = 0; y < h;) {
    if (Closing(obj))
      return MMERR_ABORTED;
    size_t n = std::min<size_t>(band, h - y);
    LONG got = PullInput(obj, 0, rows.data(), LONG(n * bpl));
    if (got < 0 || size_t(got) < n * bpl) {
      LONG why = InputError(obj, 0);
      // A picture that ends early is damaged, however politely it ended.
      return why == MMERR_OK || why == MMERR_END_OF_DATA ? MMERR_CORRUPT_DATA : why;
    }
    for (size_t i = 0; i < n; ++i)
      scaler.PushRow(rows.data() + i * bpl);
    y += uint32_t(n);
  }
  out = std::move(scaler.Output());
  return MMERR_OK;
}

struct Scale {
  static constexpr auto kBadPull = BadPull::PassedOn;

  ScaleArguments args;
  MadeOnce scaled;

  LONG Prepare(TagItem *tags) {
    auto text = reinterpret_cast<const char *>(GetTagData(MMA_ArgumentString, 0, tags));
    return ParseScaleArguments(text, args) ? MMERR_OK : MMERR_BAD_ARGUMENTS;
  }

  bool GetPort(Object *, ULONG port, IPTR attr, IPTR &place) {
    return port == 1 && PictureAttribute(attr, args.width, args.height, MMFC_VIDEO_ARGB32, place);
  }

  IPTR Pull(Object *obj, UBYTE *buf, IPTR len) {
    return scaled.Pull(obj, buf, len, [this, obj](std::vector<uint8_t> &out) { return Run(obj, args, out); });
  }
};

[[maybe_unused]] IClass *const gClass = MediaClass<Scale, PortLayout::Filter>::Register("scale.filter");

} // namespace
} // namespace reggae::pictures
