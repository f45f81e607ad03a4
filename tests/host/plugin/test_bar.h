// What TestBar.sbar shows the tests: attributes of its objects, its
// configuration items, and counters kept by the library.
#pragma once

#include "exec/types.h"

enum : IPTR {
  TESTBAR_A_SETUPS = 0x80CB0001,
  TESTBAR_A_CLEANUPS,
  TESTBAR_A_DRAWS,
  TESTBAR_A_CHANGES,
  TESTBAR_A_NUMBER, // CFG_NUMBER as read at set-up or the last change
  TESTBAR_A_TEXT,   // CFG_TEXT likewise (a copy)
  TESTBAR_A_LASTCHANGED,
};

enum : ULONG {
  TESTBAR_CFG_NUMBER = 0x00CB80A1, // default 1; a change asks for a redraw of the object
  TESTBAR_CFG_TEXT = 0x00CBC0A2,   // default TESTBAR_TEXT_DEFAULT
  TESTBAR_CFG_FLOOD = 0x00CB80A3,  // a change claims 1000 objects in the refresh list
};
#define TESTBAR_TEXT_DEFAULT "hello"

// The gadget's colour: CFG_NUMBER on / off.
constexpr ULONG TESTBAR_COLOR_ON = 0xFF00C000u;
constexpr ULONG TESTBAR_COLOR_OFF = 0xFFC00000u;

struct TestBarStats {
  int inits, opens, closes, expunges;
  int setups, cleanups, changes;
  int live;      // objects of the class
  char log[512]; // "setup:TITLE;" and "cleanup:TITLE;" in order
};

// extern "C" const TestBarStats *TestBarGetStats(); (looked up with dlsym)
typedef const TestBarStats *(*TestBarGetStatsFunc)();
