// The title-bar host's side of the plug-in contract.
//
// A plug-in is a shared object ("Melodune.sbar") that exports one C function,
// ScreenbarLibraryEntry, returning its library entry points. The host calls
// Init once after loading, Open before use, Query for the class, and Close and
// Expunge when it is done; Expunge returns the "segment list" handed to Init
// when the library may be unloaded.
#pragma once

#include "exec/exec.h"
#include "mui/object.h"

struct ScreenbarLibraryFuncs {
  struct Library *(*Init)(APTR segList);
  struct Library *(*Open)(struct Library *base, ULONG version);
  APTR (*Close)(struct Library *base);
  APTR (*Expunge)(struct Library *base);
  // code 0: the plug-in's struct MUI_CustomClass *; 7: a one-line credit text; else null
  APTR (*Query)(struct Library *base, LONG code);
};

#define SCREENBAR_ENTRY_SYMBOL "ScreenbarLibraryEntry"
extern "C" typedef const struct ScreenbarLibraryFuncs *(*ScreenbarLibraryEntryFunc)();

// Host attributes and methods the plug-in class answers.
enum : IPTR {
  MUIA_Screenbar_PrefsImage = 0xFECF0BBB, // OM_GET: an Image object for the preferences list (host owns it)
  MUIM_Screenbar_PrefsPanel = 0xFECF0BCC, // () -> the preferences panel object (host owns it)
  MUIM_Screenbar_IsConfigItem = 0xFECF0BCD, // (id) -> 1 when the id is one of the plug-in's items
  MUIM_Screenbar_ConfigDefault = 0xFECF0BCE, // (id) -> default value (text pointer or number), 0 if unknown
  MUIM_ConfigItemChanged = 0x8042B0A9,       // (id, refresh list)
};

enum : ULONG { SCREENBAR_REFRESH_MAX = 64 };

// Objects the host redraws after a configuration change.
struct ScreenbarRefreshList {
  Object *objects[SCREENBAR_REFRESH_MAX];
  ULONG count;
  UBYTE flags[SCREENBAR_REFRESH_MAX];
};

struct MUIP_Screenbar_IsConfigItem {
  IPTR MethodID;
  IPTR id;
};
struct MUIP_ConfigItemChanged {
  IPTR MethodID;
  IPTR id;
  struct ScreenbarRefreshList *refresh;
};
