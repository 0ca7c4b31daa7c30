// Every text the zorbel command prints of its own, in one place. The engine's texts are in
// engine/Messages.h.
#pragma once

inline constexpr char kVersion[] = "zorbel 1.0";
inline constexpr char kUsage[] =
    "Usage: zorbel [FOLDER]\n"
    "Makes an early iPod Shuffle play the MP3 files under FOLDER (default: the current folder):\n"
    "gives files and folders whose names the player cannot show plain names (ST_FILE_1.mp3,\n"
    "ST_DIR_1) and rewrites the player's track database iPod_Control/iTunes/iTunesSD.\n"
    "FOLDER is the player's mount point or a folder on the player.\n"
    "\n"
    "  -h, --help     show this help and exit\n"
    "      --version  show the version and exit\n"
    "\n"
    "Exit status: 0 done; 1 the run failed, another run holds the player or it cannot be locked\n"
    "(the old database is kept), or the new database is not confirmed on the player (eject it\n"
    "properly); 2 refused (not a player, unsupported folder name) or bad usage.\n";

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
inline constexpr char kErrNoStart[] = "zorbel: the run could not be started; try again\n";

inline constexpr char kPlayerLine[] = "player: %s\n";
// Tracks, files renamed, folders renamed, seconds.
inline constexpr char kSummary[] =
    "done: %zu tracks written, %zu files and %zu folders renamed, in %.2f s\n";
