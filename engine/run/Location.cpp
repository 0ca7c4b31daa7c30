#include "run/Location.h"

#include "base/FileSystem.h"
#include "base/Text.h"

LocationDecision DecideLocation(
    std::u16string_view programPath, const std::function<bool(const std::u16string&)>& exists,
    const std::function<bool(const std::u16string&)>& isFile,
    const std::function<bool(const std::u16string&)>& isRemovableDrive) {
    LocationDecision decision;
    size_t nameAt = FileNameOffset(programPath);
    if (programPath.size() >= kMaxPath) {
        decision.outcome = LocationOutcome::PathTooLong;
        return decision;
    }
    // A path that could not be had or has no folder part cannot be on the player.
    if (programPath.empty() || nameAt < 2)
        return decision;

    decision.rootDir = std::u16string(programPath.substr(0, nameAt - 1));
    std::u16string drive = decision.rootDir.substr(0, 2);
    std::u16string dbPath = drive + u"\\iPod_Control\\iTunes\\iTunesSD";

    // A replace cut short on Windows FAT leaves no database but the complete new one beside it:
    // still a player, whose next run puts it in place first. A folder of that name is no database.
    bool found = exists(dbPath) || isFile(dbPath + u".new");
    // The drive asked about is the one holding the program, whatever the current directory.
    if (!found || !isRemovableDrive(drive + u"\\"))
        return decision;
    if (HasWideUnits(decision.rootDir)) {
        decision.outcome = LocationOutcome::FolderNotSupported;
        return decision;
    }
    decision.outcome = LocationOutcome::Ready;
    decision.dbPath = dbPath;
    return decision;
}
