// File-system answers for destinations.
#include "platform/drive.h"

#include "platform/file_io.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <sys/statvfs.h>
#include <vector>

namespace platform {
namespace {

std::mutex overrideMutex;
std::function<std::int64_t(const std::string&)>& FreeBytesOverride() {
    static std::function<std::int64_t(const std::string&)> override;
    return override;
}

// Mount points are written with octal escapes for blanks, tabs, newlines and backslashes.
std::string UnescapeMountPath(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size()) {
            const std::string digits = text.substr(i + 1, 3);
            if (digits.find_first_not_of("01234567") == std::string::npos) {
                out += static_cast<char>(std::strtol(digits.c_str(), nullptr, 8));
                i += 3;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

std::vector<std::string> MountPoints() {
    std::vector<std::string> points;
    std::ifstream mountinfo("/proc/self/mountinfo");
    std::string line;
    while (std::getline(mountinfo, line)) {
        std::istringstream fields(line);
        std::string id, parent, devNumbers, root, mountPoint;
        if (fields >> id >> parent >> devNumbers >> root >> mountPoint)
            points.push_back(UnescapeMountPath(mountPoint));
    }
    return points;
}

bool LiesBelowOrAt(const std::string& path, const std::string& dir) {
    if (dir == "/")
        return true;
    return path == dir ||
           (path.size() > dir.size() && path.compare(0, dir.size(), dir) == 0 && path[dir.size()] == '/');
}

std::string RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

// The folder that must be a mount point for Path to be ready, or empty when Path lies under no
// removable-media root. For /media/<user>/X a mount at /media/<user> is accepted too (automounters
// that mount straight under /media).
void RemovableRoots(const std::string& path, std::vector<std::string>& acceptable) {
    std::vector<std::string> parts;
    std::stringstream stream(path);
    std::string part;
    while (std::getline(stream, part, '/'))
        if (!part.empty())
            parts.push_back(part);
    auto prefix = [&](std::size_t count) {
        std::string result;
        for (std::size_t i = 0; i < count; ++i)
            result += "/" + parts[i];
        return result;
    };
    if (parts.size() >= 2 && parts[0] == "mnt") {
        acceptable.push_back(prefix(2));
    } else if (parts.size() >= 2 && parts[0] == "media") {
        acceptable.push_back(prefix(2));
        if (parts.size() >= 3)
            acceptable.push_back(prefix(3));
    } else if (parts.size() >= 4 && parts[0] == "run" && parts[1] == "media") {
        acceptable.push_back(prefix(4));
    }
}

} // namespace

std::string NearestExistingAncestor(const std::string& path) {
    if (path.empty() || path[0] != '/')
        return std::string();
    std::string current = ExcludeTrailingPathDelimiter(path);
    while (!current.empty() && current != "/" && !DirectoryExists(current))
        current = ExcludeTrailingPathDelimiter(ExtractFilePath(current));
    return current.empty() ? std::string("/") : current;
}

std::string MountPointOf(const std::string& path) {
    const std::string existing = NearestExistingAncestor(path);
    if (existing.empty())
        return std::string();
    const std::string real = RealPath(existing);
    if (real.empty())
        return std::string();
    std::string best;
    for (const std::string& point : MountPoints())
        if (LiesBelowOrAt(real, point) && point.size() >= best.size())
            best = point;
    return best;
}

std::int64_t FreeBytes(const std::string& path) {
    {
        std::lock_guard lock(overrideMutex);
        if (FreeBytesOverride())
            return FreeBytesOverride()(path);
    }
    const std::string existing = NearestExistingAncestor(path);
    struct statvfs vfs {};
    if (existing.empty() || ::statvfs(existing.c_str(), &vfs) != 0)
        return -1;
    return static_cast<std::int64_t>(vfs.f_bavail) * static_cast<std::int64_t>(vfs.f_frsize);
}

void SetFreeBytesOverride(std::function<std::int64_t(const std::string&)> override) {
    std::lock_guard lock(overrideMutex);
    FreeBytesOverride() = std::move(override);
}

bool VolumeReady(const std::string& root) {
    struct statvfs vfs {};
    return !root.empty() && ::statvfs(root.c_str(), &vfs) == 0;
}

bool DriveReady(const std::string& path) {
    const std::string existing = NearestExistingAncestor(path);
    if (existing.empty())
        return false;
    struct statvfs vfs {};
    if (::statvfs(existing.c_str(), &vfs) != 0 || (vfs.f_flag & ST_RDONLY))
        return false;
    return RemovableMediaMounted(path);
}

bool FstabMountPointUnmounted(const std::string& path, const std::string& fstab) {
    const std::string real = RealPath(path);
    if (real.empty())
        return false;
    std::ifstream table(fstab);
    std::string line, best;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string device, point;
        if (!(fields >> device >> point) || device.front() == '#' || point.empty() || point.front() != '/')
            continue;
        point = ExcludeTrailingPathDelimiter(UnescapeMountPath(point));
        if (point.empty() || point == "/")
            continue;
        const std::string realPoint = RealPath(point);
        if (!realPoint.empty() && LiesBelowOrAt(real, realPoint) && realPoint.size() > best.size())
            best = realPoint;
    }
    if (best.empty())
        return false;
    const std::vector<std::string> mounted = MountPoints();
    return std::find(mounted.begin(), mounted.end(), best) == mounted.end();
}

bool RemovableMediaMounted(const std::string& path) {
    std::vector<std::string> acceptable;
    RemovableRoots(ExcludeTrailingPathDelimiter(path), acceptable);
    if (acceptable.empty())
        return true;
    const std::string mountPoint = MountPointOf(path);
    for (const std::string& root : acceptable)
        if (!mountPoint.empty() && LiesBelowOrAt(mountPoint, root))
            return true;
    return false;
}

} // namespace platform
