// MUI_MakeObject: the toolkit's standard labels, buttons, checkmarks,
// spaces, bars and numeric buttons. A '_' in a label marks its keyboard
// shortcut; it is not shown and the character after it is underlined.
#include "mui/widgets.h"

using namespace platform::widgets;

namespace {

Object *Label(CONST_STRPTR label, ULONG flags) {
  LONG frame = (flags & MUIO_Label_DoubleFrame) ? MUIV_Frame_String
               : (flags & MUIO_Label_SingleFrame) ? MUIV_Frame_Button
                                                  : MUIV_Frame_None;
  CONST_STRPTR align = (flags & MUIO_Label_LeftAligned) ? "\33l" : (flags & MUIO_Label_Centered) ? "\33c" : "\33r";
  UBYTE key = UnderscoreKey(label);
  return MUI_NewObject(MUIC_Text, MUIA_Text_Contents, label, MUIA_Text_PreParse, align, MUIA_Weight, 0,
                       MUIA_InnerLeft, 0, MUIA_InnerRight, 0, MUIA_Frame, frame, MUIA_FramePhantomHoriz, TRUE,
                       MUIA_Text_HiCharIdx, key ? '_' : 0, MUIA_Text_SetMax, TRUE,
                       (flags & MUIO_Label_FreeVert) ? Tag(TAG_IGNORE) : Tag(MUIA_Text_SetVMax), TRUE);
}

Object *Button(CONST_STRPTR label) {
  UBYTE key = UnderscoreKey(label);
  return MUI_NewObject(MUIC_Text, MUIA_Frame, MUIV_Frame_Button, MUIA_Background, MUII_ButtonBack, MUIA_Font, MUIV_Font_Button,
                       MUIA_Text_Contents, label, MUIA_Text_PreParse, "\33c", MUIA_InputMode, MUIV_InputMode_RelVerify,
                       MUIA_Text_HiCharIdx, key ? '_' : 0, key ? Tag(MUIA_ControlChar) : Tag(TAG_IGNORE), key);
}

Object *Checkmark(CONST_STRPTR label) {
  UBYTE key = UnderscoreKey(label);
  return MUI_NewObject(MUIC_Image, MUIA_Frame, MUIV_Frame_ImageButton, MUIA_InputMode, MUIV_InputMode_Toggle,
                       MUIA_Image_Spec, MUII_CheckMark, MUIA_Image_FreeVert, TRUE, MUIA_Background, MUII_ButtonBack,
                       MUIA_ShowSelState, FALSE, key ? Tag(MUIA_ControlChar) : Tag(TAG_IGNORE), key);
}

} // namespace

Object *MUI_MakeObjectA(ULONG type, IPTR *params) {
  if (!params) return nullptr;
  switch (type) {
  case MUIO_Label: return Label(reinterpret_cast<CONST_STRPTR>(params[0]), static_cast<ULONG>(params[1]));
  case MUIO_Button: return Button(reinterpret_cast<CONST_STRPTR>(params[0]));
  case MUIO_Checkmark: return Checkmark(reinterpret_cast<CONST_STRPTR>(params[0]));
  case MUIO_String: {
    UBYTE key = UnderscoreKey(reinterpret_cast<CONST_STRPTR>(params[0]));
    return MUI_NewObject(MUIC_String, MUIA_Frame, MUIV_Frame_String, MUIA_String_MaxLen, params[1],
                         key ? Tag(MUIA_ControlChar) : Tag(TAG_IGNORE), key);
  }
  case MUIO_PopButton:
    return MUI_NewObject(MUIC_Image, MUIA_Frame, MUIV_Frame_ImageButton, MUIA_Image_Spec, params[0], MUIA_Image_FontMatchWidth,
                         TRUE, MUIA_Image_FreeVert, TRUE, MUIA_InputMode, MUIV_InputMode_RelVerify, MUIA_Background,
                         MUII_ButtonBack);
  case MUIO_HSpace:
    return params[0] ? MUI_NewObject(MUIC_Rectangle, MUIA_FixWidth, params[0]) : MUI_NewObject(MUIC_Rectangle, MUIA_VertWeight, 0);
  case MUIO_VSpace:
    return params[0] ? MUI_NewObject(MUIC_Rectangle, MUIA_FixHeight, params[0]) : MUI_NewObject(MUIC_Rectangle, MUIA_HorizWeight, 0);
  case MUIO_HBar:
    return MUI_NewObject(MUIC_Rectangle, MUIA_Rectangle_HBar, TRUE, MUIA_VertWeight, 0, MUIA_InnerTop, params[0],
                         MUIA_InnerBottom, params[0], MUIA_InnerLeft, 0, MUIA_InnerRight, 0);
  case MUIO_VBar:
    return MUI_NewObject(MUIC_Rectangle, MUIA_Rectangle_VBar, TRUE, MUIA_HorizWeight, 0, MUIA_InnerLeft, params[0],
                         MUIA_InnerRight, params[0], MUIA_InnerTop, 0, MUIA_InnerBottom, 0);
  case MUIO_BarTitle:
    return MUI_NewObject(MUIC_Rectangle, MUIA_Rectangle_HBar, TRUE, MUIA_Rectangle_BarTitle, params[0], MUIA_VertWeight, 0);
  case MUIO_NumericButton: {
    UBYTE key = UnderscoreKey(reinterpret_cast<CONST_STRPTR>(params[0]));
    return MUI_NewObject(MUIC_Numericbutton, MUIA_Numeric_Min, params[1], MUIA_Numeric_Max, params[2], MUIA_Numeric_Format,
                         params[3] ? params[3] : reinterpret_cast<IPTR>("%ld"), MUIA_Frame, MUIV_Frame_Button, MUIA_Background,
                         MUII_ButtonBack, key ? Tag(MUIA_ControlChar) : Tag(TAG_IGNORE), key);
  }
  default: return nullptr;
  }
}
