#include "Pixmo.h"

#include <cstring>

#include "PixmoTrace.h"
#include "dos/dos.h"
#include "exec/exec.h"
#include "mui/object.h"
#include "reggae/reggae.h"

namespace {

// Opened in this order, closed in the reverse one.
CONST_STRPTR const Libraries[] = {
    "multimedia/multimedia.class", "multimedia/memory.stream", "multimedia/rawvideo.filter",
    "multimedia/scale.filter",     "multimedia/file.output",
};
constexpr int NumLibraries = 5;

// The wait for the written file: up to 60 s, looked at every 0.1 s.
constexpr LONG WaitSteps = 600;
constexpr LONG WaitTicks = 5;

// A framework error that a step reported, on the trace behind the step's words.
void TraceMediaError(CONST_STRPTR step, LONG errCode) {
  if (errCode != MMERR_OK) PIXMO_TRACE("%sReggaeErrCode = %ld (%s)\n", step, errCode, MediaFault(errCode));
}

// Disposes of an object of the chain (null is fine), saying so on the trace.
void DisposeTraced(CONST_STRPTR name, Object *o) {
  if (!o) return;
  PIXMO_TRACE("Disposing obj %s = 0x%08lx\n", name, o);
  DisposeObject(o);
}

} // namespace

LONG PixmoAndSave(CONST_STRPTR source, LONG width, LONG height, CONST_STRPTR destination) {
  struct Library *libs[NumLibraries] = {};
  Object *src = nullptr, *mem = nullptr, *flt = nullptr, *scl = nullptr, *saver = nullptr, *out = nullptr;
  APTR pixels = nullptr;
  LONG exception = PIXMO_OK;
  IPTR detail = 0; // a text, or a number for code 5
  LONG errCode = MMERR_OK;
  ULONG size = 0;
  QUAD streamLength = 0;
  char scaleArgs[64];
  BOOL isURL;

  auto fail = [&](LONG code, IPTR what) {
    exception = code;
    detail = what;
  };
  // Every step in turn; the first that fails says why and ends the run.
  [&] {
    for (int i = 0; i < NumLibraries; ++i) {
      libs[i] = OpenLibrary(Libraries[i], 0);
      if (!libs[i]) return fail(PIXMO_NO_LIBRARY, ToIPTR(Libraries[i]));
    }

    isURL = source && std::strncmp(source, "http", 4) == 0;
    PIXMO_TRACE("isURL = %ld\n", LONG(isURL));
    exception = PIXMO_OK;
    detail = 0;
    errCode = MMERR_OK;

    // With both sides given, a large picture may be decoded smaller as long as
    // it keeps four source pixels for each one of the result in both
    // directions: the average comes out the same, at a fraction of the work
    // and memory.
    src = MediaNewObjectTags(MMA_StreamType, isURL ? "http.stream" : "file.stream",
                             isURL ? MMA_StreamURL : MMA_StreamName, source, MMA_MediaType, MMV_MediaType_Picture,
                             MMA_Picture_MinWidth, width > 0 && height > 0 ? IPTR(width) * 4 : 0, MMA_Picture_MinHeight,
                             width > 0 && height > 0 ? IPTR(height) * 4 : 0, MMA_ErrorCode, &errCode);
    TraceMediaError("", errCode);
    if (!src) return fail(PIXMO_NO_SOURCE, ToIPTR(source));

    {
      IPTR wid = MediaGetPort(src, 0, MMA_Video_Width);
      IPTR hei = MediaGetPort(src, 0, MMA_Video_Height);
      IPTR bpl = MediaGetPort(src, 0, MMA_Video_BytesPerRow);
      // The framework never reports a picture whose buffer would not fit in 32 bits.
      size = ULONG(wid * hei * 4);
      PIXMO_TRACE("wid = %ld, hei = %ld, bpl = %ld, size = %ld\n", wid, hei, bpl, size);

      pixels = MediaAllocVec(size);
      if (!pixels) return fail(PIXMO_NO_BUFFER, size);

      PIXMO_TRACE("do MMM_Pull\n");
      IPTR psize = DoMethod(src, MMM_Pull, 0, pixels, size);
      PIXMO_TRACE("psize = %ld\n", psize);
      if (psize != size) return fail(PIXMO_SHORT_PULL, ToIPTR("psize != size"));

      streamLength = QUAD(size); // high word 0 (the size is never negative), low word the size
      mem = NewObject(nullptr, "memory.stream", MMA_StreamHandle, pixels, MMA_StreamLength, &streamLength);
      if (!mem) return fail(PIXMO_NO_OBJECT, ToIPTR("memory.stream"));

      errCode = MMERR_OK;
      flt = NewObject(nullptr, "rawvideo.filter", MMA_Video_Width, wid, MMA_Video_Height, hei, MMA_ErrorCode, &errCode);
      TraceMediaError("create rawvideo.filter: ", errCode);
      if (!flt) return fail(PIXMO_NO_OBJECT, ToIPTR("rawvideo.filter"));
    }

    MediaSetPort(flt, 1, MMA_PortFormat, MMFC_VIDEO_ARGB32);

    errCode = MMERR_OK;
    if (!MediaConnectTags(mem, 0, flt, 0, MMA_ErrorCode, &errCode)) {
      TraceMediaError("Connect mem and flt: ", errCode);
      return fail(PIXMO_NO_CONNECT, ToIPTR("mem and flt"));
    }

    {
      // A side given as 0 keeps the picture's proportions.
      IPTR wid = MediaGetPort(src, 0, MMA_Video_Width), hei = MediaGetPort(src, 0, MMA_Video_Height);
      if (width == 0 && height == 0)
        width = LONG(wid), height = LONG(hei);
      else if (width == 0 && height > 0)
        width = LONG(QUAD(wid) * height / QUAD(hei) + ((QUAD(wid) * height % QUAD(hei)) * 2 >= QUAD(hei)));
      else if (height == 0 && width > 0)
        height = LONG(QUAD(hei) * width / QUAD(wid) + ((QUAD(hei) * width % QUAD(wid)) * 2 >= QUAD(wid)));
      width = width == 0 ? 1 : width;
      height = height == 0 ? 1 : height;
    }
    SNPrintf(scaleArgs, sizeof scaleArgs, "WIDTH=%ld HEIGHT=%ld MODE=4", width, height);
    errCode = MMERR_OK;
    scl = NewObject(nullptr, "scale.filter", MMA_ArgumentString, scaleArgs, MMA_ErrorCode, &errCode);
    TraceMediaError("create scale.filter: ", errCode);
    if (!scl) return fail(PIXMO_NO_OBJECT, ToIPTR("scale.filter"));

    if (!MediaConnect(flt, 1, scl, 0)) return fail(PIXMO_NO_CONNECT, ToIPTR("mem and flt"));

    errCode = MMERR_OK;
    saver = MediaBuildFromArgsTags("PNG", scl, 1, MMA_ErrorCode, &errCode);
    TraceMediaError("", errCode);
    if (!saver) return fail(PIXMO_NO_ENCODER, ToIPTR("PNG"));

    out = NewObject(nullptr, "file.output", MMA_StreamName, destination);
    if (!out) return fail(PIXMO_NO_OBJECT, ToIPTR("file.output"));

    if (!MediaConnect(saver, 1, out, 0)) return fail(PIXMO_NO_CONNECT, ToIPTR("saver and out"));

    {
      struct Task *me = FindTask(nullptr);
      // A CTRL-D left over from before would end the wait at once, on a file
      // not yet written.
      SetSignal(0, SIGBREAKF_CTRL_D);
      if (!DoMethod(out, MMM_SignalAtEnd, me, SIGBREAKB_CTRL_D)) {
        LONG e = LONG(MediaGetPort(out, 0, MMA_ErrorCode));
        PIXMO_TRACE("MMM_SignalAtEnd failed: ReggaeErrCode = %ld (%s)\n", e, MediaFault(e));
      }

      PIXMO_TRACE("do MMM_Play...\n");
      DoMethod(out, MMM_Play);

      PIXMO_TRACE("Wait for ctrl d for task 0x%08lx\n", me);
      // The end signal, within a bound: an icon is a few kilobytes, and an
      // output that stopped without signalling must not hold us for ever.
      bool ended = false;
      for (LONG i = 0; i < WaitSteps && !ended; ++i) {
        ended = (SetSignal(0, SIGBREAKF_CTRL_D) & SIGBREAKF_CTRL_D) != 0;
        if (!ended && MediaGetPort(out, 0, MMA_OutputState) != 1) ended = true; // ended, signal or not
        // Sleeps on the signal itself: the end is seen the moment it comes.
        if (!ended) ended = platform::WaitTimeout(SIGBREAKF_CTRL_D, WaitTicks * 20) != 0;
      }
      PIXMO_TRACE("Finished\n");
      if (!ended) {
        PIXMO_TRACE("No end signal after %ld s\n", WaitSteps * WaitTicks / 50);
        DoMethod(out, MMM_Stop);
        return fail(PIXMO_WRITE_FAILED, ToIPTR(destination));
      }

      // An output that ended on an error wrote no usable file: say so rather
      // than report success.
      LONG e = LONG(MediaGetPort(out, 0, MMA_ErrorCode));
      if (e != MMERR_OK && e != MMERR_END_OF_DATA) {
        PIXMO_TRACE("ReggaeErrCode = %ld (%s)\n", e, MediaFault(e));
        fail(PIXMO_WRITE_FAILED, ToIPTR(destination));
      }
    }
  }();

  PIXMO_TRACE("In EXCEPT DO, EXCEPTION = %ld\n", exception);
  switch (exception) {
  case PIXMO_NO_LIBRARY: PIXMO_TRACE("Failed to open %s!\n", detail); break;
  case PIXMO_NO_SOURCE: PIXMO_TRACE("MediaNewObjectTags(%s) failed!\n", detail); break;
  case PIXMO_NO_BUFFER: PIXMO_TRACE("MediaAllocVec(%ld)!\n", detail); break;
  case PIXMO_NO_OBJECT: PIXMO_TRACE("Failed to create %s object!\n", detail); break;
  case PIXMO_NO_CONNECT: PIXMO_TRACE("Failed to connect objects %s!\n", detail); break;
  case PIXMO_NO_ENCODER: PIXMO_TRACE("MediaBuildFromArgsTags(%s) failed\n", detail); break;
  case PIXMO_WRITE_FAILED: PIXMO_TRACE("Failed to write %s!\n", detail); break;
  default: break;
  }

  if (out) DoMethod(out, MMM_Stop);
  DisposeTraced("out", out);
  DisposeTraced("saver", saver);
  DisposeTraced("scl", scl);
  DisposeTraced("flt", flt);
  DisposeTraced("mem", mem);
  DisposeObject(src);
  MediaFreeVec(pixels);

  PIXMO_TRACE("Closing libs\n");
  for (int i = NumLibraries - 1; i >= 0; --i)
    CloseLibrary(libs[i]);
  PIXMO_TRACE("Return\n");
  return exception;
}
