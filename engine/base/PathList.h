// The ordered list of paths that passes from one step of a run to the next. Paths are appended
// at the end and removed only all at once. The units live in large shared blocks, so a list of
// many thousand paths costs little more than the paths themselves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class PathList {
public:
    void Append(std::u16string_view path);
    void Clear();
    size_t Count() const { return m_entries.size(); }
    bool Empty() const { return m_entries.empty(); }
    std::u16string_view operator[](size_t index) const { return m_entries[index]; }

    auto begin() const { return m_entries.begin(); }
    auto end() const { return m_entries.end(); }

private:
    static constexpr size_t kBlockUnits = 32 * 1024;

    std::vector<std::unique_ptr<char16_t[]>> m_blocks;
    size_t m_blockUsed = 0;
    size_t m_blockSize = 0;
    std::vector<std::u16string_view> m_entries;
};
