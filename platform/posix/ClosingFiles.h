// Files already written and made durable, closed beside the run's other work: vfat's "flush"
// mount sleeps a tenth of a second on closing a file written to, and the close only waits.
#pragma once

#include <thread>
#include <vector>

class ClosingFiles {
public:
    ClosingFiles() = default;
    // Waits for the files still closing.
    ~ClosingFiles() { WaitAll(); }
    ClosingFiles(const ClosingFiles&) = delete;
    ClosingFiles& operator=(const ClosingFiles&) = delete;

    // Closes `fd` on a thread of its own; false, with `fd` still open, when none could be had.
    bool CloseBeside(int fd);
    // vfat's "flush" mount writes every dirty buffer of the volume when a written file closes: a
    // close beside a rename or a replace could write the old entry's removal before the new entry
    // has its clusters. So every close has ended before one starts.
    void WaitAll();

private:
    std::vector<std::thread> m_threads;
};
