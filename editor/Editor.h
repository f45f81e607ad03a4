// The Edit Stations window ('MDCH') and the operations of its station tree.
// Everything here runs on the GUI task and works on g.editTree; before the
// window has been built there is no tree and the operations do nothing.
#pragma once

#include <string>

#include "core/Melodune.h"
#include "stations/Stations.h"

using TreeNode = struct MUIS_Listtree_TreeNode;

// Message layouts of the editor's methods.
struct MP_Melodune_Node { IPTR MethodID; TreeNode *node; };               // ShowStation, UpdateStation
struct MP_Melodune_AddStation { IPTR MethodID; CONST_STRPTR name, icon, stream; };

// The text of the status line when nothing is going on.
CONST_STRPTR EditorWelcomeText();
// Shows a formatted text in the editor's status line (dropped while the
// window has never been built).
void EditorStatus(CONST_STRPTR format, ...);
// Enables or disables the "_Apply" button.
void EditorApplyEnabled(BOOL enabled);

// The full "/"-joined name of node (null: the active node), as an AllocVec
// text the caller frees with FreeVec; null without a node or memory.
STRPTR Melodune_LtCreateFullName(TreeNode *node);

// Where "_Group" and "_Station" insert: the list node (null: the root) and
// the node to insert after (MUIV_Listtree_Insert_PrevNode_Head for the head).
struct InsertPlace {
  TreeNode *list;
  APTR prev;
};
InsertPlace EditorInsertPlace(Object *tree);

// Icon files. Names relative to the icon drawer are only used when they
// stay inside it: not absolute, no "/" at the start, no empty, "." or ".."
// component. Commands run synchronously with no input and output; a name
// goes into a command line through IconArg (quoted and escaped).
bool IconNameIsSafe(const std::string &relative);
std::string IconArg(const std::string &relative); // "\"<IconDir><relative>\""
LONG RunIconCommand(const std::string &line);
// "Rock/Classic/One.png" -> "Rock/Classic"; "" without a drawer part.
std::string IconDrawerPart(const std::string &icon);

// Moves node's icon file into the drawer of the node's group (creating the
// drawer when needed) and renames the payload's icon to match. Absolute
// icons and names that would leave the icon drawer are left alone.
void MoveNodeIcon(Object *tree, TreeNode *node);

// The hooks of the tree and of the icon chooser.
extern struct Hook StationDisplayHook;
extern struct Hook IconPopStartHook;
extern struct Hook IconPopStopHook;
