// The bar's tooltip: what plays, the current title, the recording and its
// size, and a word when a newer version is out. A new text each time it is
// asked for; MUIM_DeleteShortHelp frees it.
#include <cstring>
#include <string>
#include <vector>

#include "dos/dos.h"
#include "recording/Recording.h"
#include "streaminfo/StreamInfo.h"

namespace {

const char PlayingAndRecording[] =
    "\33cListening to %s%s%s\33n\nRecording from %s\nsince %s (%s), filesize: %LD bytes%s";
const char PlayingOnly[] = "\33cListening\xA0to\xA0%s%s%s%s";
const char RecordingOnly[] = "\33cRecording from %s\nsince %s (%s), filesize: %LD bytes%s";
const char Idle[] = "\33cHello I'm your Melodune!%sPlease select a radio station from the pop-up menu!%s";
const char UpdateLine[] = "\33n\nBtw, there is a new version available!";

IPTR Text(const std::string &s) { return reinterpret_cast<IPTR>(s.c_str()); }

} // namespace

MELODUNE_HANDLER(Melodune_CreateShortHelp) {
  (void)cl, (void)obj, (void)msg;
  const bool playing = g.Out.load() != nullptr, recording = g.recOut.load() != nullptr;
  const bool newer = g.newVersionAvailable.load() != 0;
  const LONG current = g.currStation.load();
  const std::string name = current == -1 ? "" : StreamInfoStationName(current);
  const std::string recName = StationMenuTitle(g.recStation.load());
  const bool titled = g.title.IsSet();
  const std::string titleLead = titled ? "\nCurrent title is \33b" : "", title = titled ? g.title.Get() : "";
  const std::string update = newer ? UpdateLine : "";
  const std::string date = g.recDate.Get(), time = g.recTime.Get();
  const IPTR size = recording ? static_cast<IPTR>(Filesize64(g.recFileName.Get().c_str(), 1)) : 0;

  std::string text;
  if (playing && recording) {
    const IPTR v[] = {Text(name), Text(titleLead), Text(title), Text(recName),
                      Text(date), Text(time),      size,        Text(update)};
    text = FormatString(PlayingAndRecording, v);
  } else if (playing) {
    const IPTR v[] = {Text(name), Text(titleLead), Text(title), Text(update)};
    text = FormatString(PlayingOnly, v);
  } else if (recording) {
    const IPTR v[] = {Text(recName), Text(date), Text(time), size, Text(update)};
    text = FormatString(RecordingOnly, v);
  } else {
    const IPTR v[] = {reinterpret_cast<IPTR>(newer ? "\n" : " "), Text(update)};
    text = FormatString(Idle, v);
  }

  auto *help = static_cast<STRPTR>(AllocVec(static_cast<ULONG>(text.size() + 1), MEMF_ANY));
  if (help) std::memcpy(help, text.c_str(), text.size() + 1);
  return reinterpret_cast<IPTR>(help);
}
