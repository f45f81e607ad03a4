// The directory query: the criteria as the directory wants them and the
// address of the search.
#pragma once

#include <string>

#include "exec/types.h"

#define SEARCH_DEFAULT_DIRECTORY "https://all.api.radio-browser.info"
#define SEARCH_CRITERION_SIZE 32 // a criterion gadget: 31 characters and the NUL

// Country: first character upper case, the rest lower case; Languages: all
// lower case (Latin-1 rules), in place.
void NormaliseCountry(STRPTR text);
void NormaliseLanguages(STRPTR text);

// The directory's base address: $MELODUNE_DIRECTORY (scheme, host, optional
// port; a missing scheme means https), else the public directory. No
// trailing '/'.
std::string DirectoryBase();

// base + "/csv/stations/search?codec=MP3" + "&name=..&tagList=..&country=..
// &language=.." for the criteria that are not empty + "&limit=" and the
// limit when limitOn. An AllocVec text (FreeVec), or null without memory.
STRPTR BuildStationQuery(CONST_STRPTR base, CONST_STRPTR name, CONST_STRPTR tags, CONST_STRPTR country,
                         CONST_STRPTR languages, BOOL limitOn, LONG limit);
