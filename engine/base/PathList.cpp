#include "base/PathList.h"

#include <algorithm>

void PathList::Append(std::u16string_view path) {
    if (m_blocks.empty() || m_blockSize - m_blockUsed < path.size()) {
        // A path longer than a block gets a block of its own size.
        m_blockSize = std::max(kBlockUnits, path.size());
        m_blocks.push_back(std::make_unique<char16_t[]>(m_blockSize));
        m_blockUsed = 0;
    }
    char16_t* at = m_blocks.back().get() + m_blockUsed;
    std::copy(path.begin(), path.end(), at);
    m_blockUsed += path.size();
    m_entries.emplace_back(at, path.size());
}

void PathList::Clear() {
    m_entries.clear();
    m_entries.shrink_to_fit();
    m_blocks.clear();
    m_blockUsed = 0;
    m_blockSize = 0;
}
