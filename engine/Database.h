// The player's track database: an 18-byte header and one 558-byte record per track, in the
// player's byte order (big-endian lengths, little-endian UTF-16 names).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

inline constexpr size_t kDbHeaderSize = 18;
inline constexpr size_t kDbRecordSize = 558;
inline constexpr size_t kDbNameUnits = 261;

// The header for `count` records; only the low 24 bits of the count are stored.
std::array<uint8_t, kDbHeaderSize> MakeDbHeader(size_t count);

// Writes the 558 bytes of one record into `out`.
void FillDbRecord(std::u16string_view playerPath, uint8_t* out);

// A database file read back, trusting nothing in it.
struct DatabaseContents {
    size_t size = 0;                    // the file's length in bytes
    size_t count = 0;                   // the count in its header (0 without a whole header)
    bool headerAsWritten = false;       // the 18 header bytes are the ones a run writes for `count`
    bool recordsAsWritten = false;      // every whole record is the one a run writes for its name
    std::vector<std::u16string> paths;  // each whole record's name, up to its first zero unit

    // As long as its header says: 18 + 558 bytes per track, nothing cut off, nothing after.
    bool Complete() const {
        return headerAsWritten && size == kDbHeaderSize + kDbRecordSize * count;
    }
    // Complete and byte for byte what a run writes for its paths.
    bool Intact() const { return Complete() && recordsAsWritten; }
};

DatabaseContents DecodeDatabase(const uint8_t* bytes, size_t size);
