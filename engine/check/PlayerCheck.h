// A look at the player that changes nothing: the database as it is, and what a run from the same
// folder would do to it. The engine's own steps run on a dry-run file system, so the prediction
// is the run's own, down to the new names.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "database/Database.h"
#include "speech/SpokenNames.h"
#include "base/FileSystem.h"
#include "record/RenameRecord.h"
#include "base/LeftOut.h"

// What stands at iTunesSD.new: nothing, a file (a run cut off before moving it into place), or
// something no run can write (a folder, a pipe), so every run fails until it is moved away.
enum class TempState { None, File, Folder, Other };

// What a run would keep of what the owner set in a later-layout database: the volume limit,
// VoiceOver, the playlists besides the master one that keep a song, and the songs whose settings
// differ from a new song's.
struct KeptSettings {
    bool volumeLimit = false, voiceOver = false;
    size_t playlists = 0, songs = 0;
    bool Any() const { return volumeLimit || voiceOver || playlists || songs; }
};

struct PlayerCheck {
    bool hasDatabase = false;
    DatabaseContents database;
    DbFormat format = DbFormat::Early;  // the layout a run would write, decided as a run does
    TempState temp = TempState::None;
    int tempError = 0;              // Folder, Other: the system's reason a run would meet there
    bool leftOverTemp = false;      // an iTunesSD.new file
    DatabaseContents tempDatabase;  // that file, read when there is no iTunesSD
    // A folder could not be read: a run would keep the old database. Failing in the first scan,
    // it would also rename nothing, and nothing after it is predicted.
    bool readFailed = false;
    bool readFailedBeforeRenames = false;
    // What a run from the folder would pass over: folders it cannot open, with the reason, and
    // songs whose path the database cannot hold.
    std::vector<LeftOut> passedOver;

    // Player paths ("/Music/a.mp3"). The database's tracks whose file is not there:
    std::vector<std::u16string> missing;
    // The database's tracks that are there but that a run from the folder would leave out
    // (outside the folder, or passed over by the scan: a link, a path too long):
    std::vector<std::u16string> leftOut;
    // The MP3 files under the folder that the database does not list (all of them when it is
    // torn), named as they are now:
    std::vector<std::u16string> unlisted;
    // Each rename a run would make: the item's player path now, and its new name.
    std::vector<std::pair<std::u16string, std::u16string>> renames;

    // What the record of an earlier run's renames says, as a run would read it: an item still
    // under two names (a run changes nothing, and nothing further is predicted), the record
    // unreadable (the same), or no whole record (a run sets it aside, here named).
    std::optional<RenamePair> shared;
    bool sharedMayBeCopies = false;    // the same bytes, the system unable to say: a run asks once
    std::vector<RenamePair> twoSongs;  // both names of an item, kept as two songs
    bool recordUnreadable = false;
    std::u16string recordSetAside;
    // Lost items a run would put back from the chains the drive's check saved (chain, new path),
    // and those it would name as lost (LostInCut, FolderSavedAsFile).
    std::vector<RenamePair> putBacks;
    std::vector<LeftOut> lost;

    size_t playable = 0;     // the tracks of an intact database whose file is there
    size_t tracks = 0;       // the tracks a run would write
    size_t added = 0;        // of those, not in the database now
    size_t dropped = 0;      // tracks of the database now that a run would leave out
    bool reordered = false;  // the same tracks, but not in the order a run would write them
    KeptSettings kept;       // when a run would write a database
    // A later generation's spoken names as a run would find them: those there, those it would
    // speak and the room they take, Zorbel's files of songs gone it would remove.
    SpeechOutcome speech;

    // A run that would leave something out ends on saying so, never on "done": not up to date.
    bool UpToDate() const {
        return hasDatabase && database.Intact() && database.format == format &&
               temp == TempState::None && !readFailed && renames.empty() && added == 0 &&
               dropped == 0 && !reordered && passedOver.empty() && !shared && !recordUnreadable &&
               recordSetAside.empty() && putBacks.empty() && lost.empty() && speech.renewed == 0 &&
               !speech.turnedOn && speech.removed == 0;
    }
};

// `rootDir` and `dbPath` as the location check set them; `dbBytes` null when there is no database.
// Reads each folder under `rootDir` once; never writes, renames or removes anything.
PlayerCheck CheckPlayer(IFileSystem& fs, const std::u16string& rootDir,
                        const std::u16string& dbPath, const std::vector<uint8_t>* dbBytes);
