// What a record an earlier run left says now, read before a run changes anything.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/FileSystem.h"
#include "record/RenameRecord.h"

// What the record left on the player says.
struct EarlierRenames {
    bool found = false;    // there is one (the usual case: none, one failed open)
    std::u16string path;   // where it was read: its name, or the new one a replace cut short left
    bool damaged = false;  // it is no whole record: to be set aside, never trusted
    bool readFailed = false;           // the medium failed while it was read: nothing can be told
    std::optional<RenamePair> shared;  // the first item still under both names
    // Items under both names whose one name may be a copy of the other: the same bytes, where the
    // system cannot say whether they share their data. When true, `recorded` holds the whole
    // record with each such item marked asked, for a run to write back before it stops.
    bool ask = false;
    bool sharedMayBeCopies = false;  // `shared` is such an item
    std::vector<RecordEntry> recorded;
    // Both names of an item, held as two files: a copy its owner made (the system says so, or a
    // run asked once before), each a song of its own.
    std::vector<RenamePair> apart;
    // Items under neither name, each with its paths as they stand now (its folders' renames
    // followed): a cut on Windows' driver left them with no name, or their owner deleted them.
    std::vector<RecordEntry> lost;
    // Files under their new names whose bytes are not as recorded: re-tagged by their owner, the
    // usual case, or another file that took the name while the item had none, which only a chain
    // the drive's check saved with the item's identity tells.
    std::vector<RecordEntry> renamedOrTaken;
    size_t entries = 0;  // all it holds
    // Items now under their new names, each as recorded (the path before, the path after), in the
    // record's order: a database written before them still names them by their old paths.
    std::vector<RenamePair> settled;
};
// `listed`, when given, tells whether the database in place lists a track at a full path or under
// it: an item whose new name it lists was renamed by a run that went on to write it, so that item
// gone since was deleted by its owner, never lost in a cut.
using ListedByDatabase = std::function<bool(const std::u16string& fullPath)>;
EarlierRenames ReadEarlierRenames(IFileSystem& fs, const std::u16string& dbPath,
                                  const ListedByDatabase& listed = nullptr);
