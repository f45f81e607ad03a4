// The host's root folder (one folder per volume) and the skeleton the
// project ships for it: default station list, icons, empty volumes.
#pragma once

#include <string>

namespace platform {

// $XDG_DATA_HOME/melodune/root, else ~/.local/share/melodune/root; "" when
// neither the variable nor a home folder is known.
std::string DefaultRootDir();

// The skeleton folder: next to the binaries (<exeDir>/../share/melodune/
// skeleton, as the build and an installation lay it out), else the
// fallback (the source tree) when it exists; "" when none is found.
std::string FindSkeleton(const std::string &exeDir, const std::string &fallback);

// The folder of the running executable ("" if unknown).
std::string ExecutableDir();

// Copies everything of the skeleton that the root lacks into it, making the
// root if needed. Existing files are never overwritten; names are matched
// without regard to case (as the volumes are), so an existing "sys" folder
// receives the skeleton's "SYS". Placeholder files named ".keep" only make
// their folder. Returns false with a message when the root cannot be made
// or a copy fails.
bool PrepareRoot(const std::string &root, const std::string &skeleton, std::string *error);

} // namespace platform
