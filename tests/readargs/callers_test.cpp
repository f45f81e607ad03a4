// The templates the system parses: the REXX commands, the ice-audio-info
// header, Pixmorph's command line; the "?" prompt and the program's arguments.
#include "readargs_support.h"

namespace {

const char *const kPlay = "STATION/F,NEXT/S,PREV/S,LAST=LASTUSED/S,INFO/S";
const char *const kRec = "STOP/S,INFO/S";
const char *const kGet = "TITLE/S,STATE/S,STATION/S,LIST=STATIONLIST/S";
const char *const kAudioInfo =
    "ice-channels=channels/A/K/N,ice-samplerate=samplerate/A/K/N,ice-bitrate=bitrate/A/K/N";
const char *const kPixmorph = "FROM/A,TO/A,W=NewWidth/N,H=NewHeight/N";
const char *const kPixmorphHelp = "\nScale a local or web picture and save it\n"
                                  "  FROM/A: File or URL to read the image from\n"
                                  "  TO/A: Name of the destination\n"
                                  "  W=NewWidth/A: new width of the output image\n"
                                  "  H=NewHeight/A: new height of the output image\n";

// Which of the five PLAY slots are set, as a string of 0/1, and the station.
std::string Play(const std::string &args, std::string *station = nullptr) {
  Parse p(kPlay, args, 5);
  if (!p.ok)
    return "error " + std::to_string(p.err);
  std::string s;
  for (int i = 0; i < 5; ++i)
    s += p.array[i] ? '1' : '0';
  if (station)
    *station = p.array[0] ? p.Str(0) : "";
  return s;
}

TEST(ReadArgsCallers, RexxPlay) {
  std::string st;
  EXPECT_EQ(Play("3", &st), "10000");
  EXPECT_EQ(st, "3");
  EXPECT_EQ(Play("radio x", &st), "10000");
  EXPECT_EQ(st, "radio x");
  EXPECT_EQ(Play("Rock/Radio X", &st), "10000");
  EXPECT_EQ(st, "Rock/Radio X");
  EXPECT_EQ(Play("-4", &st), "10000");
  EXPECT_EQ(st, "-4");
  EXPECT_EQ(Play("NEXT"), "01000");
  EXPECT_EQ(Play("next"), "01000");
  EXPECT_EQ(Play("PREV"), "00100");
  EXPECT_EQ(Play("LAST"), "00010");
  EXPECT_EQ(Play("LASTUSED"), "00010");
  EXPECT_EQ(Play("INFO"), "00001");
  EXPECT_EQ(Play(""), "00000");
  EXPECT_EQ(Play("NEXT INFO"), "01001");
  // A station whose name starts with a keyword's word is still a name once it has begun.
  EXPECT_EQ(Play("Radio Next", &st), "10000");
  EXPECT_EQ(st, "Radio Next");
}

TEST(ReadArgsCallers, RexxRecAndGet) {
  Parse r(kRec, "stop", 2);
  ASSERT_TRUE(r.ok);
  EXPECT_NE(r.array[0], 0u);
  EXPECT_EQ(r.array[1], 0u);
  Parse r2(kRec, "INFO STOP", 2);
  ASSERT_TRUE(r2.ok);
  EXPECT_NE(r2.array[0], 0u);
  EXPECT_NE(r2.array[1], 0u);

  for (auto [text, slot] : std::vector<std::pair<const char *, int>>{
           {"TITLE", 0}, {"state", 1}, {"STATION", 2}, {"LIST", 3}, {"StationList", 3}}) {
    Parse g(kGet, text, 4);
    ASSERT_TRUE(g.ok) << text;
    for (int i = 0; i < 4; ++i)
      EXPECT_EQ(g.array[i] != 0, i == slot) << text;
  }
  // A word the template does not have fails: the command answers 10.
  Parse bogus(kGet, "BOGUS", 4);
  EXPECT_FALSE(bogus.ok);
  EXPECT_EQ(bogus.err, ERROR_TOO_MANY_ARGS);
  Parse recBogus(kRec, "now", 2);
  EXPECT_FALSE(recBogus.ok);
}

TEST(ReadArgsCallers, AudioInfoHeader) {
  // The header value with its ';' turned into blanks, as the player does.
  Parse p(kAudioInfo, "ice-samplerate=44100 ice-bitrate=128 ice-channels=2", 3);
  ASSERT_TRUE(p.ok) << p.err;
  EXPECT_EQ(p.Num(0), 2);
  EXPECT_EQ(p.Num(1), 44100);
  EXPECT_EQ(p.Num(2), 128);
  Parse alias(kAudioInfo, "channels=1 samplerate=22050 bitrate=64 ", 3);
  ASSERT_TRUE(alias.ok);
  EXPECT_EQ(alias.Num(0), 1);
  Parse zero(kAudioInfo, "ice-channels=0 ice-samplerate=48000 ice-bitrate=320", 3);
  ASSERT_TRUE(zero.ok);
  EXPECT_EQ(zero.Num(0), 0);
  // Each of these does not parse, so the player falls back to icy-br/icy-sr.
  for (const char *bad : {"ice-samplerate=44100 ice-bitrate=128",                   // one missing
                          "ice-samplerate=44100 ice-bitrate=high ice-channels=2",   // not a number
                          "ice-samplerate=44100 ice-bitrate=128 ice-channels=2 ice-quality=10",
                          "44100 128 2",                                            // keywords required
                          "ice-samplerate=44100 ice-bitrate= ice-channels=2",
                          "?"}) {
    Parse b(kAudioInfo, bad, 3);
    EXPECT_FALSE(b.ok) << bad;
  }
}

TEST(ReadArgsCallers, PixmorphCommandLine) {
  Parse p(kPixmorph, "in.png out.png", 4, 0);
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.Str(0), "in.png");
  EXPECT_EQ(p.Str(1), "out.png");
  EXPECT_EQ(p.array[2], 0u);
  EXPECT_EQ(p.array[3], 0u);
  // An unquoted '=' ends a word, so an address holding one must come quoted.
  EXPECT_FALSE(Parse(kPixmorph, "http://host/a.png?x=1 out.png", 4).ok);
  Parse quoted(kPixmorph, "\"http://host/a.png?x=1\" out.png NewWidth=100 newheight=80", 4);
  ASSERT_TRUE(quoted.ok) << quoted.err;
  EXPECT_EQ(quoted.Str(0), "http://host/a.png?x=1");
  EXPECT_EQ(quoted.Num(2), 100);
  EXPECT_EQ(quoted.Num(3), 80);
  EXPECT_EQ(Parse(kPixmorph, "", 4).err, ERROR_REQUIRED_ARG_MISSING);
  EXPECT_EQ(Parse(kPixmorph, "a", 4).err, ERROR_REQUIRED_ARG_MISSING);
  EXPECT_EQ(Parse(kPixmorph, "a b W=wide", 4).err, ERROR_BAD_NUMBER);
  EXPECT_EQ(Parse(kPixmorph, "a b c", 4).err, ERROR_BAD_NUMBER); // c lands in W
  EXPECT_EQ(Parse(kPixmorph, "a b 1 2 3", 4).err, ERROR_TOO_MANY_ARGS);
}

class PromptTest : public DosRootTest {
protected:
  // Runs ReadArgs on the program line "?" with `answers` as the task's input;
  // returns what was printed.
  std::string Run(const char *tmpl, const std::string &answers, CONST_STRPTR extHelp, IPTR *array, bool &ok,
                  LONG flags = 0) {
    Put("T:in", answers);
    BPTR in = Open("T:in", MODE_OLDFILE);
    BPTR out = Open("T:out", MODE_NEWFILE);
    BPTR oldIn = SelectInput(in), oldOut = SelectOutput(out);
    char *argv[] = {const_cast<char *>("Pixmorph"), const_cast<char *>("?"), nullptr};
    platform::SetProgramArguments(2, argv);
    auto *rda = static_cast<RDArgs *>(AllocDosObject(DOS_RDARGS, nullptr));
    rda->RDA_ExtHelp = extHelp;
    rda->RDA_Flags = flags;
    ok = ReadArgs(tmpl, array, rda) != nullptr;
    err_ = IoErr();
    for (int i = 0; ok && i < 4; ++i)
      if (array[i] && i < 2)
        values_[i] = reinterpret_cast<char *>(array[i]);
    FreeArgs(rda);
    FreeDosObject(DOS_RDARGS, rda);
    SelectInput(oldIn);
    SelectOutput(oldOut);
    Close(in);
    Close(out);
    platform::SetProgramArguments(1, argv);
    return Get("T:out");
  }
  LONG err_ = 0;
  std::string values_[2];
};

TEST_F(PromptTest, QuestionMarkShowsTemplateThenExtendedHelp) {
  IPTR a[5] = {};
  bool ok = false;
  std::string shown = Run(kPixmorph, "in.png out.png\n", kPixmorphHelp, a, ok);
  ASSERT_TRUE(ok) << err_;
  EXPECT_EQ(shown, std::string(kPixmorph) + ": ");
  EXPECT_EQ(values_[0], "in.png");
  EXPECT_EQ(values_[1], "out.png");

  IPTR b[5] = {};
  shown = Run(kPixmorph, "?\nx y\n", kPixmorphHelp, b, ok);
  ASSERT_TRUE(ok) << err_;
  EXPECT_EQ(shown, std::string(kPixmorph) + ": " + kPixmorphHelp + kPixmorph + ": ");
  EXPECT_EQ(values_[1], "y");

  // Without extended help a second "?" just asks again.
  IPTR c[5] = {};
  shown = Run(kPixmorph, "?\nx y\n", nullptr, c, ok);
  EXPECT_EQ(shown, std::string(kPixmorph) + ": " + kPixmorph + ": ");
  // Nothing to read: the empty answer misses the required arguments.
  IPTR d[5] = {};
  shown = Run(kPixmorph, "", kPixmorphHelp, d, ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(err_, ERROR_REQUIRED_ARG_MISSING);
  // No prompting asked: "?" is a plain argument.
  IPTR e[5] = {};
  shown = Run("A", "never read\n", nullptr, e, ok, RDAF_NOPROMPT);
  ASSERT_TRUE(ok);
  EXPECT_EQ(shown, "");
  EXPECT_EQ(values_[0], "?");
}

TEST(ReadArgsCallers, TextInMemoryNeverPrompts) {
  // A "?" that arrives in a header or a script command is data.
  Parse p("NAME", "?", 1);
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.Str(0), "?");
}

TEST(ReadArgsCallers, ProgramArgumentsRoundTrip) {
  std::vector<std::string> args = {"Pixmorph", "my file.png", "say \"hi\"", "", "*x*", "W=100", "a\nb", "\xc3\xa9t\xc3\xa9"};
  std::vector<char *> argv;
  for (auto &s : args)
    argv.push_back(s.data());
  platform::SetProgramArguments(static_cast<int>(argv.size()), argv.data());
  EXPECT_EQ(platform::ProgramArgumentLine(),
            "\"my file.png\" \"say *\"hi*\"\" \"\" *x* W=100 \"a*Nb\" \xe9t\xe9\n");
  IPTR a[8] = {};
  RDArgs *rda = ReadArgs("A,B,C,D,W/N,E,F", a, nullptr);
  ASSERT_NE(rda, nullptr) << IoErr();
  EXPECT_STREQ(reinterpret_cast<char *>(a[0]), "my file.png");
  EXPECT_STREQ(reinterpret_cast<char *>(a[1]), "say \"hi\"");
  EXPECT_STREQ(reinterpret_cast<char *>(a[2]), "");
  EXPECT_STREQ(reinterpret_cast<char *>(a[3]), "*x*");
  EXPECT_EQ(*reinterpret_cast<LONG *>(a[4]), 100);
  EXPECT_STREQ(reinterpret_cast<char *>(a[5]), "a\nb");
  EXPECT_STREQ(reinterpret_cast<char *>(a[6]), "\xe9t\xe9"); // Latin-1 inside
  FreeArgs(rda);

  // An '=' inside a web address is part of it; KEY=value keeps its keyword.
  std::vector<std::string> more = {"Pixmorph", "http://h/x.png?id=5&w=2", "to=my out.png", "=x"};
  std::vector<char *> argv2;
  for (auto &s : more)
    argv2.push_back(s.data());
  platform::SetProgramArguments(static_cast<int>(argv2.size()), argv2.data());
  IPTR b[4] = {};
  rda = ReadArgs("FROM/A,TO/A,REST,W/N", b, nullptr);
  ASSERT_NE(rda, nullptr) << IoErr() << " " << platform::ProgramArgumentLine();
  EXPECT_STREQ(reinterpret_cast<char *>(b[0]), "http://h/x.png?id=5&w=2");
  EXPECT_STREQ(reinterpret_cast<char *>(b[1]), "my out.png");
  EXPECT_STREQ(reinterpret_cast<char *>(b[2]), "=x");
  EXPECT_EQ(b[3], 0u);
  FreeArgs(rda);

  platform::SetProgramArguments(1, argv.data());
  EXPECT_EQ(platform::ProgramArgumentLine(), "\n");
}

} // namespace
