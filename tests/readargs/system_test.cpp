// Command execution against a scratch dos root: the built-in commands, return
// codes, unknown commands, quoting of untrusted text, asynchronous starts.
#include <unistd.h>

#include <filesystem>

#include "dos/cmdline.h"
#include "dos/system.h"
#include "readargs_support.h"
#include "support/env_var.h"

namespace {

using testsupport::EnvVar;

class CommandTest : public DosRootTest {
protected:
  // Runs synchronously with no input and output, as the player does.
  LONG Run(const std::string &line) { return SystemTags(line.c_str(), SYS_Input, 0, SYS_Output, 0); }
  // Runs with the messages going to T:out, and returns them.
  std::string RunSaying(const std::string &line, LONG &rc) {
    BPTR out = Open("T:out", MODE_NEWFILE);
    rc = SystemTags(line.c_str(), SYS_Input, 0, SYS_Output, out);
    Close(out);
    return Get("T:out");
  }
  // A folder of fake desktop programs, each a link to `target`; PATH points only there.
  std::string FakeBin(const std::vector<std::pair<const char *, const char *>> &links) {
    std::string bin = root_ + "/fakebin";
    std::filesystem::create_directories(bin);
    for (auto [name, target] : links)
      std::filesystem::create_symlink(target, bin + "/" + name);
    return bin;
  }
  std::vector<std::string> Names(const char *drawer) {
    std::vector<platform::DirEntry> e;
    platform::ListDir(drawer, e);
    std::vector<std::string> n;
    for (auto &x : e)
      n.push_back(x.name);
    return n;
  }
};

TEST_F(CommandTest, Rename) {
  Put("RAM:a", "A");
  EXPECT_EQ(Run("rename \"RAM:a\" to \"RAM:b\""), RETURN_OK);
  EXPECT_EQ(Get("RAM:b"), "A");
  // Into a drawer: named with a trailing slash, or an existing drawer.
  ASSERT_EQ(Run("MakeDir RAM:.trash RAM:box"), RETURN_OK);
  EXPECT_EQ(Run("Rename \"RAM:b\" TO \"RAM:.trash/\""), RETURN_OK);
  EXPECT_EQ(Get("RAM:.trash/b"), "A");
  Put("RAM:c", "C");
  Put("RAM:d", "D");
  EXPECT_EQ(Run("C:RENAME RAM:c RAM:d AS RAM:box QUIET"), RETURN_OK);
  EXPECT_EQ(Names("RAM:box"), (std::vector<std::string>{"c", "d"}));
  // A drawer renamed to its own name in another case.
  EXPECT_EQ(Run("Rename RAM:box RAM:BOX"), RETURN_OK);
  EXPECT_EQ(Names("RAM:"), (std::vector<std::string>{".trash", "BOX"}));

  SetIoErr(0);
  EXPECT_EQ(Run("Rename RAM:missing TO RAM:x"), RETURN_ERROR);
  EXPECT_EQ(IoErr(), ERROR_OBJECT_NOT_FOUND);
  EXPECT_EQ(Run("Rename RAM:BOX/c RAM:BOX/d TO RAM:nodrawer"), RETURN_ERROR);
  EXPECT_EQ(Run("Rename RAM:BOX/c"), RETURN_FAIL);
  EXPECT_EQ(IoErr(), ERROR_REQUIRED_ARG_MISSING);
}

TEST_F(CommandTest, MakeDir) {
  EXPECT_EQ(Run("MakeDir RAM:x"), RETURN_OK);
  EXPECT_TRUE(Exists("RAM:x"));
  EXPECT_EQ(Run("makedir RAM:x"), RETURN_ERROR);
  EXPECT_EQ(IoErr(), ERROR_OBJECT_EXISTS);
  EXPECT_EQ(Run("MakeDir RAM:p/q/r"), RETURN_ERROR); // the drawers on the way are missing
  EXPECT_EQ(Run("MakeDir RAM:p/q/r ALL"), RETURN_OK);
  EXPECT_TRUE(Exists("RAM:p/q/r"));
  EXPECT_EQ(Run("MakeDir RAM:p/q/r ALL"), RETURN_OK);
  Put("RAM:file", "f");
  EXPECT_EQ(Run("MakeDir RAM:file/sub ALL"), RETURN_ERROR);
  EXPECT_EQ(IoErr(), ERROR_OBJECT_WRONG_TYPE);
  EXPECT_EQ(Run("MakeDir"), RETURN_FAIL);
}

TEST_F(CommandTest, Copy) {
  Put("RAM:f", "hello");
  EXPECT_EQ(Run("Copy RAM:f RAM:g"), RETURN_OK);
  EXPECT_EQ(Get("RAM:g"), "hello");
  // Onto itself (in another case): refused, and the file keeps its bytes.
  EXPECT_EQ(Run("Copy RAM:f TO RAM:F"), RETURN_ERROR);
  EXPECT_EQ(Get("RAM:f"), "hello");
  SetIoErr(0);
  EXPECT_EQ(Run("Copy RAM:nope RAM:g"), RETURN_ERROR);
  EXPECT_EQ(IoErr(), ERROR_OBJECT_NOT_FOUND);

  ASSERT_EQ(Run("MakeDir RAM:src/sub ALL"), RETURN_OK);
  Put("RAM:src/a", "1");
  Put("RAM:src/sub/b", "2");
  EXPECT_EQ(Run("Sys:C/Copy RAM:src RAM:flat"), RETURN_OK); // contents, no subdrawers
  EXPECT_EQ(Names("RAM:flat"), (std::vector<std::string>{"a"}));
  EXPECT_EQ(Run("copy RAM:src TO RAM:deep ALL QUIET"), RETURN_OK);
  EXPECT_EQ(Get("RAM:deep/sub/b"), "2");
  // Several sources go into a drawer, made if missing.
  EXPECT_EQ(Run("Copy RAM:f RAM:src/a RAM:multi"), RETURN_OK);
  EXPECT_EQ(Names("RAM:multi"), (std::vector<std::string>{"a", "f"}));
  // A drawer copied into a drawer of its own ends.
  EXPECT_EQ(Run("Copy RAM:src RAM:src/inner ALL"), RETURN_OK);
  EXPECT_EQ(Get("RAM:src/inner/sub/b"), "2");
  EXPECT_FALSE(Exists("RAM:src/inner/inner"));
}

TEST_F(CommandTest, ExecuteRunsLinesAndStopsAtFailure) {
  Put("T:script", "; set-up\n\nMakeDir RAM:one\r\nNoSuchCommand x\nMakeDir RAM:two\n");
  EXPECT_EQ(Run("Execute T:script"), RETURN_FAIL);
  EXPECT_TRUE(Exists("RAM:one"));
  EXPECT_FALSE(Exists("RAM:two"));

  Put("T:keys", ".key NAME/A,FLAG/S,N/N\n.bra {\n.ket }\n. comment\n"
                "MakeDir RAM:{NAME}\nMakeDir RAM:{name}/{FLAG$noflag} RAM:{NAME}/<NAME>\nMakeDir \"RAM:{N$7}\"\n");
  EXPECT_EQ(Run("Execute T:keys dir"), RETURN_OK);
  EXPECT_TRUE(Exists("RAM:dir/noflag"));
  EXPECT_TRUE(Exists("RAM:7"));
  EXPECT_TRUE(Exists("RAM:dir/<NAME>")); // the brackets were changed
  EXPECT_EQ(Run("Execute T:keys other FLAG N 3"), RETURN_OK);
  EXPECT_TRUE(Exists("RAM:other/FLAG"));
  EXPECT_TRUE(Exists("RAM:3"));
  EXPECT_EQ(Run("Execute T:keys"), RETURN_FAIL); // NAME/A missing

  // A script that runs itself stops at the nesting limit.
  Put("T:loop", "Execute T:loop\n");
  EXPECT_EQ(Run("Execute T:loop"), RETURN_FAIL);
  EXPECT_EQ(Run("Execute T:none"), RETURN_ERROR);
  // A line too long for a command line stops the script.
  Put("T:long", "MakeDir RAM:" + std::string(platform::kMaxCommandLine + 10, 'x') + "\nMakeDir RAM:after\n");
  EXPECT_EQ(Run("Execute T:long"), RETURN_FAIL);
  EXPECT_FALSE(Exists("RAM:after"));
}

TEST_F(CommandTest, UnknownCommandsAreNeverLookedUpOnLinux) {
  LONG rc = 0;
  EXPECT_EQ(RunSaying("ls -l", rc), "ls: Unknown command\n");
  EXPECT_EQ(rc, RETURN_FAIL);
  EXPECT_EQ(IoErr(), ERROR_OBJECT_NOT_FOUND);
  for (const char *line : {"/bin/true", "sh -c true", "C:Delete RAM:x", "\"\" x", "Rename\x01 a b"})
    EXPECT_EQ(Run(line), RETURN_FAIL) << line;
  // Blank lines and comments run nothing, successfully.
  EXPECT_EQ(Run(""), RETURN_OK);
  EXPECT_EQ(Run("; nothing"), RETURN_OK);
  // Argument errors are reported with the command's name.
  EXPECT_EQ(RunSaying("MakeDir RAM:a \"RAM:b", rc).rfind("MakeDir: ", 0), 0u);
  EXPECT_EQ(rc, RETURN_FAIL);
  EXPECT_EQ(IoErr(), ERROR_UNMATCHED_QUOTES);
}

TEST_F(CommandTest, ClipWithoutDisplayWritesTClipboard) {
  EnvVar d("DISPLAY", nullptr), w("WAYLAND_DISPLAY", nullptr);
  EXPECT_EQ(Run("c:Clip STR \"Artist - Song\""), RETURN_OK);
  EXPECT_EQ(Get("T:Clipboard"), "Artist - Song");
  // A title with quotes and shell characters, put in unescaped: still one text.
  std::string title = "it's \"Live\" $(rm -rf ~); `id` | cat & echo *";
  EXPECT_EQ(Run("c:Clip STR \"" + title + "\""), RETURN_OK);
  EXPECT_EQ(Get("T:Clipboard"), title);
  // The same title quoted with escapes comes back the same.
  EXPECT_EQ(Run("c:Clip STR " + platform::QuoteArgument(title)), RETURN_OK);
  EXPECT_EQ(Get("T:Clipboard"), title);
  // A line break in a title cannot start a second command.
  EXPECT_EQ(Run("c:Clip STR \"a\nMakeDir RAM:evil\""), RETURN_FAIL);
  EXPECT_FALSE(Exists("RAM:evil"));
  // Latin-1 stays Latin-1 in the file.
  EXPECT_EQ(Run("Clip Caf\xe9 del Mar"), RETURN_OK);
  EXPECT_EQ(Get("T:Clipboard"), "Caf\xe9 del Mar");
}

TEST_F(CommandTest, ClipUsesADesktopToolWhenThereIsOne) {
  EnvVar d("DISPLAY", ":99"), w("WAYLAND_DISPLAY", nullptr);
  std::string bin = FakeBin({{"xclip", "/bin/true"}, {"wl-copy", "/bin/false"}});
  EnvVar p("PATH", bin.c_str());
  EXPECT_EQ(Run("Clip STR \"on the desktop\""), RETURN_OK);
  EXPECT_EQ(Get("T:Clipboard"), "<missing>");
  // A tool that fails: the text still lands in T:Clipboard.
  std::filesystem::remove(bin + "/xclip");
  std::filesystem::create_symlink("/bin/false", bin + "/xclip");
  EXPECT_EQ(Run("Clip STR \"fallback\""), RETURN_OK);
  EXPECT_EQ(Get("T:Clipboard"), "fallback");
}

TEST_F(CommandTest, OpenHandsOneArgumentToXdgOpen) {
  std::string bin = FakeBin({});
  {
    EnvVar p("PATH", bin.c_str());
    EXPECT_EQ(Run("c:Open \"https://example.org/results?search_query=Artist%20-%20Song\""), RETURN_FAIL);
  }
  std::filesystem::create_symlink("/bin/true", bin + "/xdg-open");
  EnvVar p("PATH", bin.c_str());
  EXPECT_EQ(Run("c:Open \"https://example.org/results?search_query=a%20b\""), RETURN_OK);
  EXPECT_EQ(Run("Open http://example.org/frames/progs/Melodune_sbar.html"), RETURN_OK);
  // Only web addresses go to the opener: never a file, never another scheme.
  Put("RAM:page.html", "<p>");
  EXPECT_EQ(Run("Open RAM:page.html"), RETURN_ERROR);
  EXPECT_EQ(Run("Open \"javascript:alert(1)\""), RETURN_ERROR);
  std::filesystem::remove(bin + "/xdg-open");
  std::filesystem::create_symlink("/bin/false", bin + "/xdg-open");
  EXPECT_EQ(Run("Open https://example.org/"), RETURN_ERROR);
}

TEST_F(CommandTest, AsynchronousCommands) {
  for (int i = 0; i < 16; ++i)
    EXPECT_EQ(SystemTags(("MakeDir RAM:m" + std::to_string(i)).c_str(), SYS_Asynch, TRUE, SYS_Input, 0,
                         SYS_Output, 0, NP_Name, "Melodune MakeDir"),
              0);
  platform::WaitAsyncCommands();
  EXPECT_EQ(platform::RunningAsyncCommands(), 0u);
  for (int i = 0; i < 16; ++i)
    EXPECT_TRUE(Exists("RAM:m" + std::to_string(i))) << i;

  // What cannot start is -1 at once, and the caller keeps its handle.
  BPTR out = Open("T:log", MODE_NEWFILE);
  EXPECT_EQ(SystemTags("NoSuchCommand", SYS_Asynch, TRUE, SYS_Input, 0, SYS_Output, out), -1);
  EXPECT_EQ(IoErr(), ERROR_OBJECT_NOT_FOUND);
  EXPECT_EQ(SystemTags("\"Clip open", SYS_Asynch, TRUE, SYS_Input, 0, SYS_Output, out), -1);
  // A started command owns the handle and closes it when it ends.
  EXPECT_EQ(SystemTags("MakeDir RAM:m0", SYS_Asynch, TRUE, SYS_Input, 0, SYS_Output, out), 0);
  platform::WaitAsyncCommands();
  EXPECT_EQ(Get("T:log").rfind("MakeDir: can't create drawer RAM:m0", 0), 0u) << Get("T:log");
  EXPECT_EQ(Close(out), DOSFALSE); // already closed
}

TEST_F(CommandTest, SynchronousDefaultsToTheCallersStreams) {
  BPTR out = Open("T:own", MODE_NEWFILE);
  BPTR old = SelectOutput(out);
  EXPECT_EQ(SystemTags("Bogus"), RETURN_FAIL);
  SelectOutput(old);
  Close(out);
  EXPECT_EQ(Get("T:own"), "Bogus: Unknown command\n");
}

} // namespace
