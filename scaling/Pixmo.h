// Scale-and-save: reads a picture from a file or a web address, scales it
// and writes it as a PNG file, every step done by media objects. Shared by
// the plug-in (station icons, always 32 x 20) and the Pixmorph command.
#pragma once

#include "exec/types.h"

// Failure codes; 0 is success.
enum : LONG {
  PIXMO_OK = 0,
  PIXMO_NO_LIBRARY = 3,   // a class library did not open
  PIXMO_NO_SOURCE = 4,    // the source could not be opened and decoded
  PIXMO_NO_BUFFER = 5,    // no pixel buffer
  PIXMO_NO_OBJECT = 6,    // a media object could not be made
  PIXMO_NO_CONNECT = 7,   // two objects would not connect
  PIXMO_NO_ENCODER = 8,   // no PNG encoder
  PIXMO_SHORT_PULL = 9,   // the picture delivered fewer or more bytes than its size
  PIXMO_WRITE_FAILED = 10, // the file output ended with an error
};

// width or height 0: that side follows the picture's proportions (both 0:
// the picture's own size). Synchronous: returns when the file is complete or the first step failed.
// Waits for CTRL-D on the calling task (the end signal of the file output),
// so that signal must be free. Calls must not overlap.
LONG PixmoAndSave(CONST_STRPTR source, LONG width, LONG height, CONST_STRPTR destination);
