// Whether a session message bus can be reached at all. Asked for it with none named, the D-Bus
// library forks its launcher (X11 autolaunch), which on a machine without one only fails, and
// which the toolkit's accessibility bridge asks for while the first window shows.
#pragma once

#include <string>

namespace instance {

// True when no bus address is given (`address` null or empty), the runtime folder (may be
// null) has no "bus" socket and `launcherInstalled` says no launcher exists: nothing could
// answer.
bool SessionBusUnreachable(const char* address, const char* runtimeDirectory,
                           bool launcherInstalled);

// Whether `searchPath` (folders separated by ":", as in PATH; may be null) holds an executable
// regular file of the name. Empty entries are skipped.
bool OnSearchPath(const char* searchPath, const char* name);

} // namespace instance
