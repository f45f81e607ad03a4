// shoutcast.demuxer: removes the in-band metadata of an ICY stream and keeps
// the latest StreamTitle for MMM_QueryMetaData.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "reggae/icy_meta.h"
#include "reggae/media_class.h"

namespace {

using namespace reggae;

constexpr SIPTR kMaxMetaInterval = 16 * 1024 * 1024;

// One block: the outer list, the title's sub-list, then the text.
struct MetaBlock {
  TagItem outer[2];
  TagItem sub[6];
  char text[1];
};

TagItem *MakeMeta(const std::string &title) {
  void *mem = std::calloc(1, sizeof(MetaBlock) + title.size());
  if (!mem)
    return nullptr;
  auto *b = static_cast<MetaBlock *>(mem);
  std::memcpy(b->text, title.data(), title.size());
  b->text[title.size()] = 0;
  const size_t chars = std::strlen(b->text);
  b->sub[0] = {MMETA_Data, reinterpret_cast<IPTR>(b->text)};
  b->sub[1] = {MMETA_Size, chars + 1};
  b->sub[2] = {MMETA_CharCount, chars};
  b->sub[3] = {MMETA_Type, MMETA_TYPE_STRING};
  b->sub[4] = {MMETA_Importance, 0};
  b->sub[5] = {TAG_DONE, 0};
  b->outer[0] = {MMETA_Title, reinterpret_cast<IPTR>(b->sub)};
  b->outer[1] = {TAG_DONE, 0};
  return b->outer;
}

// The puller's task runs Pull and keeps the parser to itself; a title it
// finds is published under titleMtx, which MMM_QueryMetaData (any task)
// takes to copy it.
struct Demux {
  static constexpr auto kBadPull = BadPull::Fails;

  IcyMetaParser parser{0}; // used by the puller only
  uint64_t seenSerial = 0;
  std::mutex titleMtx;
  std::string title; // guarded by titleMtx
  bool hasTitle = false;

  LONG Create(Object *, TagItem *tags) {
    auto interval = static_cast<SIPTR>(GetTagData(MMA_Shoutcast_MetaInterval, 0, tags));
    if (interval <= 0 || interval > kMaxMetaInterval)
      return MMERR_BAD_ARGUMENTS;
    parser = IcyMetaParser(static_cast<size_t>(interval));
    return MMERR_OK;
  }

  LONG Pull(Object *obj, UBYTE *buf, LONG len) {
    LONG got = 0;
    while (got < len) {
      const LONG want = len - got;
      const LONG raw = PullInput(obj, 0, buf + got, want);
      const size_t audio = parser.Process(buf + got, static_cast<size_t>(std::max<LONG>(raw, 0)));
      got += static_cast<LONG>(audio);
      if (parser.TitleSerial() != seenSerial) {
        seenSerial = parser.TitleSerial();
        std::lock_guard lock(titleMtx);
        title = *parser.Title();
        hasTitle = true;
      }
      if (raw < want) {
        LONG err = InputError(obj, 0);
        if (err != MMERR_OK) {
          SetPortError(obj, 1, err);
          break;
        }
      }
    }
    return got;
  }

  bool Method(Object *, Msg msg, IPTR &result) {
    switch (msg->MethodID) {
    case MMM_QueryMetaData: {
      std::lock_guard lock(titleMtx);
      result = hasTitle ? reinterpret_cast<IPTR>(MakeMeta(title)) : 0;
      return true;
    }
    case MMM_DisposeMetaData:
      // The outer list is the start of its block.
      std::free(reinterpret_cast<void *>(reinterpret_cast<IPTR *>(msg)[1]));
      result = 0;
      return true;
    default: return false;
    }
  }

  bool GetPort(Object *obj, ULONG, IPTR attr, IPTR &place) {
    if (attr == MMA_PortFormat) {
      place = MMFC_STREAM;
      return true;
    }
    if (attr == MMA_StreamBuffer_Fill) {
      place = GetInputAttr(obj, 0, MMA_StreamBuffer_Fill);
      return true;
    }
    return false;
  }
};

[[maybe_unused]] IClass *const gClass = MediaClass<Demux, PortLayout::Filter>::Register("shoutcast.demuxer");

} // namespace
