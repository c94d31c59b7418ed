// The program's home and resource folders.
#include "platform/home.h"

#include "platform/environment.h"
#include "platform/file_io.h"

#include <climits>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
std::string ExecutablePath() {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

std::string ExecutableDir() {
    return ExtractFilePath(ExecutablePath());
}

std::string UserHomeDir() {
    std::string home = EnvironmentText("HOME");
    if (home.empty()) {
        if (const passwd* pw = ::getpwuid(::getuid()))
            home = pw->pw_dir ? pw->pw_dir : "";
    }
    return ExcludeTrailingPathDelimiter(home);
}

std::string RuntimeDir() {
    const std::string runtime = EnvironmentText("XDG_RUNTIME_DIR");
    if (!runtime.empty() && runtime[0] == '/' && DirectoryExists(runtime))
        return IncludeTrailingPathDelimiter(runtime);
    std::string temp = EnvironmentText("TMPDIR");
    if (temp.empty() || temp[0] != '/')
        temp = "/tmp";
    const std::string dir = IncludeTrailingPathDelimiter(temp) + "brimvale-" + std::to_string(::getuid());
    ::mkdir(dir.c_str(), 0700);
    // Another user's folder, or one that others may write, would let them take over the lock.
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid() ||
        (st.st_mode & 077) != 0)
        return {};
    return dir + "/";
}

std::string ProgramHomeDir() {
    const std::string overridden = EnvironmentText("BRIMVALE_HOME");
    if (!overridden.empty())
        return IncludeTrailingPathDelimiter(overridden);
    const std::string exeDir = ExecutableDir();
    if (!exeDir.empty() && FileExists(exeDir + "brimvale.ini"))
        return exeDir;
    std::string dataHome = EnvironmentText("XDG_DATA_HOME");
    if (dataHome.empty() || dataHome[0] != '/')
        dataHome = UserHomeDir() + "/.local/share";
    return IncludeTrailingPathDelimiter(dataHome) + "brimvale/";
}

std::string ResourceDir() {
    const std::string overridden = EnvironmentText("BRIMVALE_RESOURCES");
    if (!overridden.empty())
        return IncludeTrailingPathDelimiter(overridden);
    const std::string exeDir = ExecutableDir();
    const std::string installed = exeDir + "../share/brimvale/";
    if (DirectoryExists(installed))
        return installed;
    return exeDir;
}

std::string ProgramIconPath() {
    return ResourceDir() + "icons/brimvale.png";
}

} // namespace platform
