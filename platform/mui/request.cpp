// MUI_Request and the ASL requesters: they are put together here and shown
// by the display, which waits for the answer. A requester opened on a
// worker blocks only that worker.
#include <cstring>
#include <string>

#include "dos/dos.h"
#include "mui/core_internal.h"
#include "mui/display.h"

using namespace platform;

LONG MUI_RequestA(APTR app, APTR win, ULONG flags, CONST_STRPTR title, CONST_STRPTR gadgets, CONST_STRPTR format,
                  const IPTR *params) {
  RequestInfo info;
  info.app = static_cast<Object *>(app);
  info.window = static_cast<Object *>(win);
  info.title = title ? title : "";
  info.text = format ? FormatString(format, params) : "";
  std::string g = gadgets ? gadgets : "";
  int def = -1;
  size_t start = 0;
  for (;;) {
    size_t bar = g.find('|', start);
    std::string b = g.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
    if (!b.empty() && b[0] == '*') {
      b.erase(0, 1);
      if (def < 0) def = static_cast<int>(info.buttons.size());
    }
    info.buttons.push_back(b);
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  // Without a marked button the default is the last one: it answers 0.
  info.defaultButton = def >= 0 ? def : static_cast<int>(info.buttons.size()) - 1;
  if (flags & 0x80000000u) {
    info.atPosition = true;
    info.x = static_cast<LONG>((flags >> 16) & 0x7fff);
    info.y = static_cast<LONG>(flags & 0xffff);
  }
  int choice;
  Display *disp = GetDisplay();
  if (!disp)
    choice = HeadlessRequest(info);
  else
    mui::RunBlocking([&] { choice = disp->Request(info); });
  return RequestResultFor(info, choice);
}

namespace {

struct AslState {
  AslInfo info;
  std::string file, drawer, pattern;
};

void ApplyTags(AslInfo &info, struct TagItem *tags) {
  static constexpr struct {
    Tag tag;
    std::string AslInfo::*text;
  } kTexts[] = {
      {ASLFR_TitleText, &AslInfo::title},         {ASLFR_InitialDrawer, &AslInfo::drawer},
      {ASLFR_InitialFile, &AslInfo::file},        {ASLFR_InitialPattern, &AslInfo::pattern},
      {ASLFR_PositiveText, &AslInfo::positiveText}, {ASLFR_NegativeText, &AslInfo::negativeText},
  };
  static constexpr struct {
    Tag tag;
    bool AslInfo::*flag;
  } kFlags[] = {{ASLFR_DrawersOnly, &AslInfo::drawersOnly}, {ASLFR_DoSaveMode, &AslInfo::saveMode},
                {ASLFR_DoPatterns, &AslInfo::doPatterns}};
  EachTag(tags, [&](const TagItem &t) {
    for (const auto &x : kTexts)
      if (x.tag == t.ti_Tag) info.*x.text = t.ti_Data ? std::string(reinterpret_cast<CONST_STRPTR>(t.ti_Data)) : std::string();
    for (const auto &x : kFlags)
      if (x.tag == t.ti_Tag) info.*x.flag = t.ti_Data != 0;
    if (t.ti_Tag == ASLFR_Window) info.window = reinterpret_cast<Object *>(t.ti_Data);
  });
}

AslState *StateOf(FileRequester *fr) { return static_cast<AslState *>(fr->fr_Private); }

void Publish(FileRequester *fr) {
  AslState *s = StateOf(fr);
  fr->fr_File = s->file.data();
  fr->fr_Drawer = s->drawer.data();
  fr->fr_Pattern = s->pattern.data();
}

} // namespace

APTR MUI_AllocAslRequest(ULONG reqType, struct TagItem *tags) {
  if (reqType != ASL_FileRequest) return nullptr;
  auto *fr = new FileRequester{};
  auto *s = new AslState();
  s->info.type = reqType;
  ApplyTags(s->info, tags);
  s->file = s->info.file;
  s->drawer = s->info.drawer;
  s->pattern = s->info.pattern;
  fr->fr_Private = s;
  Publish(fr);
  return fr;
}

BOOL MUI_AslRequest(APTR requester, struct TagItem *tags) {
  auto *fr = static_cast<FileRequester *>(requester);
  if (!fr) return FALSE;
  AslState *s = StateOf(fr);
  AslInfo info = s->info;
  info.drawer = s->drawer; // a requester opens where the last choice was
  info.file = s->file;
  ApplyTags(info, tags);
  std::optional<AslAnswer> answer;
  Display *disp = GetDisplay();
  Display headless;
  Display *d = disp ? disp : &headless;
  mui::RunBlocking([&] { answer = d->AslRequest(info); });
  if (!answer) return FALSE;
  s->drawer = answer->drawer;
  s->file = info.drawersOnly ? std::string() : answer->file;
  s->pattern = info.pattern;
  Publish(fr);
  return TRUE;
}

void MUI_FreeAslRequest(APTR requester) {
  auto *fr = static_cast<FileRequester *>(requester);
  if (!fr) return;
  delete StateOf(fr);
  delete fr;
}
