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

}  // namespace

std::optional<ParsedDatabase> ParseDatabase(const std::vector<uint8_t>& bytes, std::string* why) {
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
