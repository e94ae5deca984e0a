#include "ZSettingsPlace.h"

#include "ZRelationFile.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool IsAbsolute(const char* path) {
    return path && path[0] == '/';
}

std::string FolderOf(const std::string& fileName) {
    const std::size_t slash = fileName.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : fileName.substr(0, slash);
}

bool IsFolder(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

std::string UserConfigHome(const char* xdgConfigHome, const char* home) {
    if (IsAbsolute(xdgConfigHome)) return xdgConfigHome;
    if (IsAbsolute(home)) {
        std::string base(home);
        if (base.size() > 1 && base.back() == '/') base.pop_back();
        return (base == "/" ? std::string() : base) + "/.config";
    }
    return std::string();
}

TSettingsPlace ChooseSettingsPlace(const std::string& besideExecutable, bool besideWritable,
                                   const std::string& configHome) {
    if (besideWritable || configHome.empty()) return {besideExecutable, false};
    std::string folder = configHome;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    if (folder == "/") folder.clear();
    return {folder + "/" + kUserSettingsFolder + "/" + kUserSettingsName, true};
}

bool FolderOfFileWritable(const std::string& fileName) {
    if (fileName.empty()) return false;
    const std::string folder = FolderOf(fileName);
    struct stat st;
    return ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0 &&
           ::stat(folder.c_str(), &st) == 0 && (st.st_mode & 0222) != 0;
}

TSettingsPlace SettingsPlace(const std::string& executablePath) {
    const std::string beside = RelationFileName(executablePath, kSettingsExtension);
    return ChooseSettingsPlace(beside, FolderOfFileWritable(beside),
                               UserConfigHome(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME")));
}

bool CreateSettingsFolder(const std::string& fileName) {
    const std::string folder = FolderOf(fileName);
    if (IsFolder(folder)) return true;
    // Each missing folder from the top down.
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) == 0)
            ::chmod(part.c_str(), 0700); // whatever the umask took away
        else if (errno != EEXIST)
            return false;
        if (slash == std::string::npos) break;
    }
    return IsFolder(folder);
}

TProfileFileOps UserSettingsFileOps() {
    TProfileFileOps ops;
    ops.newFileMode = 0600;
    return ops;
}
