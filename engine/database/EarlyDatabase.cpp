#include "database/EarlyDatabase.h"

#include <cstring>

std::array<uint8_t, kDbHeaderSize> MakeDbHeader(size_t count) {
    return {static_cast<uint8_t>(count >> 16),
            static_cast<uint8_t>(count >> 8),
            static_cast<uint8_t>(count),
            0x01,
            0x08,
            0x00,  // constant
            0x00,
            0x00,
            0x12,  // the header's own length, 18
            0,
            0,
            0,
            0,
            0,
            0,
            0,
            0,
            0};
}

void FillDbRecord(std::u16string_view playerPath, uint8_t* out) {
    static const uint8_t kHead[33] = {0x00, 0x02, 0x2E,  // the record's length, 558
                                      0x5A, 0xA5, 0x01, 0, 0,    0,    0,    0,    0,    0,
                                      0,    0,    0,    0, 0,    0,    0,    0,    0,    0,
                                      0,    0,    0,    0, 0x00, 0x00, 0x01, 0x00, 0x02, 0x00};
    std::memcpy(out, kHead, sizeof kHead);
    uint8_t* name = out + sizeof kHead;
    std::memset(name, 0, kDbNameUnits * 2);
    // The first 261 units, low byte first; cut without a terminator when longer.
    size_t units = playerPath.size() < kDbNameUnits ? playerPath.size() : kDbNameUnits;
    for (size_t i = 0; i < units; ++i) {
        name[2 * i] = static_cast<uint8_t>(playerPath[i] & 0xFF);
        name[2 * i + 1] = static_cast<uint8_t>(playerPath[i] >> 8);
    }
    uint8_t* tail = name + kDbNameUnits * 2;
    tail[0] = 0x01;
    tail[1] = 0x00;
    tail[2] = 0x00;
}

bool EncodeEarlyDatabase(const PathList& paths, const ByteSink& put) {
    auto header = MakeDbHeader(paths.Count());
    if (!put(header.data(), header.size()))
        return false;
    uint8_t record[kDbRecordSize];
    for (std::u16string_view path : paths) {
        FillDbRecord(path, record);
        if (!put(record, sizeof record))
            return false;
    }
    return true;
}

uint64_t EarlyDatabaseSize(uint64_t count) {
    return kDbHeaderSize + kDbRecordSize * count;
}

DatabaseContents DecodeEarlyDatabase(const uint8_t* bytes, size_t size) {
    DatabaseContents db;
    db.size = size;
    if (size < kDbHeaderSize)
        return db;
    db.wholeHeader = true;
    db.count = (size_t(bytes[0]) << 16) | (size_t(bytes[1]) << 8) | bytes[2];
    db.expectedSize = EarlyDatabaseSize(db.count);
    auto header = MakeDbHeader(db.count);
    db.headerAsWritten = std::memcmp(bytes, header.data(), header.size()) == 0;
    // Every whole record there is, whatever the header claims: a torn file still shows its start.
    db.recordsAsWritten = true;
    uint8_t expected[kDbRecordSize];
    for (size_t at = kDbHeaderSize; size - at >= kDbRecordSize; at += kDbRecordSize) {
        const uint8_t* name = bytes + at + 33;
        size_t units = 0;
        while (units < kDbNameUnits && (name[2 * units] | name[2 * units + 1]))
            ++units;
        std::u16string path(units, u'\0');
        for (size_t i = 0; i < units; ++i)
            path[i] = static_cast<char16_t>(name[2 * i] | (name[2 * i + 1] << 8));
        // Writing the name again gives every byte a run would have written.
        FillDbRecord(path, expected);
        if (std::memcmp(bytes + at, expected, kDbRecordSize) != 0)
            db.recordsAsWritten = false;
        db.paths.push_back(std::move(path));
    }
    return db;
}
