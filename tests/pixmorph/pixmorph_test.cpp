// Runs the built Pixmorph on pictures of every format, from files and from a
// local web server, and checks what a user sees: the lines it prints, the
// file it writes, and the failure codes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sstream>

#include "reggae/picture_decode.h"
#include "testkit/server.h"
#include "tests/pictures/picture_makers.h"
#include "support/temp_root.h"

extern char **environ;

namespace fs = std::filesystem;
using picmake::Bytes;
using picmake::Image;

namespace {

constexpr uint32_t kRed = 0xFFFF0000, kBlue = 0xFF0000FF, kGreen = 0xFF00FF00, kWhite = 0xFFFFFFFF;

struct Result {
  int status = -1; // exit status
  std::string out; // standard output
  std::vector<std::string> lines;
};

class PixmorphTest : public ::testing::Test {
protected:
  void SetUp() override { fs::create_directories(root_ / "RAM"); }

  // Writes a file into RAM: and returns its AmigaDOS name.
  std::string Put(const std::string &name, const Bytes &data) {
    EXPECT_TRUE(picmake::WriteFile((root_ / "RAM" / name).string(), data));
    return "RAM:" + name;
  }
  fs::path Ram(const std::string &name) const { return root_ / "RAM" / name; }

  Result Pixmorph(std::vector<std::string> args, const fs::path &cwd = {}) {
    std::string exe = std::string(MELODUNE_BIN_DIR) + "/Pixmorph";
    args.insert(args.begin(), exe);
    std::vector<char *> argv;
    for (auto &a : args)
      argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env = {"MELODUNE_ROOT=" + root_.string(), "HOME=" + root_.string()};
    std::vector<char *> envp;
    for (auto &e : env)
      envp.push_back(e.data());
    envp.push_back(nullptr);

    int pipefd[2];
    EXPECT_EQ(pipe(pipefd), 0);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, pipefd[1], 1);
    posix_spawn_file_actions_addclose(&fa, pipefd[0]);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    std::string dir = (cwd.empty() ? root_ : cwd).string();
    posix_spawn_file_actions_addchdir_np(&fa, dir.c_str());
    pid_t pid = -1;
    int rc = posix_spawn(&pid, exe.c_str(), &fa, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&fa);
    close(pipefd[1]);
    Result r;
    EXPECT_EQ(rc, 0);
    char buf[4096];
    ssize_t n;
    while ((n = read(pipefd[0], buf, sizeof buf)) > 0)
      r.out.append(buf, size_t(n));
    close(pipefd[0]);
    int st = 0;
    waitpid(pid, &st, 0);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);)
      r.lines.push_back(line);
    return r;
  }

  // Decodes a written PNG; fails the test when it is none.
  Image Output(const std::string &name) {
    Bytes png = picmake::ReadFile(Ram(name).string());
    reggae::pictures::PictureInfo info;
    Image img;
    EXPECT_EQ(reggae::pictures::DecodePicture(png.data(), png.size(), info, img.px), reggae::pictures::PictureError::None);
    EXPECT_EQ(info.format, reggae::pictures::PictureFormat::Png);
    img.w = info.width, img.h = info.height;
    return img;
  }

  testsupport::TempRoot tmp_{"pixmorph"};
  fs::path root_ = tmp_.path();
};

bool Has(const Result &r, const std::string &line) {
  return std::find(r.lines.begin(), r.lines.end(), line) != r.lines.end();
}

// The exact trace of a run that worked, in order.
void ExpectSuccessTrace(const Result &r, uint32_t w, uint32_t h, const std::string &to) {
  const std::string hex = "0x[0-9a-f]{8}";
  std::string size = std::to_string(uint64_t(w) * h * 4);
  std::vector<std::string> want = {
      "isURL = [01]",
      "wid = " + std::to_string(w) + ", hei = " + std::to_string(h) + ", bpl = " + std::to_string(w * 4) +
          ", size = " + size,
      "do MMM_Pull",
      "psize = " + size,
      "do MMM_Play...",
      "Wait for ctrl d for task " + hex,
      "Finished",
      "In EXCEPT DO, EXCEPTION = 0",
      "Disposing obj out = " + hex,
      "Disposing obj saver = " + hex,
      "Disposing obj scl = " + hex,
      "Disposing obj flt = " + hex,
      "Disposing obj mem = " + hex,
      "Closing libs",
      "Return",
      "Successfully scaled to " + to,
  };
  ASSERT_EQ(r.lines.size(), want.size()) << r.out;
  for (size_t i = 0; i < want.size(); ++i)
    EXPECT_TRUE(std::regex_match(r.lines[i], std::regex(want[i]))) << "line " << i << ": " << r.lines[i];
  EXPECT_EQ(r.status, 0);
}

// Left half red, right half blue, at the asked size.
void ExpectHalves(const Image &img, uint32_t w, uint32_t h, uint32_t left = kRed, uint32_t right = kBlue,
                  int tolerance = 0) {
  ASSERT_EQ(img.w, w);
  ASSERT_EQ(img.h, h);
  for (uint32_t y = 0; y < h; ++y) {
    EXPECT_LE(picmake::ColourDistance(img.at(0, y), left), tolerance) << y;
    EXPECT_LE(picmake::ColourDistance(img.at(w / 2 - 2, y), left), tolerance) << y;
    EXPECT_LE(picmake::ColourDistance(img.at(w / 2 + 1, y), right), tolerance) << y;
    EXPECT_LE(picmake::ColourDistance(img.at(w - 1, y), right), tolerance) << y;
  }
}

TEST_F(PixmorphTest, EveryFormatFromAFileBecomesA32x20Png) {
  Image src = picmake::Halves(160, 100, kRed, kBlue);
  struct Case {
    std::string name;
    Bytes data;
    int tolerance;
  } cases[] = {
      {"in.png", picmake::Png(src), 0},
      {"in.jpg", picmake::Jpeg(src), 24},
      {"in.gif", picmake::Gif(src), 0},
      {"in.bmp", picmake::Bmp(src), 0},
      {"in.ico", picmake::Ico({{16, 16, 32, picmake::IcoDib(picmake::Halves(16, 16, kGreen, kGreen))},
                               {0, 0, 32, picmake::Png(picmake::Halves(256, 160, kRed, kBlue))}}),
       0},
      {"in.webp", picmake::WebP(src), 0},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    std::string from = Put(c.name, c.data);
    Result r = Pixmorph({from, "RAM:out.png"});
    uint32_t w = c.name == "in.ico" ? 256 : 160, h = c.name == "in.ico" ? 160 : 100;
    ExpectSuccessTrace(r, w, h, "RAM:out.png");
    EXPECT_EQ(r.lines[0], "isURL = 0");
    ExpectHalves(Output("out.png"), 32, 20, kRed, kBlue, c.tolerance);
  }
}

TEST_F(PixmorphTest, WebAddressesAreDownloaded) {
  testkit::Server server;
  Image src = picmake::Halves(64, 40, kRed, kBlue);
  server.route("/favicon.ico", [&] {
    testkit::Response r;
    Bytes ico = picmake::Ico({{64, 40, 32, picmake::IcoDib(src)}});
    r.body.assign(ico.begin(), ico.end());
    r.header("Content-Type", "image/x-icon");
    return r;
  }());
  server.route("/logo.webp", [&] {
    testkit::Response r;
    Bytes webp = picmake::WebP(src);
    r.body.assign(webp.begin(), webp.end());
    return r;
  }());
  Result r = Pixmorph({server.url("/favicon.ico"), "RAM:icon.png"});
  ExpectSuccessTrace(r, 64, 40, "RAM:icon.png");
  EXPECT_EQ(r.lines[0], "isURL = 1");
  ExpectHalves(Output("icon.png"), 32, 20);
  // Whatever the destination's extension, it is a PNG; a query is part of the address.
  r = Pixmorph({server.url("/logo.webp?size=64&v=2"), "RAM:logo.jpg"});
  ExpectSuccessTrace(r, 64, 40, "RAM:logo.jpg");
  ExpectHalves(Output("logo.jpg"), 32, 20);

  // 404: code 4 with the framework's reason.
  server.route("/missing.png", testkit::Response::error(404));
  r = Pixmorph({server.url("/missing.png"), "RAM:x.png"});
  ASSERT_GE(r.lines.size(), 2u) << r.out;
  EXPECT_TRUE(std::regex_match(r.lines[1], std::regex("ReggaeErrCode = [0-9]+ \\(.+\\)"))) << r.out;
  EXPECT_TRUE(Has(r, "In EXCEPT DO, EXCEPTION = 4"));
  EXPECT_TRUE(Has(r, "MediaNewObjectTags(" + server.url("/missing.png") + ") failed!"));
  EXPECT_EQ(r.lines.back(), "Failed to scale pice, err = 4");
  EXPECT_EQ(r.status, 0);
  EXPECT_FALSE(fs::exists(Ram("x.png")));
}

TEST_F(PixmorphTest, WidthAndHeightChooseTheSize) {
  std::string from = Put("in.png", picmake::Png(picmake::Halves(200, 100, kRed, kBlue)));
  Result r = Pixmorph({from, "RAM:a.png", "W=100", "H=80"});
  ExpectSuccessTrace(r, 200, 100, "RAM:a.png");
  ExpectHalves(Output("a.png"), 100, 80);
  // One side given: the other keeps the proportions (2:1 here).
  Pixmorph({from, "RAM:b.png", "NewWidth=50"});
  ExpectHalves(Output("b.png"), 50, 25);
  Pixmorph({from, "RAM:c.png", "H=9"});
  ExpectHalves(Output("c.png"), 18, 9);
  // Growing works too.
  Pixmorph({from, "RAM:d.png", "W=400", "H=300"});
  ExpectHalves(Output("d.png"), 400, 300);
  // A large photo is decoded an eighth of its size, still four times the result.
  from = Put("big.jpg", picmake::Jpeg(picmake::Halves(1600, 1000, kRed, kBlue)));
  r = Pixmorph({from, "RAM:e.png"});
  ExpectSuccessTrace(r, 200, 125, "RAM:e.png");
  ExpectHalves(Output("e.png"), 32, 20, kRed, kBlue, 24);
  // With a side left to the proportions it is decoded whole.
  r = Pixmorph({from, "RAM:f.png", "W=32"});
  ExpectSuccessTrace(r, 1600, 1000, "RAM:f.png");
  ExpectHalves(Output("f.png"), 32, 20, kRed, kBlue, 24);
}

TEST_F(PixmorphTest, RelativeNamesMeanTheShellsCurrentDrawer) {
  Put("in.gif", picmake::Gif(picmake::Halves(40, 20, kRed, kBlue)));
  fs::create_directories(Ram("icons"));
  Result r = Pixmorph({"in.gif", "icons/out.png"}, root_ / "RAM");
  ExpectSuccessTrace(r, 40, 20, "icons/out.png");
  ExpectHalves(Output("icons/out.png"), 32, 20);

  // From a folder outside the root: relative and absolute Linux names, and
  // AmigaDOS names of the root, side by side.
  const testsupport::TempRoot homeRoot("pixmorph-home");
  const fs::path home = homeRoot.path();
  fs::create_directories(home / "Pictures" / "out");
  ASSERT_TRUE(picmake::WriteFile((home / "Pictures" / "logo.gif").string(), picmake::Gif(picmake::Halves(40, 20, kRed, kBlue))));
  r = Pixmorph({(home / "Pictures" / "logo.gif").string(), "out/logo.png"}, home / "Pictures");
  EXPECT_EQ(r.lines.back(), "Successfully scaled to out/logo.png") << r.out;
  r = Pixmorph({"../../Pictures/./logo.gif", "RAM:logo.png"}, home / "Pictures" / "out");
  EXPECT_EQ(r.lines.back(), "Successfully scaled to RAM:logo.png") << r.out;
  ExpectHalves(Output("logo.png"), 32, 20);
  Bytes png = picmake::ReadFile((home / "Pictures" / "out" / "logo.png").string());
  EXPECT_EQ(png, picmake::ReadFile(Ram("logo.png").string()));
}

TEST_F(PixmorphTest, FailureCodesAndTheirTraces) {
  // A missing file: code 4.
  Result r = Pixmorph({"RAM:nothing.png", "RAM:out.png"});
  EXPECT_TRUE(Has(r, "In EXCEPT DO, EXCEPTION = 4")) << r.out;
  EXPECT_TRUE(Has(r, "MediaNewObjectTags(RAM:nothing.png) failed!"));
  EXPECT_EQ(r.lines.back(), "Failed to scale pice, err = 4");
  EXPECT_EQ(r.status, 0);

  // "HTTP://..." in capitals is a file name, and there is no such file.
  r = Pixmorph({"HTTP://127.0.0.1:1/x.png", "RAM:out.png"});
  EXPECT_EQ(r.lines.front(), "isURL = 0");
  EXPECT_EQ(r.lines.back(), "Failed to scale pice, err = 4");

  // Not a picture: code 4 with the reason.
  std::string text = Put("text.png", Bytes{'h', 'e', 'l', 'l', 'o'});
  r = Pixmorph({text, "RAM:out.png"});
  EXPECT_TRUE(std::regex_match(r.lines.at(1), std::regex("ReggaeErrCode = [0-9]+ \\(.+\\)"))) << r.out;
  EXPECT_EQ(r.lines.back(), "Failed to scale pice, err = 4");

  // Too large to hold: refused from its header, nothing allocated.
  std::string huge = Put("huge.png", picmake::PngHeaderOnly(60000, 60000));
  r = Pixmorph({huge, "RAM:out.png"});
  EXPECT_EQ(r.lines.back(), "Failed to scale pice, err = 4") << r.out;

  // A destination in a drawer that does not exist: code 6, file.output.
  std::string good = Put("good.png", picmake::Png(picmake::Halves(8, 8, kRed, kBlue)));
  r = Pixmorph({good, "RAM:no/such/drawer/out.png"});
  EXPECT_TRUE(Has(r, "In EXCEPT DO, EXCEPTION = 6")) << r.out;
  EXPECT_TRUE(Has(r, "Failed to create file.output object!"));
  EXPECT_EQ(r.lines.back(), "Failed to scale pice, err = 6");

  // A bad size: the scale filter refuses it, code 6.
  r = Pixmorph({good, "RAM:out.png", "W=100000"});
  EXPECT_TRUE(Has(r, "Failed to create scale.filter object!")) << r.out;
  EXPECT_EQ(r.lines.back(), "Failed to scale pice, err = 6");

  // Cut off after its header: fewer bytes than the size, code 9 and no message.
  Bytes full = picmake::Png(picmake::Quadrants(300, 300, kRed, kBlue, kGreen, kWhite));
  std::string cut = Put("cut.png", Bytes(full.begin(), full.begin() + long(full.size() / 2)));
  r = Pixmorph({cut, "RAM:out.png"});
  EXPECT_TRUE(Has(r, "wid = 300, hei = 300, bpl = 1200, size = 360000")) << r.out;
  EXPECT_TRUE(Has(r, "In EXCEPT DO, EXCEPTION = 9"));
  auto except = std::find(r.lines.begin(), r.lines.end(), "In EXCEPT DO, EXCEPTION = 9");
  ASSERT_NE(except, r.lines.end());
  EXPECT_EQ(*(except + 1), "Closing libs"); // no message, and only the source existed
  EXPECT_EQ(r.lines.back(), "Failed to scale pice, err = 9");
  EXPECT_FALSE(fs::exists(Ram("out.png")));
}

TEST_F(PixmorphTest, ArgumentErrorsPrintTheFaultHeadedPixmorph) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{}, "Pixmorph: required argument missing"},
      {{"a", "b", "W=wide"}, "Pixmorph: bad number"},
      {{"a", "b", "1", "2", "3"}, "Pixmorph: wrong number of arguments"},
  };
  for (const auto &[args, fault] : cases) {
    Result r = Pixmorph(args);
    EXPECT_EQ(r.lines, std::vector<std::string>{fault});
    EXPECT_EQ(r.status, 0);
  }
}

} // namespace
