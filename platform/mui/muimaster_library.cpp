// The toolkit as a library: plug-ins open "muimaster.library" with a minimum
// version before they make their classes.
#include "mui/mui.h"

namespace {
struct Register {
  Register() { platform::RegisterLibrary(MUIMASTER_NAME, 21, 0, "muimaster 21.0"); }
} registerMuimaster;
} // namespace
