#include "LaterDatabase.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t kVersion = 0x02000003;
constexpr size_t kTrackHeadSize = 20;      // the track header before its offsets
constexpr size_t kPlaylistsHeadSize = 24;  // the playlist header with its one offset
constexpr size_t kPlaylistHeadSize = 44;   // the master playlist before its track numbers
constexpr size_t kHeadSize = kLaterHeaderSize + kTrackHeadSize;
constexpr size_t kTailSize = kPlaylistsHeadSize + kPlaylistHeadSize;
constexpr size_t kNameAt = 24;
constexpr size_t kNameField = kLaterNameBytes + 1;
constexpr size_t kShuffledAt = 284;
constexpr uint32_t kMp3 = 1;
constexpr uint32_t kMasterPlaylist = 1;
constexpr uint16_t kNone = 0xFFFF;  // no podcast or audiobook playlists

// Where each chunk of a database of `count` tracks begins.
struct Layout {
    explicit Layout(uint64_t tracks)
        : count(tracks),
          firstRecord(kHeadSize + 4 * tracks),
          playlists(firstRecord + kLaterRecordSize * tracks),
          end(playlists + kTailSize + 4 * tracks) {}
    uint64_t count, firstRecord, playlists, end;
};

void Put32(uint8_t* at, uint64_t value) {
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}

void Put16(uint8_t* at, uint16_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

uint32_t Get32(const uint8_t* at) {
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}

// The database header and the track header's head. No volume limit, and VoiceOver off: a run
// makes no spoken names for it to play.
void FillHead(const Layout& at, uint8_t* out) {
    std::memset(out, 0, kHeadSize);
    std::memcpy(out, "bdhs", 4);
    Put32(out + 4, kVersion);
    Put32(out + 8, kLaterHeaderSize);
    Put32(out + 12, at.count);
    Put32(out + 16, 1);         // playlists
    Put32(out + 32, at.count);  // tracks that are neither podcasts nor audiobooks
    Put32(out + 36, kLaterHeaderSize);
    Put32(out + 40, at.playlists);
    uint8_t* tracks = out + kLaterHeaderSize;
    std::memcpy(tracks, "hths", 4);
    Put32(tracks + 4, kTrackHeadSize + 4 * at.count);
    Put32(tracks + 8, at.count);
}

// The playlist header and the master playlist's head; its track numbers follow.
void FillTail(const Layout& at, uint8_t* out) {
    std::memset(out, 0, kTailSize);
    std::memcpy(out, "hphs", 4);
    Put32(out + 4, kPlaylistsHeadSize);
    Put32(out + 8, 1);
    Put16(out + 12, kNone);
    Put16(out + 14, 1);  // master playlists
    Put16(out + 16, kNone);
    Put32(out + 20, at.playlists + kPlaylistsHeadSize);
    uint8_t* master = out + kPlaylistsHeadSize;
    std::memcpy(master, "lphs", 4);
    Put32(master + 4, kPlaylistHeadSize + 4 * at.count);
    Put32(master + 8, at.count);
    Put32(master + 12, at.count);  // neither podcasts nor audiobooks
    Put32(master + 24, kMasterPlaylist);
}

// The UTF-8 bytes of the code point at `at`, which moves past it; a surrogate without its pair
// takes the three bytes its value would, so every name has a form.
size_t NextUtf8(std::u16string_view text, size_t& at, uint8_t* out) {
    uint32_t c = text[at++];
    if (c >= 0xD800 && c < 0xDC00 && at < text.size() && text[at] >= 0xDC00 && text[at] < 0xE000)
        c = 0x10000 + ((c - 0xD800) << 10) + (text[at++] - 0xDC00);
    if (c < 0x80) {
        out[0] = static_cast<uint8_t>(c);
        return 1;
    }
    size_t length = c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    static const uint8_t kLead[] = {0, 0, 0xC0, 0xE0, 0xF0};
    for (size_t i = length - 1; i > 0; --i, c >>= 6)
        out[i] = static_cast<uint8_t>(0x80 | (c & 0x3F));
    out[0] = static_cast<uint8_t>(kLead[length] | c);
    return length;
}

// One code point read back into UTF-16. Only the forms NextUtf8 writes are read; any other byte
// becomes U+FFFD alone, so writing the name again shows the record differs.
void NextUnits(const uint8_t* bytes, size_t size, size_t& at, std::u16string& out) {
    uint8_t lead = bytes[at];
    size_t length = lead < 0x80   ? 1
                    : lead < 0xC2 ? 0
                    : lead < 0xE0 ? 2
                    : lead < 0xF0 ? 3
                    : lead < 0xF5 ? 4
                                  : 0;
    static const uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    uint32_t c = length == 1 ? lead : lead & (0x7F >> length);
    bool ok = length != 0 && size - at >= length;
    for (size_t i = 1; ok && i < length; ++i) {
        ok = (bytes[at + i] & 0xC0) == 0x80;
        c = c << 6 | (bytes[at + i] & 0x3F);
    }
    if (!ok || c < kLeast[length] || c > 0x10FFFF) {
        out.push_back(u'\uFFFD');
        ++at;
        return;
    }
    at += length;
    if (c < 0x10000) {
        out.push_back(static_cast<char16_t>(c));
    } else {
        out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    }
}

// Whole code points only: a path cut in the middle of one would end in a byte no name has.
void FillRecord(std::u16string_view path, uint8_t* out) {
    std::memset(out, 0, kLaterRecordSize);
    std::memcpy(out, "rths", 4);
    Put32(out + 4, kLaterRecordSize);
    Put32(out + 20, kMp3);
    uint8_t* name = out + kNameAt;
    uint8_t code[4];
    size_t used = 0;
    for (size_t at = 0; at < path.size();) {
        size_t length = NextUtf8(path, at, code);
        if (used + length > kLaterNameBytes)
            break;
        std::memcpy(name + used, code, length);
        used += length;
    }
    out[kShuffledAt] = 1;  // played when shuffling
}

// Puts `count` little-endian words, word i being first + step * i, a block at a time.
bool PutWords(const ByteSink& put, uint64_t count, uint64_t first, uint64_t step) {
    uint8_t block[1024];
    for (uint64_t i = 0; i < count;) {
        size_t used = 0;
        for (; used < sizeof block && i < count; used += 4, ++i)
            Put32(block + used, first + step * i);
        if (!put(block, used))
            return false;
    }
    return true;
}

// Compares the bytes of `expected` that lie within the file's `size` bytes, at `from`.
bool SameWhereThere(const uint8_t* bytes, size_t size, uint64_t from, const uint8_t* expected,
                    size_t length) {
    if (from >= size)
        return true;
    return std::memcmp(bytes + from, expected, std::min<uint64_t>(length, size - from)) == 0;
}

// The words PutWords would write, as far as the file holds them.
bool SameWords(const uint8_t* bytes, size_t size, uint64_t from, uint64_t count, uint64_t first,
               uint64_t step) {
    for (uint64_t i = 0, at = from; i < count && at + 4 <= size; ++i, at += 4)
        if (Get32(bytes + at) != uint32_t(first + step * i))
            return false;
    return true;
}

}  // namespace

bool HasLaterTag(const uint8_t* bytes, size_t size) {
    return size >= 4 && std::memcmp(bytes, "bdhs", 4) == 0;
}

bool FitsLaterRecord(std::u16string_view playerPath) {
    uint8_t code[4];
    size_t used = 0;
    for (size_t at = 0; at < playerPath.size() && used <= kLaterNameBytes;)
        used += NextUtf8(playerPath, at, code);
    return used <= kLaterNameBytes;
}

uint64_t LaterDatabaseSize(uint64_t count) {
    return Layout(count).end;
}

bool EncodeLaterDatabase(const PathList& paths, const ByteSink& put) {
    const Layout at(paths.Count());
    if (at.end > UINT32_MAX)
        return false;
    uint8_t chunk[kLaterRecordSize];  // the largest piece: a record
    FillHead(at, chunk);
    if (!put(chunk, kHeadSize) || !PutWords(put, at.count, at.firstRecord, kLaterRecordSize))
        return false;
    for (std::u16string_view path : paths) {
        FillRecord(path, chunk);
        if (!put(chunk, kLaterRecordSize))
            return false;
    }
    FillTail(at, chunk);
    return put(chunk, kTailSize) && PutWords(put, at.count, 0, 1);
}

DatabaseContents DecodeLaterDatabase(const uint8_t* bytes, size_t size) {
    DatabaseContents db;
    db.format = DbFormat::Later;
    db.size = size;
    if (size < kLaterHeaderSize)
        return db;
    db.wholeHeader = true;
    const Layout at(Get32(bytes + 12));
    db.count = static_cast<size_t>(at.count);
    uint8_t expected[kLaterRecordSize];
    FillHead(at, expected);
    db.headerAsWritten = std::memcmp(bytes, expected, kLaterHeaderSize) == 0;
    // Every chunk a run writes for that count, as far as the file goes: a torn file still shows
    // its start.
    bool same = SameWhereThere(bytes, size, kLaterHeaderSize, expected + kLaterHeaderSize,
                               kTrackHeadSize) &&
                SameWords(bytes, size, kHeadSize, at.count, at.firstRecord, kLaterRecordSize);
    for (uint64_t i = 0, record = at.firstRecord; i < at.count && record + kLaterRecordSize <= size;
         ++i, record += kLaterRecordSize) {
        const uint8_t* name = bytes + record + kNameAt;
        auto length = static_cast<size_t>(std::find(name, name + kNameField, 0) - name);
        std::u16string path;
        for (size_t pos = 0; pos < length;)
            NextUnits(name, length, pos, path);
        // Writing the name again gives every byte a run would have written.
        FillRecord(path, expected);
        same = same && std::memcmp(bytes + record, expected, kLaterRecordSize) == 0;
        db.paths.push_back(std::move(path));
    }
    FillTail(at, expected);
    db.recordsAsWritten = same && SameWhereThere(bytes, size, at.playlists, expected, kTailSize) &&
                          SameWords(bytes, size, at.playlists + kTailSize, at.count, 0, 1);
    return db;
}
