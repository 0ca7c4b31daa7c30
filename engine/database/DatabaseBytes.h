// What both database layouts share: which layout a file has, where an encoder streams its bytes,
// and what a database file read back holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Which layout a database has: the first two generations' or the third and fourth's. A player
// whose database could not be read has neither, and gets none written.
enum class DbFormat { Early, Later, Unreadable };

// Where an encoder streams a database's bytes, in order; false when they could not be taken. A
// function and what it puts the bytes into: a std::function would bring code of its own for each
// kind of target into Zorbel.exe.
struct ByteSink {
    bool operator()(const uint8_t* data, size_t size) const { return put(target, data, size); }
    bool (*put)(void* target, const uint8_t* data, size_t size);
    void* target;
};
// A sink that calls `take`, a function object that outlives the sink's use.
template <class Take>
ByteSink SinkTo(Take& take) {
    return {[](void* target, const uint8_t* data, size_t size) {
                return (*static_cast<Take*>(target))(data, size);
            },
            &take};
}
// A database file read back, trusting nothing in it.
struct DatabaseContents {
    DbFormat format = DbFormat::Early;  // Later when it starts with the later layout's tag
    size_t size = 0;                    // the file's length in bytes
    bool wholeHeader = false;           // long enough for the format's header
    size_t count = 0;                   // the count in its header (0 without a whole header)
    uint64_t expectedSize = 0;          // the length a complete database of that count takes
    bool headerAsWritten = false;       // the header bytes are the ones a run writes for `count`
    // Every whole record is the one a run writes for its name; in the later layout every byte, as
    // far as it is there, a run keeping the database's own owner settings.
    bool recordsAsWritten = false;
    std::vector<std::u16string> paths;  // each whole record's name, up to its first zero

    // As long as its header says (18 + 558 bytes per track early; later, with the playlists it
    // keeps), nothing cut off, nothing after.
    bool Complete() const { return headerAsWritten && size == expectedSize; }
    // Complete and byte for byte what a run writes for its paths.
    bool Intact() const { return Complete() && recordsAsWritten; }
};
