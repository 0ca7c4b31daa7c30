// The run's record of the renames it is about to make, kept beside the database from before the
// first rename until the new database is in place. FAT cannot rename in one write: a cut in between
// leaves the item under both names, sharing its data, and Linux cannot tell a file's clusters, so
// the record is what lets the next run (and a check) know that two names are one item.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "FileSystem.h"

// The full path before and after one planned rename.
using RenamePair = std::pair<std::u16string, std::u16string>;

// Beside the database, so every run from any folder of the player finds it.
std::u16string RenameRecordPath(const std::u16string& dbPath);

// A tag, then for each pair the item's player path ("/Music/a.mp3") and its new name in the same
// folder, each ended by a 0 unit, in UTF-16LE: either front end reads what the other wrote.
// Decoding puts the paths back on `drive` and drops a pair cut short.
std::vector<uint8_t> EncodeRenameRecord(const std::vector<RenamePair>& pairs);
std::vector<RenamePair> DecodeRenameRecord(const std::vector<uint8_t>& bytes,
                                           std::u16string_view drive);

// Whether both names of a pair are there and still one item's data: a file of the same size and
// bytes, a folder with the same entries. A drive repaired since has split them apart.
bool SharesData(IFileSystem& fs, const RenamePair& pair);

// What the record left on the player says. `found` false when there is none (the usual case,
// one failed open).
struct EarlierRenames {
    bool found = false;
    std::vector<RenamePair> pairs;
    std::optional<RenamePair> shared;  // the first pair still under both names
};
EarlierRenames ReadEarlierRenames(IFileSystem& fs, const std::u16string& dbPath);
