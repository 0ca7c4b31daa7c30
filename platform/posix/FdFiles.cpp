// The engine's open files on a file descriptor (see FdFiles.h).
#include "FdFiles.h"

#include <errno.h>
#include <unistd.h>

#include <utility>

#include "MediumSync.h"

size_t FdOutput::Write(const uint8_t* data, size_t size) {
    if (m_fd < 0)
        return 0;
    size_t ask = size > (1u << 30) ? (1u << 30) : size;
    ssize_t wrote;
    m_synced = false;
    do {
        wrote = write(m_fd, data, ask);
    } while (wrote < 0 && errno == EINTR);
    if (wrote < 0) {
        m_error = errno;  // a full player's ENOSPC, named as it is
        return 0;
    }
    return static_cast<size_t>(wrote);
}

bool FdOutput::Flush() {
    m_synced = m_fd >= 0 && SyncOpen(m_fd);
    if (!m_synced && m_fd >= 0)
        m_error = errno;
    return m_synced;
}

bool FdOutput::Close() {
    if (m_fd < 0)
        return false;
    int fd = std::exchange(m_fd, -1);
    // Its bytes are on the medium: the close only waits, so it waits beside the run.
    if (m_synced && m_closing.CloseBeside(fd))
        return true;
    // Closed either way; an error here may be a write that never reached the medium.
    if (close(fd) == 0)
        return true;
    m_error = errno;
    return false;
}

FdInput::~FdInput() {
    close(m_fd);
}

long long FdInput::Read(uint8_t* data, size_t size) {
    ssize_t got;
    do {
        got = read(m_fd, data, size > (1u << 30) ? (1u << 30) : size);
    } while (got < 0 && errno == EINTR);
    if (got < 0)
        m_error = errno;
    return got;
}

bool FdInput::Seek(uint64_t offset) {
    return lseek(m_fd, static_cast<off_t>(offset), SEEK_SET) != static_cast<off_t>(-1);
}
