// Files closed beside the run's other work (see ClosingFiles.h).
#include "ClosingFiles.h"

#include <unistd.h>

bool ClosingFiles::CloseBeside(int fd) {
    try {
        m_threads.emplace_back([fd] { close(fd); });
        return true;
    } catch (...) {
        return false;
    }
}

void ClosingFiles::WaitAll() {
    for (auto& closing : m_threads)
        closing.join();
    m_threads.clear();
}
