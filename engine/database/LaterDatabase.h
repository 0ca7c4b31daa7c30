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

#include "base/PathList.h"
#include "database/DatabaseBytes.h"
#include "database/LaterLayout.h"

struct OwnerSettings;

// What a run decided for the players' spoken names: each track's id, in the paths' order, and the
// header's VoiceOver switch.
struct SpokenNameIds {
    const uint64_t* ids = nullptr;
    uint8_t voiceOver = 0;
};

// The length of a new database of `count` tracks, one that keeps nothing from an old one.
uint64_t LaterDatabaseSize(uint64_t count);

// Streams the database for the paths, in order, through `put`, a chunk or record at a time,
// keeping what `kept` (matched to the same paths) holds of the old database's owner, and giving
// the records and header what `spoken` holds, when given. False as soon as a put fails, or when
// the file would outgrow the layout's 32-bit offsets.
bool EncodeLaterDatabase(const PathList& paths, const ByteSink& put,
                         const OwnerSettings* kept = nullptr,
                         const SpokenNameIds* spoken = nullptr);

// A database in the later layout read back, trusting nothing in it: the count its header gives,
// the records where a run puts them for that count, and whether each byte is what a run writes
// for those paths, keeping the database's own owner settings.
DatabaseContents DecodeLaterDatabase(const uint8_t* bytes, size_t size);
