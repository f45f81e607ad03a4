// http.stream: an HTTP(S) GET on libcurl. Creation connects, sends the
// request and reads the response headers on a task named after the object
// (so CTRL-C to that task aborts the attempt); the body is then pulled on
// port 0, the transfer being driven by whichever task pulls.
#include <curl/curl.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "exec/clock.h"
#include "exec/text.h"
#include "reggae/http_head.h"
#include "reggae/media_class.h"

namespace {

using namespace reggae;

constexpr long kMaxRedirects = 5;
constexpr uint64_t kConnectTimeoutMs = 10000; // platform clock
constexpr uint64_t kHeaderTimeoutMs = 15000;  // from start until the headers are in
constexpr uint64_t kStallTimeoutMs = 60000;   // body: no byte for this long ends the stream
constexpr long kPollMs = 50;                  // how often a waiting transfer looks for CTRL-C

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

LONG MapCurlError(CURLcode c) {
  switch (c) {
  case CURLE_OK: return MMERR_END_OF_DATA;
  case CURLE_COULDNT_RESOLVE_HOST:
  case CURLE_COULDNT_RESOLVE_PROXY: return MMERR_HOST_NOT_FOUND;
  case CURLE_COULDNT_CONNECT: return MMERR_CONNECTION_REFUSED;
  case CURLE_OPERATION_TIMEDOUT: return MMERR_TIMEOUT;
  case CURLE_ABORTED_BY_CALLBACK: return MMERR_ABORTED;
  case CURLE_TOO_MANY_REDIRECTS: return MMERR_TOO_MANY_REDIRECTS;
  case CURLE_URL_MALFORMAT:
  case CURLE_UNSUPPORTED_PROTOCOL: return MMERR_BAD_ADDRESS;
  case CURLE_SSL_CONNECT_ERROR:
  case CURLE_PEER_FAILED_VERIFICATION:
  case CURLE_SSL_CERTPROBLEM:
  case CURLE_SSL_CIPHER:
  case CURLE_SSL_CACERT_BADFILE: return MMERR_SECURE_CONNECTION;
  case CURLE_WEIRD_SERVER_REPLY:
  case CURLE_BAD_CONTENT_ENCODING: return MMERR_BAD_RESPONSE;
  case CURLE_OUT_OF_MEMORY: return MMERR_NO_MEMORY;
  default: return MMERR_NETWORK;
  }
}

// The response head (status, headers, ownError) comes from the base.
//
// Tasks and locks: Create runs on the creating task and hands the request
// to the connecting task, which it joins; until then nothing else touches
// the stream. The body is pulled from any task, one at a time under
// pullMutex, and the pulling task drives the transfer. The wake hook runs
// on a stopping consumer's task and only wakes curl's poll. After creation
// the response (status, headers, length, url) does not change and is read
// without a lock.
struct HttpStream : HttpResponseHead {
  static constexpr auto kBadPull = BadPull::Fails;

  Object *obj = nullptr;
  CURL *easy = nullptr;
  CURLM *multi = nullptr;
  curl_slist *requestHeaders = nullptr;
  std::string url;
  std::string userAgent;

  // Response (fixed once creation is over; read freely afterwards).
  std::vector<const char *> headerArray;  // pointers into headerStore, null-terminated
  QUAD length = 0;

  // Body.
  std::mutex pullMutex; // one puller at a time
  std::string pending;
  size_t pendingPos = 0;
  bool transferDone = false;
  CURLcode result = CURLE_OK;
  uint64_t lastDataMs = 0;
  std::atomic<Object *> closingObj{nullptr};

  ~HttpStream() {
    if (multi && easy)
      curl_multi_remove_handle(multi, easy);
    if (easy)
      curl_easy_cleanup(easy);
    if (multi)
      curl_multi_cleanup(multi);
    curl_slist_free_all(requestHeaders);
  }

  static size_t HeaderCb(char *data, size_t size, size_t n, void *user) {
    auto *h = static_cast<HttpStream *>(user);
    return h->OnHeaderLine(data, size * n) ? size * n : 0;
  }

  static size_t WriteCb(char *data, size_t size, size_t n, void *user) {
    auto *h = static_cast<HttpStream *>(user);
    size_t len = size * n;
    if (!h->statusSeen) {
      // An answer without an HTTP status line: "ICY 401 ..." and friends come
      // here, since only "ICY 200 OK" is taken as a status line.
      h->pending.append(data, len);
      if (h->pending.size() < 8 && h->pending.find('\n') == std::string::npos)
        return len;
      std::string_view head(h->pending);
      if (head.substr(0, 4) == "ICY ") {
        h->status = 0;
        for (size_t i = 4; i < head.size() && i < 7 && head[i] >= '0' && head[i] <= '9'; ++i)
          h->status = h->status * 10 + (head[i] - '0');
        h->ownError = MMERR_HTTP_ERROR;
      } else {
        h->ownError = MMERR_BAD_RESPONSE;
      }
      return 0;
    }
    h->pending.append(data, len);
    h->lastDataMs = platform::ClockNowMs();
    return len;
  }

  static int XferCb(void *user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto *h = static_cast<HttpStream *>(user);
    Object *o = h->closingObj.load();
    if ((o && Closing(o)) || (SetSignal(0, 0) & SIGBREAKF_CTRL_C))
      return 1;
    return 0;
  }

  // Runs the transfer once; sets transferDone when curl finished.
  void Step() {
    int running = 0;
    curl_multi_perform(multi, &running);
    int left = 0;
    while (CURLMsg *m = curl_multi_info_read(multi, &left)) {
      if (m->msg == CURLMSG_DONE) {
        transferDone = true;
        result = m->data.result;
      }
    }
    if (!running)
      transferDone = true;
  }

  void Wait() { curl_multi_poll(multi, nullptr, 0, kPollMs, nullptr); }

  LONG ErrorOfResult() const {
    if (ownError != MMERR_OK)
      return ownError;
    return MapCurlError(result);
  }

  // Runs on the connecting task: until the headers of the final response are in.
  LONG Connect() {
    const uint64_t deadline = platform::ClockNowMs() + kHeaderTimeoutMs;
    for (;;) {
      Step();
      if (headersDone || transferDone)
        break;
      if (SetSignal(0, 0) & SIGBREAKF_CTRL_C) {
        SetSignal(0, SIGBREAKF_CTRL_C);
        return MMERR_ABORTED;
      }
      if (platform::ClockNowMs() >= deadline)
        return MMERR_TIMEOUT;
      Wait();
    }
    if (!headersDone) {
      // Done before the headers: a failure, or an empty answer.
      if (result == CURLE_OK && ownError == MMERR_OK && statusSeen)
        headersDone = true;
      else if (result == CURLE_ABORTED_BY_CALLBACK && ownError == MMERR_OK)
        return MMERR_ABORTED;
      else if (ownError == MMERR_OK && result == CURLE_OUT_OF_MEMORY)
        // What libcurl answers to a header line beyond its own limit
        // (100 KB): a broken server, not a lack of memory here.
        return MMERR_BAD_RESPONSE;
      else
        return ownError != MMERR_OK ? ownError : (result == CURLE_OK ? MMERR_BAD_RESPONSE : MapCurlError(result));
    }
    if (status < 200 || status > 299)
      return MMERR_HTTP_ERROR;
    curl_off_t cl = -1;
    if (curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &cl) == CURLE_OK && cl > 0)
      length = cl;
    for (auto &s : headerStore)
      headerArray.push_back(s.c_str());
    headerArray.push_back(nullptr);
    lastDataMs = platform::ClockNowMs();
    return MMERR_OK;
  }

  LONG Create(Object *o, TagItem *tags);
  LONG Pull(Object *, UBYTE *buf, LONG len) { return Body(buf, len, false); }
  LONG PullSome(Object *, UBYTE *buf, LONG len) { return Body(buf, len, true); }

  bool GetPort(Object *, ULONG port, IPTR attr, IPTR &place) {
    if (port != 0)
      return false;
    switch (attr) {
    case MMA_StreamLength: place = static_cast<IPTR>(length); return true;
    case MMA_Http_Headers: place = reinterpret_cast<IPTR>(headerArray.data()); return true;
    case MMA_Http_ResponseCode: place = static_cast<IPTR>(status); return true;
    case MMA_StreamURL: place = reinterpret_cast<IPTR>(url.c_str()); return true;
    case MMA_PortFormat: place = MMFC_STREAM; return true;
    default: return false;
    }
  }

  bool Method(Object *, Msg msg, IPTR &result) {
    switch (msg->MethodID) {
    case MMM_Http_HeaderList: result = reinterpret_cast<IPTR>(headerArray.data()); return true;
    case MMM_Http_GetHeader: {
      auto name = reinterpret_cast<CONST_STRPTR>(reinterpret_cast<IPTR *>(msg)[1]);
      result = 0;
      for (size_t i = 0; name && i + 1 < headerStore.size(); i += 2)
        if (platform::EqualsNoCaseLatin1(headerStore[i], name)) {
          result = reinterpret_cast<IPTR>(headerStore[i + 1].c_str());
          break;
        }
      return true;
    }
    default: return false;
    }
  }

  LONG Body(UBYTE *buf, LONG len, bool some) {
    std::lock_guard lock(pullMutex);
    LONG got = 0;
    for (;;) {
      size_t avail = pending.size() - pendingPos;
      if (avail) {
        size_t n = std::min<size_t>(avail, static_cast<size_t>(len - got));
        std::memcpy(buf + got, pending.data() + pendingPos, n);
        pendingPos += n;
        got += static_cast<LONG>(n);
        if (pendingPos == pending.size()) {
          pending.clear();
          pendingPos = 0;
        }
      }
      if (got == len || (some && got > 0))
        return got;
      if (transferDone) {
        SetPortError(obj, 0, ErrorOfResult());
        return got;
      }
      LONG why = MMERR_OK;
      if (ShouldAbort(obj, &why)) {
        SetPortError(obj, 0, why);
        return got;
      }
      if (platform::ClockNowMs() - lastDataMs > kStallTimeoutMs) {
        SetPortError(obj, 0, MMERR_TIMEOUT);
        return got;
      }
      size_t before = pending.size();
      Step();
      if (pending.size() == before && !transferDone)
        Wait();
    }
  }
};

std::string NormaliseUrl(std::string url) {
  if (url.find("://") == std::string::npos)
    url = "http://" + url;
  return url;
}

LONG Setup(HttpStream *h, TagItem *tags, LONG *response) {
  auto full = reinterpret_cast<CONST_STRPTR>(GetTagData(MMA_StreamURL, 0, tags));
  auto bare = reinterpret_cast<CONST_STRPTR>(GetTagData(MMA_StreamName, 0, tags));
  if (full && *full)
    h->url = NormaliseUrl(full);
  else if (bare && *bare)
    h->url = NormaliseUrl(bare);
  else
    return MMERR_BAD_ARGUMENTS;
  // The address goes on the wire as it is; no control characters in it.
  for (unsigned char c : h->url)
    if (c < 0x20 || c == 0x7F)
      return MMERR_BAD_ADDRESS;
  if (auto ua = reinterpret_cast<CONST_STRPTR>(GetTagData(MMA_Http_UserAgent, 0, tags)))
    h->userAgent = ua;
  if (auto pairs = reinterpret_cast<CONST_STRPTR *>(GetTagData(MMA_Http_RequestHeaders, 0, tags))) {
    for (int i = 0; pairs[i] && i < 64; i += 2) {
      std::string line = pairs[i];
      line += ": ";
      if (pairs[i + 1])
        line += pairs[i + 1];
      // A value must not be able to start a header of its own.
      std::string clean;
      for (char c : line)
        if (c != '\r' && c != '\n')
          clean += c;
      curl_slist *n = curl_slist_append(h->requestHeaders, clean.c_str());
      if (!n)
        return MMERR_NO_MEMORY;
      h->requestHeaders = n;
      if (!pairs[i + 1])
        break;
    }
  }

  GlobalInit();
  h->easy = curl_easy_init();
  h->multi = curl_multi_init();
  if (!h->easy || !h->multi)
    return MMERR_NO_MEMORY;
  CURL *e = h->easy;
  curl_easy_setopt(e, CURLOPT_URL, h->url.c_str());
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(e, CURLOPT_MAXREDIRS, kMaxRedirects);
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS,
                   static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                         platform::RealDuration(kConnectTimeoutMs))
                                         .count()) +
                       1);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
  curl_easy_setopt(e, CURLOPT_ACCEPT_ENCODING, nullptr);
  // Only this exact line is an ICY success; "ICY 401 ..." must stay a failure,
  // so it arrives as an HTTP/0.9 body that WriteCb inspects.
  static curl_slist *aliases = curl_slist_append(nullptr, "ICY 200 OK");
  curl_easy_setopt(e, CURLOPT_HTTP200ALIASES, aliases);
  curl_easy_setopt(e, CURLOPT_HTTP09_ALLOWED, 1L);
  if (!h->userAgent.empty())
    curl_easy_setopt(e, CURLOPT_USERAGENT, h->userAgent.c_str());
  if (h->requestHeaders)
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, h->requestHeaders);
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &HttpStream::HeaderCb);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, h);
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &HttpStream::WriteCb);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, h);
  curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &HttpStream::XferCb);
  curl_easy_setopt(e, CURLOPT_XFERINFODATA, h);
  curl_easy_setopt(e, CURLOPT_BUFFERSIZE, 16384L);
  if (curl_multi_add_handle(h->multi, e) != CURLM_OK)
    return MMERR_NO_MEMORY;

  CONST_STRPTR taskName = ObjectName(h->obj);
  LONG code = MMERR_NO_TASK;
  Task *t = platform::CreateTask(taskName ? taskName : "http.stream", 0, [h, &code] { code = h->Connect(); });
  if (!t)
    return MMERR_NO_TASK;
  platform::JoinTask(t);
  if (response)
    *response = static_cast<LONG>(h->status);
  return code;
}

LONG HttpStream::Create(Object *o, TagItem *tags) {
  auto *response = reinterpret_cast<LONG *>(GetTagData(MMA_Http_ResponseCode, 0, tags));
  if (response)
    *response = 0;
  obj = o;
  closingObj = o;
  const LONG code = Setup(this, tags, response);
  if (code == MMERR_OK)
    // A reader downstream that stops leaves the body's poll at once.
    SetWakeHook(o, [](Object *, void *user) { curl_multi_wakeup(static_cast<HttpStream *>(user)->multi); }, this);
  return code;
}

[[maybe_unused]] IClass *const gClass = MediaClass<HttpStream, PortLayout::Source>::Register("http.stream");

} // namespace
