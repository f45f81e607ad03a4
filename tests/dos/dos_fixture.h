// A fresh root folder per test, removed afterwards.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "dos/dos.h"
#include "support/temp_root.h"

class DosTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(platform::SetDosRoot(root_));
    UnLock(CurrentDir(0));
  }
  void TearDown() override {
    UnLock(CurrentDir(0));
  }
  // Linux-side helpers, relative to the root.
  std::string L(const std::string &rel) const { return root_ + "/" + rel; }
  void Put(const std::string &rel, const std::string &bytes) const {
    std::ofstream(L(rel), std::ios::binary) << bytes;
  }
  std::string Get(const std::string &rel) const {
    std::ifstream in(L(rel), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  bool Exists(const std::string &rel) const { return std::filesystem::exists(std::filesystem::symlink_status(L(rel))); }

  testsupport::TempRoot tmp_{"dostest"};
  std::string root_ = tmp_.path();
};
