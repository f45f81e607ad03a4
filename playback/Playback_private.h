// Helpers shared by the playback files.
#pragma once

#include <cstdint>
#include <functional>

#include "exec/exec.h"
#include "mui/mui.h"

// Runs fn on the GUI task of obj's application: at once when called there,
// else queued (the caller goes on). Menus and windows are touched only there.
void RunOnGuiTask(Object *obj, std::function<void()> fn);

// True when a chain plays through g.Out and its output no longer plays.
bool PlayOutputStopped();

// Milliseconds on the system clock (the one Delay counts on).
uint64_t ClockMs();

// ---- connects in flight ------------------------------------------------------------------------------
//
// Every connect sent to the connection worker gets a ticket, in the order
// the worker will run them. A user's choice aborts every connect sent
// before it; a reconnect attempt is the connect holding the retry ticket.

// Sends a disconnect and a connect to station index to the worker; a
// non-zero retrySerial marks the connect as that reconnect sequence's attempt.
void SendConnect(Object *slave, LONG index, ULONG retrySerial);
// Aborts every connect sent so far: queued ones give up when they start,
// the running one at once (CTRL-C to its stream's connecting task).
void AbortConnects();

// ---- reconnecting a dropped stream ----------------------------------------------------------------
//
// After a drop the station is tried again 2 s later; when that fails, again
// after 2, 4, 8, 16 and 32 s and then every 60 s, for up to 30 minutes. Any
// user choice ends the attempts.

// The pushed menu choice of an attempt: station index | ReconnectChoice, with
// the sequence's serial as a second argument.
enum : IPTR { ReconnectChoice = 0x40000000 };
// A drop of station: starts a sequence (or goes on with the running one) and
// schedules its next attempt.
void BeginReconnect(Object *obj, LONG station);
// Ends a running sequence without a word (the user chose something).
void EndReconnect();
// The attempt pushed with serial is still wanted: its station, else -1.
LONG TakeReconnect(ULONG serial);

// ---- stall watch ----------------------------------------------------------------------------------------

// Starts watching the playing chain's data rate from now.
void ResetStallWatch();
// True when the playing stream delivered no byte for 10 s.
bool StreamStalled();
