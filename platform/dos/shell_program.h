// Start-up of a shell program such as Pixmorph on Linux: its arguments, the
// dos root and a current directory that matches the shell's.
#pragma once

namespace platform {

// Hands argv to ReadArgs, sets the dos root ($MELODUNE_ROOT, else the user's
// data folder "melodune", made if missing) and, when the shell's current
// directory lies inside that root, makes its drawer the current directory,
// so that relative names mean what the user sees; elsewhere it is SYS:.
// False when no root could be set up.
bool StartShellProgram(int argc, char **argv);

} // namespace platform
