// Every text the zorbel command prints of its own, in one place. The engine's texts are in
// engine/Messages.h.
#pragma once

#include "Location.h"

#include <string>

#include "Version.h"

inline constexpr char kVersion[] = "zorbel " ZORBEL_VERSION;
inline constexpr char kUsage[] =
    "Usage: zorbel [FOLDER]\n"
    "       zorbel --check [FOLDER]\n"
    "Makes an early iPod Shuffle play the MP3 files under FOLDER (default: the current folder):\n"
    "gives files and folders whose names the player cannot show plain names (ST_FILE_1.mp3,\n"
    "ST_DIR_1) and rewrites the player's track database iPod_Control/iTunes/iTunesSD.\n"
    "FOLDER is the player's mount point or a folder on the player.\n"
    "\n"
    "      --check    change nothing: say what the player will play and what a run would\n"
    "                 change (exit status 0 up to date, 1 a run is needed, 2 not a player,\n"
    "                 5 the player needs a repair first)\n"
    "  -h, --help     show this help and exit\n"
    "      --version  show the version and exit\n"
    "\n"
    "Exit status: 0 done; 1 the run failed, another run holds the player or it cannot be locked\n"
    "(the old database is kept), or the new database is not confirmed on the player (eject it\n"
    "properly); 2 refused (not a player, unsupported folder name) or bad usage; 5 the player\n"
    "needs a repair first (a song or folder under two names, left by a cut), nothing changed.\n";

// printf formats: %s is the folder as given, or the player's top folder.
inline constexpr char kErrBadOption[] = "zorbel: unknown option '%s'; see zorbel --help\n";
inline constexpr char kErrTooMany[] = "zorbel: give one folder at most; see zorbel --help\n";
inline constexpr char kErrNoFolder[] =
    "zorbel: %s: no such folder; give the player's mount point\n";
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
inline constexpr char kErrNotDurable[] =
    "zorbel: the new track database is in place but the player did not confirm it is stored; "
    "eject the player properly (eject or umount) before unplugging it\n";
inline constexpr char kErrDatabase[] =
    "zorbel: writing the track database failed, the old one is kept; check that the player is "
    "writable and has free space, then run zorbel again\n";
inline constexpr char kErrRead[] =
    "zorbel: reading a folder on the player failed, the old track database is kept; check the "
    "player (unplug it, plug it in again) and run zorbel again\n";
// The two names, each a path on this system.
inline constexpr char kErrRepair[] =
    "zorbel: %s and %s share one song's data (a run was cut off while renaming it); nothing was "
    "changed; repair the player first (Windows: the drive's Properties > Tools > Check; Linux: "
    "fsck.vfat -a on the unmounted device, again until it changes nothing; macOS: Disk Utility's "
    "First Aid), then run zorbel "
    "again\n";
// The system's reason.
inline constexpr char kErrRename[] =
    "zorbel: the player failed to confirm a rename (%s); names may have changed, the old track "
    "database is kept; eject the player properly, plug it in again and run zorbel again\n";
inline constexpr char kErrNoStart[] = "zorbel: the run could not be started; try again\n";

inline constexpr char kPlayerLine[] = "player: %s\n";
// "4 tracks", "1 file", "2 folders", seconds.
inline constexpr char kSummary[] = "done: %s written, %s and %s renamed, in %.2f s\n";

// "1 track", "2 tracks".
inline std::string Counted(size_t count, const char* one, const char* many) {
    return std::to_string(count) + ' ' + (count == 1 ? one : many);
}

// zorbel --check. Database lines: %zu bytes; %s "4 tracks".
inline constexpr char kCheckDbIntact[] =
    "database: %s, %zu bytes, complete and as Zorbel writes it\n";
inline constexpr char kCheckDbMissing[] = "database: missing; a run will write it\n";
inline constexpr char kCheckDbOnlyTemp[] =
    "database: missing, left-over iTunesSD.new: a run will write it\n";
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
// Missing tracks, all tracks; "3 MP3 files", the folder; renames; paths not shown.
inline constexpr char kCheckMissing[] = "not on the player: %zu of the database's %zu tracks\n";
inline constexpr char kCheckLeftOut[] =
    "left out by a run from the folder: %zu of the database's %zu tracks, not found under %s\n";
inline constexpr char kCheckUnlisted[] = "not in the database: %s under %s\n";
inline constexpr char kCheckRenames[] =
    "names the player cannot show: a run would rename %zu (new name after the arrow)\n";
inline constexpr char kCheckMore[] = "  ... and %zu more\n";
inline constexpr char kCheckReordered[] =
    "order: the database lists the tracks in another order than a run would write them\n";
inline constexpr char kCheckReadFailed[] =
    "a folder on the player could not be read: a run would keep the old database; unplug the "
    "player, plug it in again and check again\n";
// "3 tracks", added, dropped, renamed.
inline constexpr char kCheckVerdict[] =
    "the player will play %s; a run would add %zu, drop %zu and rename %zu\n";
inline constexpr char kCheckUpToDate[] = "up to date: the player will play %s\n";
inline constexpr char kErrCheckBusy[] =
    "zorbel: a run is updating this player; check again when it has finished\n";
inline constexpr char kErrCheckRead[] =
    "zorbel: the track database could not be read; check the player (unplug it, plug it in "
    "again) and check again\n";

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
