// The station list at scale: 10,000 stations in 200 groups (some nested).
// Prints the time of Load + FillStationTree, of Apply (list and menu from
// the tree) and of Save (file and icon moves), and how many rows the tree
// hands the display for one screenful.
//
//   bench_stations [STATIONS] [GROUPS]   (default 10000 200)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "editor/Editor.h"
#include "mui/display.h"

namespace {

// Answers every question with its first button ("Yes").
struct Yes : platform::Display {
  int Request(const platform::RequestInfo &) override { return 0; }
};

double Ms(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

} // namespace

int main(int argc, char **argv) {
  const long stations = argc > 1 ? std::atol(argv[1]) : 10000;
  const long groups = argc > 2 ? std::atol(argv[2]) : 200;
  char tmpl[] = "/tmp/melodune-bench-stations-XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  std::filesystem::path root = tmpl;
  platform::SetDosRoot(root.string());
  std::filesystem::path data = root / "SYS" / "Data" / "Screenbar" / "Melodune";
  std::filesystem::create_directories(data / "StationIcons");
  {
    std::ofstream out(data / "Stations.txt", std::ios::binary);
    out << stations << "\n";
    for (long i = 0; i < stations; ++i) {
      long grp = i % groups;
      // Every fifth group sits inside the one before it.
      std::string path = grp % 5 == 1 ? "Group " + std::to_string(grp - 1) + "/Group " + std::to_string(grp)
                                      : "Group " + std::to_string(grp);
      std::string name = path + "/Station " + std::to_string(i);
      out << name << "\n" << name << ".png\nhttp://radio.example/" << i << "\n#\n";
    }
  }
  Yes yes;
  platform::SetDisplay(&yes);
  Object *app = MUI_NewObject(MUIC_Application, MUIA_Application_Title, "bench", TAG_DONE);
  g.menustrip = MUI_NewObject(MUIC_Menustrip, TAG_DONE);
  g.menu = MUI_NewObject(MUIC_Menu, MUIA_Menu_Title, "Melodune", TAG_DONE);
  DoMethod(g.menustrip.load(), MUIM_Family_AddTail, g.menu.load());
  Object *tree = MUI_NewObject(MUIC_Listtree, MUIA_Listtree_ConstructHook, &StationConstructHook,
                               MUIA_Listtree_DestructHook, &StationDestructHook, MUIA_Listtree_DisplayHook,
                               &StationDisplayHook, MUIA_Listtree_Format, "BAR,BAR,", MUIA_Listtree_Title, TRUE,
                               TAG_DONE);
  Object *status = MUI_NewObject(MUIC_Text, TAG_DONE);
  g.editTree = tree;
  g.editStatus = status;

  auto t0 = std::chrono::steady_clock::now();
  bool loaded = LoadStationList();
  FillStationTree(tree);
  double load = Ms(t0);

  IPTR msg = MM_Melodune_ApplyStations;
  t0 = std::chrono::steady_clock::now();
  Melodune_ApplyStations(nullptr, nullptr, reinterpret_cast<Msg>(&msg));
  double apply = Ms(t0);

  t0 = std::chrono::steady_clock::now();
  BuildStationMenu();
  double menu = Ms(t0);

  msg = MM_Melodune_SaveStations;
  t0 = std::chrono::steady_clock::now();
  Melodune_SaveStations(nullptr, nullptr, reinterpret_cast<Msg>(&msg));
  double save = Ms(t0);

  DoMethod(tree, MUIM_Listtree_Open, MUIV_Listtree_Open_ListNode_Root, MUIV_Listtree_Open_TreeNode_All);
  t0 = std::chrono::steady_clock::now();
  auto rows = platform::ListRows(tree);
  double rowsMs = Ms(t0);

  std::printf("stations %ld in %ld groups (loaded: %s, in tree: %ld, in list: %ld, file %ld bytes)\n", stations,
              groups, loaded ? "yes" : "no", static_cast<long>(CountStations(tree)),
              static_cast<long>(StationCount()),
              static_cast<long>(std::filesystem::file_size(data / "Stations.txt")));
  std::printf("load + fill tree  %8.1f ms\n", load);
  std::printf("apply             %8.1f ms\n", apply);
  std::printf("menu again        %8.1f ms (clear and rebuild of the station menu alone)\n", menu);
  std::printf("save              %8.1f ms\n", save);
  std::printf("all rows, opened  %8.1f ms (%zu rows)\n", rowsMs, rows.size());

  FreeStationList();
  ClearStationMenu();
  MUI_DisposeObject(tree);
  MUI_DisposeObject(status);
  MUI_DisposeObject(g.menustrip.exchange(nullptr));
  MUI_DisposeObject(app);
  platform::SetDisplay(nullptr);
  std::filesystem::remove_all(root);
  return 0;
}
