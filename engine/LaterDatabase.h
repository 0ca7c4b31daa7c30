// The third and fourth generations' track database: little-endian chunks, each opening with its
// tag and length. A 64-byte header ("bdhs"), the track header ("hths") with each record's offset,
// one 372-byte record ("rths") per track naming its file in UTF-8, and the playlist header
// ("hphs") with one master playlist ("lphs") that lists every track in order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "Database.h"
#include "PathList.h"

inline constexpr size_t kLaterHeaderSize = 64;
inline constexpr size_t kLaterRecordSize = 372;
// The longest path a record holds, in bytes: its 256-byte field keeps a zero after the path.
inline constexpr size_t kLaterNameBytes = 255;

// Whether the bytes start with the later layout's tag, "bdhs".
bool HasLaterTag(const uint8_t* bytes, size_t size);

// Whether a record holds the player path whole, in UTF-8 (a surrogate without its pair takes the
// three bytes its value would); the track scan passes over a path that it does not.
bool FitsLaterRecord(std::u16string_view playerPath);

uint64_t LaterDatabaseSize(uint64_t count);

// Streams the database for the paths, in order, through `put`, a chunk or record at a time.
// False as soon as a put fails, or when the file would outgrow the layout's 32-bit offsets.
bool EncodeLaterDatabase(const PathList& paths, const ByteSink& put);

// A database in the later layout read back, trusting nothing in it: the count its header gives,
// the records where a run puts them for that count, and whether each byte is what a run writes.
DatabaseContents DecodeLaterDatabase(const uint8_t* bytes, size_t size);
