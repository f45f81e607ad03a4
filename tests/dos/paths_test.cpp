// Volumes, case-insensitive resolution, the current directory, escapes, and
// the pure name functions.

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <thread>

#include "dos_fixture.h"
#include "dos/shell_program.h"

namespace fs = std::filesystem;

TEST_F(DosTest, RootGetsTheVolumesAndKeepsExistingOnesOfAnyCase) {
  for (const char *v : {"SYS", "RAM", "T", "ENV", "ENVARC"})
    EXPECT_TRUE(fs::is_directory(L(v))) << v;
  // A second root where ENV already exists in lower case: no second folder.
  const testsupport::TempRoot otherRoot("dostest2");
  const std::string &other = otherRoot.path();
  fs::create_directory(other + "/env");
  ASSERT_TRUE(platform::SetDosRoot(other));
  EXPECT_FALSE(fs::exists(other + "/ENV"));
  EXPECT_EQ(platform::ToLinuxPath("Env:x", true), platform::DosRoot() + "/env/x");
  ASSERT_TRUE(platform::SetDosRoot(root_));

  EXPECT_FALSE(platform::SetDosRoot(root_ + "/missing"));
  EXPECT_EQ(platform::DosRoot(), fs::canonical(root_).string());
}

TEST_F(DosTest, NamesResolveIgnoringCaseAndNewNamesKeepTheirCase) {
  fs::create_directories(L("SYS/Data/Screenbar"));
  Put("SYS/Data/Screenbar/Stations.txt", "x");
  std::string root = platform::DosRoot();
  EXPECT_EQ(platform::ToLinuxPath("sys:data/SCREENBAR/stations.TXT", false), root + "/SYS/Data/Screenbar/Stations.txt");
  EXPECT_EQ(platform::ToLinuxPath("Sys:Data/screenbar/New File", true), root + "/SYS/Data/Screenbar/New File");
  // An existing name wins over the spelling given for a new one.
  EXPECT_EQ(platform::ToLinuxPath("SYS:data/screenbar/STATIONS.txt", true), root + "/SYS/Data/Screenbar/Stations.txt");

  SetIoErr(0);
  EXPECT_EQ(platform::ToLinuxPath("SYS:Data/nothing/x", true), "");
  EXPECT_EQ(IoErr(), ERROR_OBJECT_NOT_FOUND);
  EXPECT_EQ(platform::ToLinuxPath("NoSuchVolume:x", true), "");
  EXPECT_EQ(IoErr(), ERROR_DEVICE_NOT_MOUNTED);
  // A file is not a drawer.
  EXPECT_EQ(platform::ToLinuxPath("SYS:Data/Screenbar/Stations.txt/x", true), "");
}

TEST_F(DosTest, Latin1NamesAreUtf8OnLinux) {
  // "Müsli" in Latin-1; upper-case Ü matches lower-case ü.
  BPTR fh = Open("RAM:M\xFCsli", MODE_NEWFILE);
  ASSERT_NE(fh, 0u);
  Close(fh);
  EXPECT_TRUE(Exists("RAM/M\xC3\xBCsli"));
  BPTR l = Lock("ram:M\xDCSLI", SHARED_LOCK);
  ASSERT_NE(l, 0u);
  char name[64];
  ASSERT_TRUE(NameFromLock(l, name, sizeof name));
  EXPECT_STREQ(name, "RAM:M\xFCsli");
  UnLock(l);
  std::vector<platform::DirEntry> entries;
  ASSERT_TRUE(platform::ListDir("RAM:", entries));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "M\xFCsli");
}

TEST_F(DosTest, SlashAtTheStartIsTheParentAndCurrentDirIsPerTask) {
  fs::create_directories(L("SYS/a/b"));
  Put("SYS/top.txt", "top");
  Put("SYS/a/b/leaf", "leaf");
  std::string root = platform::DosRoot();

  // Default current directory: SYS:.
  EXPECT_EQ(platform::ToLinuxPath("top.txt", false), root + "/SYS/top.txt");

  BPTR b = Lock("SYS:A/B", SHARED_LOCK);
  ASSERT_NE(b, 0u);
  BPTR old = CurrentDir(b);
  EXPECT_EQ(old, 0u);
  EXPECT_EQ(platform::ToLinuxPath("leaf", false), root + "/SYS/a/b/leaf");
  EXPECT_EQ(platform::ToLinuxPath("/", false), root + "/SYS/a");
  EXPECT_EQ(platform::ToLinuxPath("//top.txt", false), root + "/SYS/top.txt");
  EXPECT_EQ(platform::ToLinuxPath("/b/leaf", false), root + "/SYS/a/b/leaf");
  EXPECT_EQ(platform::ToLinuxPath("..//leaf", false), ""); // ".." is no name here
  EXPECT_EQ(platform::ToLinuxPath(":top.txt", false), root + "/SYS/top.txt");
  EXPECT_EQ(platform::ToLinuxPath("SYS:a/b//", false), root + "/SYS/a");

  // Another task has its own current directory.
  std::string seen;
  std::thread([&] { seen = platform::ToLinuxPath("top.txt", false); }).join();
  EXPECT_EQ(seen, root + "/SYS/top.txt");

  EXPECT_EQ(CurrentDir(old), b);
  UnLock(b);

  // A task's current directory is let go when the task ends.
  std::thread([] { CurrentDir(Lock("SYS:a", EXCLUSIVE_LOCK)); }).join();
  BPTR again = Lock("SYS:a", EXCLUSIVE_LOCK);
  EXPECT_NE(again, 0u);
  UnLock(again);
}

TEST_F(DosTest, EscapesFromTheRootAreObjectNotFound) {
  fs::create_directories(L("SYS/d"));
  const testsupport::TempRoot outsideRoot("dosout");
  const std::string &outside = outsideRoot.path();
  std::ofstream(outside + "/secret") << "secret";
  fs::create_directory_symlink(outside, L("SYS/out"));
  fs::create_symlink(outside + "/secret", L("SYS/secret"));
  fs::create_directory_symlink(L("SYS/d"), L("SYS/in")); // inside: fine

  for (const char *bad : {"SYS:/x", "SYS://etc/passwd", "/etc/passwd", "//", "SYS:../RAM", "SYS:d/../../etc",
                          "..:etc", ".:SYS", "SYS:out/secret", "SYS:secret", "SYS:OUT", "/tmp:x", "SYS:./d"}) {
    SetIoErr(0);
    EXPECT_EQ(Lock(bad, SHARED_LOCK), 0u) << bad;
    EXPECT_EQ(IoErr(), ERROR_OBJECT_NOT_FOUND) << bad;
    EXPECT_EQ(Open(bad, MODE_NEWFILE), 0u) << bad;
  }
  EXPECT_FALSE(fs::exists(outside + "/x"));
  BPTR l = Lock("SYS:in", SHARED_LOCK);
  EXPECT_NE(l, 0u);
  UnLock(l);
  // Listings do not show links that lead out.
  std::vector<platform::DirEntry> entries;
  ASSERT_TRUE(platform::ListDir("SYS:", entries));
  std::vector<std::string> names;
  for (auto &e : entries)
    names.push_back(e.name);
  EXPECT_EQ(names, (std::vector<std::string>{"d", "in"}));
}

TEST_F(DosTest, HostNamesReachTheLinuxFileSystemOnlyWhenTurnedOn) {
  const testsupport::TempRoot outside("doshost");
  const std::string &out = outside.path();
  fs::create_directories(out + "/Pics/sub");
  std::ofstream(out + "/Pics/a.png") << "a";
  fs::create_directories(L("RAM"));

  platform::EnableHostNames(true);
  const std::string host = "HOST:" + out.substr(1);
  EXPECT_EQ(platform::ToLinuxPath((host + "/Pics/a.png").c_str(), false), out + "/Pics/a.png");
  EXPECT_EQ(platform::ToLinuxPath((out + "/Pics/a.png").c_str(), false), out + "/Pics/a.png");
  EXPECT_EQ(platform::ToLinuxPath((out + "//Pics/./sub/../a.png").c_str(), false), out + "/Pics/a.png");
  EXPECT_EQ(platform::ToLinuxPath("/..", false), "/");
  EXPECT_EQ(platform::ToLinuxPath((out + "/Pics/new.png").c_str(), true), out + "/Pics/new.png");
  // Relative names start at the current directory, on HOST: as anywhere.
  BPTR sub = Lock((host + "/Pics/sub").c_str(), SHARED_LOCK);
  ASSERT_NE(sub, 0u);
  BPTR old = CurrentDir(sub);
  EXPECT_EQ(platform::ToLinuxPath("../a.png", false), out + "/Pics/a.png");
  EXPECT_EQ(platform::ToLinuxPath("./../../Pics/a.png", false), out + "/Pics/a.png");
  EXPECT_EQ(platform::ToLinuxPath("x.png", true), out + "/Pics/sub/x.png");
  EXPECT_EQ(platform::ToLinuxPath("RAM:x.png", true), root_ + "/RAM/x.png") << "the root's volumes stay";
  UnLock(CurrentDir(old));

  platform::EnableHostNames(false);
  for (const std::string &name : {host + "/Pics/a.png", out + "/Pics/a.png"}) {
    EXPECT_EQ(platform::ToLinuxPath(name.c_str(), false), "") << name;
    EXPECT_EQ(IoErr(), name[0] == '/' ? ERROR_OBJECT_NOT_FOUND : ERROR_DEVICE_NOT_MOUNTED) << name;
  }
}

TEST_F(DosTest, AssignsAndOtherFoldersOfTheRootAreVolumes) {
  fs::create_directories(L("SYS/Prefs/Env-Archive"));
  fs::create_directories(L("Work/Rec"));
  std::string root = platform::DosRoot();
  EXPECT_EQ(platform::ToLinuxPath("work:rec/x.mp3", true), root + "/Work/Rec/x.mp3");
  EXPECT_EQ(platform::ToLinuxPath("PROGDIR:prefs", false), root + "/SYS/Prefs");
  ASSERT_TRUE(platform::AssignPath("Archive", "SYS:Prefs/Env-Archive"));
  EXPECT_EQ(platform::ToLinuxPath("archive:x", true), root + "/SYS/Prefs/Env-Archive/x");
  BPTR l = Lock("ARCHIVE:", SHARED_LOCK);
  char name[64];
  ASSERT_TRUE(NameFromLock(l, name, sizeof name));
  EXPECT_STREQ(name, "SYS:Prefs/Env-Archive");
  UnLock(l);
  // An assign leading to itself ends, it does not loop.
  ASSERT_TRUE(platform::AssignPath("Loop", "Loop:"));
  EXPECT_EQ(platform::ToLinuxPath("Loop:x", true), "");
  EXPECT_EQ(IoErr(), ERROR_TOO_MANY_LEVELS);
  ASSERT_TRUE(platform::AssignPath("Archive", ""));
  EXPECT_EQ(platform::ToLinuxPath("archive:x", true), "");
}

TEST(DosNames, AddPart) {
  struct Case {
    const char *dir, *file, *want;
  } cases[] = {
      {"RAM:", "Rock_Radio X.mp3", "RAM:Rock_Radio X.mp3"},
      {"Work:Rec", "Talk_News_ Live_24_", "Work:Rec/Talk_News_ Live_24_"},
      {"Work:Rec/", "x", "Work:Rec/x"},
      {"", "x", "x"},
      {"", "", ""},
      {"SYS:a", "", "SYS:a"},
      {"SYS:a/b", "/c", "SYS:a/c"},
      {"SYS:a/b", "//c", "SYS:c"},
      {"SYS:a", "/c", "SYS:c"},
      {"SYS:", "/c", "SYS:/c"},
      {"a", "/c", "c"},
      {"", "/c", "/c"},
      {"SYS:a/b", "RAM:x", "RAM:x"},
      {"SYS:a/b", ":x", "SYS:x"},
      {"a/b", ":x", ":x"},
  };
  for (const auto &c : cases) {
    char buf[64];
    strcpy(buf, c.dir);
    EXPECT_TRUE(AddPart(buf, c.file, sizeof buf)) << c.dir << " + " << c.file;
    EXPECT_STREQ(buf, c.want) << c.dir << " + " << c.file;
  }
  // Too small: false and the buffer untouched; an exact fit works.
  char small[8] = "RAM:";
  EXPECT_FALSE(AddPart(small, "abcd", sizeof small));
  EXPECT_STREQ(small, "RAM:");
  EXPECT_TRUE(AddPart(small, "abc", sizeof small));
  EXPECT_STREQ(small, "RAM:abc");
}

TEST(DosNames, FilePartAndPathPart) {
  struct Case {
    const char *path, *file, *dir;
  } cases[] = {
      {"SYS:a/b/c", "c", "SYS:a/b"}, {"SYS:c", "c", "SYS:"}, {"c", "c", ""},       {"SYS:", "", "SYS:"},
      {"a/", "", "a"},               {"/c", "c", "/"},       {"a//c", "c", "a//"}, {"", "", ""},
      {"Talk/News: Live/24", "24", "Talk/News: Live"}};
  for (const auto &c : cases) {
    EXPECT_STREQ(FilePart(c.path), c.file) << c.path;
    std::string s = c.path;
    *PathPart(s.data()) = 0;
    EXPECT_STREQ(s.c_str(), c.dir) << c.path;
  }
}
