// The run's record of the renames it is about to make, kept beside the database from before the
// first rename until every rename is confirmed on the medium. FAT cannot rename in one write: on
// Linux a cut in between leaves the item under both names, sharing its data, and Windows' driver
// drops the old name before it writes the new one, so a cut there leaves the item with no name at
// all. The record is what lets the next run (and a check) know that two names are one item, and
// which item a nameless chain of clusters, saved by the drive's check, was.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/FileSystem.h"

// The full path before and after one planned rename.
using RenamePair = std::pair<std::u16string, std::u16string>;

// What tells one item from another without reading it whole: a file's length and a checksum of
// bytes sampled at its start and middle (an album's songs may all begin with the same cover
// art), a folder's entry names. Unknown in a record of the version before, which kept none.
struct ItemIdentity {
    enum class Kind : uint8_t { Unknown, File, Folder };
    Kind kind = Kind::Unknown;
    uint64_t size = 0;
    uint64_t sample = 0;
    std::vector<std::u16string> names;  // sorted

    bool operator==(const ItemIdentity& other) const {
        return kind == other.kind && size == other.size && sample == other.sample &&
               names == other.names;
    }
};

// The identity of the file's first `length` bytes (a chain the drive's check saved is longer than
// the song it was); Unknown when it cannot be read or is shorter.
ItemIdentity IdentifyFile(IFileSystem& fs, const std::u16string& path, uint64_t length);
// The identity of the file at `path`, whole.
ItemIdentity IdentifyFile(IFileSystem& fs, const std::u16string& path);
// A folder by the names it holds, as listed now; Unknown when it cannot be read whole.
ItemIdentity IdentifyFolder(IFileSystem& fs, const std::u16string& path);

// One item of a record: its full path before and after (a planned rename, or a saved chain put
// back under the item's name), and what it is.
struct RecordEntry {
    std::u16string from, to;
    ItemIdentity identity;
    // A run found the item under both names, holding the same bytes where the system could not
    // say whether they share their data, and asked for the drive's check: the next run takes the
    // two for two songs, so a copy its owner made never blocks the player for good.
    bool asked = false;
};

// Beside the database, so every run from any folder of the player finds it.
std::u16string RenameRecordPath(const std::u16string& dbPath);

// UTF-16LE texts and little-endian numbers: either front end reads what the other wrote. A tag,
// the entries, and an end that counts them and sums every byte before it, so a record cut short
// or changed is never taken for one.
std::vector<uint8_t> EncodeRenameRecord(const std::vector<RecordEntry>& entries);
// The entries, with their paths put back on `drive`. Damaged: the bytes are no whole record (cut
// short, changed, or none at all); Failed: the medium could not be read. Reads a chunk at a time
// and keeps nothing but the entries; a record of the version before (pairs of texts, no
// identities) is read too.
enum class RecordRead { Whole, Damaged, Failed };
RecordRead DecodeRenameRecord(IInputFile& file, std::u16string_view drive,
                              std::vector<RecordEntry>& out);

// The files (or, with `folders`, the folders) of a folder whose names are short aliases
// ("STDCF2~7.MP3"): what FAT shows of an entry whose long name is missing. Full paths.
std::vector<std::u16string> ShortAliasesIn(IFileSystem& fs, const std::u16string& folder,
                                           bool folders = false);
