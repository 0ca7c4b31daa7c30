#include "DatabaseFile.h"

#include <algorithm>

#include "Database.h"

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

// The later layout, each field where its description puts it: header, track offsets, records,
// then one master playlist listing every track in order.
bool ParseLater(const std::vector<uint8_t>& b, ParsedDatabase* db, std::string* why) {
    if (b.size() < 64)
        return Fail(why, "shorter than a header");
    const size_t n = db->count = Le32(b, 12);
    const size_t first = 84 + 4 * n, lists = first + 372 * n;
    if (b.size() != lists + 68 + 4 * n)
        return Fail(why, "length does not match the count");
    if (Le32(b, 4) != 0x02000003 || Le32(b, 8) != 64 || Le32(b, 16) != 1 || !Zero(b, 20, 32) ||
        Le32(b, 32) != n || Le32(b, 36) != 64 || Le32(b, 40) != lists || !Zero(b, 44, 64))
        return Fail(why, "header fields differ");
    if (!Tag(b, 64, "hths", 20 + 4 * n) || Le32(b, 72) != n || !Zero(b, 76, 84))
        return Fail(why, "track header differs");
    for (size_t i = 0; i < n; ++i) {
        size_t r = first + 372 * i;
        if (Le32(b, 84 + 4 * i) != r)
            return Fail(why, "track offset differs");
        if (!Tag(b, r, "rths", 372) || !Zero(b, r + 8, r + 20) || Le32(b, r + 20) != 1 ||
            !Zero(b, r + 279, r + 284) || b[r + 284] != 1 || !Zero(b, r + 285, r + 372))
            return Fail(why, "record fields differ");
        size_t length = std::find(b.begin() + r + 24, b.begin() + r + 280, 0) - b.begin() - r - 24;
        std::u16string name;
        if (!Zero(b, r + 24 + length, r + 280) || !FromUtf8(&b[r + 24], length, &name))
            return Fail(why, "name not UTF-8 and zero-filled");
        db->names.push_back(std::move(name));
    }
    const size_t p = lists + 24;
    if (!Tag(b, lists, "hphs", 24) || Le32(b, lists + 8) != 1 || Le32(b, lists + 12) != 0x1FFFF ||
        Le32(b, lists + 16) != 0xFFFF || Le32(b, lists + 20) != p ||
        !Tag(b, p, "lphs", 44 + 4 * n) || Le32(b, p + 8) != n || Le32(b, p + 12) != n ||
        !Zero(b, p + 16, p + 24) || Le32(b, p + 24) != 1 || !Zero(b, p + 28, p + 44))
        return Fail(why, "playlist differs");
    for (size_t i = 0; i < n; ++i)
        if (Le32(b, p + 44 + 4 * i) != i)
            return Fail(why, "master playlist does not list every track in order");
    return true;
}

}  // namespace

std::optional<ParsedDatabase> ParseDatabase(const std::vector<uint8_t>& bytes, std::string* why) {
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
