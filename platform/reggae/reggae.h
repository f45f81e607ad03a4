// Reggae, the media framework: objects with numbered ports, connected output
// port to input port into a pipeline; data moves by pull (MMM_Pull).
//
// Writing a class on the base ("multimedia.class")
// -------------------------------------------------
//   static IPTR MyDispatcher(IClass *cl, Object *obj, Msg msg) {
//     switch (msg->MethodID) {
//     case OM_NEW: {
//       Object *o = (Object *)DoSuperMethodA(cl, obj, msg);   // base: name, ports
//       if (!o) return 0;
//       auto *d = (MyData *)INST_DATA(cl, o);                  // zeroed
//       ... read ((opSet *)msg)->ops_AttrList ...
//       if (failed) {
//         reggae::SetCreateError(((opSet *)msg)->ops_AttrList, MMERR_...);
//         CoerceMethod(cl, o, OM_DISPOSE);
//         return 0;
//       }
//       return (IPTR)o;
//     }
//     case OM_DISPOSE:  stop own threads, free own data, then DoSuperMethodA
//                       (the base first disconnects the ports and waits until
//                       no pull runs inside the object; reggae::Closing(obj)
//                       turns true before OM_DISPOSE reaches the subclass).
//     case MMM_Pull:    { auto *m = (mmpPull *)msg; ... } on the output port:
//                       fill m->Buffer, blocking until m->Length bytes or the
//                       end; read the input with reggae::PullInput(obj, 0, ...);
//                       at the end set reggae::SetPortError(obj, port, code).
//     case MMM_GetPort: answer own attributes (mmpGetPort, *Place is an IPTR;
//                       64-bit ones a QUAD), return TRUE; else DoSuperMethodA.
//     case MMM_SetPort: likewise.
//     }
//     return DoSuperMethodA(cl, obj, msg);
//   }
//   static IClass *const cls = reggae::MakeMediaClass("my.filter",
//       reggae::PortLayout::Filter, sizeof(MyData), MyDispatcher);
//   static Library *const lib = platform::RegisterLibrary("multimedia/my.filter", 52, 0);
// Optional: MMM_Connected (sent to both ends after a link is made; answer
// FALSE to refuse) and reggae::InterruptHook (called when the object starts
// closing, to wake blocked pulls).
//
// Ports: a source gives its data on port 0; every other object takes its
// input on port 0 and gives its output on port 1; an output takes input on
// port 0 only.
//
// Pull rule: MMM_Pull returns the bytes delivered. It blocks until Length
// bytes are there or the stream ends. Fewer bytes with the output port's
// error code 0 means "call again" (a PCM port does this when its format
// changes); fewer bytes with an error code means the end, and the code says
// why (MMERR_END_OF_DATA for a clean end).
//
// Attribute places: the port-attribute query writes one IPTR (a QUAD for the
// 64-bit attributes, which is the same size here) into the place; preset it
// to 0. Error-code and response-code places given at creation are LONGs.
#pragma once

#include <string>

#include "exec/exec.h"
#include "exec/tags.h"
#include "exec/types.h"
#include "mui/object.h"

// ---- attributes (tags at creation, or port attributes) ------------------------

enum : Tag {
  MMA_Dummy = 0x8EDA0000,
  MMA_MediaType = 0x8EDA0001,        // MediaNewObjectTags: what to build (MMV_MediaType_*)
  MMA_OwnTask = 0x8EDA0005,          // buffer, file.output: 1 = do the work on an own task (always done)
  MMA_StreamType = 0x8EDA0008,       // MediaNewObjectTags: "http.stream" or "file.stream"
  MMA_StreamName = 0x8EDA0009,       // file name (file.stream, file.output) or address without scheme (http.stream)
  MMA_ErrorCode = 0x8EDA000C,        // creation: LONG* place; port attribute: the port's error code
  MMA_StreamHandle = 0x8EDA000D,     // memory.stream: the memory block
  MMA_StreamLength = 0x8EDA0018,     // QUAD, 0 = unknown (memory.stream creation: QUAD*)
  MMA_ObjectName = 0x8EDA001D,       // text; http.stream: also the name of the connecting task
  MMA_ArgumentString = 0x8EDA0028,   // filter arguments ("WIDTH=32 HEIGHT=20 MODE=4")
  MMA_StreamURL = 0x8EDA0030,        // http.stream: full address ("http://host/path"; no scheme = http)
  MMA_PortFormat = 0x8EDA00CB,       // port's data format (MMFC_*)
  MMA_Sound_Channels = 0x8EDA012C,   // PCM ports, audio.output
  MMA_Sound_SampleRate = 0x8EDA012D, // PCM ports, audio.output (Hz)
  MMA_Sound_Mute = 0x8EDA0135,       // audio.output port 0: 1 = muted (silence, keeps pace)
  MMA_OutputState = 0x8EDA0137,      // audio.output / file.output port 0: 1 exactly while playing
  MMA_Sound_BitRate = 0x8EDA0138,    // mpegaudio ports: kbit/s of the last frame
  MMA_Video_Width = 0x8EDA0190,
  MMA_Video_Height = 0x8EDA0191,
  MMA_Video_BytesPerRow = 0x8EDA01F2,
  MMA_Http_Headers = 0x8EDA044D,     // http.stream: null-terminated array of texts, name, value, name, value...
  MMA_StreamBuffer_Task = 0x8EDA044F, // stream.buffer port 1: the reader task (struct Task *)
  MMA_Http_UserAgent = 0x8EDA0454,
  MMA_Http_RequestHeaders = 0x8EDA0455, // array of texts: name, value, ..., ended by a null name
  MMA_Http_ResponseCode = 0x8EDA0458,   // creation: LONG* place for the HTTP status code
  MMA_StreamBuffer_Fill = 0x8EDA05DE,   // stream.buffer port 0: fill level, 16.16 fraction (65536 = full)
  MMA_StreamBuffer_Size = 0x8EDA05DF,   // stream.buffer creation: ring size in bytes
  MMA_Shoutcast_MetaInterval = 0x8EDA05E0, // shoutcast.demuxer creation: audio bytes between metadata blocks
  MMA_StreamBuffer_Received = 0x8EDA05E1,  // stream.buffer port 0: bytes taken from the input so far
  // MediaNewObjectTags for a picture: the size it will be scaled down to at
  // least. A large JPEG or WebP is then decoded smaller (by 2, 4 or 8) while
  // both sides stay at least this; the source reports the decoded size.
  MMA_Picture_MinWidth = 0x8EDA0700,
  MMA_Picture_MinHeight = 0x8EDA0701,
};

enum : IPTR {
  MMV_MediaType_Audio = 1,
  MMV_MediaType_Picture = 2,
};

// Port formats.
enum : IPTR {
  MMFC_STREAM = 0x1,              // plain bytes
  MMFC_AUDIO_MPEG = 0x100,        // MPEG audio frames
  MMFC_AUDIO_INT16 = 0x101,       // signed 16-bit native-endian PCM, interleaved
  MMFC_VIDEO_ARGB32 = 0x10004,    // 32-bit pixels A,R,G,B in memory order
  MMFC_PICTURE_PNG = 0x20001,     // a PNG file's bytes
};

// ---- methods ----------------------------------------------------------------------

enum : IPTR {
  MMM_GetPort = 0x8EDA0049,       // (port, attribute, IPTR *place) -> TRUE when known
  MMM_SetPort = 0x8EDA004A,       // (port, attribute, value) -> TRUE when taken
  MMM_Pull = 0x8EDA004B,          // (port, buffer, length) -> bytes delivered
  MMM_Connected = 0x8EDA004C,     // (port, peer object, peer port) -> FALSE refuses the link
  MMM_PullSome = 0x8EDA004D,      // as MMM_Pull, but returns as soon as at least 1 byte is there
  MMM_Play = 0x8EDA0053,          // outputs: start pulling on an own task; TRUE when started
  MMM_Stop = 0x8EDA0054,          // outputs: stop and join the task (before disposing)
  MMM_SignalAtEnd = 0x8EDA0056,   // (struct Task *, signal number) -> TRUE when accepted
  MMM_QueryMetaData = 0x8EDA0060, // (1, 0, 0) -> struct TagItem * or null
  MMM_DisposeMetaData = 0x8EDA0061, // (struct TagItem *)
  MMM_Http_HeaderList = 0x8EDA044D, // () -> the header array (as MMA_Http_Headers)
  MMM_Http_GetHeader = 0x8EDA04AF,  // (name) -> value text or null; names match case-insensitively
};

struct mmpGetPort {
  IPTR MethodID;
  IPTR Port;
  IPTR Attribute;
  IPTR *Place;
};
struct mmpSetPort {
  IPTR MethodID;
  IPTR Port;
  IPTR Attribute;
  IPTR Value;
};
struct mmpPull {
  IPTR MethodID;
  IPTR Port;
  APTR Buffer;
  IPTR Length;
};
struct mmpConnected {
  IPTR MethodID;
  IPTR Port;
  Object *Peer;
  IPTR PeerPort;
};
struct mmpSignalAtEnd {
  IPTR MethodID;
  struct Task *Task;
  IPTR SigBit;
};

// ---- metadata (MMM_QueryMetaData) ----------------------------------------------------

enum : Tag {
  MMETA_Title = 0x800045A2,     // ti_Data: a sub tag list with the five items below
  MMETA_Data = 0xA7A93E06,      // pointer to the text (Latin-1, NUL-terminated)
  MMETA_Size = 0xA7A93E07,      // bytes including the NUL
  MMETA_CharCount = 0xA7A93E08, // characters
  MMETA_Type = 0xA7A93E09,      // MMETA_TYPE_*
  MMETA_Importance = 0xA7A93E0A,
};
enum : IPTR { MMETA_TYPE_STRING = 1 };

// ---- error codes (MediaFault gives the text) -----------------------------------------

enum : LONG {
  MMERR_OK = 0,
  MMERR_END_OF_DATA = 1101,
  MMERR_NO_MEMORY = 1102,
  MMERR_BAD_ARGUMENTS = 1103,
  MMERR_NOT_SUPPORTED = 1104,
  MMERR_NOT_CONNECTED = 1105,
  MMERR_WRONG_PORT = 1106,
  MMERR_ALREADY_CONNECTED = 1107,
  MMERR_NO_TASK = 1108,
  MMERR_HOST_NOT_FOUND = 1110,
  MMERR_CONNECTION_REFUSED = 1111,
  MMERR_TIMEOUT = 1112,
  MMERR_ABORTED = 1113,
  MMERR_HTTP_ERROR = 1114,
  MMERR_NETWORK = 1115,
  MMERR_SECURE_CONNECTION = 1116,
  MMERR_TOO_MANY_REDIRECTS = 1117,
  MMERR_BAD_ADDRESS = 1118,
  MMERR_BAD_RESPONSE = 1119,
  MMERR_UNSUPPORTED_FORMAT = 1120,
  MMERR_CORRUPT_DATA = 1121,
  MMERR_TOO_LARGE = 1122,
  MMERR_FILE_NOT_FOUND = 1130,
  MMERR_DISK_FULL = 1131,
  MMERR_WRITE_FAILED = 1132,
  MMERR_READ_FAILED = 1133,
  MMERR_CANNOT_OPEN_FILE = 1134,
  MMERR_WRITE_PROTECTED = 1135,
  MMERR_NO_AUDIO_DEVICE = 1140,
};

// The text for an error code; never null ("unknown error" for codes not listed).
CONST_STRPTR MediaFault(LONG code);

// ---- framework calls --------------------------------------------------------------------

// Links output port srcPort of src to input port dstPort of dst. Tags:
// MMA_ErrorCode (LONG *place, filled on failure). TRUE when connected.
BOOL MediaConnectTagList(Object *src, ULONG srcPort, Object *dst, ULONG dstPort, struct TagItem *tags);
template <typename... A> BOOL MediaConnectTags(Object *src, ULONG srcPort, Object *dst, ULONG dstPort, A... tags) {
  TagArray t(tags...);
  return MediaConnectTagList(src, srcPort, dst, dstPort, t.items());
}
inline BOOL MediaConnect(Object *src, ULONG srcPort, Object *dst, ULONG dstPort) {
  return MediaConnectTagList(src, srcPort, dst, dstPort, nullptr);
}

// Port-attribute convenience: the value, or 0 when the port does not know it.
IPTR MediaGetPort(Object *obj, ULONG port, IPTR attr);
BOOL MediaSetPort(Object *obj, ULONG port, IPTR attr, IPTR value);

// Builds a decoding source for a file or an address (MMA_StreamType,
// MMA_StreamName / MMA_StreamURL, MMA_MediaType, MMA_ErrorCode).
Object *MediaNewObjectTagList(struct TagItem *tags);
template <typename... A> Object *MediaNewObjectTags(A... tags) {
  TagArray t(tags...);
  return MediaNewObjectTagList(t.items());
}
// Builds an encoder by format name ("PNG") behind output port `port` of `obj`
// (connected to it); its encoded bytes come out of its port 1.
Object *MediaBuildFromArgsTagList(CONST_STRPTR args, Object *obj, ULONG port, struct TagItem *tags);
template <typename... A> Object *MediaBuildFromArgsTags(CONST_STRPTR args, Object *obj, ULONG port, A... tags) {
  TagArray t(tags...);
  return MediaBuildFromArgsTagList(args, obj, port, t.items());
}

// Buffers for pulled data (aligned for any sample or pixel type).
APTR MediaAllocVec(ULONG size);
void MediaFreeVec(APTR mem); // null is fine

// ---- platform side ------------------------------------------------------------------------

namespace platform {
// The audio device of every audio.output made from now on:
// "auto" (sound server, else ALSA, else null), "null" (paced, silent),
// "wav:FILE" (Linux path; writes what would be heard), "pulse", "alsa".
// Default: $MELODUNE_AUDIO, else "auto".
void SetAudioDevice(const std::string &device);
// For tests of a drawer that fills up: file.output objects together write at
// most this many bytes more, then every write fails as on a full disk
// (ERROR_DISK_FULL). Negative: no limit (the default).
void SetFileOutputSpace(int64_t bytes);
std::string AudioDevice();
} // namespace platform

// ---- for the platform's own classes (C++) ---------------------------------------------------

namespace reggae {

enum class PortLayout { Source, Filter, Sink };

// Makes, adds and returns a subclass of multimedia.class (safe from static
// initialisers: the root class is made on first use).
struct IClass *MakeMediaClass(CONST_STRPTR classID, PortLayout layout, ULONG instSize, DISPATCHERFUNC dispatcher);
struct IClass *RootClass();

// Pulls from whatever is connected to input port `inPort` of obj. Returns the
// bytes delivered (the pull rule above); when fewer, InputError tells why.
// Not connected: 0 with MMERR_NOT_CONNECTED.
LONG PullInput(Object *obj, ULONG inPort, APTR buffer, LONG length);
LONG InputError(Object *obj, ULONG inPort);
// As PullInput with MMM_PullSome: whatever is there (at least 1 byte unless
// the input ended). Classes without MMM_PullSome answer it as MMM_Pull.
LONG PullInputSome(Object *obj, ULONG inPort, APTR buffer, LONG length);
// Asks the object connected to input port `inPort` for a port attribute.
IPTR GetInputAttr(Object *obj, ULONG inPort, IPTR attr);
Object *InputPeer(Object *obj, ULONG inPort); // for identification only

void SetPortError(Object *obj, ULONG port, LONG code);
LONG PortError(Object *obj, ULONG port);
CONST_STRPTR ObjectName(Object *obj); // MMA_ObjectName, or null
bool Closing(Object *obj);           // disposal has begun

// Writes code into the MMA_ErrorCode place of a tag list, if there is one.
void SetCreateError(struct TagItem *tags, LONG code);
// Called once when disposal begins (before the object waits for running
// pulls to leave it); wakes whatever blocks inside the object.
void SetInterruptHook(Object *obj, void (*hook)(Object *obj, void *user), void *user);
// Called when an object downstream (one that pulls from obj, directly or
// through others) begins its disposal or has its pulls aborted: wakes waits
// inside obj (a network poll, a condition) so that they look at ShouldAbort
// again at once. It runs under the link lock, must not block, and must be
// harmless when nothing changed for obj.
void SetWakeHook(Object *obj, void (*hook)(Object *obj, void *user), void *user);

// A blocking wait inside a pull gives up when this is true: the object is
// being disposed, or the calling task got SIGBREAKF_CTRL_C (which is cleared
// and reported as MMERR_ABORTED through *why).
bool ShouldAbort(Object *obj, LONG *why);
// Makes every pull that obj is making (and the waits inside it) give up, as
// ShouldAbort reports, until called again with false. Outputs use it to stop.
void AbortPulls(Object *obj, bool abort);

} // namespace reggae
