// Load, Import, Apply and Save: moving stations between the station file,
// the list g.stations with its menu, and the editor's tree. Save moves icon
// files so that their drawers follow the groups.
#include <cstring>
#include <shared_mutex>
#include <string>
#include <utility>
#include <vector>

#include "dos/system.h"
#include "editor/Editor.h"
#include "gadgets/gadgets.h"
#include "mui/screen.h"

namespace {

TreeNode *ParentOf(Object *tree, TreeNode *n) {
  return reinterpret_cast<TreeNode *>(DoMethod(tree, MUIM_Listtree_GetEntry, n, MUIV_Listtree_GetEntry_Position_Parent, 0));
}
StationNode *Payload(const TreeNode *n) { return n ? static_cast<StationNode *>(n->tn_User) : nullptr; }
std::string Text(CONST_STRPTR t) { return t ? t : ""; }

// A full name as a std::string ("" when it cannot be made).
std::string FullName(TreeNode *n) {
  if (!n) return {};
  STRPTR full = Melodune_LtCreateFullName(n);
  std::string s = Text(full);
  FreeVec(full);
  return s;
}

bool Exists(const std::string &relative) {
  BPTR l = Lock((STATION_ICON_DIR + relative).c_str(), SHARED_LOCK);
  UnLock(l);
  return l != 0;
}

// Requesters at the mouse pointer, over the plug-in object's window.
LONG Ask(Object *obj, CONST_STRPTR gadgets, CONST_STRPTR text) {
  Object *ref = g.currObj.load();
  if (!ref) ref = obj;
  ULONG flags = 0;
  if (struct Screen *scr = ref ? _screen(ref) : nullptr)
    flags = MUIV_Request_AtPosition(__atomic_load_n(&scr->MouseX, __ATOMIC_RELAXED),
                                    __atomic_load_n(&scr->MouseY, __ATOMIC_RELAXED));
  return MUI_Request(obj ? _app(obj) : nullptr, ref ? _win(ref) : nullptr, flags, "Melodune.sbar: Question", gadgets,
                     "%s", text);
}

void SetPayload(Object *tree, TreeNode *n, CONST_STRPTR icon) {
  StationNode *p = Payload(n);
  StationNode fresh{p ? p->name : nullptr, const_cast<STRPTR>(icon), p ? p->stream : nullptr};
  DoMethod(tree, MUIM_Listtree_Rename, n, &fresh, MUIV_Listtree_Rename_Flags_User);
}

// Drawers renamed during one Save: old name -> new name (relative to the
// icon drawer). Icons named inside an old drawer are read as inside the new.
using Renames = std::vector<std::pair<std::string, std::string>>;

std::string Redirect(const Renames &renames, std::string icon) {
  for (const auto &r : renames)
    if (icon.size() > r.first.size() && icon.compare(0, r.first.size(), r.first) == 0 && icon[r.first.size()] == '/')
      icon = r.second + icon.substr(r.first.size());
  return icon;
}

void ShowRenameFailure(LONG rc) { EditorStatus("Failed to rename the icon, err = %ld", rc); }

// A group whose path changed (renamed or moved) takes its icon drawer and
// drawer icon along.
void MoveGroupDrawer(Object *tree, TreeNode *group, Renames &renames) {
  StationNode *p = Payload(group);
  if (!p || !p->icon || !*p->icon) return;
  if (DoMethod(tree, MUIM_Listtree_GetNr, group, MUIV_Listtree_GetNr_Flags_ListEmpty)) return;
  const std::string full = FullName(group);
  const std::string info = full + ".info";
  std::string icon = Redirect(renames, p->icon);
  if (icon == info || full.empty()) {
    if (icon != p->icon) SetPayload(tree, group, icon.c_str());
    return;
  }
  std::string oldDir = icon;
  if (oldDir.size() > 5 && oldDir[oldDir.size() - 5] == '.') oldDir.resize(oldDir.size() - 5);
  if (!IconNameIsSafe(oldDir) || !IconNameIsSafe(full)) return;
  if (Exists(oldDir)) {
    LONG rc = RunIconCommand("rename " + IconArg(oldDir) + " to " + IconArg(full));
    if (rc != 0) {
      ShowRenameFailure(rc);
      return;
    }
    renames.emplace_back(oldDir, full);
  }
  if (icon != info && icon == oldDir + ".info" && Exists(icon) && !Exists(info)) {
    LONG rc = RunIconCommand("rename " + IconArg(icon) + " to " + IconArg(info));
    if (rc != 0) ShowRenameFailure(rc);
  }
  SetPayload(tree, group, info.c_str());
}

} // namespace

namespace {

void MoveNodeIcon(Object *tree, TreeNode *node, const Renames &renames) {
  StationNode *p = Payload(node);
  if (!p || !p->icon || !*p->icon) return;
  std::string icon = Redirect(renames, p->icon);
  if (icon != p->icon) SetPayload(tree, node, icon.c_str());
  if (icon.find(':') != std::string::npos) return; // an absolute name is the user's own file
  const std::string parentFull = FullName(ParentOf(tree, node));
  if (IconDrawerPart(icon) == parentFull) return;
  const std::string file = FilePart(icon.c_str());
  const std::string moved = parentFull.empty() ? file : parentFull + "/" + file;
  if (!IconNameIsSafe(icon) || !IconNameIsSafe(moved)) return;
  // An icon that is not there has nothing to move; its name follows all the same.
  if (Exists(icon)) {
    if (!parentFull.empty() && !Exists(parentFull)) RunIconCommand("MakeDir " + IconArg(parentFull) + " ALL");
    LONG rc = RunIconCommand("rename " + IconArg(icon) + " to " + IconArg(moved));
    if (rc != 0) ShowRenameFailure(rc);
  }
  SetPayload(tree, node, moved.c_str());
}

} // namespace

void MoveNodeIcon(Object *tree, TreeNode *node) { MoveNodeIcon(tree, node, Renames{}); }

// ---- Load and Import -----------------------------------------------------------------------------------

namespace {

void Reload(Object *tree) {
  if (tree) DoMethod(tree, MUIM_Listtree_Remove, MUIV_Listtree_Remove_ListNode_Root, MUIV_Listtree_Remove_TreeNode_All, 0);
  if (!LoadStationList()) {
    EditorStatus("Failed to read the Station-List!");
    return;
  }
  if (!BuildStationMenu()) {
    EditorStatus("Failed to create the PopUpMenu!");
    return;
  }
  if (tree) FillStationTree(tree);
  EditorStatus("%s", EditorWelcomeText());
}

// Adds the stations of the file at path below a new top group; the status
// line tells what happened.
void ImportFile(Object *tree, CONST_STRPTR path) {
  std::string text;
  if (!ReadStationFile(path, text)) {
    EditorStatus("Failed to import from '%s'!", path);
    return;
  }
  StationFileText file(text);
  const LONG count = file.Announced();
  if (count <= 0) {
    EditorStatus("Wrong format of station list!");
    return;
  }
  // The group knows its drawer icon, so that a later rename moves the drawer.
  std::string info = std::string(FilePart(path)) + ".info";
  StationNode groupPayload{nullptr, info.data(), nullptr};
  auto *group = reinterpret_cast<TreeNode *>(DoMethod(tree, MUIM_Listtree_Insert, FilePart(path), &groupPayload,
                                                      MUIV_Listtree_Insert_ListNode_Root,
                                                      MUIV_Listtree_Insert_PrevNode_Head, TNF_LIST));
  if (!group) return;
  SetAttrs(tree, MUIA_Listtree_Quiet, TRUE, TAG_DONE);
  LONG added = 0;
  std::string name, icon, stream;
  while (added < count && file.Next(name, icon, stream)) {
    // Empty fields drop the record, and it does not count.
    if (name.empty() || icon.empty() || stream.empty()) continue;
    TreeNode *parent = LtFindOrCreateGroups(tree, group, name.c_str());
    StationNode payload{name.data(), icon.data(), stream.data()};
    DoMethod(tree, MUIM_Listtree_Insert, StationDisplayName(name.c_str()), &payload, parent ? parent : group,
             MUIV_Listtree_Insert_PrevNode_Tail, 0);
    ++added;
  }
  SetAttrs(tree, MUIA_Listtree_Quiet, FALSE, TAG_DONE);
  if (added > 0) {
    EditorStatus("Imported %ld entries!", added);
    EditorApplyEnabled(TRUE);
    SetAttrs(tree, MUIA_Listtree_Active, group, TAG_DONE);
  } else {
    EditorStatus("No stations found in '%s'!", path);
  }
}

void Import(Object *obj, Object *tree) {
  EditorStatus("Import stations...");
  Object *win = g.editWin.load();
  APTR req = g.importReq.load();
  if (!req) {
    // Kept for later imports: it remembers the last drawer.
    req = MUI_AllocAslRequestTags(ASL_FileRequest, ASLFR_TitleText, "Choose a station list to import stations from",
                                  ASLFR_InitialDrawer, "ram:", ASLFR_Window, win, TAG_DONE);
    if (!req) return;
    g.importReq = req;
  }
  if (win) SetAttrs(win, MUIA_Window_Sleep, TRUE, TAG_DONE);
  if (!MUI_AslRequestTags(req, ASLFR_Window, win, TAG_DONE)) {
    EditorStatus("%s", EditorWelcomeText());
  } else {
    auto *fr = static_cast<FileRequester *>(req);
    CONST_STRPTR drawer = fr->fr_Drawer ? fr->fr_Drawer : "";
    CONST_STRPTR file = fr->fr_File ? fr->fr_File : "";
    ULONG size = static_cast<ULONG>(std::strlen(drawer) + std::strlen(file) + 2);
    auto *path = static_cast<STRPTR>(AllocVec(size, MEMF_CLEAR));
    if (!path) {
      EditorStatus("Failed to allocale %ld bytes!", static_cast<LONG>(size));
    } else {
      std::strcpy(path, drawer);
      AddPart(path, file, size);
      EditorStatus("Import from '%s'", path);
      if (tree) ImportFile(tree, path);
      FreeVec(path);
    }
  }
  if (win) SetAttrs(win, MUIA_Window_Sleep, FALSE, TAG_DONE);
  (void)obj;
}

} // namespace

MELODUNE_HANDLER(Melodune_LoadStations) {
  (void)cl, (void)msg;
  Object *tree = g.editTree.load();
  LONG n = CountStations(tree);
  EditorStatus("Loading station list...");
  LONG answer = 1;
  if (n > 0)
    answer = Ask(obj, "Yes!|No, import new entries...|*Cancel",
                 "\33cThere are already stations in your list!\n\nClear the list and reload from disk?");
  if (answer == 1) Reload(tree);
  else if (answer == 2) Import(obj, tree);
  else EditorStatus("%s", EditorWelcomeText());
  return 0;
}

// ---- Apply -------------------------------------------------------------------------------------------

namespace {

// After the list was replaced: the index of the station with that full
// name, or the spare slot holding it when it is no longer in the list.
// -1: no such station, -2: not in the list any more.
LONG FindAgain(const std::string &name) {
  if (name.empty()) return -1;
  std::shared_lock lock(g.stationsLock);
  StationEntry *array = g.stations.load();
  if (!array) return -1;
  const LONG num = g.numStations.load();
  for (LONG i = 0; i < num; ++i)
    if (array[i].name && name == array[i].name) return i;
  return -2;
}

} // namespace

MELODUNE_HANDLER(Melodune_ApplyStations) {
  (void)cl, (void)obj, (void)msg;
  Object *tree = g.editTree.load();
  EditorStatus("Apply current station list...");
  LONG n = CountStations(tree);
  if (n == 0) {
    if (Object *slave = g.slaveConnection.load()) DoMethod(slave, MM_Melodune_XDisConnect, 0);
    FreeStationList();
    ClearStationMenu();
    EditorStatus("%s", EditorWelcomeText());
    return 0;
  }
  StationEntry *array = AllocStationArray(n);
  if (!array) {
    EditorStatus("Failed to allocate %ld bytes for the new stations!",
                 static_cast<LONG>((static_cast<size_t>(n) + 2) * sizeof(StationEntry)));
    return 0;
  }
  LONG filled = 0;
  for (TreeNode *node = NextInTreeOrder(tree, nullptr); node && filled < n; node = NextInTreeOrder(tree, node)) {
    if (node->tn_Flags & TNF_LIST) continue;
    StationNode *p = Payload(node);
    StationEntry e{Melodune_LtCreateFullName(node), StationTextCopy(p && p->icon ? p->icon : ""),
                   StationTextCopy(p && p->stream ? p->stream : "")};
    if (!e.name || !e.icon || !e.stream) {
      FreeVec(e.name);
      StationTextFree(e.icon);
      StationTextFree(e.stream);
      continue;
    }
    array[filled++] = e;
  }
  if (filled < n) EditorStatus("Failed to apply all stations (%ld)! Found only %ld stations!", n, filled);

  // The playing and the recording station keep their names: they are looked
  // up again, and a playing station that left the list goes on from the
  // spare slot.
  std::string playing, recording, playIcon, playStream, recIcon, recStream;
  const LONG curr = g.currStation.load(), rec = g.recStation.load();
  if (curr >= 0) GetStation(curr, &playing, &playIcon, &playStream);
  if (rec >= 0) GetStation(rec, &recording, &recIcon, &recStream);

  InstallStationList(array, filled);

  auto relocate = [&](const std::string &name, const std::string &icon, const std::string &stream, bool spareFree) -> LONG {
    LONG at = FindAgain(name);
    if (at != -2 || !spareFree) return at == -2 ? -1 : at;
    std::unique_lock lock(g.stationsLock);
    StationEntry *a = g.stations.load();
    a[filled] = {StationTextCopy(name.c_str()), StationTextCopy(icon.c_str()), StationTextCopy(stream.c_str())};
    return filled;
  };
  if (curr >= 0 && !playing.empty()) g.currStation = relocate(playing, playIcon, playStream, true);
  if (rec >= 0 && !recording.empty()) {
    if (recording == playing && g.currStation.load() >= 0) g.recStation = g.currStation.load();
    else g.recStation = relocate(recording, recIcon, recStream, g.currStation.load() != filled);
  }

  BuildStationMenu();
  EditorApplyEnabled(FALSE);
  EditorStatus("%s", EditorWelcomeText());
  return 0;
}

// ---- Save ----------------------------------------------------------------------------------------------

MELODUNE_HANDLER(Melodune_SaveStations) {
  (void)cl, (void)msg;
  Object *tree = g.editTree.load();
  LONG n = CountStations(tree);
  EditorStatus("Saving station list...");
  if (n == 0) {
    DoMethod(obj, MM_Melodune_Warning, "No entries to save!");
    EditorStatus("%s", EditorWelcomeText());
    return 0;
  }
  if (Ask(obj, "Yes|*No", "Do you really want to save the stations?") != 1) {
    EditorStatus("%s", EditorWelcomeText());
    return 0;
  }
  // Written beside the list and put in its place only when complete, so a
  // failed write never costs the old list.
  static const char temp[] = STATIONS_FILE ".new";
  static const char old[] = STATIONS_FILE ".old";
  BPTR fh = Open(temp, MODE_NEWFILE);
  if (!fh) {
    DoMethod(obj, MM_Melodune_Warning, "Failed to open the Station-List '%s'!", STATIONS_FILE);
    EditorStatus("%s", EditorWelcomeText());
    return 0;
  }
  bool ok = FPrintf(fh, "%ld\n", n) >= 0;
  SetAttrs(tree, MUIA_Listtree_Quiet, TRUE, TAG_DONE);
  IPTR active = xget(tree, MUIA_Listtree_Active);
  SetAttrs(tree, MUIA_Listtree_Active, MUIV_Listtree_Active_Off, TAG_DONE);
  Renames renames;
  for (TreeNode *node = NextInTreeOrder(tree, nullptr); node; node = NextInTreeOrder(tree, node)) {
    const bool group = node->tn_Flags & TNF_LIST;
    if (group) MoveGroupDrawer(tree, node, renames);
    MoveNodeIcon(tree, node, renames);
    if (group || !ok) continue;
    StationNode *p = Payload(node);
    std::string full = FullName(node);
    ok = FPrintf(fh, "%s\n%s\n%s\n#\n", full.c_str(), p && p->icon ? p->icon : "", p && p->stream ? p->stream : "") >= 0;
  }
  SetAttrs(tree, MUIA_Listtree_Quiet, FALSE, TAG_DONE);
  SetAttrs(tree, MUIA_Listtree_Active, active, TAG_DONE);
  ok = Close(fh) && ok;

  if (ok) {
    DeleteFile(old);
    bool hadOld = Rename(STATIONS_FILE, old);
    ok = Rename(temp, STATIONS_FILE);
    if (!ok && hadOld) Rename(old, STATIONS_FILE);
    if (ok && hadOld) DeleteFile(old);
  }
  if (!ok) {
    LONG err = IoErr();
    DeleteFile(temp);
    char why[100];
    Fault(err, nullptr, why, sizeof why);
    DoMethod(obj, MM_Melodune_Warning, "Failed to write the Station-List '%s'!\n%s", STATIONS_FILE, why);
  }
  EditorStatus("%s", EditorWelcomeText());
  return 0;
}
