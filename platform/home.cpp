// The program's home and resource folders.
#include "platform/home.h"

#include "platform/file_io.h"

#include <climits>
#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace platform {
namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

} // namespace

std::string ExecutablePath() {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

std::string ExecutableDir() {
    return ExtractFilePath(ExecutablePath());
}

std::string UserHomeDir() {
    std::string home = Env("HOME");
    if (home.empty()) {
        if (const passwd* pw = ::getpwuid(::getuid()))
            home = pw->pw_dir ? pw->pw_dir : "";
    }
    return ExcludeTrailingPathDelimiter(home);
}

std::string ProgramHomeDir() {
    const std::string overridden = Env("BRIMVALE_HOME");
    if (!overridden.empty())
        return IncludeTrailingPathDelimiter(overridden);
    const std::string exeDir = ExecutableDir();
    if (!exeDir.empty() && FileExists(exeDir + "brimvale.ini"))
        return exeDir;
    std::string dataHome = Env("XDG_DATA_HOME");
    if (dataHome.empty() || dataHome[0] != '/')
        dataHome = UserHomeDir() + "/.local/share";
    return IncludeTrailingPathDelimiter(dataHome) + "brimvale/";
}

std::string ResourceDir() {
    const std::string overridden = Env("BRIMVALE_RESOURCES");
    if (!overridden.empty())
        return IncludeTrailingPathDelimiter(overridden);
    const std::string exeDir = ExecutableDir();
    const std::string installed = exeDir + "../share/brimvale/";
    if (DirectoryExists(installed))
        return installed;
    return exeDir;
}

} // namespace platform
