// The station part of the pop-up menu: one item per station behind the
// fixed commands, in submenus that follow the group paths.
#include <cstdio>
#include <map>
#include <shared_mutex>
#include <string>
#include <vector>

#include "stations/Stations.h"

namespace {

// The full group path of every group submenu made since the last clear.
// Titles cannot tell them apart (a group without an icon drawer shows
// "_empty"), so the path is kept beside the object. GUI task only.
std::map<Object *, std::string> &GroupPaths() {
  static std::map<Object *, std::string> paths;
  return paths;
}

IPTR UserData(Object *o) {
  IPTR v = 0;
  GetAttr(MUIA_UserData, o, &v);
  return v;
}

std::vector<Object *> Children(Object *family) {
  std::vector<Object *> v;
  IPTR list = 0;
  if (!family || !GetAttr(MUIA_Family_List, family, &list) || !list) return v;
  APTR state = reinterpret_cast<struct MinList *>(list)->mlh_Head;
  while (Object *o = NextObject(&state)) v.push_back(o);
  return v;
}

struct MenuStation {
  LONG index;
  std::string name, icon;
};

} // namespace

void ClearStationMenu() {
  if (Object *menu = g.menu.load()) {
    for (Object *child : Children(menu)) {
      if (UserData(child) <= MENU_UPDATECHECK) continue;
      DoMethod(menu, MUIM_Family_Remove, child);
      MUI_DisposeObject(child);
    }
  }
  GroupPaths().clear();
}

Object *FindOrCreateGroupMenu(Object *parent, CONST_STRPTR groupPath) {
  if (!parent || !groupPath) return nullptr;
  auto &paths = GroupPaths();
  for (Object *child : Children(parent)) {
    auto it = paths.find(child);
    if (it != paths.end() && it->second == groupPath) return child;
  }
  char title[1024];
  std::snprintf(title, sizeof title, "\33I[4:" STATION_ICON_DIR "%s.info] %s",
                StationIconExists(groupPath) ? groupPath : "_empty", StationDisplayName(groupPath));
  Object *sub = MUI_NewObject(MUIC_Menu, MUIA_Menu_Title, title, MUIA_Menu_CopyStrings, TRUE, MUIA_UserData,
                              MENU_GROUP_UDATA, TAG_DONE);
  if (!sub) return nullptr;
  DoMethod(parent, MUIM_Family_AddTail, sub);
  paths[sub] = groupPath;
  return sub;
}

BOOL BuildStationMenu() {
  // What the menu needs is copied under the lock; building it runs the
  // toolkit and the file system.
  std::vector<MenuStation> stations;
  {
    std::shared_lock lock(g.stationsLock);
    StationEntry *array = g.stations.load();
    if (!array) return FALSE;
    for (LONG i = 0; array[i].name; ++i)
      if (array[i].icon && array[i].stream) stations.push_back({i, array[i].name, array[i].icon});
  }
  ClearStationMenu();
  Object *menu = g.menu.load();
  if (!menu) return TRUE;

  std::map<std::string, Object *> made;
  for (const MenuStation &s : stations) {
    char title[1024];
    std::snprintf(title, sizeof title, "\33I[4:" STATION_ICON_DIR "%s]\xa0%s",
                  StationIconExists(s.icon.c_str()) ? s.icon.c_str() : STATION_EMPTY_ICON,
                  StationDisplayName(s.name.c_str()));
    Object *item = MUI_NewObject(MUIC_Menuitem, MUIA_Menuitem_Title, title, MUIA_Menuitem_CopyStrings, TRUE,
                                 MUIA_UserData, static_cast<IPTR>(s.index) + MENU_FIRSTSTATION, TAG_DONE);
    if (!item) continue;
    if (s.index == g.currStation.load()) SetAttrs(item, MUIA_Menuitem_Enabled, FALSE, TAG_DONE);

    // Each "/" after a non-empty component opens the submenu of the path up
    // to it; an empty component ends the walk.
    Object *parent = menu;
    size_t start = 0;
    for (size_t slash; (slash = s.name.find('/', start)) != std::string::npos && slash > start; start = slash + 1) {
      // Submenus made during this build are remembered by path, so a long
      // list does not search the menu once per station.
      std::string path = s.name.substr(0, slash);
      Object *&sub = made[path];
      if (!sub) sub = FindOrCreateGroupMenu(parent, path.c_str());
      if (!sub) break;
      parent = sub;
    }
    DoMethod(parent, MUIM_Family_AddTail, item);
  }
  return TRUE;
}
