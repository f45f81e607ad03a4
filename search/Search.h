// The station search: the Search Stations window, the directory download
// and its parsing, and adopting a found station into the editor.
#pragma once

#include "core/Melodune.h"
#include "exec/exec.h"

#define SEARCH_FILE "t:Melodune_stations"
#define SEARCH_USER_AGENT "Melodune.sbar 3.5"

// The page group around "_Search..." (page 0) and the busy bar (page 1).
Object *SearchPageGroup();
// Shows page 0 or 1 and runs or stops the busy bar.
void ShowSearchPage(LONG page);
// Enables or disables the four criterion gadgets (through obj).
void SetCriteriaDisabled(Object *obj, BOOL disabled);
// Stops and disposes whatever is left of the download, file output first.
void DisposeSearchPipeline();

// Counts the searches started: a parse that let the GUI run in between
// stops filling the list once a new search has cleared it.
extern ULONG SearchGeneration;
