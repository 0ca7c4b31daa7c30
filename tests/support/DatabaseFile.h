// Reads a database file back for the tests, in either generations' layout: checks every constant
// byte and returns the names.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

using Bytes = std::vector<uint8_t>;

struct ParsedDatabase {
    bool later = false;                 // the third and fourth generations' layout ("bdhs")
    size_t count = 0;                   // the header's count
    std::vector<std::u16string> names;  // each record's name, up to its first zero unit
    // The later layout, as the file holds it: the header, each record, and each playlist after
    // the master one (its whole chunk). Fresh when nothing in them is an owner's: no volume limit,
    // nothing in the header's unknown fields, every record a new song's, the master playlist
    // alone. VoiceOver and each song's spoken name's id are the run's own.
    Bytes header;
    std::vector<Bytes> records, playlists;
    bool fresh = true;
};

// Empty when the bytes are not a complete, well-formed database; `why` then says what is wrong.
// In the later layout the counts must be those of its playlists: the tracks that are neither
// podcasts nor audiobooks, and the playlists that are not.
std::optional<ParsedDatabase> ParseDatabase(const Bytes& bytes, std::string* why = nullptr);

// A database in the later layout as another writer lays it out, from its contents: the header's
// 64 bytes (its tag, counts and offsets filled in), each track's path in UTF-8 with its record's
// 372 bytes (tag, length and path filled in), the master playlist listing every track in order,
// then each playlist's bytes 16 to 43 (its id and kind) with its track numbers.
struct LaterContents {
    Bytes header = Bytes(64);
    std::vector<std::pair<std::string, Bytes>> tracks;
    std::vector<std::pair<Bytes, std::vector<uint32_t>>> playlists;
    size_t listHead = 44;  // each playlist's bytes before its track numbers (older writers: 68)
};
Bytes LayOutLater(const LaterContents& contents);
