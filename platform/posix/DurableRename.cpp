// Renames on the player, never replacing, and PosixFileSystem's renames and replace with the
// syncs that make each durable on Linux's vfat in an order a cut survives. Part of
// PosixFileSystem.
#include "DurableRename.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include "MediumSync.h"
#include "PosixFileSystem.h"

bool RenameCheckedFallback(const char* from, const char* to) {
    // Only while the target is free; the player lock keeps other runs from taking it meanwhile.
    struct stat info;
    if (lstat(to, &info) == 0 || errno != ENOENT)
        return false;
    return rename(from, to) == 0;
}

bool RenameNoReplace(const char* from, const char* to) {
#if defined(__linux__) && defined(RENAME_NOREPLACE)
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0)
        return true;
    // Older kernels and some file systems know no such flag.
    if (errno != EINVAL && errno != ENOSYS)
        return false;
#elif defined(__APPLE__) && defined(RENAME_EXCL)
    if (renamex_np(from, to, RENAME_EXCL) == 0)
        return true;
    if (errno != ENOTSUP && errno != EINVAL)
        return false;
#endif
    return RenameCheckedFallback(from, to);
}

RenameResult PosixFileSystem::Rename(const std::u16string& from, const std::u16string& to) {
    std::string hostFrom, hostTo;
    if (!Host(from, hostFrom) || !Host(to, hostTo))
        return RenameResult::Refused;
    // On FAT a rename is several sector writes: the new entry, the old one's removal and maybe a
    // cluster the folder grows by. Whatever else the folder holds goes out first, so that the
    // rename's own writes reach the medium alone and in the order below.
    std::string folder = FolderOf(hostTo);
    m_closing.WaitAll();
    if (!SyncBeforeRename(folder))
        return RenameResult::Refused;
    if (!RenameNoReplace(hostFrom.c_str(), hostTo.c_str())) {
        m_lastError = errno;
        return RenameResult::Refused;
    }
    // The entry under its new name with its start cluster first, then the old entry's removal:
    // a cut in between leaves the item under both names, never under none. A move from another
    // folder removes the entry there.
    std::string source = FolderOf(hostFrom);
    if (!SyncPath(hostTo) || !SyncPath(folder) || (source != folder && !SyncPath(source))) {
        m_lastError = errno;
        return RenameResult::RenamedNotDurable;
    }
    m_cleanFolder = folder;
    return RenameResult::Renamed;
}

// The room made for new names goes out with the whole medium, at the first rename after it; else
// only the rename's folder, unless nothing changed in it since it last was. On vfat syncfs writes
// but asks the drive for no flush (the room and the first rename's entries met in one flush epoch
// of the FAT layer's log): the folder's own sync after it does, so the room is on the medium
// before the rename's first write.
bool PosixFileSystem::SyncBeforeRename(const std::string& folder) {
    if (m_roomPending) {
        if (!SyncMedium(folder)) {
            m_lastError = errno;
            return false;
        }
        m_roomPending = false;
        m_cleanFolder.clear();
    }
    if (folder != m_cleanFolder && !SyncPath(folder)) {
        m_lastError = errno;
        return false;
    }
    m_cleanFolder.clear();
    return true;
}

ReplaceResult PosixFileSystem::Replace(const std::u16string& from, const std::u16string& to) {
    std::string hostFrom, hostTo;
    if (!Host(from, hostFrom) || !Host(to, hostTo))
        return ReplaceResult::Failed;
    m_cleanFolder.clear();
    m_closing.WaitAll();
    // Made before the rename: nothing may throw once the file has moved.
    std::string folder = FolderOf(hostTo);
    SyncPath(folder);
    // On FAT the replaced file's clusters are freed when its last user lets go, while the entry
    // gets the new file's clusters only when the new file's inode is written: held open, the old
    // clusters stay the old database's until the entry points at the new ones.
    int old = open(hostTo.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    bool moved = rename(hostFrom.c_str(), hostTo.c_str()) == 0;
    if (!moved)
        m_lastError = errno;
    bool durable = moved && SyncPath(hostTo) && SyncPath(folder) && SyncMedium(folder);
    if (moved && !durable)
        m_lastError = errno;
    if (old >= 0)
        close(old);
    if (!moved)
        return ReplaceResult::Failed;
    // Only once everything is on the medium may the run say it is done.
    return durable ? ReplaceResult::Replaced : ReplaceResult::ReplacedNotDurable;
}

// The file's own sync writes its short entry; a long name's other entries may lie in another
// sector of the folder, which only the folder's sync writes.
bool PosixFileSystem::SyncFolderOf(const std::u16string& path) {
    std::string host;
    if (!Host(path, host))
        return false;
    if (SyncPath(FolderOf(host)))
        return true;
    m_lastError = errno;
    return false;
}
