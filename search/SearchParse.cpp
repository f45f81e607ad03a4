// The end of a directory download (or "Abort..."): the pipeline is taken
// down and the table that arrived is read into the result list.
#include <cstring>

#include "search/Search.h"
#include "search/SearchCsv.h"
#include "dos/dos.h"
#include "gadgets/gadgets.h"
#include "reggae/reggae.h"

namespace {

bool EndsInNewline(CONST_STRPTR piece, LONG length) { return length > 0 && piece[length - 1] == '\n'; }

// A station whose quoted name holds a line break arrives as two or more
// lines: they are joined, the line break becoming a space, as long as the
// buffer holds them. Returns the new length.
LONG JoinQuotedLines(BPTR fh, STRPTR buf, LONG length) {
  while (CsvLineContinues(buf, length)) {
    LONG cut = length - 1;
    if (cut > 0 && buf[cut - 1] == '\r') --cut;
    buf[cut] = ' ';
    length = cut + 1;
    buf[length] = 0;
    if (length >= SEARCH_LINE_READ - 1 || !FGets(fh, buf + length, static_cast<ULONG>(SEARCH_LINE_READ - length)))
      break;
    length += static_cast<LONG>(std::strlen(buf + length));
  }
  return length;
}

// Reads the table into the list; the number of stations listed.
LONG ReadTable(BPTR fh, Object *list, Object *app, ULONG generation) {
  char buf[SEARCH_LINE_SIZE];
  StationColumns cols = DefaultStationColumns;
  UWORD overlong = 0;
  LONG count = 0;

  if (!FGets(fh, buf, SEARCH_LINE_READ)) return 0;
  LONG length = static_cast<LONG>(std::strlen(buf));
  if (!EndsInNewline(buf, length)) overlong = 1;
  // The directory has moved its columns before: a header that names them wins.
  CsvHeaderColumns(buf, length, &cols);

  while (FGets(fh, buf, SEARCH_LINE_READ)) {
    length = static_cast<LONG>(std::strlen(buf));
    if (overlong) {
      if (EndsInNewline(buf, length)) overlong = 0;
      continue;
    }
    length = JoinQuotedLines(fh, buf, length);
    const bool whole = EndsInNewline(buf, length);
    STRPTR texts[SEARCH_COLUMNS];
    CsvStationFields(buf, length, &cols, texts);
    const char first = texts[SEARCH_COL_NAME][0];
    if (first && first != '\n') {
      DoMethod(list, MUIM_List_InsertSingle, texts, MUIV_List_Insert_Bottom);
      ++count;
    }
    if (!whole) overlong = 1;
    if (count % 50 == 0 && app) {
      DoMethod(app, MUIM_Application_InputBuffered);
      // What ran meanwhile may have closed the window or started a new search.
      if (g.searchList.load() != list || SearchGeneration != generation) break;
    }
  }
  return count;
}

IPTR Signed(LONG v) { return static_cast<IPTR>(static_cast<SIPTR>(v)); }

} // namespace

MELODUNE_HANDLER(Melodune_ParseStations) {
  (void)cl, (void)msg;
  Object *http = g.searchHttp.load(), *buffer = g.searchBuffer.load(), *file = g.searchFile.load();
  Object *status = g.searchStatus.load(), *list = g.searchList.load();
  const ULONG generation = SearchGeneration;

  if (http && buffer && file) {
    IPTR place = 0;
    DoMethod(http, MMM_GetPort, 0, MMA_ErrorCode, &place);
    const LONG error = static_cast<LONG>(place);
    DoMethod(file, MMM_Stop);
    if (error != MMERR_OK && error != MMERR_END_OF_DATA) {
      if (status)
        DoMethod(status, MUIM_SetAsString, MUIA_Text_Contents, "Failed! ErrorCode = %ld (%s)", Signed(error),
                 reinterpret_cast<IPTR>(MediaFault(error)));
    } else {
      // Disposing the output closes the file.
      if (Object *f = g.searchFile.exchange(nullptr)) DisposeObject(f);
      if (status) SetAttrs(status, MUIA_Text_Contents, "Parsing radio stations...");
      BPTR fh = Open(SEARCH_FILE, MODE_OLDFILE);
      if (!fh) {
        if (Object *cur = g.currObj.load())
          DoMethod(cur, MM_Melodune_Warning, "\33cFailed to open t:Melodune_stations!\nDOS-Error: %ld",
                   Signed(IoErr()), 0, 0, 0, 0, 0);
      } else if (list) {
        SetAttrs(list, MUIA_List_Quiet, TRUE);
        const LONG count = ReadTable(fh, list, _app(obj), generation);
        Close(fh);
        // The window may have gone, or a new search begun, while the GUI ran.
        if (g.searchList.load() == list && SearchGeneration == generation) {
          if ((status = g.searchStatus.load()))
            DoMethod(status, MUIM_SetAsString, MUIA_Text_Contents, "%lD station(s) found!", Signed(count));
          SetAttrs(list, MUIA_List_Quiet, FALSE);
        }
      } else {
        Close(fh);
      }
    }
  }

  // Every way out, also for a second call that finds the pipeline gone;
  // but a search started meanwhile keeps its own pipeline and page.
  if (SearchGeneration != generation) return 0;
  SetCriteriaDisabled(obj, FALSE);
  ShowSearchPage(0);
  DisposeSearchPipeline();
  return 0;
}
