// A small world for the station list: a root folder with the plug-in's
// drawers, an application holding a stand-in plug-in object that records
// the warnings sent to it and the menu choices pushed to it, and the menu
// with its fixed part.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "core/Melodune.h"
#include "stations/Stations.h"
#include "support/temp_root.h"

namespace stationstest {

struct Warning {
  std::string format;
  IPTR values[3];
};

struct Seen {
  std::mutex lock;
  std::vector<Warning> warnings;
  std::vector<IPTR> choices; // MM_Melodune_MenuAction
};
Seen &Recorded();

class StationsTest : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  // Writes a file below the root's SYS:Data/Screenbar/Melodune/ drawer.
  void Write(const std::string &name, const std::string &content);
  void MakeDrawer(const std::string &name); // below the icon drawer
  void RemoveFile(const std::string &name);
  void Pump(); // runs the pushed methods
  // Loads text as Stations.txt; the result of LoadStationList.
  BOOL Load(const std::string &text);
  // Installs the stations (full name, icon, stream) as the list.
  void Install(const std::vector<std::vector<const char *>> &stations);

  std::vector<Warning> Warnings();
  std::vector<IPTR> Choices();

  testsupport::TempRoot tmp{"melodune-stations"};
  std::filesystem::path root = tmp.path(), data;
  Object *app = nullptr, *win = nullptr, *obj = nullptr;
  struct MUI_CustomClass *mcc = nullptr;
};

// With the editor's tree (g.editTree), whose hooks are the list's own.
class EditTreeTest : public StationsTest {
protected:
  void SetUp() override {
    StationsTest::SetUp();
    tree = MUI_NewObject(MUIC_Listtree, MUIA_Listtree_ConstructHook, &StationConstructHook,
                         MUIA_Listtree_DestructHook, &StationDestructHook, TAG_DONE);
    g.editTree = tree;
  }
  void TearDown() override {
    MUI_DisposeObject(tree);
    StationsTest::TearDown();
  }

  Object *tree = nullptr;
};

// The entry at index as (name, icon, stream), "<null>" for null fields.
std::vector<std::string> Entry(LONG index);

} // namespace stationstest
