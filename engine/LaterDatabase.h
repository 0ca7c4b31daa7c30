// The third and fourth generations' track database: little-endian chunks, each opening with its
// tag and length. A 64-byte header ("bdhs"), the track header ("hths") with each record's offset,
// one 372-byte record ("rths") per track naming its file in UTF-8, and the playlist header
// ("hphs") with the master playlist ("lphs") that lists every track in order, followed by the
// owner's own playlists a run keeps (OwnerSettings.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "Database.h"
#include "PathList.h"

struct OwnerSettings;

inline constexpr size_t kLaterHeaderSize = 64;
inline constexpr size_t kLaterRecordSize = 372;
// The longest path a record holds, in bytes: its 256-byte field keeps a zero after the path.
inline constexpr size_t kLaterNameBytes = 255;
inline constexpr size_t kLaterNameAt = 24;  // a record's path field
// A record's file type (1: MP3) and its byte that plays the song when shuffling (1) or skips it.
inline constexpr size_t kLaterFileTypeAt = 20, kLaterShuffledAt = 284;
inline constexpr size_t kLaterPlaylistHeadSize = 44;  // a playlist before its track numbers

// The chunks' tags, read as words: "bdhs", "hths", "rths", "hphs", "lphs".
inline constexpr uint32_t kDatabaseTag = 0x73686462;
inline constexpr uint32_t kTracksTag = 0x73687468, kRecordTag = 0x73687472;
inline constexpr uint32_t kListsTag = 0x73687068, kListTag = 0x7368706C;

inline uint32_t LaterWord(const uint8_t* at) {
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}
inline void PutLaterWord(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// Whether the bytes start with the later layout's tag, "bdhs".
bool HasLaterTag(const uint8_t* bytes, size_t size);

// Whether a record holds the player path whole, in UTF-8 (a surrogate without its pair takes the
// three bytes its value would); the track scan passes over a path that it does not.
bool FitsLaterRecord(std::u16string_view playerPath);

// A record's path field read back up to its first zero. Only the forms a run writes are read;
// any other byte becomes U+FFFD, so writing the name again shows the record differs.
std::u16string LaterRecordName(const uint8_t* field);

// The length of a new database of `count` tracks, one that keeps nothing from an old one.
uint64_t LaterDatabaseSize(uint64_t count);

// Streams the database for the paths, in order, through `put`, a chunk or record at a time,
// keeping what `kept` (matched to the same paths) holds of the old database's owner. False as
// soon as a put fails, or when the file would outgrow the layout's 32-bit offsets.
bool EncodeLaterDatabase(const PathList& paths, const ByteSink& put,
                         const OwnerSettings* kept = nullptr);

// A database in the later layout read back, trusting nothing in it: the count its header gives,
// the records where a run puts them for that count, and whether each byte is what a run writes
// for those paths, keeping the database's own owner settings.
DatabaseContents DecodeLaterDatabase(const uint8_t* bytes, size_t size);
