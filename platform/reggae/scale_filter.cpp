#include "reggae/scale_filter.h"

#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "reggae/picture_decode.h"
#include "reggae/reggae.h"

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

struct Scale {
  std::mutex lock;
  ScaleArguments args;
  bool done = false;
  LONG failure = MMERR_OK;
  std::vector<uint8_t> out;
  size_t delivered = 0;
};

struct Data {
  Scale *sc;
};

// Reads the whole input picture a band of rows at a time and scales it.
LONG Run(Object *obj, Scale &sc) {
  IPTR w = GetInputAttr(obj, 0, MMA_Video_Width), h = GetInputAttr(obj, 0, MMA_Video_Height);
  IPTR format = GetInputAttr(obj, 0, MMA_PortFormat);
  if (!w || !h)
    return InputPeer(obj, 0) ? MMERR_BAD_ARGUMENTS : MMERR_NOT_CONNECTED;
  if (format != MMFC_VIDEO_ARGB32)
    return MMERR_UNSUPPORTED_FORMAT;
  if (!PictureFits(w, h))
    return MMERR_TOO_LARGE;
  PixelScaler scaler;
  if (!scaler.Init(uint32_t(w), uint32_t(h), sc.args.width, sc.args.height, sc.args.mode))
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
  sc.out = std::move(scaler.Output());
  return MMERR_OK;
}

IPTR Dispatcher(IClass *cl, Object *obj, Msg msg) {
  auto *d = obj && msg->MethodID != OM_NEW ? static_cast<Data *>(INST_DATA(cl, obj)) : nullptr;
  switch (msg->MethodID) {
  case OM_NEW: {
    TagItem *tags = reinterpret_cast<opSet *>(msg)->ops_AttrList;
    ScaleArguments args;
    if (!ParseScaleArguments(reinterpret_cast<const char *>(GetTagData(MMA_ArgumentString, 0, tags)), args)) {
      SetCreateError(tags, MMERR_BAD_ARGUMENTS);
      return 0;
    }
    auto *sc = new (std::nothrow) Scale;
    if (!sc) {
      SetCreateError(tags, MMERR_NO_MEMORY);
      return 0;
    }
    sc->args = args;
    auto *o = reinterpret_cast<Object *>(DoSuperMethodA(cl, obj, msg));
    if (!o) {
      delete sc;
      return 0;
    }
    static_cast<Data *>(INST_DATA(cl, o))->sc = sc;
    return reinterpret_cast<IPTR>(o);
  }
  case OM_DISPOSE:
    delete d->sc;
    d->sc = nullptr;
    break;
  case MMM_GetPort: {
    auto *m = reinterpret_cast<mmpGetPort *>(msg);
    if (!d->sc || m->Port != 1 || !m->Place)
      break;
    const ScaleArguments &a = d->sc->args;
    switch (m->Attribute) {
    case MMA_Video_Width: *m->Place = a.width; return TRUE;
    case MMA_Video_Height: *m->Place = a.height; return TRUE;
    case MMA_Video_BytesPerRow: *m->Place = IPTR(a.width) * 4; return TRUE;
    case MMA_PortFormat: *m->Place = MMFC_VIDEO_ARGB32; return TRUE;
    case MMA_StreamLength: *m->Place = IPTR(a.width) * a.height * 4; return TRUE;
    default: break;
    }
    break;
  }
  case MMM_Pull: {
    auto *m = reinterpret_cast<mmpPull *>(msg);
    Scale *sc = d->sc;
    if (!sc || m->Port != 1 || (!m->Buffer && m->Length))
      break;
    std::lock_guard guard(sc->lock);
    if (!sc->done) {
      sc->done = true;
      sc->failure = Run(obj, *sc);
    }
    size_t n = 0;
    if (sc->failure == MMERR_OK) {
      n = std::min<size_t>(m->Length, sc->out.size() - sc->delivered);
      if (n)
        std::memcpy(m->Buffer, sc->out.data() + sc->delivered, n);
      sc->delivered += n;
    }
    if (n < m->Length)
      SetPortError(obj, 1, sc->failure != MMERR_OK ? sc->failure : MMERR_END_OF_DATA);
    return n;
  }
  default: break;
  }
  return DoSuperMethodA(cl, obj, msg);
}

IClass *const gClass = MakeMediaClass("scale.filter", PortLayout::Filter, sizeof(Data), Dispatcher);
Library *const gLibrary = platform::RegisterLibrary("multimedia/scale.filter", 52, 0, "scale.filter 52.0");

} // namespace
} // namespace reggae::pictures
