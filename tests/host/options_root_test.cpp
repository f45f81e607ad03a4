// The program's command line, and the root folder filled from the skeleton.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "host/root.h"
#include "host/screenbar_options.h"
#include "support/temp_root.h"

namespace fs = std::filesystem;
using platform::ScreenbarOptions;

namespace {

ScreenbarOptions Parse(std::vector<std::string> args, std::string *error = nullptr) {
  ScreenbarOptions o;
  std::string err;
  bool ok = platform::ParseScreenbarOptions(args, o, err);
  if (error) *error = ok ? "" : err;
  else EXPECT_TRUE(ok) << err;
  return o;
}

std::string Error(std::vector<std::string> args) {
  std::string err;
  Parse(std::move(args), &err);
  return err;
}

TEST(ScreenbarOptions, DefaultsAndEveryOption) {
  ScreenbarOptions d = Parse({});
  EXPECT_EQ(d.screens, 1);
  EXPECT_FALSE(d.web);
  EXPECT_FALSE(d.headless);
  EXPECT_EQ(d.clockRate, 1.0);
  EXPECT_TRUE(d.root.empty() && d.plugin.empty() && d.audio.empty());

  ScreenbarOptions o = Parse({"--root", "/r", "--screens=3", "--audio", "wav:/tmp/a.wav", "--headless",
                              "--clock-rate", "20.5", "--plugin=/p/X.sbar"});
  EXPECT_EQ(o.root, "/r");
  EXPECT_EQ(o.screens, 3);
  EXPECT_EQ(o.audio, "wav:/tmp/a.wav");
  EXPECT_TRUE(o.headless);
  EXPECT_EQ(o.clockRate, 20.5);
  EXPECT_EQ(o.plugin, "/p/X.sbar");

  ScreenbarOptions w = Parse({"--web", "8080"});
  EXPECT_TRUE(w.web);
  EXPECT_EQ(w.webAddress, "127.0.0.1");
  EXPECT_EQ(w.webPort, 8080);
  w = Parse({"--web=localhost:0"});
  EXPECT_EQ(w.webAddress, "localhost");
  EXPECT_EQ(w.webPort, 0);
  w = Parse({"--web", "[::1]:9"});
  EXPECT_EQ(w.webAddress, "::1");
  EXPECT_EQ(w.webPort, 9);
  EXPECT_TRUE(Parse({"-h"}).help);
}

TEST(ScreenbarOptions, WhatDoesNotFitIsRefusedWithAReason) {
  EXPECT_EQ(Error({"--screens", "0"}), "--screens: expected 1 to 16, got \"0\"");
  EXPECT_EQ(Error({"--screens", "17"}), "--screens: expected 1 to 16, got \"17\"");
  EXPECT_EQ(Error({"--screens", "2x"}), "--screens: expected 1 to 16, got \"2x\"");
  EXPECT_EQ(Error({"--screens"}), "--screens needs a value");
  EXPECT_EQ(Error({"--audio", "loud"}), "--audio: expected auto, null or wav:FILE, got \"loud\"");
  EXPECT_EQ(Error({"--audio", "wav:"}), "--audio: expected auto, null or wav:FILE, got \"wav:\"");
  EXPECT_EQ(Error({"--clock-rate", "0"}), "--clock-rate: expected a positive number, got \"0\"");
  EXPECT_EQ(Error({"--clock-rate", "nan"}), "--clock-rate: expected a positive number, got \"nan\"");
  EXPECT_EQ(Error({"--web", "65536"}), "--web: bad port \"65536\"");
  EXPECT_EQ(Error({"--web", ":80"}), "--web: bad address in \":80\"");
  EXPECT_EQ(Error({"--web", "[::1]80"}), "--web: expected [ADDR]:PORT, got \"[::1]80\"");
  EXPECT_EQ(Error({"--web", "80", "--headless"}), "--web and --headless exclude each other");
  EXPECT_EQ(Error({"--headless=yes"}), "--headless takes no value");
  EXPECT_EQ(Error({"--root="}), "--root: empty folder name");
  EXPECT_EQ(Error({"extra"}), "unknown argument \"extra\"");
}

class RootTest : public ::testing::Test {
protected:
  void SetUp() override {
    fs::create_directories(skeleton + "/SYS/Data/Screenbar/Melodune/StationIcons/.trash");
    fs::create_directories(skeleton + "/RAM");
    Write(skeleton + "/SYS/Data/Screenbar/Melodune/Stations_default.txt", "default");
    Write(skeleton + "/SYS/Data/Screenbar/Melodune/StationIcons/.trash/.keep", "");
    Write(skeleton + "/RAM/.keep", "");
  }
  static void Write(const std::string &path, const std::string &text) { std::ofstream(path) << text; }
  static std::string Read(const std::string &path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  testsupport::TempRoot tmp{"host-root"};
  std::string base = tmp.path(), skeleton = tmp / "skeleton";
};

TEST_F(RootTest, AFirstStartMakesTheRootFromTheSkeleton) {
  std::string root = base + "/new/root", err;
  ASSERT_TRUE(platform::PrepareRoot(root, skeleton, &err)) << err;
  EXPECT_EQ(Read(root + "/SYS/Data/Screenbar/Melodune/Stations_default.txt"), "default");
  EXPECT_TRUE(fs::is_directory(root + "/SYS/Data/Screenbar/Melodune/StationIcons/.trash"));
  EXPECT_TRUE(fs::is_directory(root + "/RAM"));
  EXPECT_FALSE(fs::exists(root + "/RAM/.keep")); // placeholders only make their folder
}

TEST_F(RootTest, TheUsersFilesAreNeverOverwrittenAndCaseIsIgnored) {
  std::string root = base + "/root", err;
  fs::create_directories(root + "/sys/data/screenbar/melodune");
  Write(root + "/sys/data/screenbar/melodune/stations_default.txt", "mine");
  Write(root + "/RAM", "a file where the skeleton has a drawer");
  ASSERT_TRUE(platform::PrepareRoot(root, skeleton, &err)) << err;
  EXPECT_EQ(Read(root + "/sys/data/screenbar/melodune/stations_default.txt"), "mine");
  EXPECT_FALSE(fs::exists(root + "/SYS"));
  EXPECT_TRUE(fs::is_directory(root + "/sys/data/screenbar/melodune/StationIcons/.trash"));
  EXPECT_EQ(Read(root + "/RAM"), "a file where the skeleton has a drawer");
  // A second start changes nothing.
  ASSERT_TRUE(platform::PrepareRoot(root, skeleton, &err)) << err;
  EXPECT_EQ(Read(root + "/sys/data/screenbar/melodune/stations_default.txt"), "mine");
}

TEST_F(RootTest, FailuresAndWhereTheSkeletonIsFound) {
  std::string err;
  Write(base + "/file", "x");
  EXPECT_FALSE(platform::PrepareRoot(base + "/file", skeleton, &err));
  EXPECT_FALSE(err.empty());
  EXPECT_FALSE(platform::PrepareRoot(base + "/r", base + "/no-skeleton", &err));
  EXPECT_EQ(err, base + "/no-skeleton: no skeleton folder");

  // Next to the binaries first, then the fallback.
  fs::create_directories(base + "/share/melodune/skeleton");
  fs::create_directories(base + "/bin");
  EXPECT_EQ(platform::FindSkeleton(base + "/bin", skeleton), fs::canonical(base + "/share/melodune/skeleton").string());
  EXPECT_EQ(platform::FindSkeleton(base + "/elsewhere", skeleton), skeleton);
  EXPECT_EQ(platform::FindSkeleton("", base + "/none"), "");

  // The build lays the real skeleton out the same way.
  EXPECT_TRUE(fs::exists(platform::FindSkeleton(MELODUNE_BIN_DIR, "") + "/SYS/Data/Screenbar/Melodune/Stations_default.txt"));
}

TEST(DefaultRoot, FollowsTheDataDirectoryOfTheUser) {
  std::string xdg = std::getenv("XDG_DATA_HOME") ? std::getenv("XDG_DATA_HOME") : "";
  setenv("XDG_DATA_HOME", "/data/home", 1);
  EXPECT_EQ(platform::DefaultRootDir(), "/data/home/melodune/root");
  setenv("XDG_DATA_HOME", "relative", 1); // not absolute: ignored, as the XDG rules say
  std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
  if (!home.empty()) {
    EXPECT_EQ(platform::DefaultRootDir(), home + "/.local/share/melodune/root");
  }
  if (xdg.empty()) {
    unsetenv("XDG_DATA_HOME");
  } else {
    setenv("XDG_DATA_HOME", xdg.c_str(), 1);
  }
}

} // namespace
