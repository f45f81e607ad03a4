// The update check. It runs on a task of the ARexx process, never on the GUI
// task: the request waits on the network and the requesters on the person.
// The ARexx process starts it on CTRL-D, which the update check method sends
// from the GUI task; it takes no lock, and hands its result back through
// the process, which sets g.newVersionAvailable.
#include <cstdlib>
#include <cstring>
#include <string>

#include "Melodune.h"
#include "Update.h"
#include "dos/dos.h"
#include "dos/system.h"
#include "exec/clock.h"
#include "mui/screen.h"
#include "reggae/reggae.h"
#include "update/HttpStatus.h"

namespace {

const char DefaultHost[] = "melodune.example.org";
const char RequestPath[] = "/CheckUpdate.php?name=%s&ver=%s";
const char HomepageFormat[] = "/frames/progs/%s.html";
const char DownloaderCommand[] = "Execute Sys:Data/Grabulon_Downloader %s";
const char DownloaderConsole[] = "CON:380/30/640/180/Grabulon_Downloader/AUTO/WAIT/CLOSE";

const char Warning[] = "Melodune.sbar: Warning";
const char Question[] = "Melodune.sbar: Question";
const char Information[] = "Melodune.sbar: Information";

// Bytes of a reply body the check waits for at most, on the platform clock,
// once the headers are in (the stream itself gives up after a minute of
// silence and 20 s without headers).
constexpr ULONG ReadTimeLimitMs = 30000;

// A host name with an optional port: letters, digits, '.', '-', and a
// bracketed IPv6 address; nothing that could add a path or a scheme.
bool IsHostName(const char *text) {
  if (!text || !*text || std::strlen(text) > 80) return false;
  for (const char *p = text; *p; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                    c == '-' || c == ':' || c == '[' || c == ']';
    if (!ok) return false;
  }
  return true;
}

CONST_STRPTR HostFrom(const char *variable) {
  const char *value = std::getenv(variable);
  if (IsHostName(value)) return value;
  if (value && *value) DLOG("UpdateCheck", "$%s is not a host name; using %s\n", variable, DefaultHost);
  return DefaultHost;
}

// Requesters open at the mouse pointer; the pointer of the bar in use when
// no object is given.
LONG Ask(Object *obj, CONST_STRPTR title, CONST_STRPTR gadgets, CONST_STRPTR format, const IPTR *values) {
  Object *ref = obj ? obj : g.currObj.load();
  ULONG flags = 0;
  if (struct Screen *scr = ref ? _screen(ref) : nullptr) {
    const WORD mx = __atomic_load_n(&scr->MouseX, __ATOMIC_RELAXED);
    const WORD my = __atomic_load_n(&scr->MouseY, __ATOMIC_RELAXED);
    flags = MUIV_Request_AtPosition(mx, my);
  }
  return MUI_RequestA(obj ? _app(obj) : nullptr, obj ? _win(obj) : nullptr, flags, title, gadgets, format, values);
}

template <typename... A>
LONG Tell(Object *obj, CONST_STRPTR title, CONST_STRPTR gadgets, CONST_STRPTR format, A... values) {
  const IPTR v[] = {ToIPTR(values)..., 0};
  return Ask(obj, title, gadgets, format, v);
}

// Reads up to length bytes. False when the stream broke off before its
// announced end (or, without a length, with anything but a clean end).
bool ReadReply(Object *http, UBYTE *buffer, ULONG length, bool lengthKnown, LONG *error) {
  ULONG got = 0;
  const uint64_t deadline = platform::ClockNowMs() + ReadTimeLimitMs;
  while (got < length) {
    const IPTR n = DoMethod(http, MMM_PullSome, 0, buffer + got, length - got);
    if (n == 0 || n > length - got) break;
    got += static_cast<ULONG>(n);
    if (platform::ClockNowMs() >= deadline) {
      if (got < length) *error = MMERR_TIMEOUT;
      return got == length;
    }
  }
  if (got == length) return true;
  *error = static_cast<LONG>(MediaGetPort(http, 0, MMA_ErrorCode));
  if (*error == MMERR_OK || *error == MMERR_END_OF_DATA) {
    *error = MMERR_OK;
    return !lengthKnown; // a short body the server announced longer is cut off
  }
  return false;
}

void OpenHomepage(CONST_STRPTR name) {
  char page[256];
  SNPrintf(page, sizeof(page), HomepageFormat, name);
  std::string command = std::string("Open http://") + HomepageHost() + page;
  SystemTags(command.c_str(), SYS_Asynch, TRUE, SYS_Input, 0, SYS_Output, 0, TAG_END);
}

void StartDownloader(CONST_STRPTR name) {
  char command[256];
  SNPrintf(command, sizeof(command), DownloaderCommand, name);
  BPTR con = Open(DownloaderConsole, MODE_NEWFILE);
  // Started, the command owns the console and closes it at its end.
  if (SystemTags(command, SYS_Asynch, TRUE, SYS_Input, 0, SYS_Output, con, TAG_END) != 0 && con) Close(con);
}

} // namespace

CONST_STRPTR UpdateServiceHost() { return HostFrom("MELODUNE_UPDATE_HOST"); }
CONST_STRPTR HomepageHost() { return HostFrom("MELODUNE_HOMEPAGE_HOST"); }

LONG UpdateCheck(CONST_STRPTR name, CONST_STRPTR version, UWORD quiet, Object *obj) {
  char request[UPDATE_REQUEST_SIZE];
  LONG error = MMERR_OK, response = 0;
  Object *http = nullptr;

  // 1. The address: the host, then the query; it never carries a scheme. One
  // that does not fit is not sent cut short.
  std::string address = std::string(UpdateServiceHost()) + RequestPath;
  const LONG written = SNPrintf(request, sizeof(request), address.c_str(), name, version);
  const bool fits = written >= 0 && static_cast<ULONG>(written) < sizeof(request) - 1;

  // 2. The stream: older libraries take the address as the stream name.
  if (fits) {
    UWORD libVersion = 51;
    if (struct Library *base = OpenLibrary("multimedia/http.stream", 0)) {
      libVersion = base->lib_Version;
      CloseLibrary(base);
    }
    const Tag addrTag = libVersion > 51 ? MMA_StreamURL : MMA_StreamName;
    http = NewObject(nullptr, "http.stream", addrTag, request, MMA_Http_ResponseCode, &response, MMA_ErrorCode, &error,
                     TAG_END);
  } else {
    error = MMERR_BAD_ADDRESS;
  }

  // 3.
  if (!http) {
    if (!quiet)
      Tell(obj, Warning, "Okay",
           "\33cUpdateCheck for '%s':\nFailed to create http.stream object.\nErrorCode = %ld (%s), ResponseCode = "
           "%ld (%s)",
           name, error, MediaFault(error), response, HttpStatusText(response));
    return UPDATE_NO_NETWORK;
  }

  // 4. The buffer: the announced length, 10240 when there is none.
  ULONG length = static_cast<ULONG>(MediaGetPort(http, 0, MMA_StreamLength) & 0xFFFFFFFFu);
  const bool lengthKnown = length != 0;
  if (!lengthKnown) length = UPDATE_REPLY_UNKNOWN;
  if (length > UPDATE_REPLY_MAX) length = UPDATE_REPLY_MAX;
  auto *reply = static_cast<UBYTE *>(AllocVec(length + 1, MEMF_ANY | MEMF_CLEAR));
  if (!reply) {
    if (!quiet)
      Tell(obj, Warning, "Okay", "\33cUpdateCheck for '%s':\nFailed to allocate %ld bytes!", name, length + 1);
    DisposeObject(http);
    return UPDATE_NO_MEMORY;
  }

  // 5. The answer; one that broke off is no answer.
  LONG result;
  if (!ReadReply(http, reply, length, lengthKnown, &error)) {
    if (!quiet)
      Tell(obj, Warning, "Okay",
           "\33cUpdateCheck for '%s':\nFailed to read the answer.\nErrorCode = %ld (%s), ResponseCode = %ld (%s)", name,
           error, MediaFault(error), response, HttpStatusText(response));
    result = UPDATE_NO_NETWORK;
  } else {
    // 6. What it says.
    auto *text = reinterpret_cast<STRPTR>(reply);
    CleanUpdateReply(text);
    char newVersion[UPDATE_REQUEST_SIZE];
    CONST_STRPTR notes = "";
    result = ClassifyUpdateReply(text, newVersion, &notes);
    switch (result) {
    case UPDATE_SAME_VERSION:
      if (!quiet) Tell(obj, Information, "Okay", "You are already using the latest version!");
      break;
    case UPDATE_APP_NOT_FOUND:
      if (!quiet) Tell(obj, Warning, "Okay", "Program \33b%s\33n not found!", name);
      break;
    case UPDATE_UNKNOWN_ERROR:
      if (!quiet) Tell(obj, Warning, "Okay", "Unknown error encountered (%s)!", text);
      break;
    default: {
      std::memcpy(request, newVersion, sizeof(newVersion));
      if (quiet) break;
      const LONG choice =
          Tell(obj, Question, "Visit the homepage|Download & Install|Cancel",
               "\33cThere is a new version \33bv%s\33n available for \33b%s\33n!\n\n\33l%s", request, name, notes);
      if (choice == 1)
        OpenHomepage(name);
      else if (choice == 2)
        StartDownloader(name);
      break;
    }
    }
  }

  // 7.
  FreeVec(reply);
  DisposeObject(http);
  return result;
}
