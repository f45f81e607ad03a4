// Local and global variables, saved ones in ENVARC:.

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "dos_fixture.h"

TEST_F(DosTest, GlobalVariablesAreFilesInEnv) {
  char buf[64];
  SetIoErr(0);
  EXPECT_EQ(GetVar("Melodune_LastStation", buf, sizeof buf, GVF_GLOBAL_ONLY), -1);
  EXPECT_EQ(IoErr(), ERROR_OBJECT_NOT_FOUND);

  ASSERT_TRUE(SetVar("Melodune_LastStation", "Rock/Radio X", -1, GVF_GLOBAL_ONLY | GVF_SAVE_VAR));
  EXPECT_EQ(Get("ENV/Melodune_LastStation"), "Rock/Radio X");
  EXPECT_EQ(Get("ENVARC/Melodune_LastStation"), "Rock/Radio X");
  EXPECT_EQ(GetVar("melodune_laststation", buf, sizeof buf, GVF_GLOBAL_ONLY), 12);
  EXPECT_STREQ(buf, "Rock/Radio X");
  EXPECT_EQ(IoErr(), 12);

  // Without GVF_SAVE_VAR only ENV: changes.
  ASSERT_TRUE(SetVar("Melodune_LastStation", "Jazz", -1, GVF_GLOBAL_ONLY));
  EXPECT_EQ(Get("ENV/Melodune_LastStation"), "Jazz");
  EXPECT_EQ(Get("ENVARC/Melodune_LastStation"), "Rock/Radio X");

  // The existence test of a switch variable is a Lock on Env:.
  Put("ENV/MeloduneQMD", "");
  BPTR l = Lock("Env:MeloduneQMD", SHARED_LOCK);
  EXPECT_NE(l, 0u);
  UnLock(l);

  // Too small a buffer: size-1 bytes and the NUL; IoErr has the full length.
  char small[5];
  EXPECT_EQ(GetVar("Melodune_LastStation", small, sizeof small, GVF_GLOBAL_ONLY), 4);
  EXPECT_STREQ(small, "Jazz");
  ASSERT_TRUE(SetVar("Long", "0123456789", 10, GVF_GLOBAL_ONLY));
  EXPECT_EQ(GetVar("Long", small, sizeof small, GVF_GLOBAL_ONLY), 4);
  EXPECT_STREQ(small, "0123");
  EXPECT_EQ(IoErr(), 10);
  EXPECT_EQ(GetVar("Long", small, 0, GVF_GLOBAL_ONLY), -1);
  EXPECT_EQ(IoErr(), ERROR_BAD_NUMBER);

  // Text variables stop at a LF; binary ones do not, and may skip the NUL.
  Put("ENV/Multi", "first\nsecond");
  EXPECT_EQ(GetVar("Multi", buf, sizeof buf, GVF_GLOBAL_ONLY), 5);
  EXPECT_STREQ(buf, "first");
  EXPECT_EQ(GetVar("Multi", buf, sizeof buf, GVF_GLOBAL_ONLY | GVF_BINARY_VAR), 12);
  EXPECT_STREQ(buf, "first\nsecond");
  memset(small, '#', sizeof small);
  EXPECT_EQ(GetVar("Multi", small, sizeof small, GVF_GLOBAL_ONLY | GVF_BINARY_VAR | GVF_DONT_NULL_TERM), 5);
  EXPECT_EQ(std::string(small, 5), "first");

  // Names never leave ENV:.
  EXPECT_FALSE(SetVar("/escape", "x", -1, GVF_GLOBAL_ONLY));
  EXPECT_FALSE(SetVar("SYS:x", "x", -1, GVF_GLOBAL_ONLY));
  EXPECT_FALSE(Exists("SYS/x"));
  EXPECT_EQ(GetVar("../SYS/x", buf, sizeof buf, GVF_GLOBAL_ONLY), -1);

  ASSERT_TRUE(DeleteVar("Melodune_LastStation", GVF_GLOBAL_ONLY | GVF_SAVE_VAR));
  EXPECT_FALSE(Exists("ENV/Melodune_LastStation"));
  EXPECT_FALSE(Exists("ENVARC/Melodune_LastStation"));
  EXPECT_FALSE(DeleteVar("Melodune_LastStation", GVF_GLOBAL_ONLY));
  EXPECT_EQ(IoErr(), ERROR_OBJECT_NOT_FOUND);
}

TEST_F(DosTest, LocalVariablesBelongToTheTask) {
  char buf[32];
  ASSERT_TRUE(SetVar("Mode", "local", -1, 0));
  ASSERT_TRUE(SetVar("Mode", "global", -1, GVF_GLOBAL_ONLY));
  EXPECT_EQ(GetVar("MODE", buf, sizeof buf, 0), 5); // local first
  EXPECT_STREQ(buf, "local");
  EXPECT_EQ(GetVar("Mode", buf, sizeof buf, GVF_GLOBAL_ONLY), 6);
  EXPECT_EQ(GetVar("Mode", buf, sizeof buf, GVF_LOCAL_ONLY), 5);

  LONG other = 0;
  std::thread([&] { other = GetVar("Mode", buf, sizeof buf, 0); }).join();
  EXPECT_EQ(other, 6); // another task sees only the global one
  EXPECT_STREQ(buf, "global");

  ASSERT_TRUE(DeleteVar("Mode", 0));
  EXPECT_EQ(GetVar("Mode", buf, sizeof buf, GVF_LOCAL_ONLY), -1);
  EXPECT_EQ(GetVar("Mode", buf, sizeof buf, 0), 6);
  // A null buffer deletes, too.
  ASSERT_TRUE(SetVar("Mode", nullptr, 0, GVF_GLOBAL_ONLY));
  EXPECT_EQ(GetVar("Mode", buf, sizeof buf, 0), -1);
}

TEST_F(DosTest, ReadersNeverSeeHalfAValue) {
  std::string a(5000, 'a'), b(7000, 'b');
  ASSERT_TRUE(SetVar("Big", a.c_str(), -1, GVF_GLOBAL_ONLY));
  std::atomic<bool> stop{false}, torn{false};
  std::thread reader([&] {
    std::vector<char> buf(8000);
    while (!stop) {
      LONG n = GetVar("Big", buf.data(), static_cast<LONG>(buf.size()), GVF_GLOBAL_ONLY);
      std::string v(buf.data(), n > 0 ? static_cast<size_t>(n) : 0);
      if (v != a && v != b)
        torn = true;
    }
  });
  for (int i = 0; i < 200; ++i)
    SetVar("Big", (i % 2 ? a : b).c_str(), -1, GVF_GLOBAL_ONLY);
  stop = true;
  reader.join();
  EXPECT_FALSE(torn);
}
