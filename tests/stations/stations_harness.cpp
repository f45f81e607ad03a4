#include "stations_harness.h"

#include <cstdlib>
#include <fstream>

#include "dos/dos.h"

namespace stationstest {

Seen &Recorded() {
  static Seen seen;
  return seen;
}

namespace {

IPTR Dispatch(struct IClass *cl, Object *obj, Msg msg) {
  const IPTR *w = reinterpret_cast<const IPTR *>(msg);
  switch (msg->MethodID) {
  case MM_Melodune_Warning: {
    std::lock_guard l(Recorded().lock);
    Recorded().warnings.push_back({reinterpret_cast<const char *>(w[1]), {w[2], w[3], w[4]}});
    return 0;
  }
  case MM_Melodune_MenuAction: {
    std::lock_guard l(Recorded().lock);
    Recorded().choices.push_back(w[1]);
    return 0;
  }
  }
  return DoSuperMethodA(cl, obj, msg);
}

} // namespace

void StationsTest::SetUp() {
  ASSERT_TRUE(platform::SetDosRoot(root.string()));
  data = root / "SYS" / "Data" / "Screenbar" / "Melodune";
  std::filesystem::create_directories(data / "StationIcons");
  {
    std::lock_guard l(Recorded().lock);
    Recorded().warnings.clear();
    Recorded().choices.clear();
  }
  mcc = MUI_CreateCustomClass(nullptr, MUIC_Area, nullptr, 0, Dispatch);
  ASSERT_NE(mcc, nullptr);
  app = MUI_NewObject(MUIC_Application, MUIA_Application_Title, "StationsTest", TAG_DONE);
  ASSERT_NE(app, nullptr);
  obj = NewObject(mcc->mcc_Class, nullptr, TAG_DONE);
  ASSERT_NE(obj, nullptr);
  win = MUI_NewObject(MUIC_Window, WindowContents, obj, TAG_DONE);
  ASSERT_NE(win, nullptr);
  DoMethod(app, OM_ADDMEMBER, win);
  g.obj = obj;
  g.currObj = obj;
  g.currStation = -1;

  // The fixed part of the menu, as the set-up makes it.
  g.menustrip = MUI_NewObject(MUIC_Menustrip, TAG_DONE);
  g.menu = MUI_NewObject(MUIC_Menu, MUIA_Menu_Title, "Melodune", TAG_DONE);
  DoMethod(g.menustrip.load(), MUIM_Family_AddTail, g.menu.load());
  const char *fixed[] = {"Stop", "Mute", "Record", "Edit Stations...", "Stream Info...", "UpdateCheck..."};
  for (IPTR i = 0; i < 6; ++i)
    DoMethod(g.menu.load(), MUIM_Family_AddTail,
             MUI_NewObject(MUIC_Menuitem, MUIA_Menuitem_Title, fixed[i], MUIA_UserData, i + 1, TAG_DONE));
  DoMethod(g.menu.load(), MUIM_Family_AddTail,
           MUI_NewObject(MUIC_Menuitem, MUIA_Menuitem_Title, NM_BARLABEL, MUIA_UserData, 0, TAG_DONE));
}

void StationsTest::TearDown() {
  FreeStationList();
  ClearStationMenu();
  MUI_DisposeObject(g.menustrip.load());
  g.menustrip = nullptr;
  g.menu = nullptr;
  g.obj = nullptr;
  g.currObj = nullptr;
  g.editTree = nullptr;
  g.editStatus = nullptr;
  g.searchList = nullptr;
  g.currStation = -1;
  if (app) {
    DoMethod(app, OM_REMMEMBER, win);
    MUI_DisposeObject(win);
    MUI_DisposeObject(app);
  }
  if (mcc) MUI_DeleteCustomClass(mcc);
}

void StationsTest::Write(const std::string &name, const std::string &content) {
  std::filesystem::path p = data / name;
  std::filesystem::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << content;
}

void StationsTest::MakeDrawer(const std::string &name) {
  std::filesystem::create_directories(data / "StationIcons" / name);
}

void StationsTest::RemoveFile(const std::string &name) { std::filesystem::remove(data / name); }

void StationsTest::Pump() { DoMethod(app, MUIM_Application_InputBuffered); }

BOOL StationsTest::Load(const std::string &text) {
  Write("Stations.txt", text);
  return LoadStationList();
}

void StationsTest::Install(const std::vector<std::vector<const char *>> &stations) {
  StationEntry *a = AllocStationArray(static_cast<LONG>(stations.size()));
  ASSERT_NE(a, nullptr);
  for (size_t i = 0; i < stations.size(); ++i)
    a[i] = {StationTextCopy(stations[i][0]), StationTextCopy(stations[i][1]), StationTextCopy(stations[i][2])};
  InstallStationList(a, static_cast<LONG>(stations.size()));
}

std::vector<Warning> StationsTest::Warnings() {
  std::lock_guard l(Recorded().lock);
  return Recorded().warnings;
}

std::vector<IPTR> StationsTest::Choices() {
  std::lock_guard l(Recorded().lock);
  return Recorded().choices;
}

std::vector<std::string> Entry(LONG index) {
  StationEntry *a = g.stations.load();
  if (!a) return {};
  auto s = [](const char *t) { return t ? std::string(t) : std::string("<null>"); };
  return {s(a[index].name), s(a[index].icon), s(a[index].stream)};
}

} // namespace stationstest
