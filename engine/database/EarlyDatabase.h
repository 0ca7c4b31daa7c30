// The first two generations' track database: an 18-byte header and one 558-byte record per track,
// in the player's byte order (big-endian lengths, little-endian UTF-16 names).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/PathList.h"
#include "database/DatabaseBytes.h"

inline constexpr size_t kDbHeaderSize = 18;
inline constexpr size_t kDbRecordSize = 558;
inline constexpr size_t kDbNameUnits = 261;

// The header for `count` records; only the low 24 bits of the count are stored.
std::array<uint8_t, kDbHeaderSize> MakeDbHeader(size_t count);

// Writes the 558 bytes of one record into `out`.
void FillDbRecord(std::u16string_view playerPath, uint8_t* out);

// Streams the whole database for the paths through `put`; false as soon as a put fails.
bool EncodeEarlyDatabase(const PathList& paths, const ByteSink& put);

// The length of a complete database of `count` tracks.
uint64_t EarlyDatabaseSize(uint64_t count);

// A database in the early layout read back, trusting nothing in it.
DatabaseContents DecodeEarlyDatabase(const uint8_t* bytes, size_t size);
