// Whether two files hold the same bytes, read a chunk at a time. On FAT a cut inside a replace can
// leave one file under two names, its new name and its old; a run never writes a file equal to the
// one it replaces, so two such names holding the same bytes are one file, not two.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/FileSystem.h"

enum class Likeness { Same, Different, Unread };
// Two files of one length and the same bytes; Unread when either could not be opened or read
// whole (the file system's LastError says why).
Likeness CompareFiles(IFileSystem& fs, const std::u16string& a, const std::u16string& b);
// True when the file at `path` opens, reads whole and holds exactly `bytes`.
bool HoldsBytes(IFileSystem& fs, const std::u16string& path, const std::vector<uint8_t>& bytes);

// Compares bytes streamed to it, piece by piece, with a file's; false as soon as they differ, so
// an encoder writing to it stops at the first difference.
class FileComparison {
public:
    FileComparison(IFileSystem& fs, const std::u16string& path);
    bool operator()(const uint8_t* data, size_t size);
    // Every byte taken matched and the file holds no more.
    bool Same();
    // The file could not be opened, or a read failed.
    bool Unread() const { return m_unread; }

private:
    bool Fill(size_t want);

    std::unique_ptr<IInputFile> m_file;
    bool m_unread;
    bool m_same;
    uint64_t m_taken = 0;
    std::vector<uint8_t> m_buffer;
};
