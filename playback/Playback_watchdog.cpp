// The 5 s watchdog on the GUI task, the title request in the meta-info
// worker, and the buffer gauge of the Stream Info window.
//
// Melodune_Timer and Melodune_UpdateGauge are input handlers of the GUI task;
// Melodune_XUpdateMetaInfo runs on the meta-info worker, sent by the timer,
// and claims g.isInSlaveMetaInfo for its run. All three read the play chain
// under its read lock (LockPlayChain) and take no other lock.
#include <atomic>
#include <cstring>
#include <string>

#include "Melodune.h"
#include "Playback.h"
#include "Playback_private.h"
#include "reggae/reggae.h"

namespace {

constexpr IPTR MaxTitleSize = 127; // bytes with the NUL

// No byte for this long and a stream counts as dropped, although its
// connection is still open.
constexpr uint64_t StallMs = 10000;
std::atomic<IPTR> s_stallBytes{0};
std::atomic<uint64_t> s_stallSince{0};

// The title of a metadata list, cleaned, or "" when it has none that fits.
std::string TitleOf(struct TagItem *tagList) {
  std::string found;
  struct TagItem *state = tagList, *tag;
  while ((tag = NextTagItem(&state))) {
    if (tag->ti_Tag != MMETA_Title) continue;
    auto *sub = reinterpret_cast<struct TagItem *>(tag->ti_Data);
    CONST_STRPTR data = nullptr;
    IPTR size = 0, chars = 0;
    struct TagItem *s = sub, *t;
    while ((t = NextTagItem(&s))) {
      if (t->ti_Tag == MMETA_Data) data = reinterpret_cast<CONST_STRPTR>(t->ti_Data);
      else if (t->ti_Tag == MMETA_Size) size = t->ti_Data;
      else if (t->ti_Tag == MMETA_CharCount) chars = t->ti_Data;
    }
    if (!data || size == 0 || size > MaxTitleSize || size != chars + 1) continue;
    char text[MaxTitleSize + 1];
    const size_t len = strnlen(data, size - 1);
    std::memcpy(text, data, len);
    text[len] = 0;
    CapitaliseTitle(text);
    MakeSpacesUnbreakable(text);
    found = text;
  }
  return found;
}

} // namespace

void ResetStallWatch() {
  s_stallBytes = 0;
  s_stallSince = ClockMs();
}

bool StreamStalled() {
  IPTR received = 0;
  {
    auto lock = LockPlayChain();
    Object *buffer = GetBufferObj();
    if (!buffer || !g.Out.load()) return false;
    DoMethod(buffer, MMM_GetPort, 0, MMA_StreamBuffer_Received, &received);
  }
  const uint64_t now = ClockMs();
  // Bytes came in, or the clock went back (a change of local time).
  if (received != s_stallBytes.load() || now < s_stallSince.load()) {
    s_stallBytes = received;
    s_stallSince = now;
    return false;
  }
  return now - s_stallSince.load() >= StallMs;
}

MELODUNE_HANDLER(Melodune_Timer) {
  (void)msg;
  if (g.isInSlaveConnection.load()) return 0;
  Data *data = static_cast<Data *>(INST_DATA(cl, obj));

  if (g.Out.load()) {
    if (!PlayOutputStopped() && !StreamStalled()) {
      if (data->showMetaTitle && !g.isInSlaveConnection.load() && !g.isInSlaveMetaInfo.load())
        if (Object *meta = g.slaveMetaInfo.load()) DoMethod(meta, MM_Melodune_XUpdateMetaInfo);
    } else {
      DTRACE("Melodune_Timer", "Playing stream stopped!\n");
      g.state = g.recOut.load() ? MELODUNE_RECORDING : MELODUNE_STOPPED;
      DoMethod(obj, MM_Melodune_CreateBubble, "Playing stream stopped!");
      MeloPush(obj, 2000, MM_Melodune_DeleteBubble);
      if (Object *slave = g.slaveConnection.load()) DoMethod(slave, MM_Melodune_XDisConnect, 1);
    }
  } else if (g.isInStreamCleanup.load() && GetNetProcess()) {
    // A tear-down that hangs in a network read.
    BreakNetProcess();
  }

  if (g.recOut.load())
    if (Object *rec = g.slaveRec.load()) DoMethod(rec, MM_Melodune_XCheckRecStopped);
  return 0;
}

MELODUNE_HANDLER(Melodune_XUpdateMetaInfo) {
  (void)cl, (void)msg;
  UWORD idle = 0;
  if (!g.isInSlaveMetaInfo.compare_exchange_strong(idle, 1)) return 0;

  std::string title;
  bool query = false;
  {
    auto lock = LockPlayChain();
    Object *mobj = GetShoutcastObj();
    Object *out = g.Out.load();
    if (mobj && out && out == GetAudioObj()) {
      IPTR state = 0;
      DoMethod(out, MMM_GetPort, 0, MMA_OutputState, &state);
      if (g.state.load() != MELODUNE_STOPPED && state == 1) {
        query = true;
        auto *tagList = reinterpret_cast<struct TagItem *>(DoMethod(mobj, MMM_QueryMetaData, 1, 0, 0));
        if (tagList) {
          title = TitleOf(tagList);
          DoMethod(mobj, MMM_DisposeMetaData, tagList);
        }
      }
    }
  }

  if (query && !title.empty() && !g.title.Equals(title.c_str())) {
    DTRACE("Melodune_XUpdateMetaInfo", "New title: %s\n", title.c_str());
    g.title.Set(title.c_str());
    // The bubble and the window get their own copy: the title may change
    // again before the GUI task gets to them.
    RunOnGuiTask(obj, [obj, title] {
      if (!platform::IsLiveObject(obj)) return;
      if (Object *si = g.siTitle.load()) SetAttrs(si, MUIA_Text_Contents, title.c_str());
      if (DoMethod(obj, MM_Melodune_CreateBubble, title.c_str())) MeloPush(obj, 5000, MM_Melodune_DeleteBubble);
    });
  }

  g.isInSlaveMetaInfo = 0;
  return 0;
}

MELODUNE_HANDLER(Melodune_UpdateGauge) {
  (void)cl, (void)obj, (void)msg;
  Object *gauge = g.siGauge.load();
  if (!g.streamInfoWin.load() || !gauge) return 0;
  IPTR fill = 0;
  {
    auto lock = LockPlayChain();
    Object *buffer = GetBufferObj();
    if (!GetAudioObj() || !buffer) return 0;
    DoMethod(buffer, MMM_GetPort, 0, MMA_StreamBuffer_Fill, &fill);
  }
  const LONG percent = (static_cast<LONG>(fill) * 100) >> 16;
  SetAttrs(gauge, MUIA_Gauge_Current, percent);
  return 0;
}
