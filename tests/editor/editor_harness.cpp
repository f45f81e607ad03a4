#include "editor_harness.h"

#include <fstream>
#include <sstream>

#include "dos/dos.h"

namespace editortest {
namespace {

std::mutex gWarnLock;
std::vector<std::string> gWarnings;

IPTR Dispatch(struct IClass *cl, Object *obj, Msg msg) {
  const IPTR *w = reinterpret_cast<const IPTR *>(msg);
  switch (msg->MethodID) {
  case MM_Melodune_Warning: {
    char text[1024];
    VSNPrintf(text, sizeof text, reinterpret_cast<CONST_STRPTR>(w[1]), w + 2);
    std::lock_guard l(gWarnLock);
    gWarnings.push_back(text);
    return 0;
  }
  case MM_Melodune_MenuAction: return 0;
  case MM_Melodune_EditStations: return Melodune_EditStations(cl, obj, msg);
  case MM_Melodune_ShowStation: return Melodune_ShowStation(cl, obj, msg);
  case MM_Melodune_UpdateStation: return Melodune_UpdateStation(cl, obj, msg);
  case MM_Melodune_AddStation: return Melodune_AddStation(cl, obj, msg);
  case MM_Melodune_NewGroup: return Melodune_NewGroup(cl, obj, msg);
  case MM_Melodune_CloneStation: return Melodune_CloneStation(cl, obj, msg);
  case MM_Melodune_MoveUp: return Melodune_MoveUp(cl, obj, msg);
  case MM_Melodune_MoveDown: return Melodune_MoveDown(cl, obj, msg);
  case MM_Melodune_RemoveNode: return Melodune_RemoveNode(cl, obj, msg);
  case MM_Melodune_DragDropSort: return Melodune_DragDropSort(cl, obj, msg);
  case MM_Melodune_LoadStations: return Melodune_LoadStations(cl, obj, msg);
  case MM_Melodune_ApplyStations: return Melodune_ApplyStations(cl, obj, msg);
  case MM_Melodune_SaveStations: return Melodune_SaveStations(cl, obj, msg);
  case MM_Melodune_TestStation: return Melodune_TestStation(cl, obj, msg);
  }
  return DoSuperMethodA(cl, obj, msg);
}

} // namespace

std::string Lines(std::initializer_list<const char *> lines) {
  std::string s;
  for (const char *l : lines) s += std::string(l) + "\n";
  return s;
}

void EditorTest::SetUp() {
  ASSERT_TRUE(platform::SetDosRoot(root.string()));
  data = root / "SYS" / "Data" / "Screenbar" / "Melodune";
  icons = data / "StationIcons";
  std::filesystem::create_directories(icons / ".trash");
  Write("StationIcons/_empty.info", "drawer icon");
  Write("StationIcons/_empty.png", "png");
  {
    std::lock_guard l(gWarnLock);
    gWarnings.clear();
  }
  platform::SetDisplay(&screen);
  mcc = MUI_CreateCustomClass(nullptr, MUIC_Area, nullptr, 0, Dispatch);
  ASSERT_NE(mcc, nullptr);
  app = MUI_NewObject(MUIC_Application, MUIA_Application_Title, "EditorTest", TAG_DONE);
  obj = NewObject(mcc->mcc_Class, nullptr, TAG_DONE);
  win = MUI_NewObject(MUIC_Window, WindowContents, obj, TAG_DONE);
  ASSERT_TRUE(app && obj && win);
  DoMethod(app, OM_ADDMEMBER, win);
  g.obj = obj;
  g.currObj = obj;
  g.currStation = -1;
  g.recStation = -1;
  g.menustrip = MUI_NewObject(MUIC_Menustrip, TAG_DONE);
  g.menu = MUI_NewObject(MUIC_Menu, MUIA_Menu_Title, "Melodune", TAG_DONE);
  DoMethod(g.menustrip.load(), MUIM_Family_AddTail, g.menu.load());
}

void EditorTest::TearDown() {
  if (Object *w = g.editWin.load()) {
    SetAttrs(w, MUIA_Window_Open, FALSE, TAG_DONE);
    DoMethod(app, OM_REMMEMBER, w);
    MUI_DisposeObject(w);
  }
  for (auto *slot : {&g.editWin, &g.editLoad, &g.editApply, &g.editSave, &g.editSearch, &g.editStatus, &g.editTree,
                     &g.editGroup, &g.editStation, &g.editClone, &g.editRemove, &g.editUp, &g.editDown,
                     &g.editOpenAll, &g.editCloseAll, &g.editDnDSort, &g.editIcon, &g.editName, &g.editIconName,
                     &g.editStream, &g.editTest})
    *slot = nullptr;
  MUI_FreeAslRequest(g.importReq.exchange(nullptr));
  FreeStationList();
  ClearStationMenu();
  MUI_DisposeObject(g.menustrip.exchange(nullptr));
  g.menu = nullptr;
  g.obj = nullptr;
  g.currObj = nullptr;
  DoMethod(app, OM_REMMEMBER, win);
  MUI_DisposeObject(win);
  MUI_DisposeObject(app);
  MUI_DeleteCustomClass(mcc);
  platform::SetDisplay(nullptr);
  std::filesystem::permissions(data, std::filesystem::perms::owner_all);
}

void EditorTest::Write(const std::string &name, const std::string &content) {
  std::filesystem::path p = data / name;
  std::filesystem::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << content;
}

std::string EditorTest::Read(const std::string &name) {
  std::ifstream in(data / name, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool EditorTest::Exists(const std::string &name) { return std::filesystem::exists(data / name); }

void EditorTest::Pump() { DoMethod(app, MUIM_Application_InputBuffered); }

void EditorTest::OpenWith(const std::string &stationFile) {
  Write("Stations.txt", stationFile);
  ASSERT_TRUE(LoadStationList());
  DoMethod(obj, MM_Melodune_EditStations);
  tree = g.editTree.load();
  ASSERT_NE(tree, nullptr);
  DoMethod(tree, MUIM_Listtree_Open, MUIV_Listtree_Open_ListNode_Root, MUIV_Listtree_Open_TreeNode_All);
}

TreeNode *EditorTest::Find(const std::string &path) {
  TreeNode *list = nullptr;
  size_t start = 0;
  for (;;) {
    size_t slash = path.find('/', start);
    std::string part = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    list = reinterpret_cast<TreeNode *>(
        DoMethod(tree, MUIM_Listtree_FindName, list, part.c_str(), MUIV_Listtree_FindName_Flags_SameLevel));
    if (!list || slash == std::string::npos) return list;
    start = slash + 1;
  }
}

void EditorTest::Select(TreeNode *node) { SetAttrs(tree, MUIA_Listtree_Active, node, TAG_DONE); }

std::vector<std::string> EditorTest::Names(TreeNode *list) {
  std::vector<std::string> v;
  for (LONG i = 0;; ++i) {
    auto *n = reinterpret_cast<TreeNode *>(
        DoMethod(tree, MUIM_Listtree_GetEntry, list, i, MUIV_Listtree_GetEntry_Flags_SameLevel));
    if (!n) break;
    v.push_back(n->tn_Name);
  }
  return v;
}

std::string EditorTest::Status() {
  IPTR t = 0;
  GetAttr(MUIA_Text_Contents, g.editStatus.load(), &t);
  return t ? reinterpret_cast<const char *>(t) : "";
}

bool EditorTest::Disabled(Object *o) {
  IPTR v = 0;
  GetAttr(MUIA_Disabled, o, &v);
  return v != 0;
}

std::vector<std::string> EditorTest::WarningTexts() {
  std::lock_guard l(gWarnLock);
  return gWarnings;
}

} // namespace editortest
