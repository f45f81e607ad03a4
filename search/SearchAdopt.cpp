// "_Add": the selected directory station goes into the station editor,
// with its icon downloaded, scaled to the bar's 32 x 20 and stored in the
// drawer of the station's group.
#include <string>

#include "search/Search.h"
#include "search/SearchCsv.h"
#include "dos/dos.h"
#include "gadgets/gadgets.h"
#include "scaling/Pixmo.h"
#include "stations/Stations.h"

namespace {

// "Rock/Classic" for a node inside Classic inside Rock; "" at the top level.
std::string GroupPath(Object *tree, struct MUIS_Listtree_TreeNode *node) {
  std::string path;
  auto *parent = reinterpret_cast<struct MUIS_Listtree_TreeNode *>(
      DoMethod(tree, MUIM_Listtree_GetEntry, node, MUIV_Listtree_GetEntry_Position_Parent, 0));
  for (int depth = 0; parent && depth < 256; ++depth) {
    const std::string name = parent->tn_Name ? parent->tn_Name : "";
    path = path.empty() ? name : name + "/" + path;
    parent = reinterpret_cast<struct MUIS_Listtree_TreeNode *>(
        DoMethod(tree, MUIM_Listtree_GetEntry, parent, MUIV_Listtree_GetEntry_Position_Parent, 0));
  }
  return path;
}

void EditorStatus(CONST_STRPTR format, LONG value = 0) {
  if (Object *status = g.editStatus.load())
    DoMethod(status, MUIM_SetAsString, MUIA_Text_Contents, format, static_cast<IPTR>(static_cast<SIPTR>(value)));
}

} // namespace

MELODUNE_HANDLER(Melodune_AddFoundStation) {
  (void)cl, (void)msg;
  Object *list = g.searchList.load();
  STRPTR *row = nullptr;
  if (list) DoMethod(list, MUIM_List_GetEntry, MUIV_List_GetEntry_Active, &row);
  if (!row) return 0;
  // The row is the list's; copies survive whatever the editor does to the list.
  const std::string name = row[SEARCH_COL_NAME], url = row[SEARCH_COL_URL], icon = row[SEARCH_COL_ICON];

  Object *win = g.editWin.load();
  if (!win || !xget(win, MUIA_Window_Open)) DoMethod(obj, MM_Melodune_EditStations);
  auto *node = reinterpret_cast<struct MUIS_Listtree_TreeNode *>(
      DoMethod(obj, MM_Melodune_AddStation, name.c_str(), icon.c_str(), url.c_str()));
  Object *tree = g.editTree.load();
  if (!node || !tree) return 0;

  LONG result = 0;
  if (!icon.empty()) {
    const std::string group = GroupPath(tree, node);
    const std::string relative = group.empty() ? std::string(FilePart(icon.c_str()))
                                               : group + "/" + FilePart(icon.c_str());
    EditorStatus("Download and scale the icon...");
    win = g.editWin.load();
    if (win) SetAttrs(win, MUIA_Window_Sleep, TRUE);
    const std::string destination = std::string(STATION_ICON_DIR) + relative;
    result = PixmoAndSave(icon.c_str(), 32, 20, destination.c_str());
    if (win) SetAttrs(win, MUIA_Window_Sleep, FALSE);
    if (result != 0) {
      EditorStatus("Failed to scale the icon, err = %ld\n", result);
    } else {
      StationNode data{const_cast<STRPTR>(name.c_str()), const_cast<STRPTR>(relative.c_str()),
                       const_cast<STRPTR>(url.c_str())};
      DoMethod(tree, MUIM_Listtree_Rename, node, &data, MUIV_Listtree_Rename_Flags_User);
      SetAttrs(tree, MUIA_Listtree_Active, node);
    }
  }
  // The editor greets again (its opening shows the welcome text).
  if (result == 0) DoMethod(obj, MM_Melodune_EditStations);
  return 0;
}
