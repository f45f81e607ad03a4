// Playback: the play chain (http.stream -> stream.buffer -> [shoutcast.demuxer]
// -> mpegaudio.demuxer -> mpegaudio.decoder -> audio.output), connecting and
// disconnecting, the watchdog and the stream title, menu actions, mute and
// the stream's audio information.
//
// The chain is built and taken down only in the connection worker. Other
// tasks reach its objects through the accessors; they hold the chain's read
// lock (LockPlayChain) for as long as they use an object, so that a
// tear-down never disposes of an object under them.
#pragma once

#include <cstddef>
#include <shared_mutex>

#include "core/Melodune_args.h"
#include "exec/exec.h"
#include "mui/object.h"

// ---- the play chain (connection worker) -----------------------------------------------------------

bool SetupStream(CONST_STRPTR url);
void FreePlayPipeline();
bool BuildPlayPipeline(struct List *list);
// Appends a candidate address (a copy of its own) to list; true when the
// list is not empty afterwards.
bool AddStreamUrl(struct List *list, CONST_STRPTR url);
// Downloads a playlist and extracts one address (without "http://") into
// out, a buffer of PLAYLIST_URL_SIZE bytes.
enum : size_t { PLAYLIST_URL_SIZE = 1024 };
bool ReadPlaylistUrl(CONST_STRPTR url, STRPTR out);
// A whole file in a new NUL-terminated buffer (FreeVec); *size gets the bytes read.
STRPTR HttpGetToMemory(CONST_STRPTR url, QUAD *size);

// What the http.stream object reported at its last creation.
LONG PlayErrorCodeNow();
LONG PlayResponseCodeNow();

// ---- accessors (any task) --------------------------------------------------------------------------

Object *GetHttpObj();
Object *GetBufferObj();
Object *GetShoutcastObj();
Object *GetAudioObj();
struct Task *GetNetProcess();

// Held while another task uses an object of the chain.
std::shared_lock<std::shared_mutex> LockPlayChain();

// Sends CTRL-C to the buffer's reader task while it still runs (the
// watchdog's way to unblock a tear-down that hangs on the network).
void BreakNetProcess();

// ---- pure helpers (no I/O) ----------------------------------------------------------------------------

// The playlist scan: the text after the last "http://", line breaks left
// out, up to the end of the text. False when nothing was collected or when
// the address would not fit in outSize bytes (then out is left empty).
bool ScanPlaylist(CONST_STRPTR text, size_t size, STRPTR out, size_t outSize);

// Where the address goes for an http.stream library of this version: the
// tag, and the value (the address, or the address after "http://").
CONST_STRPTR HttpStreamAddress(UWORD version, CONST_STRPTR url, Tag *tag);

// Turns every run of capitals into a capitalised word, in place (Latin-1).
void CapitaliseTitle(STRPTR text);
// Spaces become no-break spaces (0xA0), in place.
void MakeSpacesUnbreakable(STRPTR text);
