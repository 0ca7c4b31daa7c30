// What the players' spoken names need of the player beyond files: a folder made as durably as a
// rename (see PosixFileSystem.h), and the room a program may still fill.
#include <errno.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include "MediumSync.h"
#include "PosixFileSystem.h"

// On FAT the new folder's own cluster (its "." and ".." entries) and its entry in the parent are
// written apart: the folder's sync writes the first, the parent's the second.
bool PosixFileSystem::CreateFolder(const std::u16string& path) {
    std::string host;
    if (!Host(path, host))
        return false;
    m_cleanFolder.clear();
    if (mkdir(host.c_str(), 0755) != 0) {
        m_lastError = errno;
        return false;
    }
    if (!SyncPath(host) || !SyncPath(FolderOf(host))) {
        m_lastError = errno;
        return false;
    }
    return true;
}

bool PosixFileSystem::FreeSpace(const std::u16string& path, uint64_t& bytes) {
    std::string host;
    struct statvfs volume;
    if (!Host(path, host))
        return false;
    if (statvfs(host.c_str(), &volume) != 0) {
        m_lastError = errno;
        return false;
    }
    bytes = uint64_t(volume.f_bavail) * volume.f_frsize;
    return true;
}
