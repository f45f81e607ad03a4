// The station list: reading the station file, owning g.stations, and the
// copies other tasks take of its entries.
#include <atomic>
#include <cstring>
#include <mutex>
#include <shared_mutex>

#include "exec/text.h"
#include "stations/Stations.h"

namespace {

void FreeEntryTexts(StationEntry &e) {
  StationTextFree(e.name);
  StationTextFree(e.icon);
  StationTextFree(e.stream);
  e = StationEntry{};
}

bool Complete(const StationEntry &e) { return e.name && e.icon && e.stream; }

void ShowShortListWarning(CONST_STRPTR path, LONG got, LONG announced) {
  static const char format[] = "\33cFailed to read the Station-List\n'%s'\nOnly %ld instead of %ld entries available!";
  Object *o = g.currObj.load();
  if (!o) o = g.obj.load();
  if (o) {
    DoMethod(o, MM_Melodune_Warning, format, path, got, announced);
    return;
  }
  MUI_Request(nullptr, nullptr, 0, "Melodune.sbar: Warning", "Okay", format, path, got, announced);
}

} // namespace

// ---- texts --------------------------------------------------------------------------------------

STRPTR StationTextCopy(CONST_STRPTR text) {
  if (!text) return nullptr;
  size_t len = std::strlen(text);
  auto *copy = static_cast<STRPTR>(AllocVec(static_cast<ULONG>(len + 1), MEMF_ANY));
  if (copy) std::memcpy(copy, text, len + 1);
  return copy;
}

void StationTextFree(STRPTR text) { FreeVec(text); }

CONST_STRPTR StationDisplayName(CONST_STRPTR fullName) {
  if (!fullName) return nullptr;
  CONST_STRPTR last = fullName;
  for (CONST_STRPTR p = fullName; *p; ++p)
    if (*p == '/' || *p == ':') last = p + 1;
  return last;
}

// ---- the array ----------------------------------------------------------------------------------

StationEntry *AllocStationArray(LONG count) {
  if (count < 0) return nullptr;
  size_t slots = static_cast<size_t>(count) + 2;
  if (slots * sizeof(StationEntry) > 0xFFFFFFF0u) return nullptr;
  return static_cast<StationEntry *>(AllocVec(static_cast<ULONG>(slots * sizeof(StationEntry)), MEMF_CLEAR));
}

void FreeStationArray(StationEntry *array) {
  if (!array) return;
  for (StationEntry *e = array; e->name; ++e) FreeEntryTexts(*e);
  FreeVec(array);
}

void InstallStationList(StationEntry *array, LONG num) {
  StationEntry *old;
  {
    std::unique_lock lock(g.stationsLock);
    old = g.stations.exchange(array);
    g.numStations = array ? num : 0;
  }
  // Readers copy under the shared lock, so nobody can still be inside the
  // old array now.
  FreeStationArray(old);
}

void FreeStationList() {
  if (!g.stations.load()) return;
  InstallStationList(nullptr, 0);
}

// ---- reading the file -----------------------------------------------------------------------------

namespace {
// Finished loads, for a waiter that wants to know that its load ran.
std::atomic<ULONG> s_loadsDone{0};
// A load in progress: its warning requester keeps it open, and a click
// meanwhile must not start a second one.
std::atomic<bool> s_loading{false};
} // namespace

ULONG StationListLoads() { return s_loadsDone.load(); }

BOOL LoadStationList() {
  bool idle = false;
  if (!s_loading.compare_exchange_strong(idle, true)) return FALSE;
  struct Done {
    ~Done() {
      ++s_loadsDone;
      s_loading = false;
    }
  } done;

  CONST_STRPTR path = STATIONS_FILE;
  if (BPTR l = Lock(STATIONS_FILE, SHARED_LOCK)) UnLock(l);
  else path = STATIONS_DEFAULT_FILE;

  std::string text;
  if (!ReadStationFile(path, text)) return FALSE;
  StationFileText file(text);
  const LONG count = file.Announced();
  if (count <= 0) return FALSE;

  // The records are collected first and the array sized to what was read:
  // the announced count is only a bound, and a wrong one must not decide how
  // much memory is taken.
  std::vector<StationEntry> read;
  std::string name, icon, stream;
  while (static_cast<LONG>(read.size()) < count && file.Next(name, icon, stream)) {
    for (char &c : name)
      if (static_cast<unsigned char>(c) == 0xA0) c = ' ';
    StationEntry e{StationTextCopy(name.c_str()), StationTextCopy(icon.c_str()), StationTextCopy(stream.c_str())};
    if (Complete(e)) read.push_back(e);
    else FreeEntryTexts(e); // out of memory: the record is dropped
  }

  LONG num = static_cast<LONG>(read.size());
  StationEntry *array = AllocStationArray(num);
  if (!array) {
    for (StationEntry &e : read) FreeEntryTexts(e);
    return FALSE;
  }
  for (LONG i = 0; i < num; ++i) array[i] = read[static_cast<size_t>(i)];

  // Installed before the warning, so that what was read is there while
  // the requester is open.
  InstallStationList(array, num);
  if (num < count) ShowShortListWarning(path, num, count);
  return TRUE;
}

// ---- readers ---------------------------------------------------------------------------------------

bool GetStation(LONG index, std::string *name, std::string *icon, std::string *stream) {
  std::shared_lock lock(g.stationsLock);
  StationEntry *array = g.stations.load();
  if (!array || index < 0 || index > g.numStations.load()) return false;
  const StationEntry &e = array[index];
  if (!Complete(e)) return false;
  if (name) *name = e.name;
  if (icon) *icon = e.icon;
  if (stream) *stream = e.stream;
  return true;
}

LONG StationCount() {
  std::shared_lock lock(g.stationsLock);
  return g.stations.load() ? g.numStations.load() : -1;
}

std::vector<std::string> StationNames() {
  std::vector<std::string> names;
  std::shared_lock lock(g.stationsLock);
  StationEntry *array = g.stations.load();
  if (!array) return names;
  LONG num = g.numStations.load();
  names.reserve(static_cast<size_t>(num));
  for (LONG i = 0; i < num; ++i)
    if (Complete(array[i])) names.emplace_back(array[i].name);
  return names;
}

LONG FindStationByName(CONST_STRPTR text) {
  if (!text) return -1;
  std::shared_lock lock(g.stationsLock);
  StationEntry *array = g.stations.load();
  if (!array) return -1;
  LONG num = g.numStations.load();
  for (LONG i = 0; i < num; ++i)
    if (Complete(array[i]) && platform::EqualsNoCaseLatin1(array[i].name, text)) return i;
  for (LONG i = 0; i < num; ++i)
    if (Complete(array[i]) && platform::EqualsNoCaseLatin1(StationDisplayName(array[i].name), text)) return i;
  return -1;
}

// ---- icons --------------------------------------------------------------------------------------------

BOOL StationIconExists(CONST_STRPTR icon) {
  if (!icon || !*icon) return FALSE;
  BPTR dir = Lock(STATION_ICON_DIR, SHARED_LOCK);
  if (!dir) return FALSE;
  BPTR old = CurrentDir(dir);
  BPTR l = Lock(icon, SHARED_LOCK);
  UnLock(l);
  CurrentDir(old);
  UnLock(dir);
  return l ? TRUE : FALSE;
}

namespace {

std::string LowerLatin1(CONST_STRPTR s) {
  std::string out(s);
  for (char &c : out) c = static_cast<char>(platform::ToLowerLatin1(static_cast<unsigned char>(c)));
  return out;
}

// Adds the entries of the drawer `lock` below `prefix`; false when the walk
// gave up (too deep or too many entries).
bool IndexDrawer(BPTR lock, const std::string &prefix, int depth, std::unordered_set<std::string> &names) {
  constexpr int kMaxDepth = 8;
  constexpr size_t kMaxEntries = 200000;
  FileInfoBlock fib{};
  if (!Examine(lock, &fib)) return false;
  while (ExNext(lock, &fib)) {
    if (names.size() >= kMaxEntries) return false;
    std::string path = prefix + LowerLatin1(fib.fib_FileName);
    names.insert(path);
    if (fib.fib_DirEntryType > 0) {
      if (depth >= kMaxDepth) return false;
      BPTR old = CurrentDir(lock);
      BPTR sub = Lock(fib.fib_FileName, SHARED_LOCK);
      CurrentDir(old);
      if (!sub) continue;
      bool ok = IndexDrawer(sub, path + "/", depth + 1, names);
      UnLock(sub);
      if (!ok) return false;
    }
  }
  return true;
}

} // namespace

StationIconIndex::StationIconIndex() {
  BPTR dir = Lock(STATION_ICON_DIR, SHARED_LOCK);
  if (!dir) return;
  complete_ = IndexDrawer(dir, "", 0, names_);
  UnLock(dir);
  if (!complete_) names_.clear();
}

BOOL StationIconIndex::Exists(CONST_STRPTR icon) const {
  if (!icon || !*icon) return FALSE;
  if (!complete_ || std::strchr(icon, ':') || icon[0] == '/' || std::strstr(icon, "//"))
    return StationIconExists(icon);
  // A directory walk cuts names at the info block's length: ask long ones directly.
  for (const char *part = icon; *part;) {
    const char *end = std::strchr(part, '/');
    const size_t len = end ? static_cast<size_t>(end - part) : std::strlen(part);
    if (len >= sizeof(FileInfoBlock::fib_FileName) - 1) return StationIconExists(icon);
    part += len + (end ? 1 : 0);
  }
  std::string key = LowerLatin1(icon);
  while (!key.empty() && key.back() == '/') key.pop_back(); // "Rock/" names the drawer
  return names_.count(key) ? TRUE : FALSE;
}

// ---- testing a station through the spare slot --------------------------------------------------------

namespace {

// Puts a copy of the triple into the slot behind the last station and plays
// it as if it had been chosen from the menu. Without a list an empty one is
// installed to hold the slot.
void TestThroughSpareSlot(Object *obj, CONST_STRPTR name, CONST_STRPTR icon, CONST_STRPTR stream) {
  StationEntry fresh{StationTextCopy(name), StationTextCopy(icon ? icon : ""), StationTextCopy(stream)};
  if (!Complete(fresh)) {
    FreeEntryTexts(fresh);
    return;
  }
  // The slot sits behind the user's own list: load it first, so that an
  // empty stand-in never hides the file from the next click.
  if (!g.stations.load() && LoadStationList()) BuildStationMenu();
  if (!g.stations.load()) {
    StationEntry *empty = AllocStationArray(0);
    if (!empty) {
      FreeEntryTexts(fresh);
      return;
    }
    InstallStationList(empty, 0);
  }
  StationEntry old;
  LONG spare;
  {
    std::unique_lock lock(g.stationsLock);
    spare = g.numStations.load();
    StationEntry *array = g.stations.load();
    old = array[spare];
    array[spare] = fresh;
  }
  FreeEntryTexts(old);
  Object *target = g.currObj.load();
  MeloPush(target ? target : obj, 0, MM_Melodune_MenuAction, static_cast<IPTR>(spare) + MENU_FIRSTSTATION);
}

} // namespace

MELODUNE_HANDLER(Melodune_TestStation) {
  (void)cl, (void)msg;
  Object *tree = g.editTree.load();
  if (!tree) return 0;
  auto *node = reinterpret_cast<MUIS_Listtree_TreeNode *>(DoMethod(
      tree, MUIM_Listtree_GetEntry, MUIV_Listtree_GetEntry_ListNode_Root, MUIV_Listtree_GetEntry_Position_Active, 0));
  if (!node || !node->tn_User) return 0;
  auto *sn = static_cast<StationNode *>(node->tn_User);
  if (!sn->name || !sn->stream) return 0; // a group
  TestThroughSpareSlot(obj, sn->name, sn->icon, sn->stream);
  return 0;
}

MELODUNE_HANDLER(Melodune_TestFoundStation) {
  (void)cl, (void)msg;
  Object *list = g.searchList.load();
  if (!list) return 0;
  STRPTR *row = nullptr;
  DoMethod(list, MUIM_List_GetEntry, MUIV_List_GetEntry_Active, &row);
  if (!row) return 0;
  // Result columns: 0 Name, 6 Url, 7 Icon.
  TestThroughSpareSlot(obj, row[0], row[7], row[6]);
  return 0;
}
