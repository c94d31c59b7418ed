// Drives stand in as file systems: free space, the mount point that holds a path, and whether a
// destination can be written now. A path under a removable-media root (/media/<user>/X,
// /run/media/<user>/X, /mnt/X) is ready only while X is mounted, so an unplugged disk is never
// refilled on the system disk.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace platform {

// The longest leading part of Path that exists (at least "/" for an absolute path; empty otherwise).
std::string NearestExistingAncestor(const std::string& path);
// The mount point of the file system that holds Path (or its nearest existing ancestor); empty when unknown.
std::string MountPointOf(const std::string& path);
// Free bytes available to the user on the file system that holds Path; -1 when unknown.
std::int64_t FreeBytes(const std::string& path);
// Tests replace the free-space answer; an empty function restores the real one.
void SetFreeBytesOverride(std::function<std::int64_t(const std::string&)> override);
// The volume at Root answers (statvfs succeeds).
bool VolumeReady(const std::string& root);
// The removable-media rule: Path lies under no removable-media root, or under one whose disk is mounted. An
// unplugged disk leaves its empty folder behind on the system disk, which stands for neither its room nor
// what it holds.
bool RemovableMediaMounted(const std::string& path);
// Path lies at or below a mount point that Fstab names (other than "/") and nothing is mounted there now:
// what Path shows is the empty folder underneath, not the file system that belongs there.
bool FstabMountPointUnmounted(const std::string& path, const std::string& fstab = "/etc/fstab");
// Path is absolute, lies on a mounted, writable file system and passes the removable-media rule.
bool DriveReady(const std::string& path);

} // namespace platform
