// The update check: asks the update service whether a newer version of a
// program exists, and offers the home page or the downloader when it does.
#pragma once

#include "exec/types.h"
#include "mui/object.h"

// Results of UpdateCheck (UpdateResultText names them).
enum : LONG {
  UPDATE_SAME_VERSION = 0,
  UPDATE_NEW_VERSION = 1,
  UPDATE_APP_NOT_FOUND = 2,
  UPDATE_UNKNOWN_ERROR = -1,
  UPDATE_NO_MEMORY = -2,
  UPDATE_NO_NETWORK = -3,
  UPDATE_OPENLIBS_FAILED = -4,
};

// Blocking; runs away from the GUI task. quiet: no requesters. obj: the GUI
// object whose application and window own the requesters, or null.
LONG UpdateCheck(CONST_STRPTR name, CONST_STRPTR version, UWORD quiet, Object *obj);
// The name of a result code; "Unsupported result" for any other. Pure.
CONST_STRPTR UpdateResultText(LONG code);

// Sizes of the request address and of the version kept from a reply.
enum : ULONG { UPDATE_REQUEST_SIZE = 128 };
// A reply larger than this is read only this far, whatever length the
// server announces.
enum : ULONG { UPDATE_REPLY_MAX = 65536, UPDATE_REPLY_UNKNOWN = 10240 };

// Classifies a reply (text up to its first NUL). For a new version (result
// 1) the first line, cut to 127 characters, goes to version (128 bytes) and
// *notes points at the text after the first line feed ("" without one).
// Pure, no I/O.
LONG ClassifyUpdateReply(CONST_STRPTR reply, STRPTR version, CONST_STRPTR *notes);

// Makes a reply fit to show: text-engine escapes and other control bytes
// (line feeds and tabs stay) are taken out, and a reply in UTF-8 becomes
// Latin-1. In place; the text only gets shorter.
void CleanUpdateReply(STRPTR reply);

// Hosts of the outside services: $MELODUNE_UPDATE_HOST and
// $MELODUNE_HOMEPAGE_HOST (host name and an optional ":port", no scheme),
// else the project's own host. A value that is not a host name is ignored.
CONST_STRPTR UpdateServiceHost();
CONST_STRPTR HomepageHost();
