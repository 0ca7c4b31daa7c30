// The engine's file operations on the player's files and folders: paths, listing, opening,
// creating, removing and sizing (see PosixFileSystem.h).
#include "PosixFileSystem.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

#include "DataPlace.h"
#include "DirListing.h"
#include "FdFiles.h"
#include "FolderLock.h"
#include "HostNames.h"
#include "MediumSync.h"
#include "base/Text.h"

namespace {

// A folder its parent listed that cannot be opened: gone, closed to us, a link, or a path the
// system cannot name are passed over; anything else is the medium failing.
bool IsSkippable(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
        case EACCES:
        case ENAMETOOLONG:
        case ELOOP:
            return true;
        default:
            return false;
    }
}

}  // namespace

PosixFileSystem::PosixFileSystem(std::string top, std::u16string drive)
    : m_top(std::move(top)), m_drive(std::move(drive)) {
    while (m_top.size() > 1 && m_top.back() == '/')
        m_top.pop_back();
}

bool PosixFileSystem::HostPath(const std::u16string& path, std::string& host) const {
    if (path.size() >= kMaxPath || path.size() < m_drive.size() ||
        !EqualsFolded(std::u16string_view(path).substr(0, m_drive.size()), m_drive))
        return false;
    host = m_top == "/" ? "" : m_top;
    std::string bytes;
    size_t at = m_drive.size();
    if (at < path.size() && path[at] != u'\\')
        return false;
    while (at < path.size()) {
        size_t begin = at + 1;
        size_t end = path.find(u'\\', begin);
        if (end == std::u16string::npos)
            end = path.size();
        std::u16string_view name = std::u16string_view(path).substr(begin, end - begin);
        at = end;
        if (name.empty() && end == path.size())
            break;  // "P:\" is the drive itself
        // A separator or dot name of this system inside an engine name would reach another file.
        if (name.empty() || IsDotEntry(name) || name.find(u'/') != std::u16string_view::npos ||
            name.find(u'\0') != std::u16string_view::npos || !NameToHost(name, bytes))
            return false;
        host += '/';
        host += bytes;
    }
    if (host.empty())
        host = "/";
    return true;
}

bool PosixFileSystem::Host(const std::u16string& path, std::string& host) {
    if (HostPath(path, host))
        return true;
    m_lastError = path.size() >= kMaxPath ? ENAMETOOLONG : EINVAL;
    return false;
}

std::unique_ptr<IFolderListing> PosixFileSystem::ListFolder(const std::u16string& folder) {
    // Windows lists "folder\*", so the folder itself must leave room for two more units.
    std::string host;
    if (folder.size() + 2 >= kMaxPath) {
        m_lastError = ENAMETOOLONG;
        return nullptr;
    }
    if (!Host(folder, host))
        return nullptr;
    int fd = open(host.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        m_lastError = errno;
        return IsSkippable(errno) ? nullptr : std::make_unique<FailedListing>();
    }
    DIR* dir = fdopendir(fd);
    if (!dir) {
        m_lastError = errno;
        close(fd);
        return std::make_unique<FailedListing>();
    }
    return std::make_unique<DirListing>(dir, m_lastError, OnVfat() ? &m_folderEnds : nullptr, host);
}

bool PosixFileSystem::IsDirectory(const std::u16string& path) {
    std::string host;
    struct stat info;
    if (!Host(path, host))
        return false;
    if (lstat(host.c_str(), &info) != 0) {
        m_lastError = errno;
        return false;
    }
    return S_ISDIR(info.st_mode);
}

bool PosixFileSystem::Exists(const std::u16string& path) {
    std::string host;
    struct stat info;
    if (!Host(path, host))
        return false;
    if (lstat(host.c_str(), &info) != 0) {
        m_lastError = errno;
        return false;
    }
    return true;
}

bool PosixFileSystem::SetSize(const std::u16string& path, uint64_t size) {
    std::string host;
    if (!Host(path, host))
        return false;
    m_cleanFolder.clear();
    int fd = open(host.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        m_lastError = errno;
        return false;
    }
    struct stat info;
    int error = 0;
    if (fstat(fd, &info) != 0)
        error = errno;
    else if (!S_ISREG(info.st_mode))
        error = EINVAL;
    else if (ftruncate(fd, static_cast<off_t>(size)) != 0 || !SyncOpen(fd))
        error = errno;
    close(fd);
    m_lastError = error ? error : m_lastError;
    return error == 0;
}

// One folder under two names shares its entries' place on the medium: on Linux's vfat a child
// held open through one name is the same inode through the other (vfat finds inodes by where
// their entry lies). Two folders that only hold the same names give two inodes.
bool PosixFileSystem::SameFolder(const std::u16string& a, const std::u16string& b) {
    std::string first, second;
    if (!Host(a, first) || !Host(b, second))
        return false;
    DIR* dir = opendir(first.c_str());
    if (!dir)
        return false;
    bool same = false;
    while (struct dirent* entry = readdir(dir)) {
        if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0)
            continue;
        std::string name = entry->d_name;
        int held = openat(dirfd(dir), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        struct stat mine, theirs;
        if (held < 0)
            continue;
        same = fstat(held, &mine) == 0 && lstat((second + "/" + name).c_str(), &theirs) == 0 &&
               mine.st_dev == theirs.st_dev && mine.st_ino == theirs.st_ino;
        close(held);
        break;
    }
    closedir(dir);
    return same;
}

DataPlace PosixFileSystem::SameData(const std::u16string& a, const std::u16string& b) {
    std::string first, second;
    if (!Host(a, first) || !Host(b, second))
        return DataPlace::Unknown;
    return SameDataOnMedium(first, second);
}

std::unique_ptr<IOutputFile> PosixFileSystem::CreateOutput(const std::u16string& path) {
    std::string host;
    if (!Host(path, host))
        return nullptr;
    m_cleanFolder.clear();
    // The object before the file: running out of memory must not leave an open file behind.
    auto output = std::make_unique<FdOutput>(m_closing, m_lastError);
    int fd;
    do {
        fd = open(host.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                  0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        m_lastError = errno;
        return nullptr;
    }
    output->Attach(fd);
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        m_lastError = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        return nullptr;  // a pipe or device under the name: never written to
    }
    return output;
}

std::unique_ptr<IInputFile> PosixFileSystem::OpenInput(const std::u16string& path) {
    std::string host;
    if (!Host(path, host))
        return nullptr;
    // Non-blocking: a pipe under the name must not hold the run; it is refused below.
    int fd = open(host.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        m_lastError = errno;
        return nullptr;
    }
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        m_lastError = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        close(fd);
        return nullptr;
    }
    try {
        return std::make_unique<FdInput>(fd, static_cast<uint64_t>(info.st_size), m_lastError);
    } catch (...) {
        close(fd);
        throw;
    }
}

bool PosixFileSystem::Remove(const std::u16string& path) {
    std::string host;
    m_cleanFolder.clear();
    if (!Host(path, host))
        return false;
    if (unlink(host.c_str()) != 0) {
        m_lastError = errno;
        return false;
    }
    // On FAT the entry and the freed clusters are written apart: a cut between them would leave
    // clusters that belong to nothing until the drive's repair.
    SyncPath(FolderOf(host));
    return true;
}

PlayerLock PosixFileSystem::LockPlayer(const std::u16string& dbPath) {
    // The database's folder stands for the player: every run locks the same one.
    size_t nameAt = FileNameOffset(dbPath);
    std::string host;
    if (nameAt < 2 || !HostPath(dbPath.substr(0, nameAt - 1), host)) {
        PlayerLock refused;
        refused.systemError = dbPath.size() >= kMaxPath ? ENAMETOOLONG : EINVAL;
        return refused;
    }
    return LockFolder(host);
}
