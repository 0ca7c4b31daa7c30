// Forcing what the system still holds in memory onto the player (see MediumSync.h).
#include "MediumSync.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool SyncOpen(int fd) {
#if defined(__APPLE__)
    // On macOS fsync leaves the data in the drive's cache; this asks the drive to write it. Only
    // a file system that cannot do that at all falls back to fsync: any other error is real.
    if (fcntl(fd, F_FULLFSYNC) == 0)
        return true;
    if (errno != ENOTSUP && errno != EINVAL && errno != ENOTTY)
        return false;
#endif
    if (fsync(fd) == 0)
        return true;
    // Some file systems cannot sync a folder and say so; their changes are as durable as it gets.
    return errno == EINVAL || errno == ENOTSUP;
}

bool SyncPath(const std::string& path) {
    // Never waits on a pipe or device that took a renamed item's name meanwhile.
    int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info;
    bool ok = fstat(fd, &info) == 0 && (S_ISREG(info.st_mode) || S_ISDIR(info.st_mode));
    if (!ok)
        errno = errno ? errno : EINVAL;
    else
        ok = SyncOpen(fd);
    int error = errno;
    close(fd);
    errno = error;
    return ok;
}

bool SyncMedium(const std::string& folder) {
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
#if defined(__linux__)
    bool ok = syncfs(fd) == 0;
#else
    // sync() reports nothing; a full sync of the folder asks the drive itself and says how it went.
    bool ok = SyncOpen(fd);
#endif
    int error = errno;
    close(fd);
    errno = error;
    return ok;
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}
