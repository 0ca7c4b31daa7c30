#include "DatabaseFile.h"

#include <algorithm>

#include "database/Database.h"

namespace {

bool Fail(std::string* why, const std::string& text) {
    if (why)
        *why = text;
    return false;
}

bool Matches(const uint8_t* at, std::initializer_list<uint8_t> expected) {
    return std::equal(expected.begin(), expected.end(), at);
}

bool ParseRecord(const uint8_t* rec, std::u16string* name, std::string* why) {
    if (!Matches(rec, {0x00, 0x02, 0x2E, 0x5A, 0xA5, 0x01}) ||
        !std::all_of(rec + 6, rec + 27, [](uint8_t b) { return b == 0; }) ||
        !Matches(rec + 27, {0x00, 0x00, 0x01, 0x00, 0x02, 0x00}) ||
        !Matches(rec + 555, {0x01, 0x00, 0x00}))
        return Fail(why, "record constants differ");
    for (size_t i = 0; i < kDbNameUnits; ++i) {
        char16_t unit = static_cast<char16_t>(rec[33 + 2 * i] | (rec[34 + 2 * i] << 8));
        if (unit == 0) {
            for (size_t j = i; j < kDbNameUnits; ++j)
                if (rec[33 + 2 * j] || rec[34 + 2 * j])
                    return Fail(why, "name field not zero-filled after its end");
            break;
        }
        name->push_back(unit);
    }
    return true;
}

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}

bool Zero(const std::vector<uint8_t>& b, size_t from, size_t to) {
    return std::all_of(b.begin() + from, b.begin() + to, [](uint8_t x) { return x == 0; });
}

bool Tag(const std::vector<uint8_t>& b, size_t at, const char* tag, uint32_t length) {
    return std::equal(tag, tag + 4, b.begin() + at) && Le32(b, at + 4) == length;
}

// UTF-8 into UTF-16, a three-byte surrogate taken as its unit; false on any other form.
bool FromUtf8(const uint8_t* s, size_t n, std::u16string* out) {
    for (size_t i = 0; i < n;) {
        size_t more = s[i] < 0x80 ? 0 : s[i] >= 0xF0 ? 3 : s[i] >= 0xE0 ? 2 : s[i] >= 0xC0 ? 1 : 9;
        if (more > 3 || n - i <= more)
            return false;
        uint32_t c = more ? s[i] & (0x3F >> more) : s[i];
        for (size_t k = 1; k <= more; ++k) {
            if ((s[i + k] & 0xC0) != 0x80)
                return false;
            c = c << 6 | (s[i + k] & 0x3F);
        }
        i += more + 1;
        if (c >= 0x10000) {
            out->push_back(char16_t(0xD800 + ((c - 0x10000) >> 10)));
            c = 0xDC00 + (c & 0x3FF);
        }
        out->push_back(char16_t(c));
    }
    return true;
}

void Put(Bytes& b, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(value >> 8 * i);
}

// The podcast (audiobook) field of the playlist header: 0xFFFF without such a playlist, else
// the number of playlists of other kinds.
uint32_t KindCount(const std::vector<uint32_t>& kinds, uint32_t kind) {
    size_t of = std::count(kinds.begin(), kinds.end(), kind);
    return of ? uint32_t(kinds.size() - of) : 0xFFFF;
}

// The later layout, each field where its description puts it: header, track offsets, records,
// the playlist header, the master playlist listing every track in order, then the owner's
// playlists, each keeping a track.
bool ParseLater(const std::vector<uint8_t>& b, ParsedDatabase* db, std::string* why) {
    if (b.size() < 64)
        return Fail(why, "shorter than a header");
    const size_t n = db->count = Le32(b, 12), lists = Le32(b, 16);
    const size_t first = 84 + 4 * n, hp = first + 372 * n;
    if (n > b.size() / 380 || lists == 0 || lists > b.size() / 48 ||
        b.size() < hp + 20 + 48 * lists + 4 * n)
        return Fail(why, "length does not match the count");
    if (Le32(b, 4) != 0x02000003 || Le32(b, 8) != 64 || Le32(b, 36) != 64 || Le32(b, 40) != hp)
        return Fail(why, "header fields differ");
    db->header.assign(b.begin(), b.begin() + 64);
    // VoiceOver (29) is the run's own: it turns it on for a player with no songs yet.
    db->fresh = Zero(b, 20, 29) && b[29] <= 1 && Zero(b, 30, 32) && Zero(b, 44, 64);
    if (!Tag(b, 64, "hths", 20 + 4 * n) || Le32(b, 72) != n || !Zero(b, 76, 84))
        return Fail(why, "track header differs");
    for (size_t i = 0; i < n; ++i) {
        size_t r = first + 372 * i;
        if (Le32(b, 84 + 4 * i) != r)
            return Fail(why, "track offset differs");
        if (!Tag(b, r, "rths", 372))
            return Fail(why, "record fields differ");
        // The id a song's spoken name is filed under (328 to 335) is the run's own too.
        db->fresh = db->fresh && Zero(b, r + 8, r + 20) && Le32(b, r + 20) == 1 &&
                    Zero(b, r + 280, r + 284) && b[r + 284] == 1 && Zero(b, r + 285, r + 328) &&
                    Zero(b, r + 336, r + 372);
        size_t length = std::find(b.begin() + r + 24, b.begin() + r + 280, 0) - b.begin() - r - 24;
        std::u16string name;
        if (!Zero(b, r + 24 + length, r + 280) || !FromUtf8(&b[r + 24], length, &name))
            return Fail(why, "name not UTF-8 and zero-filled");
        db->names.push_back(std::move(name));
        db->records.emplace_back(b.begin() + r, b.begin() + r + 372);
    }
    if (!Tag(b, hp, "hphs", 20 + 4 * lists) || Le32(b, hp + 8) != lists ||
        Le32(b, hp + 12) >> 16 != 1 || Le32(b, hp + 16) >> 16 != 0)
        return Fail(why, "playlist header differs");
    std::vector<uint32_t> kinds;
    std::vector<bool> notPlain(n);  // tracks of podcast and audiobook playlists
    for (size_t k = 0, p = hp + 20 + 4 * lists; k < lists; ++k) {
        const size_t m = p + 44 <= b.size() ? Le32(b, p + 8) : 0;
        if (Le32(b, hp + 20 + 4 * k) != p || m > (b.size() - p - 44) / 4 ||
            !Tag(b, p, "lphs", 44 + 4 * m))
            return Fail(why, "playlist differs");
        kinds.push_back(Le32(b, p + 24));
        if (k == 0) {
            if (m != n || !Zero(b, p + 16, p + 24) || kinds[0] != 1 || !Zero(b, p + 28, p + 44))
                return Fail(why, "playlist differs");
            for (size_t i = 0; i < n; ++i)
                if (Le32(b, p + 44 + 4 * i) != i)
                    return Fail(why, "master playlist does not list every track in order");
        } else {
            if (m == 0 || kinds[k] < 2 || kinds[k] > 4)
                return Fail(why, "an owner's playlist is empty or of no kind");
            for (size_t i = 0; i < m; ++i) {
                if (Le32(b, p + 44 + 4 * i) >= n)
                    return Fail(why, "a playlist lists no track");
                if (kinds[k] != 2)
                    notPlain[Le32(b, p + 44 + 4 * i)] = true;
            }
            db->playlists.emplace_back(b.begin() + p, b.begin() + p + 44 + 4 * m);
        }
        p += 44 + 4 * m;
        if (k + 1 == lists && p != b.size())
            return Fail(why, "length does not match the count");
    }
    db->fresh = db->fresh && lists == 1;
    // The counts of what is neither podcast nor audiobook.
    const auto plain = uint32_t(n - std::count(notPlain.begin(), notPlain.end(), true));
    bool counts = Le32(b, 32) == plain && Le32(b, hp + 20 + 4 * lists + 12) == plain &&
                  (Le32(b, hp + 12) & 0xFFFF) == KindCount(kinds, 3) &&
                  Le32(b, hp + 16) == KindCount(kinds, 4);
    for (const auto& list : db->playlists) {
        uint32_t listed = 0;
        for (size_t at = 44; at < list.size(); at += 4)
            listed += !notPlain[Le32(list, at)];
        counts = counts && Le32(list, 12) == listed;
    }
    return counts || Fail(why, "the counts of tracks or playlists that are not podcasts differ");
}

}  // namespace

Bytes LayOutLater(const LaterContents& contents) {
    const size_t n = contents.tracks.size(), lists = 1 + contents.playlists.size();
    const size_t first = 84 + 4 * n, hp = first + 372 * n;
    Bytes b = contents.header;
    b.resize(hp + 20 + 4 * lists);
    std::vector<uint32_t> kinds = {1};
    std::vector<bool> notPlain(n);
    for (const auto& [head, tracks] : contents.playlists) {
        kinds.push_back(head[8]);
        for (uint32_t track : tracks)
            if (track < n)  // a track number may point nowhere
                notPlain[track] = notPlain[track] || head[8] != 2;
    }
    const auto plain = uint32_t(n - std::count(notPlain.begin(), notPlain.end(), true));
    std::copy_n("bdhs", 4, b.begin());
    Put(b, 4, 0x02000003);
    Put(b, 8, 64);
    Put(b, 12, uint32_t(n));
    Put(b, 16, uint32_t(lists));
    Put(b, 32, plain);
    Put(b, 36, 64);
    Put(b, 40, uint32_t(hp));
    std::copy_n("hths", 4, b.begin() + 64);
    Put(b, 68, uint32_t(20 + 4 * n));
    Put(b, 72, uint32_t(n));
    for (size_t i = 0; i < n; ++i) {
        const auto& [path, record] = contents.tracks[i];
        const size_t r = first + 372 * i;
        Put(b, 84 + 4 * i, uint32_t(r));
        std::copy(record.begin(), record.end(), b.begin() + r);
        std::fill_n(b.begin() + r + 24, 256, 0);
        std::copy(path.begin(), path.end(), b.begin() + r + 24);
        std::copy_n("rths", 4, b.begin() + r);
        Put(b, r + 4, 372);
    }
    std::copy_n("hphs", 4, b.begin() + hp);
    Put(b, hp + 4, uint32_t(20 + 4 * lists));
    Put(b, hp + 8, uint32_t(lists));
    Put(b, hp + 12, KindCount(kinds, 3) | 1 << 16);
    Put(b, hp + 16, KindCount(kinds, 4));
    // Each playlist: its head, then its tracks; the master's id is 0 and its kind 1.
    size_t k = 0;
    auto add = [&](const Bytes& idAndKind, const std::vector<uint32_t>& tracks) {
        size_t p = b.size(), listed = 0;
        Put(b, hp + 20 + 4 * k++, uint32_t(p));
        const size_t head = contents.listHead;
        b.resize(p + head + 4 * tracks.size());
        std::copy(idAndKind.begin(), idAndKind.end(), b.begin() + p + 16);
        std::copy_n("lphs", 4, b.begin() + p);
        Put(b, p + 4, uint32_t(head + 4 * tracks.size()));
        Put(b, p + 8, uint32_t(tracks.size()));
        for (size_t i = 0; i < tracks.size(); ++i) {
            Put(b, p + head + 4 * i, tracks[i]);
            listed += tracks[i] < n && !notPlain[tracks[i]];
        }
        Put(b, p + 12, uint32_t(listed));
    };
    std::vector<uint32_t> every(n);
    for (size_t i = 0; i < n; ++i)
        every[i] = uint32_t(i);
    add({0, 0, 0, 0, 0, 0, 0, 0, 1}, every);
    for (const auto& [head, tracks] : contents.playlists)
        add(head, tracks);
    return b;
}

std::optional<ParsedDatabase> ParseDatabase(const Bytes& bytes, std::string* why) {
    if (bytes.size() >= 4 && std::equal(bytes.begin(), bytes.begin() + 4, "bdhs")) {
        ParsedDatabase db;
        db.later = true;
        return ParseLater(bytes, &db, why) ? std::optional(db) : std::nullopt;
    }
    if (bytes.size() < kDbHeaderSize)
        return Fail(why, "shorter than a header"), std::nullopt;
    ParsedDatabase db;
    db.count = (size_t(bytes[0]) << 16) | (size_t(bytes[1]) << 8) | bytes[2];
    if (!Matches(bytes.data() + 3, {0x01, 0x08, 0x00, 0x00, 0x00, 0x12}) ||
        !std::all_of(bytes.begin() + 9, bytes.begin() + 18, [](uint8_t b) { return b == 0; }))
        return Fail(why, "header constants differ"), std::nullopt;
    if ((bytes.size() - kDbHeaderSize) % kDbRecordSize != 0 ||
        ((bytes.size() - kDbHeaderSize) / kDbRecordSize) % (1u << 24) != db.count)
        return Fail(why, "length does not match the count"), std::nullopt;
    for (size_t at = kDbHeaderSize; at < bytes.size(); at += kDbRecordSize) {
        std::u16string name;
        if (!ParseRecord(bytes.data() + at, &name, why))
            return std::nullopt;
        db.names.push_back(std::move(name));
    }
    return db;
}
