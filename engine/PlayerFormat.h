// Which generation's database a player keeps, read from the player itself, so a run writes the
// layout the player can read.
#pragma once

#include <cstddef>
#include <cstdint>

#include "Database.h"

// The first bytes of a file, as many as the layout's tag takes; none when the file is missing.
struct FileStart {
    uint8_t bytes[4] = {};
    size_t size = 0;
};

// The database's own tag decides; one too short to carry a tag (missing, or torn before it) leaves
// it to a left-over iTunesSD.new; with neither, the early layout, as the first players have.
DbFormat DecideDbFormat(const FileStart& database, const FileStart& leftOver);
