#include "SessionBus.h"

#include <algorithm>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

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

bool OnSearchPath(const char* searchPath, const char* name) {
    if (searchPath == nullptr) return false;
    std::string_view rest(searchPath);
    while (!rest.empty()) {
        const std::size_t end = std::min(rest.find(':'), rest.size());
        const std::string_view folder = rest.substr(0, end);
        rest.remove_prefix(std::min(end + 1, rest.size()));
        if (folder.empty()) continue;
        const std::string file = std::string(folder) + "/" + name;
        struct stat info {};
        if (::stat(file.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            ::access(file.c_str(), X_OK) == 0)
            return true;
    }
    return false;
}

} // namespace instance
