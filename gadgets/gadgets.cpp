// Gadget constructors and accessors.
#include "gadgets/gadgets.h"

#include <cstring>

IPTR xget(Object *obj, IPTR attr) {
  if (!obj || obj == XGET_MARKER) return 0;
  IPTR value = 0;
  return GetAttr(attr, obj, &value) ? value : 0;
}

IPTR GetConfigItem(Object *obj, ULONG id) {
  IPTR value = 0;
  if (!obj || !DoMethod(obj, MUIM_GetConfigItem, id, &value)) return 0;
  return value;
}

char ControlChar(CONST_STRPTR text) {
  if (!text) return 0;
  const char *u = std::strchr(text, '_');
  if (!u || !u[1]) return 0;
  auto c = static_cast<unsigned char>(u[1]);
  // Latin-1 lower case: A-Z and the accented capitals (not the multiplication sign).
  if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) c = static_cast<unsigned char>(c + 32);
  return static_cast<char>(c);
}

Object *MakeLabel(CONST_STRPTR text, ULONG flags) {
  LONG frame = (flags & LABEL_STRINGFRAME) ? MUIV_Frame_String : (flags & LABEL_BUTTONFRAME) ? MUIV_Frame_Button : MUIV_Frame_None;
  CONST_STRPTR align = (flags & LABEL_LEFT) ? "\33l" : (flags & LABEL_CENTRED) ? "\33c" : "\33r";
  char key = ControlChar(text);
  return MUI_NewObject(MUIC_Text, MUIA_Text_Contents, text, MUIA_Text_PreParse, align, MUIA_Weight, 0, MUIA_InnerLeft, 0,
                       MUIA_InnerRight, 0, MUIA_Frame, frame, MUIA_FramePhantomHoriz, TRUE, MUIA_ShowSelState, FALSE,
                       MUIA_InputMode, MUIV_InputMode_Toggle, MUIA_Text_HiCharIdx, key ? '_' : 0,
                       key ? Tag(MUIA_ControlChar) : Tag(TAG_IGNORE), key,
                       (flags & LABEL_FREEVERT) ? Tag(TAG_IGNORE) : Tag(MUIA_Text_SetVMax), TRUE);
}

Object *MakeCheckmark(Object *label, ULONG id) {
  CONST_STRPTR text = label ? reinterpret_cast<CONST_STRPTR>(xget(label, MUIA_Text_Contents)) : "labelObj is NIL!";
  Object *check = MUI_MakeObject(MUIO_Checkmark, text);
  if (!check) return nullptr;
  SetAttrs(check, MUIA_CycleChain, 1, MUIA_ObjectID, id);
  if (label) {
    // A click on the label toggles the checkmark; a click on the checkmark
    // only mirrors into the label, so the two never chase each other.
    DoMethod(label, MUIM_Notify, MUIA_Selected, MUIV_EveryTime, check, 3, MUIM_Set, MUIA_Selected, MUIV_TriggerValue);
    DoMethod(check, MUIM_Notify, MUIA_Selected, MUIV_EveryTime, label, 3, MUIM_NoNotifySet, MUIA_Selected, MUIV_TriggerValue);
  }
  return check;
}

Object *MakeLabeledCheckmark(CONST_STRPTR text, ULONG flags, ULONG id, Object **labelOut) {
  Object *label = MakeLabel(text, flags);
  Object *check = MakeCheckmark(label, id);
  if (labelOut) {
    *labelOut = label;
  } else if (label) {
    // Nobody shows the label: the checkmark must stop mirroring into it
    // before it goes, or its next change would reach a freed object.
    if (check) DoMethod(check, MUIM_KillNotifyObj, MUIA_Selected, label);
    DisposeObject(label);
  }
  return check;
}

Object *MakeButton(CONST_STRPTR text) { return SetCycleChain(MUI_MakeObject(MUIO_Button, text)); }

Object *MakeTextButton(CONST_STRPTR text) {
  char key = ControlChar(text);
  Object *b = MUI_NewObject(MUIC_Text, MUIA_Frame, MUIV_Frame_Button, MUIA_Background, MUII_ButtonBack, MUIA_Font,
                            MUIV_Font_Button, MUIA_Text_Contents, text, MUIA_Text_PreParse, "\33c", MUIA_InputMode,
                            MUIV_InputMode_RelVerify, MUIA_Text_HiCharIdx, key ? '_' : 0, MUIA_FixWidthTxt, text,
                            key ? Tag(MUIA_ControlChar) : Tag(TAG_IGNORE), key);
  return SetCycleChain(b);
}

Object *MakeImageButton(IPTR imageSpec) {
  return MUI_NewObject(MUIC_Image, MUIA_Frame, MUIV_Frame_ImageButton, MUIA_Background, MUII_ButtonBack, MUIA_Image_Spec,
                       imageSpec, MUIA_InputMode, MUIV_InputMode_RelVerify, MUIA_CycleChain, 1);
}

Object *MakePathField(Object **stringOut, CONST_STRPTR title, CONST_STRPTR shortHelp, CONST_STRPTR initialDrawer,
                      ULONG id, char controlChar, BOOL drawersOnly, BOOL saveMode) {
  if (stringOut) *stringOut = nullptr;
  Object *str = MUI_NewObject(MUIC_String, MUIA_Frame, MUIV_Frame_String, MUIA_String_MaxLen, 1024, MUIA_CycleChain, 1,
                              MUIA_ObjectID, id, MUIA_ControlChar, static_cast<unsigned char>(controlChar));
  Object *button = SetCycleChain(MUI_MakeObject(MUIO_PopButton, MUII_PopDrawer));
  // Popasl takes both parts over, also when it fails.
  Object *pop = MUI_NewObject(MUIC_Popasl, MUIA_Popstring_String, str, MUIA_Popstring_Button, button, MUIA_Popasl_Type,
                              ASL_FileRequest, ASLFR_TitleText, title, ASLFR_InitialDrawer, initialDrawer, ASLFR_DrawersOnly,
                              drawersOnly, ASLFR_DoSaveMode, saveMode, MUIA_ShortHelp, shortHelp);
  if (pop && stringOut) *stringOut = str;
  return pop;
}

Object *SetCycleChain(Object *obj) {
  if (obj) SetAttrs(obj, MUIA_CycleChain, 1);
  return obj;
}

void SetDisabled(Object *obj, BOOL disabled) {
  if (obj) SetAttrs(obj, MUIA_Disabled, disabled ? TRUE : FALSE);
}

void SetMenuEnabled(Object *menu, BOOL enabled) {
  auto *list = reinterpret_cast<struct MinList *>(xget(menu, MUIA_Family_List));
  if (!list) return;
  APTR state = list->mlh_Head;
  while (Object *child = NextObject(&state)) {
    struct IClass *cl = OCLASS(child);
    bool item = cl && cl->cl_ID && std::strcmp(cl->cl_ID, MUIC_Menuitem) == 0;
    SetAttrs(child, item ? Tag(MUIA_Menuitem_Enabled) : Tag(MUIA_Menu_Enabled), enabled ? TRUE : FALSE);
  }
}
