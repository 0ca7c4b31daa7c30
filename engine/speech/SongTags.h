// A song's title and artist as its MP3 file's tags give them: an ID3v2 tag (versions 2.2 to 2.4,
// any of their four text encodings) at the file's start, else the ID3v1 tag in its last 128
// bytes. The file is read through a source that fetches only the bytes asked for, so a tag that
// lies about its sizes (past the file, a frame of 2 GB, a 64 MiB title) costs a bounded number of
// small reads and gives nothing where it lies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Where the tags' bytes come from: the file on the player, or bytes in memory for the tests.
class ITagSource {
public:
    virtual ~ITagSource() = default;
    virtual uint64_t Size() const = 0;
    // Up to `size` bytes at `offset` into `out`; how many it gave (fewer at the end, 0 on failure).
    virtual size_t ReadAt(uint64_t offset, uint8_t* out, size_t size) = 0;
};

struct SongTags {
    std::u16string title, artist;  // empty when no tag gives one
};

// The longest title or artist a name is made of, in UTF-16 units: a longer text is cut there (at
// a whole character). A frame larger than any such text holds no name and is passed over.
inline constexpr size_t kLongestTagText = 120;
inline constexpr size_t kLargestTextFrame = 4096;

// The title and artist, each from the first tag that has it: ID3v2, then ID3v1. Texts are cut at
// their first terminator, stripped of control characters and of spaces at either end. A text in
// the tags' Latin-1 encoding that is really a Chinese legacy encoding (bytes pairing up as GBK
// characters) is no name anyone could say, and counts as missing.
SongTags ReadSongTags(ITagSource& source);

// The same, from bytes in memory.
SongTags ReadSongTags(const uint8_t* bytes, size_t size);
