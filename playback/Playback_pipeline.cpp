// The play chain: one at a time, built and taken down by the connection
// worker, read by the other tasks through the accessors.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

#include "Melodune.h"
#include "Playback.h"
#include "dos/dos.h"
#include "reggae/reggae.h"

namespace {

std::atomic<Object *> HttpObj{nullptr}, BufferObj{nullptr}, ShoutcastObj{nullptr}, DemuxObj{nullptr},
    DecoderObj{nullptr}, AudioObj{nullptr};
std::atomic<struct Task *> NetProcess{nullptr};

// Filled by http.stream at creation; read by the connection worker only.
LONG PlayErrorCode = 0;
LONG PlayResponseCode = 0;

// Readers hold it shared while they use an object; the tear-down takes it
// exclusively only to empty the slots, never while it disposes.
std::shared_mutex ChainLock;

// Guards the use of NetProcess against its task ending.
std::mutex NetLock;

const char HttpStreamName[] = MELODUNE_HTTPSTREAM_TASK;
const char BufferName[] = "Melodune Play StreamBuffer";
const char UserAgent[] = "Melodune.sbar 3.3";
const char PlaylistSuffix[] = ".m3u";
constexpr ULONG DefaultDownloadSize = 10248;
// A playlist is a few lines; a server that announces more is not believed.
constexpr QUAD MaxDownloadSize = 1 << 20;

struct UrlNode {
  struct Node node;
  char name[1]; // the address, NUL-terminated, allocated with the node
};

bool EndsWith(CONST_STRPTR s, CONST_STRPTR suffix) {
  const size_t n = std::strlen(s), m = std::strlen(suffix);
  return n >= m && std::strcmp(s + n - m, suffix) == 0;
}

} // namespace

LONG PlayErrorCodeNow() { return PlayErrorCode; }
LONG PlayResponseCodeNow() { return PlayResponseCode; }

Object *GetHttpObj() { return HttpObj.load(); }
Object *GetBufferObj() { return BufferObj.load(); }
Object *GetShoutcastObj() { return ShoutcastObj.load(); }
Object *GetAudioObj() { return AudioObj.load(); }
struct Task *GetNetProcess() { return NetProcess.load(); }

std::shared_lock<std::shared_mutex> LockPlayChain() { return std::shared_lock(ChainLock); }

void BreakNetProcess() {
  std::lock_guard l(NetLock);
  struct Task *t = NetProcess.load();
  if (!t) return;
  // Only a task that still runs under that name: one that ended may be freed.
  Forbid();
  if (FindTask(BufferName) == t) Signal(t, SIGBREAKF_CTRL_C);
  Permit();
}

// ---- downloads --------------------------------------------------------------------------------------

STRPTR HttpGetToMemory(CONST_STRPTR url, QUAD *size) {
  if (size) *size = 0;
  if (!url) return nullptr;
  struct Library *mmBase = OpenLibrary("multimedia/multimedia.class", 52);
  struct Library *httpBase = OpenLibrary("multimedia/http.stream", 51);
  STRPTR buffer = nullptr;
  LONG error = 0, response = 0;
  if (mmBase && httpBase) {
    // Named as the stream's own connect, so that whatever aborts that
    // (Stop, another station, the right button) aborts this one as well.
    Object *http = NewObject(nullptr, "http.stream", MMA_StreamURL, url, MMA_ObjectName, HttpStreamName, MMA_ErrorCode,
                             &error, MMA_Http_ResponseCode, &response);
    if (http) {
      QUAD length = 0;
      DoMethod(http, MMM_GetPort, 0, MMA_StreamLength, &length);
      if (length <= 0) length = DefaultDownloadSize;
      length = std::min(length, MaxDownloadSize);
      buffer = static_cast<STRPTR>(AllocVec(static_cast<ULONG>(length) + 1, MEMF_ANY));
      if (buffer) {
        auto got = static_cast<SIPTR>(DoMethod(http, MMM_Pull, 0, buffer, static_cast<IPTR>(length)));
        // A failed read gives an empty text; never more than was asked for.
        got = std::clamp<SIPTR>(got, 0, static_cast<SIPTR>(length));
        buffer[got] = 0;
        if (size) *size = got;
      }
      DisposeObject(http);
    }
  }
  CloseLibrary(httpBase);
  CloseLibrary(mmBase);
  return buffer;
}

bool ReadPlaylistUrl(CONST_STRPTR url, STRPTR out) {
  QUAD size = 0;
  STRPTR text = HttpGetToMemory(url, &size);
  if (!text) return false;
  const bool found = ScanPlaylist(text, static_cast<size_t>(size), out, PLAYLIST_URL_SIZE);
  FreeVec(text);
  return found;
}

// ---- the candidate list --------------------------------------------------------------------------------

bool AddStreamUrl(struct List *list, CONST_STRPTR url) {
  if (url) {
    char extracted[PLAYLIST_URL_SIZE];
    CONST_STRPTR name = url;
    if (EndsWith(url, PlaylistSuffix) && ReadPlaylistUrl(url, extracted)) name = extracted;
    // The node keeps its own copy: the station's text may be replaced
    // while the worker still connects.
    const size_t len = std::strlen(name);
    auto *node = static_cast<UrlNode *>(AllocVec(static_cast<ULONG>(sizeof(UrlNode) + len), MEMF_CLEAR));
    if (node) {
      std::memcpy(node->name, name, len + 1);
      node->node.ln_Name = node->name;
      AddTail(list, &node->node);
    }
  }
  return !IsListEmpty(list);
}

// ---- building and taking down ------------------------------------------------------------------------------

bool BuildPlayPipeline(struct List *list) {
  struct Library *httpBase = OpenLibrary("multimedia/http.stream", 51);
  const UWORD version = httpBase ? httpBase->lib_Version : 51;
  CloseLibrary(httpBase);

  static CONST_STRPTR ExtraHeaders[] = {"Icy-MetaData", "1", nullptr};
  PlayErrorCode = 0;
  PlayResponseCode = 0;
  for (struct Node *n = list->lh_Head; n->ln_Succ && !HttpObj.load(); n = n->ln_Succ) {
    Tag addrTag = 0;
    CONST_STRPTR addr = HttpStreamAddress(version, n->ln_Name, &addrTag);
    HttpObj = NewObject(nullptr, "http.stream", addrTag, addr, MMA_ObjectName, HttpStreamName, MMA_Http_UserAgent,
                        UserAgent, MMA_Http_RequestHeaders, ExtraHeaders, MMA_ErrorCode, &PlayErrorCode,
                        MMA_Http_ResponseCode, &PlayResponseCode);
  }
  Object *http = HttpObj.load();
  if (!http) return false;

  Object *buffer = NewObject(nullptr, "stream.buffer", MMA_ObjectName, BufferName, MMA_OwnTask, 1);
  BufferObj = buffer;
  if (!buffer || !MediaConnect(http, 0, buffer, 0)) return false;
  Object *up = buffer;

  LONG interval = 0;
  if (auto value = reinterpret_cast<CONST_STRPTR>(DoMethod(http, MMM_Http_GetHeader, "icy-metaint")))
    if (StrToLong(value, &interval) < 0) interval = 0;
  // Only a positive interval means in-band titles.
  if (interval > 0) {
    Object *shout = NewObject(nullptr, "shoutcast.demuxer", MMA_Shoutcast_MetaInterval, interval);
    ShoutcastObj = shout;
    if (!shout || !MediaConnect(buffer, 1, shout, 0)) return false;
    up = shout;
  }

  Object *demux = NewObject(nullptr, "mpegaudio.demuxer");
  DemuxObj = demux;
  if (!demux || !MediaConnect(up, 1, demux, 0)) return false;

  Object *decoder = NewObject(nullptr, "mpegaudio.decoder");
  DecoderObj = decoder;
  if (!decoder || !MediaConnect(demux, 1, decoder, 0)) return false;

  Object *audio = NewObject(nullptr, "audio.output", MMA_ObjectName, "Melodune AudioOutput");
  AudioObj = audio;
  if (!audio || !MediaConnect(decoder, 1, audio, 0)) return false;
  return true;
}

bool SetupStream(CONST_STRPTR url) {
  const bool leftOver = HttpObj.load() || BufferObj.load() || ShoutcastObj.load() || DemuxObj.load() ||
                        DecoderObj.load() || AudioObj.load() || !IsListEmpty(&g.urlList);
  if (leftOver) FreePlayPipeline();
  if (!AddStreamUrl(&g.urlList, url)) return false;
  if (!BuildPlayPipeline(&g.urlList)) return false;
  IPTR task = 0;
  if (Object *buffer = BufferObj.load()) DoMethod(buffer, MMM_GetPort, 1, MMA_StreamBuffer_Task, &task);
  NetProcess = reinterpret_cast<struct Task *>(task);
  return true;
}

void FreePlayPipeline() {
  // Stop first, so that nothing pulls while the chain goes.
  if (Object *audio = AudioObj.load()) DoMethod(audio, MMM_Stop);
  // Readers on other tasks let go of the objects before the slots empty;
  // the disposing itself happens outside the lock (it may block).
  std::atomic<Object *> *order[] = {&AudioObj, &DecoderObj, &DemuxObj, &ShoutcastObj, &BufferObj, &HttpObj};
  Object *objs[6];
  {
    std::unique_lock l(ChainLock);
    for (size_t i = 0; i < 6; ++i) objs[i] = order[i]->exchange(nullptr);
  }
  for (Object *o : objs)
    if (o) DisposeObject(o);

  while (struct Node *n = RemHead(&g.urlList))
    FreeVec(n);

  std::lock_guard l(NetLock);
  NetProcess = nullptr;
}
