// Gadget constructors and accessors used by every window: labels that
// toggle their checkmark, checkmarks, buttons, an image button, a path field
// with a drawer requester, and safe attribute reads. Every interactive gadget
// joins the window's cycle chain; shortcuts come from a '_' in the label.
#pragma once

#include "mui/mui.h"

// An object pointer that stands for "no object yet"; reads from it answer 0.
#define XGET_MARKER ((Object *)(IPTR)0xDEADBEEF)

// The attribute's value; 0 when the read fails or obj is null or the marker.
IPTR xget(Object *obj, IPTR attr);
// A configuration item of the host through MUIM_GetConfigItem; 0 if none.
IPTR GetConfigItem(Object *obj, ULONG id);
// The character after the first '_' of text, lower-cased; 0 without one.
char ControlChar(CONST_STRPTR text);

// Label flags (those of the toolkit's own labels).
enum : ULONG {
  LABEL_BUTTONFRAME = 0x100, // aligns with buttons
  LABEL_STRINGFRAME = 0x200, // aligns with text fields
  LABEL_LEFT = 0x400,        // left-aligned (else right-aligned)
  LABEL_CENTRED = 0x800,
  LABEL_FREEVERT = 0x1000,
};
// A text that toggles its selected state when clicked (a label that can be
// tied to a checkmark), with the '_' shortcut of its text.
Object *MakeLabel(CONST_STRPTR text, ULONG flags);
// A checkmark labelled with label's text, tied both ways to label's selected
// state; in the cycle chain, with the object ID.
Object *MakeCheckmark(Object *label, ULONG id);
// MakeLabel then MakeCheckmark; the label goes to *labelOut (disposed when
// labelOut is null). Returns the checkmark.
Object *MakeLabeledCheckmark(CONST_STRPTR text, ULONG flags, ULONG id, Object **labelOut = nullptr);
Object *MakeButton(CONST_STRPTR text);
// A button at least as wide as its text (MUIA_FixWidthTxt).
Object *MakeTextButton(CONST_STRPTR text);
Object *MakeImageButton(IPTR imageSpec);
// A path field: a string (at most 1023 characters) and a drawer pop-up
// button joined in an ASL pop-up. *stringOut gets the string object.
Object *MakePathField(Object **stringOut, CONST_STRPTR title, CONST_STRPTR shortHelp, CONST_STRPTR initialDrawer,
                      ULONG id, char controlChar, BOOL drawersOnly, BOOL saveMode);
Object *SetCycleChain(Object *obj);
void SetDisabled(Object *obj, BOOL disabled);
// Enables or disables the direct children of a menu: items by
// MUIA_Menuitem_Enabled, submenus by MUIA_Menu_Enabled.
void SetMenuEnabled(Object *menu, BOOL enabled);
