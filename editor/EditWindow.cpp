// The Edit Stations window: the station tree with its hooks, the buttons,
// the status line, the icon preview and the three fields that edit the
// selected node, and the icon chooser.
#include <cstdarg>
#include <cstring>
#include <string>

#include "editor/Editor.h"
#include "exec/text.h"
#include "gadgets/gadgets.h"

#define EDIT_WINDOW_ID 0x4D444348 // 'MDCH'
#define ICON_PREVIEW_FORMAT "\33I[4:" STATION_ICON_DIR "%s]"

namespace {

// The pop-up button of the icon field: it follows the field's state. Lives
// as long as g.editWin (GUI task only).
Object *s_iconPopButton;
// The drawer and file the icon chooser was last started with.
std::string s_chooserDrawer, s_chooserFile;

Object *Gadget(std::atomic<Object *> &slot) { return slot.load(); }

void SetDisabledAll(BOOL disabled, std::initializer_list<Object *> objects) {
  for (Object *o : objects) SetDisabled(o, disabled);
}

Object *HGroup(std::initializer_list<Object *> children) {
  Object *grp = MUI_NewObject(MUIC_Group, MUIA_Group_Horiz, TRUE, TAG_DONE);
  for (Object *c : children)
    if (grp && c) DoMethod(grp, OM_ADDMEMBER, c);
  return grp;
}

Object *VGroup(std::initializer_list<Object *> children) {
  Object *grp = MUI_NewObject(MUIC_Group, TAG_DONE);
  for (Object *c : children)
    if (grp && c) DoMethod(grp, OM_ADDMEMBER, c);
  return grp;
}

Object *Space() { return MUI_NewObject(MUIC_Rectangle, TAG_DONE); }

Object *Button(CONST_STRPTR label, CONST_STRPTR help) {
  Object *b = MakeButton(label);
  if (b && help) SetAttrs(b, MUIA_ShortHelp, help, TAG_DONE);
  return b;
}

Object *Field(LONG maxChars, CONST_STRPTR hint, char key) {
  return MUI_NewObject(MUIC_String, MUIA_Frame, MUIV_Frame_String, MUIA_String_MaxLen, maxChars + 1,
                       MUIA_String_Placeholder, hint, MUIA_CycleChain, 1, MUIA_Disabled, TRUE,
                       key ? Tag(MUIA_ControlChar) : Tag(TAG_IGNORE), static_cast<unsigned char>(key));
}

// A click on a button runs the method on the plug-in object.
void OnClick(Object *button, Object *target, IPTR method) {
  if (button) DoMethod(button, MUIM_Notify, MUIA_Pressed, FALSE, target, 1, method);
}

// Columns: Name, Icon, Stream. Groups show no icon; a node without payload
// only its name.
IPTR DisplayStation(struct Hook *, APTR array, APTR message) {
  auto **col = static_cast<STRPTR *>(array);
  auto *node = static_cast<TreeNode *>(message);
  if (!node) {
    col[0] = const_cast<STRPTR>("Name");
    col[1] = const_cast<STRPTR>("Icon");
    col[2] = const_cast<STRPTR>("Stream");
    return 0;
  }
  auto *p = static_cast<StationNode *>(node->tn_User);
  col[0] = node->tn_Name;
  col[1] = const_cast<STRPTR>(p && p->icon && !(node->tn_Flags & TNF_LIST) ? p->icon : "");
  col[2] = const_cast<STRPTR>(p && p->stream ? p->stream : "");
  return 0;
}

CONST_STRPTR Contents(Object *str) {
  auto *text = reinterpret_cast<CONST_STRPTR>(xget(str, MUIA_String_Contents));
  return text ? text : "";
}

// The chooser starts where the icon field's name points: a drawer inside
// the icon drawer for a relative name, the name's own drawer for an
// absolute one.
IPTR StartIconChooser(struct Hook *, APTR, APTR message) {
  auto *tags = static_cast<struct TagItem *>(message);
  std::string text = Contents(g.editIconName.load());
  s_chooserFile = FilePart(text.c_str());
  if (text.find(':') == std::string::npos) {
    size_t slash = text.rfind('/');
    s_chooserDrawer = std::string(STATION_ICON_DIR) + (slash == std::string::npos ? "" : text.substr(0, slash + 1));
  } else {
    s_chooserDrawer = text.substr(0, static_cast<size_t>(PathPart(text.c_str()) - text.c_str()));
  }
  if (tags) {
    int i = 0;
    tags[i++] = {ASLFR_InitialDrawer, reinterpret_cast<IPTR>(s_chooserDrawer.c_str())};
    tags[i++] = {ASLFR_InitialFile, reinterpret_cast<IPTR>(s_chooserFile.c_str())};
    tags[i] = {TAG_DONE, 0};
  }
  return TRUE;
}

// The choice becomes a name relative to the icon drawer when it lies inside
// it (letter case does not matter there), else an absolute path.
IPTR StopIconChooser(struct Hook *, APTR, APTR message) {
  s_chooserDrawer = std::string();
  s_chooserFile = std::string();
  auto *fr = static_cast<FileRequester *>(message);
  if (!fr) return 0;
  std::string drawer = fr->fr_Drawer ? fr->fr_Drawer : "";
  std::string file = fr->fr_File ? fr->fr_File : "";
  const std::string dir = STATION_ICON_DIR;
  const std::string bare = dir.substr(0, dir.size() - 1);
  auto startsNoCase = [](const std::string &s, const std::string &prefix) {
    return s.size() >= prefix.size() && platform::EqualsNoCaseLatin1(s.substr(0, prefix.size()).c_str(), prefix.c_str());
  };
  std::string name;
  if (startsNoCase(drawer, dir) || (drawer.size() == bare.size() && startsNoCase(drawer, bare))) {
    std::string rest = drawer.size() > dir.size() ? drawer.substr(dir.size()) : "";
    if (!rest.empty() && rest.back() != '/') rest += '/';
    name = rest + file;
  } else {
    name = drawer;
    if (!name.empty() && name.back() != ':' && name.back() != '/') name += '/';
    name += file;
  }
  if (Object *field = g.editIconName.load()) SetAttrs(field, MUIA_String_Contents, name.c_str(), TAG_DONE);
  if (Object *tree = g.editTree.load()) SetAttrs(tree, MUIA_Listtree_Active, xget(tree, MUIA_Listtree_Active), TAG_DONE);
  return 0;
}

char s_welcome[96];

bool BuildWindow(Object *obj) {
  Object *load = Button("_Load...", "Load stations from sys:Data/Screenbar/Melodune/Stations.txt or import from a custom file");
  Object *apply = Button("_Apply", "Apply current stations list");
  Object *save = Button("_Save...", "Save stations to\nsys:Data/Screenbar/Melodune/Stations.txt");
  Object *search = Button("Searc_h...", nullptr);
  Object *status = MUI_NewObject(MUIC_Text, MUIA_Frame, MUIV_Frame_Text, MUIA_Background, MUII_TextBack,
                                 MUIA_InputMode, MUIV_InputMode_RelVerify, MUIA_Text_Contents, EditorWelcomeText(),
                                 MUIA_HorizWeight, 300, TAG_DONE);
  Object *tree = MUI_NewObject(MUIC_Listtree, MUIA_Frame, MUIV_Frame_InputList, MUIA_Listtree_ConstructHook,
                               &StationConstructHook, MUIA_Listtree_DestructHook, &StationDestructHook,
                               MUIA_Listtree_DisplayHook, &StationDisplayHook, MUIA_Listtree_Format, "BAR,BAR,",
                               MUIA_Listtree_Title, TRUE, MUIA_Listtree_DragDropSort, FALSE, MUIA_List_DragType,
                               MUIV_List_DragType_None, MUIA_List_ShowDropMarks, FALSE, MUIA_Listtree_EmptyNodes,
                               TRUE, MUIA_CycleChain, 1, TAG_DONE);
  Object *group = Button("_Group", nullptr);
  Object *station = Button("_Station", nullptr);
  Object *clone = Button("_Clone", nullptr);
  Object *add = VGroup({group, station, clone});
  if (add) SetAttrs(add, MUIA_Frame, MUIV_Frame_Group, MUIA_FrameTitle, "Add ...", TAG_DONE);
  Object *remove = Button("Remove", nullptr);
  Object *up = MakeImageButton(MUII_ArrowUp);
  Object *down = MakeImageButton(MUII_ArrowDown);
  Object *openAll = Button("Open all", nullptr);
  Object *closeAll = Button("Close all", nullptr);
  Object *dndLabel = nullptr;
  Object *dnd = MakeLabeledCheckmark("D'n'D Sort?", LABEL_LEFT, 0, &dndLabel);
  Object *preview = MUI_NewObject(MUIC_Text, MUIA_Text_Contents, "", MUIA_Text_PreParse, "\33c", MUIA_FixWidth, 32,
                                  MUIA_FixHeight, 20, TAG_DONE);
  Object *previewGroup = HGroup({Space(), preview, Space()});
  Object *test = Button("_Test", "Listen to the currently selected station");
  Object *controls = VGroup({add, remove, MUI_MakeObject(MUIO_HBar, 2), HGroup({up, down}),
                             MUI_MakeObject(MUIO_HBar, 2), openAll, closeAll, HGroup({dndLabel, dnd}), Space(),
                             previewGroup, Space(), test});
  if (controls) SetAttrs(controls, MUIA_HorizWeight, 0, TAG_DONE);

  Object *name = Field(31, "Name of the station", 0);
  Object *icon = Field(STATION_FIELD_MAX, "Name of the station icon", 'i');
  Object *stream = Field(STATION_FIELD_MAX, "Stream URL, with or without http(s)", 0);
  s_iconPopButton = MUI_MakeObject(MUIO_PopButton, MUII_PopFile);
  SetCycleChain(s_iconPopButton);
  SetDisabled(s_iconPopButton, TRUE);
  Object *iconPop = MUI_NewObject(MUIC_Popasl, MUIA_Popstring_String, icon, MUIA_Popstring_Button, s_iconPopButton,
                                  MUIA_Popasl_Type, ASL_FileRequest, MUIA_Popasl_StartHook, &IconPopStartHook,
                                  MUIA_Popasl_StopHook, &IconPopStopHook, ASLFR_TitleText,
                                  "Melodune.sbar: Choose an image for this station", ASLFR_InitialDrawer,
                                  STATION_ICON_DIR, ASLFR_InitialPattern, "*.png", ASLFR_DoPatterns, TRUE, TAG_DONE);
  Object *fields = MUI_NewObject(MUIC_Group, MUIA_Group_Columns, 2, TAG_DONE);
  if (fields) {
    Object *nameRow = HGroup({name, MUI_NewObject(MUIC_Balance, TAG_DONE), MakeLabel("_Icon:", LABEL_STRINGFRAME | LABEL_LEFT), iconPop});
    for (Object *o : {MakeLabel("_Name:", LABEL_STRINGFRAME | LABEL_LEFT), nameRow,
                      MakeLabel("Strea_m:", LABEL_STRINGFRAME | LABEL_LEFT), stream})
      if (o) DoMethod(fields, OM_ADDMEMBER, o);
  }
  Object *content = VGroup({HGroup({load, apply, save, search, status}), HGroup({tree, controls}), fields});
  if (content) SetAttrs(content, MUIA_Frame, MUIV_Frame_Group, MUIA_FrameTitle, "Stations", TAG_DONE);

  Object *win = MUI_NewObject(MUIC_Window, MUIA_Window_Title, "Melodune: Edit Stations", MUIA_Window_ID, EDIT_WINDOW_ID,
                              MUIA_Window_Width, MUIV_Window_Width_Visible(40), MUIA_Window_Height,
                              MUIV_Window_Height_Visible(30), MUIA_Window_CloseGadget, TRUE, WindowContents, content,
                              TAG_DONE);
  if (!win || !load || !apply || !save || !search || !status || !tree || !remove || !up || !down || !name || !iconPop ||
      !stream || !test || !preview || !dnd) {
    // Whatever was made goes with the window, or on its own.
    if (win) MUI_DisposeObject(win);
    else MUI_DisposeObject(content);
    s_iconPopButton = nullptr;
    return false;
  }

  g.editWin = win;
  g.editLoad = load, g.editApply = apply, g.editSave = save, g.editSearch = search, g.editStatus = status;
  g.editTree = tree, g.editGroup = group, g.editStation = station, g.editClone = clone, g.editRemove = remove;
  g.editUp = up, g.editDown = down, g.editOpenAll = openAll, g.editCloseAll = closeAll, g.editDnDSort = dnd;
  g.editIcon = preview, g.editName = name, g.editIconName = icon, g.editStream = stream, g.editTest = test;

  SetDisabledAll(TRUE, {apply, test});
  SetDisabledAll(TRUE, {up, down, clone, remove});

  DoMethod(win, MUIM_Notify, MUIA_Window_CloseRequest, TRUE, win, 3, MUIM_Set, MUIA_Window_Open, FALSE);
  OnClick(load, obj, MM_Melodune_LoadStations);
  OnClick(apply, obj, MM_Melodune_ApplyStations);
  OnClick(save, obj, MM_Melodune_SaveStations);
  OnClick(search, obj, MM_Melodune_SearchWindow);
  DoMethod(status, MUIM_Notify, MUIA_Pressed, FALSE, status, 3, MUIM_Set, MUIA_Text_Contents, EditorWelcomeText());
  DoMethod(tree, MUIM_Notify, MUIA_Listtree_Active, MUIV_EveryTime, obj, 2, MM_Melodune_ShowStation, MUIV_TriggerValue);
  OnClick(group, obj, MM_Melodune_NewGroup);
  if (station)
    DoMethod(station, MUIM_Notify, MUIA_Pressed, FALSE, obj, 4, MM_Melodune_AddStation, "StationName", "IconName",
             "StreamName");
  OnClick(clone, obj, MM_Melodune_CloneStation);
  OnClick(remove, obj, MM_Melodune_RemoveNode);
  // The arrows repeat while held.
  DoMethod(up, MUIM_Notify, MUIA_Timer, MUIV_EveryTime, obj, 1, MM_Melodune_MoveUp);
  DoMethod(down, MUIM_Notify, MUIA_Timer, MUIV_EveryTime, obj, 1, MM_Melodune_MoveDown);
  if (openAll)
    DoMethod(openAll, MUIM_Notify, MUIA_Pressed, FALSE, tree, 3, MUIM_Listtree_Open,
             MUIV_Listtree_Open_ListNode_Root, MUIV_Listtree_Open_TreeNode_All);
  if (closeAll)
    DoMethod(closeAll, MUIM_Notify, MUIA_Pressed, FALSE, tree, 3, MUIM_Listtree_Close,
             MUIV_Listtree_Close_ListNode_Root, MUIV_Listtree_Close_TreeNode_All);
  DoMethod(dnd, MUIM_Notify, MUIA_Selected, MUIV_EveryTime, obj, 2, MM_Melodune_DragDropSort, MUIV_TriggerValue);
  OnClick(test, obj, MM_Melodune_TestStation);
  for (Object *f : {name, icon, stream})
    DoMethod(f, MUIM_Notify, MUIA_String_Contents, MUIV_EveryTime, obj, 2, MM_Melodune_UpdateStation, 0);

  SetAttrs(win, MUIA_Window_ActiveObject, tree, TAG_DONE);
  if (Object *app = _app(obj)) DoMethod(app, OM_ADDMEMBER, win);
  FillStationTree(tree);
  return true;
}

} // namespace

struct Hook StationDisplayHook = {{nullptr, nullptr}, DisplayStation, nullptr, nullptr};
struct Hook IconPopStartHook = {{nullptr, nullptr}, StartIconChooser, nullptr, nullptr};
struct Hook IconPopStopHook = {{nullptr, nullptr}, StopIconChooser, nullptr, nullptr};

// ---- status line and "_Apply" ------------------------------------------------------------------------

CONST_STRPTR EditorWelcomeText() {
  if (!s_welcome[0])
    SNPrintf(s_welcome, sizeof s_welcome, "Welcome to %s %ld.%ld!", MELODUNE_NAME, static_cast<LONG>(MELODUNE_VERSION),
             static_cast<LONG>(MELODUNE_REVISION));
  return s_welcome;
}

void EditorStatus(CONST_STRPTR format, ...) {
  Object *status = g.editStatus.load();
  if (!status) return;
  IPTR values[4] = {};
  va_list ap;
  va_start(ap, format);
  for (IPTR &v : values) v = va_arg(ap, IPTR);
  va_end(ap);
  char text[1200];
  VSNPrintf(text, sizeof text, format, values);
  SetAttrs(status, MUIA_Text_Contents, text, TAG_DONE);
}

void EditorApplyEnabled(BOOL enabled) { SetDisabled(g.editApply.load(), enabled ? FALSE : TRUE); }

// ---- methods ---------------------------------------------------------------------------------------

MELODUNE_HANDLER(Melodune_EditStations) {
  (void)cl, (void)msg;
  Object *win = g.editWin.load();
  if (win && xget(win, MUIA_Window_Open)) {
    // It opens again on the screen of the bar that asked.
    auto *screen = reinterpret_cast<struct Screen *>(xget(win, MUIA_Window_Screen));
    if (screen && screen != _screen(obj)) SetAttrs(win, MUIA_Window_Open, FALSE, TAG_DONE);
  }
  if (!win) {
    if (!BuildWindow(obj)) return 0;
    win = g.editWin.load();
  }
  EditorStatus("%s", EditorWelcomeText());
  if (struct Screen *screen = _screen(obj)) SetAttrs(win, MUIA_Window_Screen, screen, TAG_DONE);
  SetAttrs(win, MUIA_Window_Open, TRUE, TAG_DONE);
  return 0;
}

MELODUNE_HANDLER(Melodune_ShowStation) {
  (void)cl, (void)obj;
  auto *node = reinterpret_cast<MP_Melodune_Node *>(msg)->node;
  Object *name = Gadget(g.editName), *icon = Gadget(g.editIconName), *stream = Gadget(g.editStream);
  if (!g.editWin.load()) return 0;
  auto *p = node ? static_cast<StationNode *>(node->tn_User) : nullptr;
  if (!p) {
    for (Object *f : {name, icon, stream})
      if (f) SetAttrs(f, MUIA_NoNotify, TRUE, MUIA_String_Contents, "", TAG_DONE);
    SetDisabledAll(TRUE, {name, icon, s_iconPopButton, stream, g.editUp.load(), g.editDown.load(), g.editClone.load(),
                          g.editRemove.load(), g.editTest.load()});
    return 0;
  }
  const bool group = (node->tn_Flags & TNF_LIST) != 0;
  SetDisabledAll(FALSE, {g.editGroup.load(), g.editUp.load(), g.editDown.load(), g.editRemove.load()});
  SetDisabledAll(group || !p->name, {icon, s_iconPopButton, stream, g.editClone.load()});
  SetDisabled(g.editTest.load(), group);
  SetDisabled(name, node->tn_Name ? FALSE : TRUE);
  if (name) SetAttrs(name, MUIA_NoNotify, TRUE, MUIA_String_Contents, node->tn_Name ? node->tn_Name : "", TAG_DONE);
  if (icon) SetAttrs(icon, MUIA_NoNotify, TRUE, MUIA_String_Contents, p->icon ? p->icon : "", TAG_DONE);
  if (stream)
    SetAttrs(stream, MUIA_NoNotify, TRUE, MUIA_String_Contents, !group && p->stream ? p->stream : "", TAG_DONE);

  if (Object *preview = g.editIcon.load()) {
    Object *box = _parent(preview);
    if (box) DoMethod(box, MUIM_Group_InitChange);
    char text[STATION_LINE_SIZE + 64];
    SNPrintf(text, sizeof text, ICON_PREVIEW_FORMAT, StationIconExists(p->icon) ? p->icon : STATION_EMPTY_ICON);
    SetAttrs(preview, MUIA_Text_Contents, text, TAG_DONE);
    if (box) DoMethod(box, MUIM_Group_ExitChange);
  }
  return 0;
}

MELODUNE_HANDLER(Melodune_UpdateStation) {
  (void)cl, (void)obj;
  auto *node = reinterpret_cast<MP_Melodune_Node *>(msg)->node;
  Object *tree = g.editTree.load();
  if (!node && tree) node = reinterpret_cast<TreeNode *>(xget(tree, MUIA_Listtree_Active));
  if (tree && node) {
    CONST_STRPTR name = Contents(g.editName.load());
    DoMethod(tree, MUIM_Listtree_Rename, node, name, 0);
    if (!(node->tn_Flags & TNF_LIST)) {
      StationNode payload{const_cast<STRPTR>(name), const_cast<STRPTR>(Contents(g.editIconName.load())),
                          const_cast<STRPTR>(Contents(g.editStream.load()))};
      DoMethod(tree, MUIM_Listtree_Rename, node, &payload, MUIV_Listtree_Rename_Flags_User);
    }
  }
  EditorApplyEnabled(TRUE);
  return 0;
}

MELODUNE_HANDLER(Melodune_DragDropSort) {
  (void)cl, (void)obj;
  const BOOL on = reinterpret_cast<MP_Melodune_Flag *>(msg)->flag ? TRUE : FALSE;
  if (Object *tree = g.editTree.load())
    SetAttrs(tree, MUIA_Listtree_DragDropSort, on, MUIA_List_DragType,
             on ? MUIV_List_DragType_Immediate : MUIV_List_DragType_None, MUIA_List_ShowDropMarks, on, TAG_DONE);
  return 0;
}
