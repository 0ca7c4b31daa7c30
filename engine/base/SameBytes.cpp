#include "base/SameBytes.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kChunk = 64 * 1024;

}  // namespace

FileComparison::FileComparison(IFileSystem& fs, const std::u16string& path)
    : m_file(fs.OpenInput(path)), m_unread(m_file == nullptr), m_same(!m_unread) {}

// Reads `want` bytes of the file into the buffer; false when it ends or fails first.
bool FileComparison::Fill(size_t want) {
    m_buffer.resize(want);
    size_t have = 0;
    while (have < want) {
        long long got = m_file->Read(m_buffer.data() + have, want - have);
        if (got <= 0 || static_cast<unsigned long long>(got) > want - have) {
            m_unread = true;
            return false;
        }
        have += static_cast<size_t>(got);
    }
    return true;
}

bool FileComparison::operator()(const uint8_t* data, size_t size) {
    while (m_same && size > 0) {
        const size_t piece = std::min(size, kChunk);
        m_same = m_taken + piece <= m_file->Size() && Fill(piece) &&
                 std::memcmp(m_buffer.data(), data, piece) == 0;
        m_taken += piece;
        data += piece;
        size -= piece;
    }
    return m_same;
}

bool FileComparison::Same() {
    return m_same && m_taken == m_file->Size();
}

bool HoldsBytes(IFileSystem& fs, const std::u16string& path, const std::vector<uint8_t>& bytes) {
    FileComparison comparison(fs, path);
    return comparison(bytes.data(), bytes.size()) && comparison.Same();
}

Likeness CompareFiles(IFileSystem& fs, const std::u16string& a, const std::u16string& b) {
    auto first = fs.OpenInput(a);
    if (!first)
        return Likeness::Unread;
    FileComparison second(fs, b);
    std::vector<uint8_t> chunk(kChunk);
    for (uint64_t left = first->Size(); left > 0 && !second.Unread();) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(left, kChunk));
        size_t have = 0;
        while (have < want) {
            long long got = first->Read(chunk.data() + have, want - have);
            if (got <= 0 || static_cast<unsigned long long>(got) > want - have)
                return Likeness::Unread;
            have += static_cast<size_t>(got);
        }
        if (!second(chunk.data(), want))
            break;
        left -= want;
    }
    if (second.Unread())
        return Likeness::Unread;
    return second.Same() ? Likeness::Same : Likeness::Different;
}
