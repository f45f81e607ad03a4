// Stand-in for the station list's load method until the list's own loader
// is linked in: scripts that come before any click still find stations.
// It is weak like the declaration, and the loader in stations/ precedes this
// file in the link, so the real one wins once it exists.
#include "Melodune.h"
#include "stations/Stations.h"

MELODUNE_WEAK MELODUNE_HANDLER(Melodune_LoadStations) {
  (void)cl, (void)obj, (void)msg;
  if (LoadStationList()) BuildStationMenu();
  return 0;
}
