// Every text the zorbel command prints of its own, in one place. The engine's texts are in
// engine/base/Messages.h.
#pragma once

#include <string>

#include "run/Location.h"
#include "PlayerSearch.h"
#include "Version.h"

// Exit statuses, one per way a run or a check can end; --help and the man page say the same.
inline constexpr int kExitDone = 0;          // done; --check: up to date
inline constexpr int kExitFailed = 1;        // failed, the old database kept; --check: run needed
inline constexpr int kExitRefused = 2;       // not a player, unsupported folder, bad usage
inline constexpr int kExitNotConfirmed = 3;  // the database changed, not confirmed on the medium
inline constexpr int kExitLeftOut = 4;       // done, but songs were left out (named)
inline constexpr int kExitNeedsRepair = 5;   // an item under two names: nothing changed
inline constexpr int kExitCannotCheck = 6;   // --check: busy, not lockable, unreadable

inline constexpr char kVersion[] = "zorbel " ZORBEL_VERSION;
inline constexpr char kUsage[] =
    "Usage: zorbel [FOLDER]\n"
    "       zorbel --check [FOLDER]\n"
    "Makes an iPod Shuffle play the MP3 files under FOLDER (default: the current folder): gives\n"
    "files and folders whose names the player cannot show plain names (ST_FILE_1.mp3, ST_DIR_1)\n"
    "and rewrites the player's track database iPod_Control/iTunes/iTunesSD.\n"
    "FOLDER is the player's mount point or a folder on the player; only the MP3 files under it\n"
    "go into the database.\n"
    "\n"
    "      --check    change nothing: say what the player will play and what a run would change\n"
    "  -h, --help     show this help and exit\n"
    "      --version  show the version and exit\n"
    "\n"
    "Into a file or a pipe every list is whole: zorbel --check FOLDER > list.txt lists every\n"
    "name a run would change.\n"
    "\n"
    "Exit status:\n"
    "  0  done; --check: up to date\n"
    "  1  the run failed and the old database is kept (another run holds the player, it cannot\n"
    "     be locked, or the medium failed; the line says how many names it had already\n"
    "     changed, for good); --check: a run is needed\n"
    "  2  refused, nothing touched (not a player, a non-Latin folder name, a path too long for\n"
    "     the player), or bad usage\n"
    "  3  the database changed but the player did not confirm it: eject it properly, or run\n"
    "     zorbel again when the new database waits as iTunesSD.new\n"
    "  4  done, but songs were left out; the last lines say which and why (a song a cut left\n"
    "     with no name: check the drive, then run zorbel again to put it back; --check: 1,\n"
    "     saying what a run would leave out)\n"
    "  5  the player needs a repair first: a song or folder is under two names; nothing changed\n"
    "  6  --check only: could not check (another run, no lock, the database unreadable)\n"
    "  130, 129, 143 (128 + the signal) Ctrl-C, a hang-up or kill: before the run's first\n"
    "     change it ends at once and nothing is changed; after it the run finishes first, so\n"
    "     the player is left whole, and its last line says how it ended\n";

// printf formats: %s is the folder as given, or the player's top folder.
inline constexpr char kErrBadOption[] = "zorbel: unknown option '%s'; see zorbel --help\n";
inline constexpr char kErrTooMany[] = "zorbel: give one folder at most; see zorbel --help\n";
inline constexpr char kErrNoFolder[] =
    "zorbel: %s: no such folder; give the player's mount point\n";
inline constexpr char kErrNotAFolder[] =
    "zorbel: %s: not a folder; give the player's mount point or a folder on the player\n";
inline constexpr char kErrDatabaseNotAFile[] =
    "zorbel: %s: the player's iPod_Control/iTunes/iTunesSD is not a file; move it away and put an "
    "empty file of that name there, or restore the player with its maker's software\n";
// The player's top folder, then its database's path as a word for the shell.
inline constexpr char kErrNoDatabase[] =
    "zorbel: %s: the player has no track database yet (no iTunesSD in iPod_Control/iTunes); "
    "for a 1st or 2nd generation iPod Shuffle (2005-2008) make it an empty file, touch %s, then "
    "run zorbel again; a 3rd or 4th generation (2009-2017) needs its database made once by the "
    "vendor's software\n";
inline constexpr char kErrNoPlayer[] =
    "zorbel: %s: no iPod Shuffle here (no iPod_Control/iTunes/iTunesSD at or above it on this "
    "drive); give the player's mount point, e.g. zorbel /media/$USER/IPOD\n";
inline constexpr char kErrWideFolder[] =
    "zorbel: %s: the player cannot use a folder whose name has Chinese or other non-Latin "
    "characters; rename the folder or run zorbel on a folder with a plain name\n";
inline constexpr char kErrPathTooLong[] =
    "zorbel: %s: the path is too long for the player; run zorbel on a folder higher up\n";
inline constexpr char kErrBusy[] =
    "zorbel: another run is updating this player; try again when it has finished\n";
// The player, then the system's reason.
inline constexpr char kErrLock[] =
    "zorbel: %s: the player could not be locked (%s), nothing was changed; check that you may "
    "write to its iPod_Control/iTunes folder and that its file system supports locks\n";
// Each first %s: " (the system's reason)", or nothing when none is known; the second, where
// there is one: what the run had renamed for good before it failed (RenamedNote).
inline constexpr char kErrNotDurable[] =
    "zorbel: the new track database is in place but the player did not confirm it is stored%s; "
    "eject the player properly (eject or umount) before unplugging it\n";
inline constexpr char kErrNotReplaced[] =
    "zorbel: the system removed the old track database but the new one could not take its "
    "place%s; it is complete in iPod_Control/iTunes/iTunesSD.new: run zorbel again to put it in "
    "place\n";
inline constexpr char kErrDatabase[] =
    "zorbel: writing the track database failed%s, the old one is kept%s; check that the player "
    "is writable and has free space, then run zorbel again\n";
// Nothing is wrong with the player: the computer ran out of memory. %s: the renames made.
inline constexpr char kErrOutOfMemory[] =
    "zorbel: out of memory, the old track database is kept%s; close other programs and run "
    "zorbel again\n";
inline constexpr char kErrRead[] =
    "zorbel: reading the player (a folder, or the record of renames) failed%s, the old track "
    "database is kept%s; check the player (unplug it, plug it in again) and run zorbel again\n";
// The two names, each a path on this system.
inline constexpr char kErrRepair[] =
    "zorbel: %s and %s share one song's data (a run was cut off while renaming it); nothing was "
    "changed; repair the player first (Windows: the drive's Properties > Tools > Check; Linux: "
    "fsck.vfat -a on the unmounted device, again until it changes nothing; macOS: Disk Utility's "
    "First Aid), then run zorbel again\n";
// The same when the two hold the same bytes and this system cannot tell one song under two names
// from two copies: the run asks once, and the next keeps both as two songs.
inline constexpr char kErrRepairOrCopies[] =
    "zorbel: %s and %s hold the same bytes, and this system cannot tell whether they are one song "
    "under two names (a run was cut off while renaming it) or two copies; no song was changed; "
    "repair the player first (Windows: the drive's Properties > Tools > Check; Linux: fsck.vfat "
    "-a on the unmounted device, again until it changes nothing; macOS: Disk Utility's First "
    "Aid), then run zorbel again: if both are still there, it keeps them as two songs\n";
// The same for a file a run replaces (the database, the record of renames), left under its
// temporary name too by a cut inside the replace.
inline constexpr char kErrRepairFile[] =
    "zorbel: %s and %s are one file under two names (a run was cut off while replacing it); "
    "nothing was changed; repair the player first (Windows: the drive's Properties > Tools > "
    "Check; Linux: fsck.vfat -a on the unmounted device, again until it changes nothing; macOS: "
    "Disk Utility's First Aid), then run zorbel again\n";
inline constexpr char kErrRename[] =
    "zorbel: the player failed a rename or its confirmation%s, the old track database is kept%s; "
    "eject the player properly, plug it in again and run zorbel again\n";
// "2 files", "1 folder".
inline constexpr char kRenamedNote[] = "; %s and %s already have their new names, for good";
inline constexpr char kErrStopped[] =
    "zorbel: stopped before the run's first change; nothing on the player was changed\n";
inline constexpr char kErrNoStart[] = "zorbel: the run could not be started; try again\n";

inline constexpr char kPlayerLine[] = "player: %s\n";
// The path a damaged record of renames was moved to.
inline constexpr char kRecordSetAside[] =
    "note: iPod_Control/iTunes/iTunesSD.renames was no whole record of renames (damaged or cut "
    "short); it was set aside as %s\n";
// The record of renames that could not go, and the system's reason.
inline constexpr char kRecordNotRemoved[] =
    "note: iPod_Control/iTunes/iTunesSD.renames could not be removed (%s); it does no harm, and "
    "the "
    "next run removes it\n";
inline constexpr char kCheckRecordSetAside[] =
    "iPod_Control/iTunes/iTunesSD.renames is no whole record of renames (damaged or cut short); a "
    "run would set it aside as %s\n";
// Both names of a song a cut left, held as two files: a copy, or asked about before.
inline constexpr char kTwoSongs[] =
    "two songs: %s and %s hold the same bytes but are two files; both are kept\n";
inline constexpr char kCheckTwoSongs[] =
    "two songs: %s and %s hold the same bytes but are two files; a run keeps both\n";
// A chain the drive's check saved, and the name it gets back.
inline constexpr char kPutBack[] = "put back: %s -> %s\n";
inline constexpr char kCheckPutBack[] = "a run would put back: %s -> %s\n";
// Where the run stands ("renaming 558 of 7,534"); said again at each signal while the run finishes.
inline constexpr char kNoticeStopping[] =
    "zorbel: stopping once the run has finished (%s), so the player is left whole\n";
// "4 tracks", "1 file", "2 folders", seconds.
inline constexpr char kSummary[] = "done: %s written, %s and %s renamed, in %.2f s\n";

// A third or fourth generation player's spoken names (VoiceOver), after a run. "3 names", "264 KB";
// then what else the run did, or nothing.
inline constexpr char kSpokenMade[] = "spoken names: %s made (%s), %zu there already%s\n";
inline constexpr char kSpokenTurnedOn[] = "; VoiceOver turned on (the player listed no songs)";
// "1 file".
inline constexpr char kSpokenRemoved[] = "; %s of songs no longer listed removed";
inline constexpr char kSpokenOff[] =
    "spoken names: none made, VoiceOver is off on this player (its owner's setting, kept)\n";
// Why songs have no spoken name; each: "3 songs", and what to do.
inline constexpr char kUnspokenNoProgram[] =
    "note: %s have no spoken name: espeak-ng is not installed; install it (Debian and Ubuntu: "
    "sudo apt install espeak-ng) and run zorbel again\n";
inline constexpr char kUnspokenNoChinese[] =
    "note: %s with Chinese names have no spoken name: espeak-ng has no Mandarin voice "
    "(cmn-latn-pinyin); install espeak-ng's full voice data and run zorbel again\n";
inline constexpr char kUnspokenNoEnglish[] =
    "note: %s have no spoken name: espeak-ng has no English voice (en-us); install espeak-ng's "
    "full voice data and run zorbel again\n";
inline constexpr char kUnspokenFailed[] =
    "note: %s have no spoken name: espeak-ng could not say them; a next run tries again\n";
// "3 songs", the room they take, the room free.
inline constexpr char kUnspokenNoRoom[] =
    "note: %s have no spoken name: they would take about %s and the player has %s free, less "
    "than that and a next run's database need; free some room and run zorbel again\n";
// "3 songs", " (the system's reason)".
inline constexpr char kUnspokenWriteFailed[] =
    "note: %s have no spoken name: writing them on the player failed%s; run zorbel again\n";
inline constexpr char kUnspokenStopped[] =
    "note: %s have no spoken name yet: the run was stopped; run zorbel again to make them\n";
// --check: the names there, and what a run would do.
inline constexpr char kCheckSpokenOff[] =
    "spoken names: VoiceOver is off on this player; a run makes none\n";
// "4 songs" of the database; "3 names", "about 264 KB, 1.2 GB free"; what a run also does.
inline constexpr char kCheckSpoken[] =
    "spoken names: %zu of %zu songs have one; a run would speak %s (%s)%s\n";
// Songs in the database; what a run also does.
inline constexpr char kCheckSpokenAll[] = "spoken names: all %zu songs have one%s\n";
inline constexpr char kCheckSpokenNoRoom[] =
    "spoken names: %zu of %zu songs have one; a run would speak none of the other %zu: they "
    "would take about %s and the player has %s free\n";
inline constexpr char kCheckSpokenTurnsOn[] = "; it turns VoiceOver on";
inline constexpr char kCheckSpokenRemoves[] = "; it removes %s of songs no longer listed";
inline constexpr char kCheckSpokenNoProgram[] =
    "espeak-ng is not installed: install it (Debian and Ubuntu: sudo apt install espeak-ng) for a "
    "run to speak them\n";

// " (reason)" for a failure line, or nothing.
inline std::string Reason(const char* reason) {
    return reason && *reason ? std::string(" (") + reason + ")" : std::string();
}

// A format with one %s filled.
inline std::string FormatLine(const char* format, const std::string& text) {
    std::string out = format;
    size_t at = out.find("%s");
    return at == std::string::npos ? out : out.replace(at, 2, text);
}

// "1 track", "2 tracks".
inline std::string Counted(size_t count, const char* one, const char* many) {
    return std::to_string(count) + ' ' + (count == 1 ? one : many);
}

// zorbel --check. Which generations' layout the player's database has (a left-over iTunesSD.new's
// when the database is too short to tell), so the one a run writes.
inline constexpr char kCheckLayoutEarly[] =
    "database layout: 1st/2nd generation iPod Shuffle; a run writes this layout\n";
inline constexpr char kCheckLayoutLater[] =
    "database layout: 3rd/4th generation iPod Shuffle (bdhs); a run writes this layout\n";
inline constexpr char kCheckLayoutUnknown[] =
    "database layout: unknown, the database could not be read; a run would keep it\n";
// Database lines: %zu bytes; %s "4 tracks".
inline constexpr char kCheckDbIntact[] =
    "database: %s, %zu bytes, complete and as Zorbel writes it\n";
inline constexpr char kCheckDbMissing[] = "database: missing; a run will write it\n";
inline constexpr char kCheckDbOnlyTemp[] =
    "database: missing, left-over iTunesSD.new that is no complete database: a run will write "
    "it\n";
// "4 tracks".
inline constexpr char kCheckDbOnlyTempComplete[] =
    "database: missing, but a left-over iTunesSD.new holds a complete one of %s: a run will put "
    "it in place first\n";
// Bytes.
inline constexpr char kCheckDbTooLarge[] =
    "database: %llu bytes, larger than any player's database; a run will write it anew\n";
inline constexpr char kCheckDbEmpty[] =
    "database: empty, a player with no tracks yet; a run will write it\n";
inline constexpr char kCheckDbTooShort[] =
    "database: torn: %zu bytes, shorter than its header; a run will write it anew\n";
inline constexpr char kCheckDbForeign[] =
    "database: %zu bytes, not as Zorbel writes it (its header differs); a run will write it "
    "anew\n";
// Bytes, "4 tracks" the header gives, the bytes those take.
inline constexpr char kCheckDbTorn[] =
    "database: torn: %zu bytes where its header's %s take %zu; a run will write it anew\n";
inline constexpr char kCheckDbTooLong[] =
    "database: damaged: %zu bytes where its header's %s take %zu; a run will write it anew\n";
inline constexpr char kCheckDbRecords[] =
    "database: %s, complete, but its records are not as Zorbel writes them; a run will write "
    "it anew\n";
inline constexpr char kCheckLeftOver[] =
    "left-over iTunesSD.new: a run was cut off before it moved the new database into place; a "
    "run will replace it\n";
// " (the system's reason)".
inline constexpr char kCheckTempFolder[] =
    "iPod_Control/iTunes/iTunesSD.new is a folder, not a file%s: every run will fail to write the "
    "database, and stop before changing anything, until it is moved away\n";
inline constexpr char kCheckTempOther[] =
    "iPod_Control/iTunes/iTunesSD.new is not a file that can be read%s: every run will fail to "
    "write the database, and stop before changing anything, until it is moved away\n";
// Missing tracks, all tracks; "3 MP3 files", the folder; renames; paths not shown.
inline constexpr char kCheckMissing[] = "not on the player: %zu of the database's %zu tracks\n";
inline constexpr char kCheckLeftOut[] =
    "left out by a run from the folder: %zu of the database's %zu tracks, not found under %s\n";
inline constexpr char kCheckUnlisted[] = "not in the database: %s under %s\n";
inline constexpr char kCheckRenames[] =
    "names the player cannot show: a run would rename %zu (new name after the arrow)\n";
inline constexpr char kMore[] = "  ... and %zu more\n";
// The first paths of each list shown on a terminal; the folder as a word for the shell.
inline constexpr char kAllPaths[] =
    "the lists above show their first %zu paths; to see every path: zorbel --check %s > "
    "list.txt\n";
inline constexpr char kCheckReordered[] =
    "order: the database lists the tracks in another order than a run would write them\n";
inline constexpr char kCheckReadFailed[] =
    "a folder on the player could not be read while the tracks are listed: a run would rename "
    "but keep the old database; unplug the player, plug it in again and check again\n";
inline constexpr char kCheckReadFailedFirst[] =
    "a folder on the player could not be read: a run would stop before renaming anything and "
    "keep the old database; unplug the player, plug it in again and check again\n";
// A later generation's database: what a run keeps that its owner set, as a list of the words
// below ("volume limit, VoiceOver, 2 playlists, settings of 4 songs").
inline constexpr char kCheckKept[] = "kept from the old database: %s\n";
inline constexpr char kKeptVolumeLimit[] = "volume limit";
inline constexpr char kKeptVoiceOver[] = "VoiceOver";
inline constexpr char kKeptSongs[] = "settings of ";
// "3 tracks".
inline constexpr char kCheckVerdictRead[] =
    "the player will play %s; a run would keep the old database\n";
// "3 tracks", added, dropped, renamed; then what it would leave out, or nothing.
inline constexpr char kCheckVerdict[] =
    "the player will play %s; a run would add %zu, drop %zu and rename %zu%s\n";
// "1 folder and 2 songs".
inline constexpr char kCheckVerdictLeftOut[] = ", and leave out %s";
inline constexpr char kCheckUpToDate[] = "up to date: the player will play %s\n";
inline constexpr char kErrCheckBusy[] =
    "zorbel: a run is updating this player; check again when it has finished\n";
// The system's reason.
inline constexpr char kErrCheckRecord[] =
    "zorbel: the record of an earlier run's renames, iPod_Control/iTunes/iTunesSD.renames, could "
    "not be read (%s); unplug the player, plug it in again and check again\n";
// The system's reason.
inline constexpr char kErrCheckRead[] =
    "zorbel: the track database iPod_Control/iTunes/iTunesSD could not be read (%s); check "
    "that you may read it, or unplug the player, plug it in again and check again\n";

// Why no player was found where the user pointed.
inline const char* SearchLine(SearchOutcome outcome) {
    switch (outcome) {
        case SearchOutcome::NoDatabase:
            return kErrNoDatabase;
        case SearchOutcome::NoSuchFolder:
            return kErrNoFolder;
        case SearchOutcome::NotAFolder:
            return kErrNotAFolder;
        case SearchOutcome::DatabaseNotAFile:
            return kErrDatabaseNotAFile;
        case SearchOutcome::NoPlayer:
        case SearchOutcome::Found:
            break;
    }
    return kErrNoPlayer;
}

// Why the location check refused, for the user.
inline const char* RefusalLine(LocationOutcome outcome) {
    switch (outcome) {
        case LocationOutcome::FolderNotSupported:
            return kErrWideFolder;
        case LocationOutcome::PathTooLong:
            return kErrPathTooLong;
        case LocationOutcome::NotOnPlayer:
        case LocationOutcome::Ready:
            break;
    }
    return kErrNoPlayer;
}
