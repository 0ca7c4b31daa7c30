// The player's track database in either layout: the first two generations' (EarlyDatabase.h) or
// the third and fourth's (LaterDatabase.h), told by its first bytes, and which of them a run
// writes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "database/EarlyDatabase.h"
#include "database/LaterDatabase.h"

// The length of a complete database of `count` tracks in the format.
uint64_t DatabaseSize(DbFormat format, uint64_t count);

// Either layout, told by its first bytes.
DatabaseContents DecodeDatabase(const uint8_t* bytes, size_t size);

// The first bytes of a file, as many as the layout's tag takes; none when the file is missing.
struct FileStart {
    uint8_t bytes[4] = {};
    size_t size = 0;
};

// The database's own tag decides; one too short to carry a tag (missing, or torn before it) leaves
// it to a left-over iTunesSD.new; with neither, the early layout, as the first players have.
DbFormat DecideDbFormat(const FileStart& database, const FileStart& leftOver);
