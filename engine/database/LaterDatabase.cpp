#include "database/LaterDatabase.h"

#include <algorithm>
#include <cstring>

#include "database/OwnerSettings.h"

namespace {

constexpr uint32_t kVersion = 0x02000003;
constexpr size_t kTrackHeadSize = 20;  // the track header before its offsets
constexpr size_t kListsHeadSize = 20;  // the playlist header before its offsets
constexpr size_t kHeadSize = kLaterHeaderSize + kTrackHeadSize;
constexpr uint32_t kMp3 = 1;
constexpr uint16_t kNone = 0xFFFF;  // no podcast (or audiobook) playlist

// Where each chunk of a database of `count` tracks begins, and what the owner's playlists that
// keep a track add after the master playlist. Offsets are 32 bits in the file; `end` is exact.
struct Layout {
    Layout(uint64_t tracks, const OwnerSettings* owner)
        : count(static_cast<uint32_t>(tracks)),
          plain(count - (owner ? owner->notPlainTracks : 0)),
          lists(1 + (owner ? owner->keptLists : 0)),
          firstRecord(kHeadSize + 4 * count),
          playlists(firstRecord + kLaterRecordSize * count),
          end(tracks * (kLaterRecordSize + 8) + kHeadSize + kListsHeadSize +
              (kLaterPlaylistHeadSize + 4) * uint64_t(lists) +
              (owner ? owner->lists.size() - kListRecord * owner->keptLists : 0)),
          kept(owner) {}
    uint32_t count, plain;  // tracks, and those neither podcasts nor audiobooks
    uint32_t lists;         // the master playlist and the owner's that keep a track
    uint32_t firstRecord, playlists;
    uint64_t end;
    const OwnerSettings* kept;
};

void Put32(uint8_t* at, uint32_t value) {
    PutLaterWord(at, value);
}

// The database header and the track header's head. A new database has no volume limit and
// VoiceOver off; an old one's owner keeps them; the run's decision on VoiceOver goes last.
void FillHead(const Layout& at, const SpokenNameIds* spoken, uint8_t* out) {
    std::memset(out, 0, kHeadSize);
    if (at.kept) {
        std::memcpy(out + kKeptHeaderAt, at.kept->header + kKeptHeaderAt, kKeptHeader);
        std::memcpy(out + kKeptHeaderTailAt, at.kept->header + kKeptHeaderTailAt,
                    kLaterHeaderSize - kKeptHeaderTailAt);
    }
    std::memcpy(out, "bdhs", 4);
    Put32(out + 4, kVersion);
    Put32(out + 8, kLaterHeaderSize);
    Put32(out + 12, at.count);
    Put32(out + 16, at.lists);
    Put32(out + 32, at.plain);
    Put32(out + 36, kLaterHeaderSize);
    Put32(out + 40, at.playlists);
    uint8_t* tracks = out + kLaterHeaderSize;
    std::memcpy(tracks, "hths", 4);
    Put32(tracks + 4, kTrackHeadSize + 4 * at.count);
    Put32(tracks + 8, at.count);
    if (spoken)
        out[kVoiceOverAt] = spoken->voiceOver;
}

void PutId(uint8_t* at, uint64_t id) {
    Put32(at, static_cast<uint32_t>(id));
    Put32(at + 4, static_cast<uint32_t>(id >> 32));
}

// Whole code points only: a path cut in the middle of one would end in a byte no name has. A song
// the old database listed keeps its settings; a new one is an MP3 file played when shuffling.
void FillRecord(std::u16string_view path, const uint8_t* kept, uint8_t* out) {
    std::memset(out, 0, kLaterRecordSize);
    std::memcpy(out, "rths", 4);
    Put32(out + 4, kLaterRecordSize);
    if (kept) {
        std::memcpy(out + kKeptFrontAt, kept, kKeptFront);
        std::memcpy(out + kKeptBackAt, kept + kKeptFront, kKeptRecord - kKeptFront);
    } else {
        Put32(out + kLaterFileTypeAt, kMp3);
        out[kLaterShuffledAt] = 1;
    }
    uint8_t* name = out + kLaterNameAt;
    uint8_t code[4];
    size_t used = 0;
    for (size_t at = 0; at < path.size();) {
        size_t length = NextUtf8(path, at, code);
        if (used + length > kLaterNameBytes)
            break;
        std::memcpy(name + used, code, length);
        used += length;
    }
}

// Puts `count` little-endian words, word i being first + step * i, a block at a time.
bool PutWords(const ByteSink& put, uint32_t count, uint32_t first, uint32_t step) {
    uint8_t block[1024];
    for (uint32_t i = 0; i < count;) {
        size_t used = 0;
        for (; used < sizeof block && i < count; used += 4, ++i)
            Put32(block + used, first + step * i);
        if (!put(block, used))
            return false;
    }
    return true;
}

// A playlist's head: its length, its tracks, those neither podcasts nor audiobooks, then its id
// and kind as kept (the master's: id 0, kind 1).
void FillList(uint32_t count, uint32_t plain, const uint8_t* kept, uint8_t* out) {
    std::memset(out, 0, kLaterPlaylistHeadSize);
    std::memcpy(out, "lphs", 4);
    Put32(out + 4, kLaterPlaylistHeadSize + 4 * count);
    Put32(out + 8, count);
    Put32(out + 12, plain);
    if (kept)
        std::memcpy(out + kKeptListAt, kept, kKeptList);
    else
        Put32(out + 24, kMasterList);
}

// The playlist header, the master playlist listing every track in order, then each playlist of
// the owner's that keeps a track, with its own id and kind and its tracks in its order.
bool PutTail(const Layout& at, const ByteSink& put) {
    const OwnerSettings* kept = at.kept;
    const uint8_t* lists = kept ? kept->lists.data() : nullptr;
    const uint8_t* listsEnd = kept ? lists + kept->lists.size() : nullptr;
    const uint32_t podcasts = kept ? kept->podcastLists : 0;
    const uint32_t audiobooks = kept ? kept->audiobookLists : 0;
    uint8_t out[kLaterPlaylistHeadSize] = {};
    std::memcpy(out, "hphs", 4);
    Put32(out + 4, kListsHeadSize + 4 * at.lists);
    Put32(out + 8, at.lists);
    // In 16 bits each: with podcasts (audiobooks), the number of playlists of other kinds (the
    // player takes the podcasts for the last ones); one master playlist; 2 zero bytes.
    Put32(out + 12, (podcasts ? at.lists - podcasts : kNone) | 1 << 16);
    Put32(out + 16, audiobooks ? at.lists - audiobooks : kNone);
    uint32_t offset = at.playlists + kListsHeadSize + 4 * at.lists;
    Put32(out + 20, offset);
    if (!put(out, kListsHeadSize + 4))
        return false;
    offset += kLaterPlaylistHeadSize + 4 * at.count;
    for (const uint8_t* list = lists; list != listsEnd;) {
        uint32_t n = LaterWord(list + kKeptList);
        Put32(out, offset);
        if (!put(out, 4))
            return false;
        offset += kLaterPlaylistHeadSize + 4 * n;
        list += kListRecord + 4 * n;
    }
    FillList(at.count, at.plain, nullptr, out);
    if (!put(out, kLaterPlaylistHeadSize) || !PutWords(put, at.count, 0, 1))
        return false;
    for (const uint8_t* list = lists; list != listsEnd;) {
        uint32_t n = LaterWord(list + kKeptList);
        uint32_t plain = 0;  // tracks in no podcast or audiobook playlist
        for (const uint8_t* track = list + kListRecord; track != list + kListRecord + 4 * n;
             track += 4)
            plain += !(kept->matched[LaterWord(track)] & kNotPlain);
        FillList(n, plain, list, out);
        if (!put(out, kLaterPlaylistHeadSize) || !put(list + kListRecord, 4 * n))
            return false;
        list += kListRecord + 4 * n;
    }
    return true;
}

bool Encode(const Layout& at, const PathList& paths, const ByteSink& put,
            const SpokenNameIds* spoken = nullptr) {
    uint8_t chunk[kLaterRecordSize];  // the largest piece: a record
    FillHead(at, spoken, chunk);
    if (!put(chunk, kHeadSize) || !PutWords(put, at.count, at.firstRecord, kLaterRecordSize))
        return false;
    for (uint32_t i = 0; i < at.count; ++i) {
        uint32_t song = at.kept && i < at.kept->tracks ? at.kept->matched[i] & ~kNotPlain : 0;
        FillRecord(i < paths.Count() ? paths[i] : std::u16string_view(),
                   song ? &at.kept->fields[(song - 1) * kKeptRecord] : nullptr, chunk);
        if (spoken && spoken->ids)
            PutId(chunk + kLaterSpokenIdAt, spoken->ids[i]);
        if (!put(chunk, kLaterRecordSize))
            return false;
    }
    return PutTail(at, put);
}

// Compares what a run writes with the file as far as it goes, and its header alone.
struct Comparison {
    bool operator()(const uint8_t* data, size_t n) {
        // The first piece is the header and more; the file holds a whole header.
        header = header && (at || std::memcmp(bytes, data, kLaterHeaderSize) == 0);
        same = same && std::memcmp(bytes + at, data, std::min(n, size - at)) == 0;
        at += n;
        return at < size;
    }
    const uint8_t* bytes;
    size_t size, at = 0;
    bool header = true, same = true;
};

}  // namespace

uint64_t LaterDatabaseSize(uint64_t count) {
    return Layout(count, nullptr).end;
}

bool EncodeLaterDatabase(const PathList& paths, const ByteSink& put, const OwnerSettings* kept,
                         const SpokenNameIds* spoken) {
    const Layout at(paths.Count(), kept);
    return at.end <= UINT32_MAX && Encode(at, paths, put, spoken);
}

DatabaseContents DecodeLaterDatabase(const uint8_t* bytes, size_t size) {
    DatabaseContents db;
    db.format = DbFormat::Later;
    db.size = size;
    if (size < kLaterHeaderSize)
        return db;
    db.wholeHeader = true;
    db.count = LaterWord(bytes + 12);
    PathList paths;
    for (uint64_t at = kHeadSize + 4 * uint64_t(db.count);
         db.paths.size() < db.count && at + kLaterRecordSize <= size; at += kLaterRecordSize) {
        db.paths.push_back(LaterRecordName(bytes + at + kLaterNameAt));
        paths.Append(db.paths.back());
    }
    // Writing the same tracks again, keeping the database's own settings, gives every byte a run
    // would have written; a torn file still shows its start.
    OwnerSettings kept;
    kept.Read(bytes, size);
    kept.Match(paths, nullptr);
    const Layout layout(db.count, &kept);
    db.expectedSize = layout.end;
    Comparison written{bytes, size};
    Encode(layout, paths, SinkTo(written));
    db.headerAsWritten = written.header;
    db.recordsAsWritten = written.same;
    return db;
}
