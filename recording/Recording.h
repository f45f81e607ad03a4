// Recording: a second chain (http.stream -> stream.buffer -> file.output)
// that copies the current station's raw stream into an MP3 file. It runs
// in the Rec slave only.
#pragma once

#include <string>

#include "dos/dos.h"
#include "exec/exec.h"

enum : size_t { REC_NAME_SIZE = 256, REC_STATION_SIZE = 128 };

// Size of a plain file, -1 on any failure; the reason goes to the debug
// log unless quiet.
QUAD Filesize64(CONST_STRPTR name, UWORD quiet);

// The recording file name for station (its full name) under path, started at
// *when: "<path>/<station, ':' and '/' as '_'>_dd-mm-yy_hhmmss.mp3", built in
// out (REC_NAME_SIZE bytes). date and time get "dd-mm-yy" and "hh:mm:ss"
// (empty when the date cannot be formatted; the name then has no date part).
void BuildRecordFileName(CONST_STRPTR path, CONST_STRPTR station, const struct DateStamp *when, STRPTR out,
                         std::string *date, std::string *time);
