// The play chain: one at a time, built and taken down by the connection
// worker, read by the other tasks through the accessors.
//
// Building and freeing run on the connection worker only; FreePlayPipeline
// takes s_chainLock exclusively just to empty the slots. The accessors and
// LockPlayChain serve any task (s_chainLock shared). BreakNetProcess is for
// the watchdog on the GUI task, under s_netLock, which the tear-down takes too
// when it forgets the buffer's reader task.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

#include "Melodune.h"
#include "Playback.h"
#include "dos/dos.h"
#include "reggae/reggae.h"

namespace {

std::atomic<Object *> s_httpObj{nullptr}, s_bufferObj{nullptr}, s_shoutcastObj{nullptr}, s_demuxObj{nullptr},
    s_decoderObj{nullptr}, s_audioObj{nullptr};
std::atomic<struct Task *> s_netProcess{nullptr};

// Filled by http.stream at creation; read by the connection worker only.
LONG s_playErrorCode = 0;
LONG s_playResponseCode = 0;

// Readers hold it shared while they use an object; the tear-down takes it
// exclusively only to empty the slots, never while it disposes.
std::shared_mutex s_chainLock;

// Guards the use of s_netProcess against its task ending.
std::mutex s_netLock;

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

LONG PlayErrorCodeNow() { return s_playErrorCode; }
LONG PlayResponseCodeNow() { return s_playResponseCode; }

Object *GetHttpObj() { return s_httpObj.load(); }
Object *GetBufferObj() { return s_bufferObj.load(); }
Object *GetShoutcastObj() { return s_shoutcastObj.load(); }
Object *GetAudioObj() { return s_audioObj.load(); }
struct Task *GetNetProcess() { return s_netProcess.load(); }

std::shared_lock<std::shared_mutex> LockPlayChain() { return std::shared_lock(s_chainLock); }

void BreakNetProcess() {
  std::lock_guard l(s_netLock);
  struct Task *t = s_netProcess.load();
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
  s_playErrorCode = 0;
  s_playResponseCode = 0;
  for (struct Node *n = list->lh_Head; n->ln_Succ && !s_httpObj.load(); n = n->ln_Succ) {
    Tag addrTag = 0;
    CONST_STRPTR addr = HttpStreamAddress(version, n->ln_Name, &addrTag);
    s_httpObj = NewObject(nullptr, "http.stream", addrTag, addr, MMA_ObjectName, HttpStreamName, MMA_Http_UserAgent,
                        UserAgent, MMA_Http_RequestHeaders, ExtraHeaders, MMA_ErrorCode, &s_playErrorCode,
                        MMA_Http_ResponseCode, &s_playResponseCode);
  }
  Object *http = s_httpObj.load();
  if (!http) return false;

  Object *buffer = NewObject(nullptr, "stream.buffer", MMA_ObjectName, BufferName, MMA_OwnTask, 1);
  s_bufferObj = buffer;
  if (!buffer || !MediaConnect(http, 0, buffer, 0)) return false;
  Object *up = buffer;

  LONG interval = 0;
  if (auto value = reinterpret_cast<CONST_STRPTR>(DoMethod(http, MMM_Http_GetHeader, "icy-metaint")))
    if (StrToLong(value, &interval) < 0) interval = 0;
  // Only a positive interval means in-band titles.
  if (interval > 0) {
    Object *shout = NewObject(nullptr, "shoutcast.demuxer", MMA_Shoutcast_MetaInterval, interval);
    s_shoutcastObj = shout;
    if (!shout || !MediaConnect(buffer, 1, shout, 0)) return false;
    up = shout;
  }

  Object *demux = NewObject(nullptr, "mpegaudio.demuxer");
  s_demuxObj = demux;
  if (!demux || !MediaConnect(up, 1, demux, 0)) return false;

  Object *decoder = NewObject(nullptr, "mpegaudio.decoder");
  s_decoderObj = decoder;
  if (!decoder || !MediaConnect(demux, 1, decoder, 0)) return false;

  Object *audio = NewObject(nullptr, "audio.output", MMA_ObjectName, "Melodune AudioOutput");
  s_audioObj = audio;
  if (!audio || !MediaConnect(decoder, 1, audio, 0)) return false;
  return true;
}

bool SetupStream(CONST_STRPTR url) {
  const bool leftOver = s_httpObj.load() || s_bufferObj.load() || s_shoutcastObj.load() || s_demuxObj.load() ||
                        s_decoderObj.load() || s_audioObj.load() || !IsListEmpty(&g.urlList);
  if (leftOver) FreePlayPipeline();
  if (!AddStreamUrl(&g.urlList, url)) return false;
  if (!BuildPlayPipeline(&g.urlList)) return false;
  IPTR task = 0;
  if (Object *buffer = s_bufferObj.load()) DoMethod(buffer, MMM_GetPort, 1, MMA_StreamBuffer_Task, &task);
  s_netProcess = reinterpret_cast<struct Task *>(task);
  return true;
}

void FreePlayPipeline() {
  // Stop first, so that nothing pulls while the chain goes.
  if (Object *audio = s_audioObj.load()) DoMethod(audio, MMM_Stop);
  // Readers on other tasks let go of the objects before the slots empty;
  // the disposing itself happens outside the lock (it may block).
  std::atomic<Object *> *order[] = {&s_audioObj, &s_decoderObj, &s_demuxObj, &s_shoutcastObj, &s_bufferObj, &s_httpObj};
  Object *objs[6];
  {
    std::unique_lock l(s_chainLock);
    for (size_t i = 0; i < 6; ++i) objs[i] = order[i]->exchange(nullptr);
  }
  for (Object *o : objs)
    if (o) DisposeObject(o);

  while (struct Node *n = RemHead(&g.urlList))
    FreeVec(n);

  std::lock_guard l(s_netLock);
  s_netProcess = nullptr;
}
