#include "SessionBus.h"

#include <sys/stat.h>

namespace instance {

bool SessionBusUnreachable(const char* address, const char* runtimeDirectory,
                           bool launcherInstalled) {
    if (address != nullptr && *address != '\0') return false;
    if (launcherInstalled) return false;
    if (runtimeDirectory != nullptr && *runtimeDirectory != '\0') {
        const std::string bus = std::string(runtimeDirectory) + "/bus";
        struct stat info {};
        if (::stat(bus.c_str(), &info) == 0) return false;
    }
    return true;
}

} // namespace instance
