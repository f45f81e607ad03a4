// "_Search...": the query from the criteria, and the download of the
// directory's answer into t:Melodune_stations. The end of the data wakes
// the ARexx process (CTRL-F), which hands the parsing back to this task.
//
// Melodune_GetStations runs on the GUI task (the Start button's
// notification) and takes no lock: the download's objects are made here and
// disposed of by the parsing and the clean-up, all on the GUI task.
#include <cstring>

#include "search/Search.h"
#include "search/SearchQuery.h"
#include "gadgets/gadgets.h"
#include "reggae/reggae.h"
#include "update/HttpStatus.h"

namespace {

// The criterion as typed, at most 31 characters.
void ReadCriterion(Object *gadget, char (&text)[SEARCH_CRITERION_SIZE]) {
  auto *contents = reinterpret_cast<CONST_STRPTR>(xget(gadget, MUIA_String_Contents));
  std::strncpy(text, contents ? contents : "", sizeof(text) - 1);
  text[sizeof(text) - 1] = 0;
}

// The gadget shows the text as it is sent.
void WriteBack(Object *gadget, CONST_STRPTR text) {
  auto *contents = reinterpret_cast<CONST_STRPTR>(xget(gadget, MUIA_String_Contents));
  if (!contents || std::strcmp(contents, text) != 0) SetAttrs(gadget, MUIA_NoNotify, TRUE, MUIA_String_Contents, text);
}

void Warn(CONST_STRPTR format, IPTR v1 = 0, IPTR v2 = 0, IPTR v3 = 0, IPTR v4 = 0, IPTR v5 = 0) {
  if (Object *cur = g.currObj.load()) DoMethod(cur, MM_Melodune_Warning, format, v1, v2, v3, v4, v5, 0);
}

void Status(CONST_STRPTR text) {
  if (Object *status = g.searchStatus.load()) SetAttrs(status, MUIA_Text_Contents, text);
}

// Drops the end of a download that the ARexx process pushed and that has not
// run yet: it belongs to a download that is gone.
void ForgetSearchEnd(Object *app, Object *obj) {
  // The ARexx process pushes it to the main instance; the push is found by
  // its object, a method alone removes nothing.
  Object *served = g.obj.load();
  if (app) DoMethod(app, MUIM_Application_KillPushMethod, served ? served : obj, 0, MM_Melodune_ParseStations);
}

} // namespace

void DisposeSearchPipeline() {
  if (Object *file = g.searchFile.exchange(nullptr)) {
    DoMethod(file, MMM_Stop);
    DisposeObject(file);
  }
  if (Object *buffer = g.searchBuffer.exchange(nullptr)) DisposeObject(buffer);
  if (Object *http = g.searchHttp.exchange(nullptr)) DisposeObject(http);
}

MELODUNE_HANDLER(Melodune_GetStations) {
  (void)cl, (void)msg;
  Object *list = g.searchList.load();
  if (!g.searchWin.load() || !list) return 0;

  char name[SEARCH_CRITERION_SIZE], tags[SEARCH_CRITERION_SIZE], country[SEARCH_CRITERION_SIZE],
      languages[SEARCH_CRITERION_SIZE];
  ReadCriterion(g.searchName.load(), name);
  ReadCriterion(g.searchTags.load(), tags);
  ReadCriterion(g.searchCountry.load(), country);
  ReadCriterion(g.searchLanguages.load(), languages);
  NormaliseCountry(country);
  NormaliseLanguages(languages);
  WriteBack(g.searchCountry.load(), country);
  WriteBack(g.searchLanguages.load(), languages);

  const BOOL limitOn = xget(g.searchLimitOn.load(), MUIA_Selected) ? TRUE : FALSE;
  const LONG limit = static_cast<LONG>(xget(g.searchLimit.load(), MUIA_Numeric_Value));
  STRPTR url = BuildStationQuery(DirectoryBase().c_str(), name, tags, country, languages, limitOn, limit);
  if (!url) return 0;
  DTRACE("Melodune_GetStations", "%s\n", url);

  // A download still running goes first, with an end it may have announced.
  if (g.searchHttp.load() || g.searchBuffer.load() || g.searchFile.load()) {
    DisposeSearchPipeline();
    ForgetSearchEnd(_app(obj), obj);
  }
  ++SearchGeneration;
  Status("Connecting to server...");
  DoMethod(list, MUIM_List_Clear);
  SetCriteriaDisabled(obj, TRUE);

  // One exit: whatever was made goes again, last first.
  LONG error = 0, response = 0;
  bool failed = true;
  Object *http = NewObject(nullptr, "http.stream", MMA_ObjectName, "Melodune-Search: http", MMA_Http_ResponseCode,
                           &response, MMA_Http_UserAgent, SEARCH_USER_AGENT, MMA_StreamURL, url, MMA_ErrorCode, &error,
                           TAG_DONE);
  FreeVec(url);
  g.searchHttp = http;
  if (!http) {
    Warn("\33cFailed to create the http.stream object!\n\nErrorCode = %ld (%s)\nResponseCode = %ld (%s)",
         ToIPTR(error), ToIPTR(MediaFault(error)), ToIPTR(response), ToIPTR(HttpStatusText(response)));
  } else if (!(g.searchBuffer = NewObject(nullptr, "stream.buffer", TAG_DONE))) {
    Warn("GetStations: Failed to create stream.buffer object!");
  } else if (!MediaConnect(http, 0, g.searchBuffer.load(), 0)) {
    Warn("GetStations: Failed to connect http.stream and stream.buffer objects!");
  } else {
    error = 0;
    g.searchFile = NewObject(nullptr, "file.output", MMA_ObjectName, "Melodune-Search: file.output", MMA_StreamName,
                             SEARCH_FILE, MMA_ErrorCode, &error, TAG_DONE);
    if (!g.searchFile.load()) {
      Warn("\33cGetStations: Failed to create file.output object for\n'%s'\nErrorCode = %ld (%s)", ToIPTR(SEARCH_FILE),
           ToIPTR(error), ToIPTR(MediaFault(error)));
    } else if (!MediaConnect(g.searchBuffer.load(), 1, g.searchFile.load(), 0)) {
      Warn("GetStations: Failed to connect stream.buffer and file.output objects!");
    } else {
      failed = false;
    }
  }
  if (failed) {
    DisposeSearchPipeline();
    ShowSearchPage(0);
    Status("Downloading failed!");
    SetCriteriaDisabled(obj, FALSE);
    return 0;
  }

  Object *proc = g.arexxProcess.load();
  if (auto *task = reinterpret_cast<struct Task *>(xget(proc, MUIA_Process_Task)))
    DoMethod(g.searchFile.load(), MMM_SignalAtEnd, task, 15);
  ShowSearchPage(1);
  Status("Downloading radio stations list...");
  DoMethod(g.searchFile.load(), MMM_Play);
  return 0;
}
