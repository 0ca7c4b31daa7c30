// The player's lock: an exclusive flock on the database's folder (see FolderLock.h).
#include "FolderLock.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <memory>

namespace {

// flock belongs to the open folder, so a second open in this process is kept off as well, and the
// system drops it when the process ends, however it ends.
class FolderLock : public IPlayerLock {
public:
    explicit FolderLock(int fd) : m_fd(fd) {}
    ~FolderLock() override { close(m_fd); }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int m_fd;
};

}  // namespace

PlayerLock LockFolder(const std::string& folder) {
    PlayerLock result;
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        result.systemError = errno;
        return result;
    }
    int locked;
    do {
        locked = flock(fd, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        // Only EWOULDBLOCK is another run's hold; ENOLCK or EOPNOTSUPP (NFS, some FUSE and SMB
        // mounts) would refuse every try alike.
        result.systemError = errno == EWOULDBLOCK ? 0 : errno;
        close(fd);
        return result;
    }
    try {
        result.held = std::make_unique<FolderLock>(fd);
    } catch (...) {
        close(fd);  // the lock goes with the file
        throw;
    }
    return result;
}
