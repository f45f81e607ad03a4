// The Edit Stations window on its own: a root folder with the icon drawer,
// an application holding a stand-in plug-in object whose dispatcher runs
// the editor's and the station list's real handlers, a scripted display for
// requesters and file choosers, and the pop-up menu's fixed part.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "editor/Editor.h"
#include "mui/display.h"
#include "support/scripted_requests.h"
#include "support/temp_root.h"

namespace editortest {

using Screenplay = testsupport::ScriptedRequests;

class EditorTest : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  // Files below the root's SYS:Data/Screenbar/Melodune/ drawer.
  void Write(const std::string &name, const std::string &content);
  std::string Read(const std::string &name);
  bool Exists(const std::string &name);
  void Pump(); // runs pushed methods

  // Opens the editor (building it) with the given station file loaded.
  void OpenWith(const std::string &stationFile);
  // The node at a "/"-joined path of node names, or null.
  TreeNode *Find(const std::string &path);
  void Select(TreeNode *node);
  // Node names of a list (null: the root), in order.
  std::vector<std::string> Names(TreeNode *list);
  std::string Status();
  bool Disabled(Object *o);
  std::vector<std::string> WarningTexts();

  testsupport::TempRoot tmp{"melodune-editor"};
  std::filesystem::path root = tmp.path(), data, icons;
  Object *app = nullptr, *win = nullptr, *obj = nullptr, *tree = nullptr;
  struct MUI_CustomClass *mcc = nullptr;
  Screenplay screen;
};

std::string Lines(std::initializer_list<const char *> lines); // each followed by LF

} // namespace editortest
