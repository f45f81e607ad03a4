// The station directory's CSV table, read in place: a field scanner that
// cuts the texts inside the one line buffer, the column positions (fixed,
// or named by the header row), the Url trim and the UTF-8 conversion of the
// texts that are kept. Pure functions, no I/O, no allocation.
#pragma once

#include "exec/types.h"

enum : LONG {
  SEARCH_LINE_SIZE = 8096, // the line buffer
  SEARCH_LINE_READ = 8095, // one read: at most 8094 characters, the newline if it fits, the NUL
  SEARCH_COLUMNS = 8,
};

// The result list's columns, in their order.
enum : LONG {
  SEARCH_COL_NAME = 0,
  SEARCH_COL_CODEC = 1,
  SEARCH_COL_BITRATE = 2,
  SEARCH_COL_TAGS = 3,
  SEARCH_COL_COUNTRY = 4,
  SEARCH_COL_LANGUAGE = 5,
  SEARCH_COL_URL = 6,
  SEARCH_COL_ICON = 7,
};

// Where each result-list column comes from in a data line (0 = first field).
struct StationColumns {
  LONG pos[SEARCH_COLUMNS];
};
// name 3, codec 18, bitrate 19, tags 8, country 9, language 13, url 4, favicon 7
extern const StationColumns DefaultStationColumns;

// Reads the field at *pos of the piece line[0..length) (line[length] is a
// NUL): quoted or not, terminated in place, *pos moved past it and its
// comma. Doubled quotes stay doubled; a field that runs to the end of the
// piece keeps the newline; past the end every field is empty.
STRPTR CsvReadField(STRPTR line, LONG length, LONG *pos);
// The same walk without cutting anything.
void CsvSkipField(CONST_STRPTR line, LONG length, LONG *pos);

// TRUE when the piece ends in a line break inside a quoted field, so the
// field (and the record) goes on in the next line.
BOOL CsvLineContinues(CONST_STRPTR line, LONG length);

// Scans one data line and points texts[] at the eight wanted fields (cut in
// place, converted to Latin-1, the Url trimmed). Missing fields are empty.
void CsvStationFields(STRPTR line, LONG length, const StationColumns *cols, STRPTR texts[SEARCH_COLUMNS]);

// The positions from a header row that names all eight columns (name, url,
// favicon, tags, country, language, codec, bitrate; case and a line end
// ignored). FALSE, and the fixed positions, otherwise. Cuts the line.
BOOL CsvHeaderColumns(STRPTR line, LONG length, StationColumns *cols);

// Cuts a Url at a second address ("http" from the fifth character on) and
// drops the question mark in front of it or at the end.
void TrimStationUrl(STRPTR url);

// UTF-8 to Latin-1 in place: characters outside Latin-1 become '?', bytes
// that are not well-formed UTF-8 are kept as Latin-1.
void Utf8ToLatin1InPlace(STRPTR text);
