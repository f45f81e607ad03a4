// The one entry point of every user command, the mute toggle, and the
// stream's audio information from its response headers.
//
// Melodune_MenuAction and Melodune_DeleteAudioInfo run on the GUI task (the
// menu, the click notification, pushed methods); Melodune_AudioInfo on the
// connection worker, from a connect that just succeeded. They read the play
// chain under its read lock (LockPlayChain) and take no other lock; the
// bubble handle is passed on by exchange, so the worker and the GUI task may
// both delete it.
#include <cstring>
#include <string>
#include <vector>

#include "Melodune.h"
#include "Melodune_args.h"
#include "Playback.h"
#include "Playback_private.h"
#include "dos/dos.h"
#include "reggae/reggae.h"
#include "stations/Stations.h"

namespace {

const char AudioInfoTemplate[] =
    "ice-channels=channels/A/K/N,ice-samplerate=samplerate/A/K/N,ice-bitrate=bitrate/A/K/N";
const char InfoFormat[] = "\33cListening to \33b%s\33n\n\33bBitrate:\33n %ld kps, \33bSamplerate:\33n %ld Hz, "
                          "%ld \33bchannels\33n";
const char InfoFormatText[] = "\33cListening to \33b%s\33n\n\33bBitrate:\33n %s kps, \33bSamplerate:\33n %s Hz";

void ToggleMute() {
  Object *out = g.Out.load();
  if (!out) return;
  IPTR muted = 0;
  {
    auto lock = LockPlayChain();
    if (out != GetAudioObj()) return;
    DoMethod(out, MMM_GetPort, 0, MMA_Sound_Mute, &muted);
    MediaSetPort(out, 0, MMA_Sound_Mute, muted ? 0 : 1);
    muted = 0;
    DoMethod(out, MMM_GetPort, 0, MMA_Sound_Mute, &muted);
  }
  if (Object *item = g.itemMute.load()) SetAttrs(item, MUIA_Menuitem_Title, muted ? "Unmute" : "Mute");
}

// An output attribute of the playing chain, 0 when unknown. The connect
// is over only once the output decoded its first frame, so what it knows
// it knows now: nothing here waits (the connection lock is held).
LONG OutputAttr(IPTR attr) {
  auto lock = LockPlayChain();
  Object *out = g.Out.load();
  if (!out || out != GetAudioObj()) return 0;
  IPTR value = 0;
  DoMethod(out, MMM_GetPort, 0, attr, &value);
  return static_cast<LONG>(value);
}

// The header pairs of the chain's http.stream, copied under the chain lock.
bool CopyHeaders(std::vector<std::string> &pairs) {
  auto lock = LockPlayChain();
  Object *http = GetHttpObj();
  if (!http) return false;
  auto list = reinterpret_cast<CONST_STRPTR *>(DoMethod(http, MMM_Http_HeaderList));
  if (!list) return false;
  for (size_t i = 0; list[i] && list[i + 1]; i += 2) {
    pairs.emplace_back(list[i]);
    pairs.emplace_back(list[i + 1]);
  }
  return true;
}

} // namespace

// ---- menu actions ----------------------------------------------------------------------------------

MELODUNE_HANDLER(Melodune_MenuAction) {
  (void)cl;
  auto choice = static_cast<SIPTR>(reinterpret_cast<MP_Melodune_MenuAction *>(msg)->choice);

  if (choice == MENU_CLICK) {
    if (!g.stations.load()) DoMethod(obj, MM_Melodune_LoadStations);
    if (Object *strip = g.menustrip.load()) {
      choice = static_cast<SIPTR>(DoMethod(strip, MUIM_Menustrip_Popup, obj, 0, _left(obj), _bottom(obj)));
    } else if (g.infoText.IsSet() || g.infoBubble.load()) {
      DoMethod(obj, MM_Melodune_DeleteAudioInfo);
    }
  }

  // An attempt of a reconnect sequence, still wanted or not.
  if (choice >= 0 && (static_cast<IPTR>(choice) & ReconnectChoice)) {
    const auto serial = static_cast<ULONG>(reinterpret_cast<IPTR *>(msg)[2]);
    const LONG station = TakeReconnect(serial);
    if (station >= 0) SendConnect(g.slaveConnection.load(), station, serial);
    return 0;
  }

  // What the user chooses ends what ran on its own: a connect still
  // waiting for its server, or the attempts to get a dropped stream back.
  if (choice == static_cast<SIPTR>(MENU_STOP) || choice >= static_cast<SIPTR>(MENU_FIRSTSTATION)) {
    EndReconnect();
    AbortConnects();
  }

  switch (choice) {
  case MENU_CLICK: break;
  case MENU_STOP:
    if (Object *slave = g.slaveConnection.load()) DoMethod(slave, MM_Melodune_XDisConnect, 0);
    if (Object *si = g.streamInfoWin.load()) SetAttrs(si, MUIA_Window_Open, FALSE);
    break;
  case MENU_MUTE: ToggleMute(); break;
  case MENU_RECORD:
    if (Object *rec = g.slaveRec.load()) DoMethod(rec, MM_Melodune_XRecord, 0);
    break;
  case MENU_EDIT: DoMethod(obj, MM_Melodune_EditStations); break;
  case MENU_STREAMINFO: DoMethod(obj, MM_Melodune_StreamInfoWindow); break;
  case MENU_UPDATECHECK: DoMethod(obj, MM_Melodune_UpdateCheck, 0); break;
  default:
    if (choice >= static_cast<SIPTR>(MENU_FIRSTSTATION)) {
      SendConnect(g.slaveConnection.load(), static_cast<LONG>(choice - MENU_FIRSTSTATION), 0);
    }
    break;
  }
  return 0;
}

// ---- audio information ----------------------------------------------------------------------------------

MELODUNE_HANDLER(Melodune_AudioInfo) {
  (void)cl;
  const auto index = static_cast<LONG>(reinterpret_cast<MP_Melodune_Index *>(msg)->index);
  if (g.infoText.IsSet() || g.infoBubble.load()) DoMethod(obj, MM_Melodune_DeleteAudioInfo);
  g.bitrate = 0;
  g.samplerate = 0;
  g.channels = 0;

  std::vector<std::string> pairs;
  if (!CopyHeaders(pairs)) return 0;
  std::string name;
  GetStation(index, &name, nullptr, nullptr);

  std::string info;
  long br = -1, sr = -1;
  for (size_t i = 0; i + 1 < pairs.size() && info.empty(); i += 2) {
    const std::string &key = pairs[i];
    if (key == "ice-audio-info" || key == "icy-audio-info") {
      std::string value = pairs[i + 1];
      for (char &c : value)
        if (c == ';') c = ' ';
      IPTR args[3] = {};
      if (struct RDArgs *rda = ReadArgsString(AudioInfoTemplate, value.c_str(), args)) {
        const LONG channels = *reinterpret_cast<LONG *>(args[0]);
        const LONG samplerate = *reinterpret_cast<LONG *>(args[1]);
        const LONG bitrate = *reinterpret_cast<LONG *>(args[2]);
        g.bitrate = bitrate;
        g.samplerate = samplerate ? samplerate : OutputAttr(MMA_Sound_SampleRate);
        g.channels = channels ? channels : OutputAttr(MMA_Sound_Channels);
        info = FormatValues(InfoFormat, {reinterpret_cast<IPTR>(name.c_str()), ToIPTR(bitrate), ToIPTR(samplerate),
                                   ToIPTR(channels)}, 1024);
        FreeArgsString(rda);
      }
    } else if (key == "icy-br") {
      br = static_cast<long>(i);
    } else if (key == "icy-sr") {
      sr = static_cast<long>(i);
    }
  }

  if (info.empty()) {
    CONST_STRPTR brText = br >= 0 ? pairs[br + 1].c_str() : "Unknown";
    CONST_STRPTR srText = sr >= 0 ? pairs[sr + 1].c_str() : "Unknown";
    info = FormatValues(InfoFormatText, {reinterpret_cast<IPTR>(name.c_str()), reinterpret_cast<IPTR>(brText),
                                   reinterpret_cast<IPTR>(srText)}, 1024);
    LONG n = 0;
    if (br >= 0 && StrToLong(brText, &n) > 0) g.bitrate = n;
    n = 0;
    if (sr >= 0 && StrToLong(srText, &n) > 0) g.samplerate = n;
    if (!g.channels.load()) g.channels = OutputAttr(MMA_Sound_Channels);
    if (!g.samplerate.load()) g.samplerate = OutputAttr(MMA_Sound_SampleRate);
  }

  g.infoText.Set(info.c_str());
  g.infoBubbleObj = obj;
  g.infoBubble = reinterpret_cast<APTR>(DoMethod(obj, MUIM_CreateBubble, _left(obj), _bottom(obj), info.c_str(), 0));
  MeloPush(obj, 4000, MM_Melodune_DeleteAudioInfo);
  return 0;
}

MELODUNE_HANDLER(Melodune_DeleteAudioInfo) {
  (void)cl, (void)obj, (void)msg;
  // The worker and the GUI task may both come here: whoever takes the
  // handle removes the bubble.
  if (APTR bubble = g.infoBubble.exchange(nullptr)) {
    if (Object *owner = g.infoBubbleObj.exchange(nullptr)) DoMethod(owner, MUIM_DeleteBubble, bubble);
  }
  g.infoText.Clear();
  return 0;
}
