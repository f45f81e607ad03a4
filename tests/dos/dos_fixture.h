// A fresh root folder per test, removed afterwards.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "dos/dos.h"

class DosTest : public ::testing::Test {
protected:
  void SetUp() override {
    char tmpl[] = "/tmp/dostest-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    ASSERT_TRUE(platform::SetDosRoot(root_));
    UnLock(CurrentDir(0));
  }
  void TearDown() override {
    UnLock(CurrentDir(0));
    std::filesystem::remove_all(root_);
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

  std::string root_;
};
