// Files, FGets, locks, examining and the tree-changing calls.

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

#include "dos_fixture.h"

namespace fs = std::filesystem;

TEST_F(DosTest, OpenModes) {
  SetIoErr(0);
  EXPECT_EQ(Open("RAM:missing", MODE_OLDFILE), 0u);
  EXPECT_EQ(IoErr(), ERROR_OBJECT_NOT_FOUND);

  BPTR fh = Open("RAM:f", MODE_NEWFILE);
  ASSERT_NE(fh, 0u);
  EXPECT_EQ(Write(fh, "hello world", 11), 11);
  EXPECT_TRUE(Close(fh));
  EXPECT_EQ(Get("RAM/f"), "hello world");

  // READWRITE keeps the contents; writes land where the position is.
  fh = Open("ram:F", MODE_READWRITE);
  ASSERT_NE(fh, 0u);
  char buf[8] = {};
  EXPECT_EQ(Read(fh, buf, 5), 5);
  EXPECT_STREQ(buf, "hello");
  EXPECT_EQ(Write(fh, "_", 1), 1);
  EXPECT_EQ(Seek(fh, 0, OFFSET_END), 6);
  EXPECT_EQ(Write(fh, "!", 1), 1);
  EXPECT_EQ(Seek(fh, 0, OFFSET_BEGINNING), 12);
  EXPECT_EQ(Read(fh, buf, 7), 7);
  EXPECT_EQ(std::string(buf, 7), "hello_w");
  EXPECT_EQ(Seek(fh, 1, OFFSET_END), -1); // no seeking past the end
  EXPECT_EQ(IoErr(), ERROR_SEEK_ERROR);
  EXPECT_EQ(Seek64(fh, INT64_MAX, OFFSET_END), -1);
  EXPECT_EQ(Seek(fh, -1, OFFSET_BEGINNING), -1);
  EXPECT_EQ(IoErr(), ERROR_SEEK_ERROR);
  EXPECT_TRUE(Close(fh));
  EXPECT_EQ(Get("RAM/f"), "hello_world!");

  // READWRITE makes a missing file; NEWFILE empties an existing one.
  fh = Open("RAM:g", MODE_READWRITE);
  ASSERT_NE(fh, 0u);
  Close(fh);
  EXPECT_TRUE(Exists("RAM/g"));
  fh = Open("RAM:f", MODE_NEWFILE);
  Close(fh);
  EXPECT_EQ(Get("RAM/f"), "");

  // A drawer is not a file; a volume neither.
  EXPECT_EQ(Open("RAM:", MODE_OLDFILE), 0u);
  EXPECT_EQ(IoErr(), ERROR_OBJECT_WRONG_TYPE);
  EXPECT_EQ(Open("SYS:", MODE_NEWFILE), 0u);
  EXPECT_EQ(Open("RAM:f", 4711), 0u);
}

TEST_F(DosTest, NilAndBadHandles) {
  BPTR nil = Open("NIL:", MODE_NEWFILE);
  ASSERT_NE(nil, 0u);
  EXPECT_EQ(Write(nil, "abc", 3), 3);
  char buf[4];
  EXPECT_EQ(Read(nil, buf, 4), 0);
  EXPECT_EQ(FGets(nil, buf, 4), nullptr);
  EXPECT_TRUE(Close(nil));
  // Stale and made-up handles fail instead of crashing.
  EXPECT_EQ(Write(nil, "abc", 3), -1);
  EXPECT_EQ(IoErr(), ERROR_INVALID_LOCK);
  EXPECT_FALSE(Close(12345));
  BPTR fib = reinterpret_cast<BPTR>(AllocDosObject(DOS_FIB, nullptr));
  EXPECT_FALSE(Examine(fib, reinterpret_cast<FileInfoBlock *>(fib)));
  FreeDosObject(DOS_FIB, reinterpret_cast<APTR>(fib));
  UnLock(12345); // ignored
}

TEST_F(DosTest, FGetsConvention) {
  Put("RAM/lines", "one\n\nthree is long\nlast");
  BPTR fh = Open("RAM:lines", MODE_OLDFILE);
  ASSERT_NE(fh, 0u);
  char buf[8];
  ASSERT_NE(FGets(fh, buf, sizeof buf), nullptr);
  EXPECT_STREQ(buf, "one\n"); // LF kept
  ASSERT_NE(FGets(fh, buf, sizeof buf), nullptr);
  EXPECT_STREQ(buf, "\n"); // an empty line is not the end
  ASSERT_EQ(FGets(fh, buf, sizeof buf), buf);
  EXPECT_STREQ(buf, "three i"); // size-1 bytes
  ASSERT_NE(FGets(fh, buf, sizeof buf), nullptr);
  EXPECT_STREQ(buf, "s long\n"); // the rest of that line
  ASSERT_NE(FGets(fh, buf, sizeof buf), nullptr);
  EXPECT_STREQ(buf, "last"); // no LF at the end
  EXPECT_EQ(FGets(fh, buf, sizeof buf), nullptr);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(IoErr(), 0);
  EXPECT_EQ(FGets(fh, buf, sizeof buf), nullptr); // and stays at the end
  // FGetC and Read continue where FGets stopped.
  EXPECT_EQ(Seek(fh, 4, OFFSET_BEGINNING), 23);
  EXPECT_EQ(FGetC(fh), '\n');
  EXPECT_EQ(FGetC(fh), 't');
  Close(fh);

  Put("RAM/empty", "");
  fh = Open("RAM:empty", MODE_OLDFILE);
  EXPECT_EQ(FGets(fh, buf, sizeof buf), nullptr);
  EXPECT_EQ(FGetC(fh), -1);
  Close(fh);

  // A line longer than the buffer of the reader's own (8 KiB) stays whole.
  std::string big(20000, 'x');
  Put("RAM/big", big + "\nend\n");
  fh = Open("RAM:big", MODE_OLDFILE);
  std::vector<char> line(30000);
  ASSERT_NE(FGets(fh, line.data(), static_cast<ULONG>(line.size())), nullptr);
  EXPECT_EQ(strlen(line.data()), 20001u);
  ASSERT_NE(FGets(fh, line.data(), static_cast<ULONG>(line.size())), nullptr);
  EXPECT_STREQ(line.data(), "end\n");
  Close(fh);
}

TEST_F(DosTest, BufferedWritesAndFormattedOutput) {
  BPTR fh = Open("T:out", MODE_NEWFILE);
  ASSERT_NE(fh, 0u);
  EXPECT_EQ(FPuts(fh, "a line\n"), 0);
  EXPECT_EQ(FPutC(fh, 'z'), 'z');
  EXPECT_EQ(FPrintf(fh, "[%04ld] %s/%s(): ", 42, "Melodune_sbar", "Melodune_NEW"), 37);
  EXPECT_EQ(Get("T/out"), ""); // still in the buffer
  EXPECT_TRUE(Flush(fh));
  EXPECT_EQ(Get("T/out"), "a line\nz[0042] Melodune_sbar/Melodune_NEW(): ");
  std::string big(100000, 'b');
  EXPECT_EQ(Write(fh, big.data(), static_cast<LONG>(big.size())), 100000);
  EXPECT_TRUE(Close(fh));
  EXPECT_EQ(fs::file_size(L("T/out")), 7u + 1 + 37 + 100000);
}

TEST_F(DosTest, WritesToAFullDiskFail) {
  // A file size limit makes the disk "full" after 4 KiB.
  struct rlimit old;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  BPTR fh = Open("RAM:big", MODE_NEWFILE);
  ASSERT_NE(fh, 0u);
  std::string data(20000, 'd');
  SetIoErr(0);
  EXPECT_EQ(Write(fh, data.data(), static_cast<LONG>(data.size())), -1);
  EXPECT_EQ(IoErr(), ERROR_DISK_FULL);
  EXPECT_EQ(Write(fh, data.data(), 100), 100); // buffered: reported later
  EXPECT_EQ(Close(fh), DOSFALSE);
  EXPECT_EQ(IoErr(), ERROR_DISK_FULL);
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, SIG_DFL);
}

TEST_F(DosTest, StandardStreamsCanBeSelectedPerTask) {
  BPTR file = Open("T:log", MODE_NEWFILE);
  BPTR old = SelectOutput(file);
  EXPECT_EQ(Printf("%s=%ld\n", "n", 5), 4);
  EXPECT_EQ(PutStr("x\n"), 0);
  SetIoErr(ERROR_OBJECT_NOT_FOUND);
  EXPECT_TRUE(PrintFault(IoErr(), "Pixmorph"));
  EXPECT_EQ(IoErr(), ERROR_OBJECT_NOT_FOUND); // left alone for the caller
  EXPECT_FALSE(PrintFault(0, "Pixmorph"));
  // Another task still writes to the process's stdout.
  BPTR other = 0;
  std::thread([&] { other = Output(); }).join();
  EXPECT_EQ(other, old);
  EXPECT_EQ(SelectOutput(old), file);
  EXPECT_EQ(Close(Output()), DOSTRUE); // never really closed
  EXPECT_NE(Output(), 0u);
  Close(file);
  EXPECT_EQ(Get("T/log"), "n=5\nx\nPixmorph: object not found\n");
}

TEST_F(DosTest, LocksConflict) {
  Put("RAM/f", "data");
  BPTR s1 = Lock("RAM:f", SHARED_LOCK);
  BPTR s2 = Lock("RAM:F", ACCESS_READ);
  ASSERT_NE(s1, 0u);
  ASSERT_NE(s2, 0u);
  EXPECT_EQ(Lock("RAM:f", EXCLUSIVE_LOCK), 0u);
  EXPECT_EQ(IoErr(), ERROR_OBJECT_IN_USE);
  // MODE_NEWFILE needs the object alone and must not empty it when refused.
  EXPECT_EQ(Open("RAM:f", MODE_NEWFILE), 0u);
  EXPECT_EQ(IoErr(), ERROR_OBJECT_IN_USE);
  EXPECT_EQ(Get("RAM/f"), "data");
  BPTR fh = Open("RAM:f", MODE_OLDFILE); // shared: fine
  ASSERT_NE(fh, 0u);
  Close(fh);
  EXPECT_EQ(DeleteFile("RAM:f"), DOSFALSE);
  EXPECT_EQ(IoErr(), ERROR_OBJECT_IN_USE);
  UnLock(s1);
  UnLock(s2);

  BPTR ex = Lock("RAM:f", EXCLUSIVE_LOCK);
  ASSERT_NE(ex, 0u);
  EXPECT_EQ(Lock("RAM:f", SHARED_LOCK), 0u);
  EXPECT_EQ(DupLock(ex), 0u);
  EXPECT_EQ(Open("RAM:f", MODE_OLDFILE), 0u);
  UnLock(ex);

  fh = Open("RAM:f", MODE_NEWFILE); // held exclusively while open
  ASSERT_NE(fh, 0u);
  EXPECT_EQ(Lock("RAM:f", SHARED_LOCK), 0u);
  EXPECT_EQ(Open("RAM:f", MODE_OLDFILE), 0u);
  Close(fh);
  BPTR again = Lock("RAM:f", EXCLUSIVE_LOCK);
  EXPECT_NE(again, 0u);
  UnLock(again);

  // CreateDir hands back an exclusive lock.
  BPTR d = CreateDir("RAM:Drawer");
  ASSERT_NE(d, 0u);
  EXPECT_EQ(Lock("RAM:drawer", SHARED_LOCK), 0u);
  UnLock(d);
  EXPECT_EQ(CreateDir("RAM:DRAWER"), 0u);
  EXPECT_EQ(IoErr(), ERROR_OBJECT_EXISTS);
}

TEST_F(DosTest, LocksFromManyTasksAtOnce) {
  Put("RAM/shared", "x");
  std::atomic<int> exclusiveHeld{0}, overlap{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 6; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) {
        BPTR l = Lock("RAM:shared", t % 2 ? EXCLUSIVE_LOCK : SHARED_LOCK);
        if (!l)
          continue;
        if (t % 2) {
          if (exclusiveHeld.fetch_add(1) != 0)
            overlap++;
          exclusiveHeld.fetch_sub(1);
        }
        UnLock(l);
      }
    });
  for (auto &th : threads)
    th.join();
  EXPECT_EQ(overlap.load(), 0);
  BPTR l = Lock("RAM:shared", EXCLUSIVE_LOCK); // nothing left behind
  EXPECT_NE(l, 0u);
  UnLock(l);
}

TEST_F(DosTest, ExamineGivesTypeAndSixtyFourBitSize) {
  fs::create_directories(L("SYS/Dir"));
  Put("SYS/small", "12345");
  // A sparse 5 GB file.
  ASSERT_EQ(truncate((Put("SYS/huge", ""), L("SYS/huge")).c_str(), 5LL << 30), 0);

  auto *fib = static_cast<FileInfoBlock *>(AllocDosObject(DOS_FIB, nullptr));
  ASSERT_NE(fib, nullptr);
  BPTR l = Lock("SYS:HUGE", SHARED_LOCK);
  ASSERT_TRUE(Examine64(l, fib));
  EXPECT_EQ(fib->fib_DirEntryType, ST_FILE);
  EXPECT_EQ(fib->fib_Size64, 5LL << 30);
  EXPECT_EQ(fib->fib_Size, 0x7fffffff);
  EXPECT_STREQ(fib->fib_FileName, "huge");
  UnLock(l);

  l = Lock("sys:dir", SHARED_LOCK);
  ASSERT_TRUE(Examine64(l, fib));
  EXPECT_EQ(fib->fib_DirEntryType, ST_USERDIR);
  EXPECT_EQ(fib->fib_DirEntryType, 2);
  UnLock(l);

  // Walk a drawer with ExNext.
  l = Lock("SYS:", SHARED_LOCK);
  ASSERT_TRUE(Examine(l, fib));
  EXPECT_STREQ(fib->fib_FileName, "SYS");
  std::vector<std::string> names;
  while (ExNext(l, fib))
    names.push_back(std::string(fib->fib_FileName) + (fib->fib_DirEntryType > 0 ? "/" : ""));
  EXPECT_EQ(IoErr(), ERROR_NO_MORE_ENTRIES);
  EXPECT_EQ(names, (std::vector<std::string>{"Dir/", "huge", "small"}));
  UnLock(l);
  FreeDosObject(DOS_FIB, fib);

  // The date is today's.
  struct DateStamp now;
  DateStamp(&now);
  std::vector<platform::DirEntry> entries;
  ASSERT_TRUE(platform::ListDir("SYS:", entries));
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[2].size, 5);
  EXPECT_LE(std::abs(entries[2].date.ds_Days - now.ds_Days), 1);
  EXPECT_FALSE(platform::ListDir("SYS:small", entries));
  EXPECT_EQ(IoErr(), ERROR_OBJECT_WRONG_TYPE);
}

TEST_F(DosTest, ParentDirAndNameFromLock) {
  fs::create_directories(L("SYS/Data/Screenbar"));
  BPTR l = Lock("sys:data/screenbar", SHARED_LOCK);
  char name[32];
  ASSERT_TRUE(NameFromLock(l, name, sizeof name));
  EXPECT_STREQ(name, "SYS:Data/Screenbar");
  EXPECT_FALSE(NameFromLock(l, name, 10));
  EXPECT_EQ(IoErr(), ERROR_LINE_TOO_LONG);
  BPTR p = ParentDir(l);
  ASSERT_TRUE(NameFromLock(p, name, sizeof name));
  EXPECT_STREQ(name, "SYS:Data");
  BPTR pp = ParentDir(p);
  ASSERT_TRUE(NameFromLock(pp, name, sizeof name));
  EXPECT_STREQ(name, "SYS:");
  EXPECT_EQ(ParentDir(pp), 0u);
  EXPECT_EQ(IoErr(), 0);
  BPTR dup = DupLock(l);
  EXPECT_EQ(SameLock(dup, l), LOCK_SAME);
  EXPECT_EQ(SameLock(p, l), LOCK_SAME_VOLUME);
  UnLock(dup);
  UnLock(pp);
  UnLock(p);
  UnLock(l);
}

TEST_F(DosTest, DeleteFile) {
  fs::create_directories(L("RAM/full/sub"));
  Put("RAM/file", "x");
  EXPECT_TRUE(DeleteFile("ram:FILE"));
  EXPECT_FALSE(Exists("RAM/file"));
  EXPECT_FALSE(DeleteFile("RAM:file"));
  EXPECT_EQ(IoErr(), ERROR_OBJECT_NOT_FOUND);
  EXPECT_FALSE(DeleteFile("RAM:full"));
  EXPECT_EQ(IoErr(), ERROR_DIRECTORY_NOT_EMPTY);
  EXPECT_TRUE(DeleteFile("RAM:full/sub"));
  EXPECT_TRUE(DeleteFile("RAM:full"));
  EXPECT_FALSE(DeleteFile("RAM:"));
  EXPECT_TRUE(Exists("RAM"));
}

TEST_F(DosTest, Rename) {
  fs::create_directories(L("SYS/Icons/Rock"));
  Put("SYS/Icons/Rock/a.png", "png");
  Put("SYS/other", "o");
  EXPECT_FALSE(Rename("SYS:other", "RAM:other"));
  EXPECT_EQ(IoErr(), ERROR_RENAME_ACROSS_DEVICES);
  EXPECT_FALSE(Rename("SYS:other", "SYS:icons"));
  EXPECT_EQ(IoErr(), ERROR_OBJECT_EXISTS);
  EXPECT_FALSE(Rename("SYS:icons", "SYS:Icons/Rock/inner"));
  EXPECT_FALSE(Rename("SYS:nothing", "SYS:x"));
  EXPECT_EQ(IoErr(), ERROR_OBJECT_NOT_FOUND);

  // Locks and open files follow the drawer they are in.
  BPTR lock = Lock("SYS:Icons/Rock/a.png", SHARED_LOCK);
  BPTR fh = Open("SYS:Icons/Rock/b", MODE_NEWFILE);
  ASSERT_TRUE(Rename("sys:icons/rock", "SYS:Icons/Pop"));
  EXPECT_TRUE(Exists("SYS/Icons/Pop/a.png"));
  char name[64];
  ASSERT_TRUE(NameFromLock(lock, name, sizeof name));
  EXPECT_STREQ(name, "SYS:Icons/Pop/a.png");
  FPuts(fh, "written after");
  Close(fh);
  EXPECT_EQ(Get("SYS/Icons/Pop/b"), "written after");
  UnLock(lock);

  // Only the case changes.
  ASSERT_TRUE(Rename("SYS:icons/pop", "SYS:Icons/POP"));
  EXPECT_TRUE(fs::is_directory(L("SYS/Icons/POP")));
  EXPECT_FALSE(Exists("SYS/Icons/Pop"));
}
