// What can be done with a title: search it on the video site, copy it to
// the clipboard, clear the history. The outside commands are started
// asynchronously through the system's command execution, so the window
// never waits for the browser or the clipboard; a title only ever travels
// as the quoted argument of c:Clip or c:Open.
#include <cstring>
#include <string>

#include "dos/dos.h"
#include "dos/system.h"
#include "gadgets/gadgets.h"
#include "streaminfo/PercentEncode.h"
#include "streaminfo/StreamInfo.h"
#include "streaminfo/TitleText.h"

namespace {

enum : IPTR { TITLE_SEARCH = 1, TITLE_COPY = 2, TITLE_CLEAR = 3 };

void StartCommand(const std::string &command) {
  // The outcome is not ours to report: the command runs on its own.
  SystemTags(command.c_str(), SYS_Asynch, TRUE, SYS_Input, 0, SYS_Output, 0, NP_Name, "Melodune TitleAction");
}

CONST_STRPTR ActiveEntry() {
  Object *list = g.siTitleList.load();
  CONST_STRPTR entry = nullptr;
  if (list) DoMethod(list, MUIM_List_GetEntry, MUIV_List_GetEntry_Active, &entry);
  return entry;
}

void CopyToClipboard() {
  CONST_STRPTR entry = ActiveEntry();
  if (!entry || !*entry) return;
  std::string command = "c:Clip STR " + QuotedArgument(TitlePartOf(entry));
  for (char &c : command)
    if (static_cast<UBYTE>(c) == 0xA0) c = ' ';
  StartCommand(command);
}

void SearchVideoSite(Object *source) {
  CONST_STRPTR text = nullptr;
  if (source && source == g.siTitle.load())
    text = reinterpret_cast<CONST_STRPTR>(xget(source, MUIA_Text_Contents));
  else if (CONST_STRPTR entry = ActiveEntry())
    text = TitlePartOf(entry);
  if (!text || !*text) return;

  const ULONG len = static_cast<ULONG>(std::strlen(text));
  std::string encoded(3 * static_cast<size_t>(len) + 1, '\0');
  encoded.resize(PercentEncode(text, encoded.data(), 3 * len));
  // A control character (a line break inside a title) is no part of an
  // address: it goes as its code, like the reserved bytes.
  std::string query;
  for (char c : encoded) {
    const auto b = static_cast<UBYTE>(c);
    if (b < 0x20 || b == 0x7F) {
      static const char hex[] = "0123456789ABCDEF";
      query += '%';
      query += hex[b >> 4];
      query += hex[b & 15];
    } else {
      query += c;
    }
  }
  StartCommand("c:Open " + QuotedArgument("https://" + VideoSiteHost() + "/results?search_query=" + query));
}

} // namespace

MELODUNE_HANDLER(Melodune_TitleAction) {
  (void)cl, (void)obj;
  auto *m = reinterpret_cast<MP_Melodune_TitleAction *>(msg);
  if (!m->item) return 0;
  switch (xget(m->item, MUIA_UserData)) {
  case TITLE_CLEAR:
    if (Object *list = g.siTitleList.load()) DoMethod(list, MUIM_List_Clear);
    break;
  case TITLE_COPY:
    CopyToClipboard();
    break;
  case TITLE_SEARCH:
    SearchVideoSite(m->source);
    break;
  default:
    break;
  }
  return 0;
}
