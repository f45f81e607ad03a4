// Start-up of a shell program such as Pixmorph on Linux: its arguments, the
// dos root and a current directory that matches the shell's.
#pragma once

namespace platform {

// For programs started from a Linux shell (Pixmorph): the volume HOST: is
// the Linux file system ("HOST:home/me/a.png" is /home/me/a.png), and names
// the Linux shell's way work too: "/home/me/a.png" (a leading '/' is then the
// file system's root, not the parent), "./a.png", "../a.png". The title-bar
// host never turns this on and keeps to its root folder.
constexpr char kHostVolume[] = "HOST";
void EnableHostNames(bool on);

// Hands argv to ReadArgs, sets the dos root ($MELODUNE_ROOT, else the user's
// data folder "melodune", made if missing), turns on HOST: and Linux-style
// names (EnableHostNames), and makes the shell's current directory the
// current directory: its drawer on the volume when it lies inside the root,
// else the same drawer on HOST:. So relative names mean what the user sees.
// False when no root could be set up.
bool StartShellProgram(int argc, char **argv);

} // namespace platform
