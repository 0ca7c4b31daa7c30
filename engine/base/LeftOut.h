// What a run passes over although it is on the player, and why: each concern of the run adds its
// own, and the front ends name them all.
#pragma once

#include <string>

enum class LeftOutReason {
    FolderUnreadable,  // the track scan could not open the folder (the system's reason given)
    NotRenamed,        // its name could not be changed, so the player will not show it
    OutsideFolder,     // listed by the old database, but outside the folder the run was given
    PathTooLong,       // the later generations' record cannot hold its path whole
    // An item an earlier run recorded that is under neither of its names: a cut on Windows' FAT
    // driver left it without one (the drive's check saves it, and the next run puts it back), or
    // its owner deleted it. Kept in the record until a run puts it back.
    LostInCut,
    // A chain the drive's check saved as a file of a folder's raw entries: no song to put back.
    FolderSavedAsFile,
};

struct LeftOut {
    LeftOutReason why;
    std::u16string path;  // the full path, as the run found it
    int systemError = 0;
    std::u16string newPath = {};  // LostInCut: the path it was to have
};
