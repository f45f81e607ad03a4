// Helpers for the ReadArgs and command tests: parsing a text the way
// ReadArgsString does, and a fresh dos root per test.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "dos/dos.h"
#include "dos/rdargs.h"
#include "support/temp_root.h"

// One parse of `text` (a "\n" is added) with `tmpl`, from a CSource.
struct Parse {
  Parse(const char *tmpl, const std::string &text, size_t slots, IPTR fill = 0) : array(slots + 1, fill) {
    buffer = text + "\n";
    rda = static_cast<RDArgs *>(AllocDosObject(DOS_RDARGS, nullptr));
    if (!rda)
      return;
    rda->RDA_Source.CS_Buffer = buffer.data();
    rda->RDA_Source.CS_Length = static_cast<LONG>(buffer.size());
    SetIoErr(0);
    ok = ReadArgs(tmpl, array.data(), rda) != nullptr;
    err = IoErr();
  }
  ~Parse() {
    FreeArgs(rda);
    FreeDosObject(DOS_RDARGS, rda);
  }
  std::string Str(size_t i) const { return array[i] ? reinterpret_cast<const char *>(array[i]) : "<null>"; }
  LONG Num(size_t i) const { return *reinterpret_cast<const LONG *>(array[i]); }
  std::vector<std::string> Multi(size_t i) const {
    std::vector<std::string> v;
    for (auto **p = reinterpret_cast<char **>(array[i]); p && *p; ++p)
      v.emplace_back(*p);
    return v;
  }

  std::string buffer;
  RDArgs *rda = nullptr;
  std::vector<IPTR> array;
  bool ok = false;
  LONG err = 0;
};

class DosRootTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(platform::SetDosRoot(root_)); }

  std::string L(const std::string &amigaName) const { return platform::ToLinuxPath(amigaName.c_str(), false); }
  void Put(const std::string &amigaName, const std::string &bytes) const {
    BPTR fh = Open(amigaName.c_str(), MODE_NEWFILE);
    ASSERT_NE(fh, 0u) << amigaName;
    ASSERT_EQ(Write(fh, bytes.data(), static_cast<LONG>(bytes.size())), static_cast<LONG>(bytes.size()));
    Close(fh);
  }
  std::string Get(const std::string &amigaName) const {
    std::string p = L(amigaName);
    if (p.empty())
      return "<missing>";
    std::ifstream in(p, std::ios::binary);
    if (!in)
      return "<missing>";
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  bool Exists(const std::string &amigaName) const {
    BPTR l = Lock(amigaName.c_str(), SHARED_LOCK);
    UnLock(l);
    return l != 0;
  }

  testsupport::TempRoot tmp_{"readargs"};
  std::string root_ = tmp_.path();
};
