// Attribute mapping.
#include "platform/file_attributes.h"

#include "platform/file_io.h"

#include <sys/stat.h>

namespace platform {

int AttributesFromStat(const std::string& name, const struct stat& st) {
    int attributes = 0;
    if (!(st.st_mode & S_IWUSR))
        attributes |= faReadOnly;
    if (!name.empty() && name[0] == '.')
        attributes |= faHidden;
    if (S_ISDIR(st.st_mode))
        attributes |= faDirectory;
    else if (S_ISREG(st.st_mode))
        attributes |= faArchive;
    return attributes;
}

Result<int> FileGetAttr(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return Status::FromErrno();
    return AttributesFromStat(ExtractFileName(ExcludeTrailingPathDelimiter(path)), st);
}

Status FileSetAttr(const std::string& path, int attributes) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return Status::FromErrno();
    mode_t mode = st.st_mode & 07777;
    mode = (attributes & faReadOnly) ? (mode & ~S_IWUSR) : (mode | S_IWUSR);
    if (mode == (st.st_mode & 07777) || ::chmod(path.c_str(), mode) == 0)
        return {};
    return Status::FromErrno();
}

} // namespace platform
