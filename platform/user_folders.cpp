// XDG user folders.
#include "platform/user_folders.h"

#include "platform/file_io.h"
#include "platform/home.h"

#include <cstdlib>
#include <fstream>

namespace platform {
namespace {

// The value of Key in user-dirs.dirs ("$HOME/Desktop" style, quoted), or empty.
std::string UserDirsValue(const std::string& key) {
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    const std::string home = UserHomeDir();
    const std::string config =
        configHome && configHome[0] == '/' ? std::string(configHome) : home + "/.config";
    std::ifstream file(config + "/user-dirs.dirs");
    std::string line;
    while (std::getline(file, line)) {
        if (line.empty() || line[0] == '#' || line.compare(0, key.size() + 1, key + "=") != 0)
            continue;
        std::string value = line.substr(key.size() + 1);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (value.compare(0, 5, "$HOME") == 0)
            value = home + value.substr(5);
        else if (value.empty() || value[0] != '/')
            continue;
        return ExcludeTrailingPathDelimiter(value);
    }
    return std::string();
}

std::string UserFolder(const char* key, const char* fallback) {
    std::string path = UserDirsValue(key);
    if (path.empty())
        path = UserHomeDir() + "/" + fallback;
    return path;
}

} // namespace

std::string SpecialFolderPath(std::uint8_t folder) {
    switch (folder) {
    case CSIDL_DESKTOPDIRECTORY:
        return UserFolder("XDG_DESKTOP_DIR", "Desktop");
    case CSIDL_PERSONAL:
        return UserFolder("XDG_DOCUMENTS_DIR", "Documents");
    case CSIDL_FAVORITES: {
        const std::string favourites = UserHomeDir() + "/Favorites";
        return DirectoryExists(favourites) ? favourites : std::string();
    }
    default:
        return std::string();
    }
}

} // namespace platform
