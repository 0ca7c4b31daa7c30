// The third and fourth generations' database as bytes: little-endian chunks, each opening with
// its tag and length, and a record's path in UTF-8. What both the database's writer and the owner's
// settings read need of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

inline constexpr size_t kLaterHeaderSize = 64;
inline constexpr size_t kLaterRecordSize = 372;
// The longest path a record holds, in bytes: its 256-byte field keeps a zero after the path.
inline constexpr size_t kLaterNameBytes = 255;
inline constexpr size_t kLaterNameAt = 24;  // a record's path field
// A record's file type (1: MP3) and its byte that plays the song when shuffling (1) or skips it.
inline constexpr size_t kLaterFileTypeAt = 20, kLaterShuffledAt = 284;
// A record's 8-byte id, the name its spoken name's file is filed under (VoiceOver).
inline constexpr size_t kLaterSpokenIdAt = 328;
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

// The UTF-8 bytes of the code point at `at` in `text` (at most 4, into `out`); `at` moves past it.
// A surrogate without its pair takes the three bytes its value would, so every name has a form.
size_t NextUtf8(std::u16string_view text, size_t& at, uint8_t* out);
