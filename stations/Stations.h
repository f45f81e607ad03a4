// The station list: the file, the in-memory array g.stations, the payloads
// of the editor's station tree and the station part of the pop-up menu.
//
// The array is replaced only as a whole, on the GUI task, under the
// exclusive g.stationsLock. Other tasks (connection worker, recorder, ARexx
// process) never keep pointers into it: they copy what they need with
// GetStation() and friends, which take the shared lock.
#pragma once

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "core/Melodune.h"
#include "dos/dos.h"
#include "mui/classes.h"

#define STATIONS_FILE "sys:Data/Screenbar/Melodune/Stations.txt"
#define STATIONS_DEFAULT_FILE "sys:Data/Screenbar/Melodune/Stations_default.txt"
#define STATION_ICON_DIR "sys:Data/Screenbar/Melodune/StationIcons/"
#define STATION_EMPTY_ICON "_empty.png"   // inside STATION_ICON_DIR
#define STATION_EMPTY_GROUP "_empty.info" // inside STATION_ICON_DIR

// User data of a group submenu (never a choice).
#define MENU_GROUP_UDATA 99999

// Longest value a user can type into the editor's icon and stream fields.
#define STATION_FIELD_MAX 1023
// A line buffer that holds such a value, its LF and the NUL.
#define STATION_LINE_SIZE (STATION_FIELD_MAX + 2)

// Payload of a node of the station tree. For a station, name is the node's
// own name (the last component); a group built from the list has a null
// name and stream and the icon "<group path>.info".
struct StationNode {
  char *name;
  char *icon;
  char *stream;
};

// The tree's construct and destruct hooks. Construct takes a StationNode
// holding a triple (any pointer may be null) and makes heap copies, keeping
// only the last component of the name; destruct frees them.
extern struct Hook StationConstructHook;
extern struct Hook StationDestructHook;

// ---- texts of the list ---------------------------------------------------------------------------

// Heap copies as the list owns them (null for null or out of memory).
STRPTR StationTextCopy(CONST_STRPTR text);
void StationTextFree(STRPTR text);
// The station's display name: the text after the last '/' or ':'.
CONST_STRPTR StationDisplayName(CONST_STRPTR fullName);

// ---- the list (GUI task) -------------------------------------------------------------------------

// Reads the station file (or the default file when it does not exist) and
// installs it. TRUE when a list was installed (possibly with fewer stations
// than announced, or none), FALSE when nothing changed.
BOOL LoadStationList();
// How many loads have finished (successful or not) so far.
ULONG StationListLoads();
// The whole station file at path into text. False when it cannot be opened
// or read, or is larger than any station list.
bool ReadStationFile(CONST_STRPTR path, std::string &text);

// The records of a station file's text: a line with the number of stations,
// then three lines (name, icon, stream) for each. Lines that begin with '#'
// are skipped and trailing spaces and LFs removed; a line longer than
// STATION_LINE_SIZE - 1 bytes is cut and the rest of it skipped, and a line
// ends at a NUL byte. No I/O: the text stays the caller's.
class StationFileText {
 public:
  explicit StationFileText(std::string_view text);
  // The announced number of stations: 0 when the first line is not a
  // positive number.
  LONG Announced() const { return announced_; }
  // The next record; false at the end of the text, where a record cut short
  // is none.
  bool Next(std::string &name, std::string &icon, std::string &stream);
  // The next line that is not a comment; false (and out empty) at the end.
  bool Line(std::string &out);

 private:
  bool RawLine(std::string_view &raw);
  std::string_view text_;
  size_t pos_ = 0;
  LONG announced_ = 0;
};
// Frees the list; g.stations null, g.numStations 0 afterwards.
void FreeStationList();
// A zeroed array of count+2 entries (the spare slot and the terminator
// follow the stations); null when out of memory or count is negative.
StationEntry *AllocStationArray(LONG count);
// Frees an array that was never installed, texts included (walks to the
// terminator).
void FreeStationArray(StationEntry *array);
// Replaces the list by array (from AllocStationArray, texts from
// StationTextCopy) holding num stations, and frees the old one.
void InstallStationList(StationEntry *array, LONG num);

// ---- the station tree (GUI task) -------------------------------------------------------------------

// The node after node in tree order (every level, closed groups included);
// null: the first node. Null after the last.
struct MUIS_Listtree_TreeNode *NextInTreeOrder(Object *tree, struct MUIS_Listtree_TreeNode *node);
// Number of stations (nodes that are not groups) in the whole tree.
LONG CountStations(Object *tree);
// Adds one node per station of the list, with groups as needed.
void FillStationTree(Object *tree);
// Finds or creates the groups of fullName below parent (null: the root);
// returns the node under which the station itself belongs (null: the root).
struct MUIS_Listtree_TreeNode *LtFindOrCreateGroups(Object *tree, struct MUIS_Listtree_TreeNode *parent,
                                                   CONST_STRPTR fullName);
// TRUE when icon is non-empty and names an existing file or drawer
// relative to the icon drawer (or an absolute one).
BOOL StationIconExists(CONST_STRPTR icon);
// The same question for many names at once (a menu build): the icon drawer
// is read once, names are looked up ignoring case. Absolute names and names
// with parent references are asked of the file system one by one.
class StationIconIndex {
public:
  StationIconIndex();
  BOOL Exists(CONST_STRPTR icon) const;

private:
  bool complete_ = false; // false: the drawer was too big or unreadable
  std::unordered_set<std::string> names_; // relative paths, lower case
};

// ---- the station menu (GUI task) -------------------------------------------------------------------

// Rebuilds the station part of g.menu. FALSE when no list is loaded.
BOOL BuildStationMenu();
// Removes and disposes the station items and group submenus of g.menu.
void ClearStationMenu();
// The submenu of groupPath inside parent, created and appended if missing.
Object *FindOrCreateGroupMenu(Object *parent, CONST_STRPTR groupPath, const StationIconIndex *icons = nullptr);

// ---- readers (any task) ----------------------------------------------------------------------------

// Copies the texts of entry index (0 .. g.numStations; the last is the
// spare slot of a test). False when there is no list, the index is out of
// range or the entry is not a complete station. Null pointers are skipped.
bool GetStation(LONG index, std::string *name, std::string *icon, std::string *stream);
// g.numStations, or -1 while no list is loaded.
LONG StationCount();
// Full names of the stations 0 .. g.numStations-1, in list order.
std::vector<std::string> StationNames();
// Index of the first station whose full name equals text, else of the
// first whose display name does (case ignored, Latin-1); -1 if none.
LONG FindStationByName(CONST_STRPTR text);
