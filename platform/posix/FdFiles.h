// The engine's open files on a file descriptor: the input it reads, and the output it writes and
// makes durable. Each keeps the reason of its last failure where the file system keeps it.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "ClosingFiles.h"
#include "base/FileSystem.h"

class FdOutput : public IOutputFile {
public:
    // `closing`: where a file whose bytes are on the medium is closed in the background;
    // `error`: where the file system keeps the reason of its last failure.
    FdOutput(ClosingFiles& closing, int& error) : m_closing(closing), m_error(error) {}
    ~FdOutput() override { Close(); }
    void Attach(int fd) { m_fd = fd; }
    FdOutput(const FdOutput&) = delete;
    FdOutput& operator=(const FdOutput&) = delete;

    size_t Write(const uint8_t* data, size_t size) override;
    bool Flush() override;
    bool Close() override;

private:
    ClosingFiles& m_closing;
    int& m_error;
    int m_fd = -1;
    bool m_synced = false;  // flushed, and nothing written since
};

class FdInput : public IInputFile {
public:
    // `error`: where the file system keeps the reason of its last failure.
    FdInput(int fd, uint64_t size, int& error) : m_fd(fd), m_size(size), m_error(error) {}
    ~FdInput() override;
    FdInput(const FdInput&) = delete;
    FdInput& operator=(const FdInput&) = delete;

    long long Read(uint8_t* data, size_t size) override;
    uint64_t Size() const override { return m_size; }
    bool Seek(uint64_t offset) override;

private:
    int m_fd;
    uint64_t m_size;
    int& m_error;
};
