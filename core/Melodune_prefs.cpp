// The settings kept by the host: which are ours, their defaults, the
// settings panel, and what a changed setting does to a live gadget.
#include <cstring>

#include "Melodune.h"
#include "dos/dos.h"
#include "gadgets/gadgets.h"
#include "host/screenbar.h"
#include "update/Update.h"

#define MELODUNE_MAIL "mailto:melodune@example.org"
#define MELODUNE_DONATE "https://melodune.example.org/donate"

namespace {

bool IsOurs(IPTR id) {
  switch (id) {
  case CFG_RecordPath:
  case CFG_RecolorPlay:
  case CFG_PlayPen:
  case CFG_RecolorRec:
  case CFG_RecPen:
  case CFG_ShowMetaTitle:
  case CFG_CheckUpdates:
    return true;
  }
  return false;
}

void AddToRefresh(struct ScreenbarRefreshList *list, Object *obj) {
  if (!list || list->count >= SCREENBAR_REFRESH_MAX) return; // full: nothing more fits
  list->objects[list->count] = obj;
  list->flags[list->count] = 0;
  ++list->count;
}

LONG ObtainPenFor(Object *obj, CONST_STRPTR text) {
  struct MUI_RenderInfo *ri = _ri(obj);
  if (!ri || !text) return -1;
  struct MUI_PenSpec spec;
  std::memset(&spec, 0, sizeof(spec));
  std::strncpy(spec.buf, text, sizeof(spec.buf) - 1);
  return MUI_ObtainPen(ri, &spec, 0);
}

Object *Row(Object *a, Object *b) { return MUI_NewObject(MUIC_Group, MUIA_Group_Horiz, TRUE, Child, a, Child, b); }

Object *PenPopup(CONST_STRPTR title) {
  return MUI_NewObject(MUIC_Poppen, MUIA_Disabled, TRUE, MUIA_CycleChain, 1, MUIA_Window_Title, title);
}

Object *Link(CONST_STRPTR text, CONST_STRPTR uri, CONST_STRPTR help) {
  return MUI_NewObject(MUIC_Hyperlink, MUIA_Hyperlink_URI, uri, MUIA_Hyperlink_Text, text, MUIA_ShortHelp, help,
                       MUIA_CycleChain, 1);
}

Object *Space() { return MUI_MakeObject(MUIO_HSpace, 0); }

} // namespace

MELODUNE_HANDLER(Melodune_IsConfigItem) {
  (void)cl, (void)obj;
  return IsOurs(reinterpret_cast<MUIP_Screenbar_IsConfigItem *>(msg)->id) ? 1 : 0;
}

MELODUNE_HANDLER(Melodune_ConfigDefault) {
  (void)cl, (void)obj;
  switch (reinterpret_cast<MUIP_Screenbar_IsConfigItem *>(msg)->id) {
  case CFG_RecordPath: return reinterpret_cast<IPTR>("RAM:");
  case CFG_PlayPen: return reinterpret_cast<IPTR>("r00ff00");
  case CFG_RecPen: return reinterpret_cast<IPTR>("rff0000");
  case CFG_RecolorPlay:
  case CFG_RecolorRec:
  case CFG_ShowMetaTitle:
  case CFG_CheckUpdates:
    return 1;
  }
  return 0;
}

MELODUNE_HANDLER(Melodune_PrefsPanel) {
  (void)cl, (void)obj, (void)msg;
  Object *playLabel = MakeLabel("Recolor icon while playing?", LABEL_STRINGFRAME | LABEL_LEFT);
  Object *playCheck = MakeCheckmark(playLabel, CFG_RecolorPlay);
  Object *playPen = PenPopup("Playing color");
  Object *recLabel = MakeLabel("Recolor icon while recording?", LABEL_STRINGFRAME | LABEL_LEFT);
  Object *recCheck = MakeCheckmark(recLabel, CFG_RecolorRec);
  Object *recPen = PenPopup("Recording color");
  Object *colors = MUI_NewObject(MUIC_Group, MUIA_Frame, MUIV_Frame_Group, MUIA_FrameTitle, "Colors", MUIA_Group_Columns,
                                 2, Child, playLabel, Child, Row(playCheck, playPen), Child, recLabel, Child,
                                 Row(recCheck, recPen));

  Object *metaLabel = MakeLabel("Show MetaTitle", LABEL_LEFT);
  Object *metaCheck = MakeCheckmark(metaLabel, CFG_ShowMetaTitle);
  Object *updatesLabel = MakeLabel("Check for updates at start", LABEL_LEFT);
  Object *updatesCheck = MakeCheckmark(updatesLabel, CFG_CheckUpdates);
  Object *misc = MUI_NewObject(MUIC_Group, MUIA_Frame, MUIV_Frame_Group, MUIA_FrameTitle, "Misc", MUIA_Group_Columns, 3,
                               Child, metaCheck, Child, metaLabel, Child, Space(), Child, updatesCheck, Child,
                               updatesLabel, Child, Space());

  Object *pathLabel = MakeLabel("Path:", LABEL_STRINGFRAME);
  Object *pathString = nullptr;
  Object *path = MakePathField(&pathString, "Melodune.sbar: Choose a path where to save the recordings",
                               "Open a file requester to choose the path where the recordings will be saved.", "ram:",
                               CFG_RecordPath, 0, TRUE, FALSE);
  Object *recording = MUI_NewObject(MUIC_Group, MUIA_Frame, MUIV_Frame_Group, MUIA_FrameTitle, "Recording",
                                    MUIA_Group_Columns, 2, Child, pathLabel, Child, path);

  char about[256];
  SNPrintf(about, sizeof(about), "\33c\33bMelodune.sbar 3.5 (16.11.25) \xA9 2025 by the Melodune team, GCC %s",
           __VERSION__);
  Object *aboutButton = MakeButton(about);
  if (aboutButton) SetAttrs(aboutButton, MUIA_ShortHelp, "Click me to check, if there is an update available!");
  // The same page the update check offers; the short help points at it.
  static char homepage[160];
  SNPrintf(homepage, sizeof(homepage), "http://%s/frames/progs/Melodune_sbar.html", HomepageHost());
  Object *links = MUI_NewObject(
      MUIC_Group, MUIA_Group_Horiz, TRUE, Child, Space(), Child, Link("Homepage", homepage, homepage),
      Child, Space(), Child, Link("Send an eMail", MELODUNE_MAIL, "Send an eMail to me!"), Child, Space(), Child,
      Link("Donate money", MELODUNE_DONATE, "If you like Melodune, a small donation keeps it going. Thank you!"),
      Child, Space());
  Object *aboutGroup = MUI_NewObject(MUIC_Group, MUIA_Frame, MUIV_Frame_Group, MUIA_FrameTitle, "About", Child,
                                     aboutButton, Child, MUI_MakeObject(MUIO_HBar, 4), Child, links);

  Object *panel = MUI_NewObject(MUIC_Mccprefs, Child, colors, Child, misc, Child, recording, Child, aboutGroup);
  if (!panel) return 0;

  struct Reg {
    Object *gadget;
    ULONG id;
    IPTR attr;
    Object *label;
    CONST_STRPTR title;
  } regs[] = {
      {pathString, CFG_RecordPath, MUIA_String_Contents, pathLabel, "Path:"},
      {playCheck, CFG_RecolorPlay, MUIA_Selected, playLabel, "Recolor icon while playing?"},
      {playPen, CFG_PlayPen, MUIA_Pendisplay_Spec, playLabel, "Recolor icon while playing?"},
      {recCheck, CFG_RecolorRec, MUIA_Selected, recLabel, "Recolor icon while recording?"},
      {recPen, CFG_RecPen, MUIA_Pendisplay_Spec, recLabel, "Recolor icon while recording?"},
      {metaCheck, CFG_ShowMetaTitle, MUIA_Selected, metaLabel, "Show MetaTitle"},
      {updatesCheck, CFG_CheckUpdates, MUIA_Selected, updatesLabel, "Check for updates at start"},
  };
  for (const Reg &r : regs)
    if (r.gadget) DoMethod(panel, MUIM_Mccprefs_RegisterGadget, r.gadget, r.id, 0, r.title, r.attr, r.label);

  // A pen pop-up is usable exactly while its checkmark is on.
  if (playCheck && playPen)
    DoMethod(playCheck, MUIM_Notify, MUIA_Selected, MUIV_EveryTime, playPen, 3, MUIM_Set, MUIA_Disabled,
             MUIV_NotTriggerValue);
  if (recCheck && recPen)
    DoMethod(recCheck, MUIM_Notify, MUIA_Selected, MUIV_EveryTime, recPen, 3, MUIM_Set, MUIA_Disabled,
             MUIV_NotTriggerValue);
  if (aboutButton) {
    if (Object *target = g.currObj.load())
      DoMethod(aboutButton, MUIM_Notify, MUIA_Pressed, FALSE, target, 2, MM_Melodune_UpdateCheck, 0);
    else
      SetAttrs(aboutButton, MUIA_Disabled, TRUE); // nothing set up to ask
  }
  return reinterpret_cast<IPTR>(panel);
}

MELODUNE_HANDLER(Melodune_ConfigItemChanged) {
  auto *m = reinterpret_cast<MUIP_ConfigItemChanged *>(msg);
  Data *data = static_cast<Data *>(INST_DATA(cl, obj));
  IPTR value = 0;
  DoMethod(obj, MUIM_GetConfigItem, m->id, &value);
  Object *app = _app(obj);

  switch (m->id) {
  case CFG_ShowMetaTitle:
    data->showMetaTitle = value ? TRUE : FALSE;
    if (value && (g.Out.load() || g.recOut.load())) {
      // Restart the watchdog so that it fetches a fresh title.
      if (g.timerAdded.load()) {
        if (app) DoMethod(app, MUIM_Application_RemInputHandler, &g.timerIhn);
        g.title.Clear();
      }
      if (app) DoMethod(app, MUIM_Application_AddInputHandler, &g.timerIhn);
      g.timerAdded = 1;
    } else if (!value && !g.Out.load() && !g.recOut.load() && g.timerAdded.load()) {
      if (app) DoMethod(app, MUIM_Application_RemInputHandler, &g.timerIhn);
      g.timerAdded = 0;
      g.title.Clear();
    }
    break;
  case CFG_RecolorPlay:
  case CFG_RecolorRec:
    (m->id == CFG_RecolorPlay ? data->recolorPlay : data->recolorRec) = value ? TRUE : FALSE;
    data->animDone = 0; // the next draw recolours
    AddToRefresh(m->refresh, obj);
    break;
  case CFG_PlayPen:
  case CFG_RecPen: {
    LONG &pen = m->id == CFG_PlayPen ? data->playPen : data->recPen;
    if (pen != -1 && _ri(obj)) MUI_ReleasePen(_ri(obj), pen);
    pen = ObtainPenFor(obj, reinterpret_cast<CONST_STRPTR>(value));
    AddToRefresh(m->refresh, obj);
    break;
  }
  default: // the recording path is read when a recording starts
    break;
  }
  return 0;
}
