#include "Report.h"

#include <string.h>

#include <cstdint>

#include "Strings.h"
#include "base/Text.h"

namespace {

struct Kind {
    LeftOutReason why;
    const char* one;
    const char* many;
    const char* what;  // after the count
};

const Kind kKinds[] = {
    {LeftOutReason::FolderUnreadable, "folder", "folders",
     "that could not be read, with the songs in them"},
    {LeftOutReason::NotRenamed, "name", "names",
     "that could not be changed (the player cannot show such names and will not play their "
     "songs)"},
    {LeftOutReason::PathTooLong, "song", "songs",
     "whose path is longer than the player's database can hold (255 bytes): rename its folders "
     "shorter"},
    {LeftOutReason::OutsideFolder, "song", "songs", "of the old database outside "},
    {LeftOutReason::LostInCut, "song or folder", "songs or folders",
     "that a cut left without a name (after the arrow, the name it was to have): check the player "
     "(Windows: the drive's Properties > Tools > Check; Linux: fsck.vfat -a on the unmounted "
     "device), then run zorbel again to put them back; if you deleted them yourself and want none "
     "back, remove iPod_Control/iTunes/iTunesSD.renames"},
    {LeftOutReason::FolderSavedAsFile, "file", "files",
     "that the drive's check saved from a folder's entries, not a song's data: zorbel cannot put "
     "that folder back"},
};

}  // namespace

size_t ListLimit(bool terminal) {
    return terminal ? kShownOnTerminal : SIZE_MAX;
}

bool PrintLeftOut(std::FILE* out, const std::vector<LeftOut>& leftOut, const ShownPlayer& player,
                  bool predicted, size_t limit) {
    bool cut = false;
    for (const auto& kind : kKinds) {
        std::vector<const LeftOut*> these;
        for (const auto& item : leftOut)
            if (item.why == kind.why)
                these.push_back(&item);
        if (these.empty())
            continue;
        std::string what = kind.what;
        if (kind.why == LeftOutReason::OutsideFolder)
            what += DisplayPath(player.folder) +
                    "; to keep them, run zorbel on the player's top folder: zorbel " +
                    ShellWord(DisplayPath(player.top));
        std::fprintf(out, "%s %zu %s %s\n",
                     predicted ? "a run would leave out:" : "left out:", these.size(),
                     these.size() == 1 ? kind.one : kind.many, what.c_str());
        for (size_t i = 0; i < these.size() && i < limit; ++i) {
            std::string line = "  " + ShownPath(player, these[i]->path);
            // A lost item's new name, in the folder it had.
            const std::u16string& to = these[i]->newPath;
            if (!to.empty())
                line +=
                    " -> " + ShownPath(player, std::u16string_view(to).substr(FileNameOffset(to)));
            if (these[i]->systemError)
                line += std::string(" (") + strerror(these[i]->systemError) + ")";
            std::fprintf(out, "%s\n", line.c_str());
        }
        if (these.size() > limit) {
            std::fprintf(out, kMore, these.size() - limit);
            cut = true;
        }
    }
    return cut;
}

std::string CountLeftOut(const std::vector<LeftOut>& leftOut) {
    size_t folders = 0;
    for (const auto& item : leftOut)
        folders += item.why == LeftOutReason::FolderUnreadable ? 1 : 0;
    size_t songs = leftOut.size() - folders;
    if (folders && songs)
        return Counted(folders, "folder", "folders") + " and " + Counted(songs, "song", "songs");
    return folders ? Counted(folders, "folder", "folders")
           : songs ? Counted(songs, "song", "songs")
                   : std::string();
}

void PrintSearchRefusal(SearchOutcome found, const std::string& folder, const PlayerPlace& place) {
    if (found == SearchOutcome::NoDatabase) {
        const std::string database =
            (place.top == "/" ? "" : place.top) + "/iPod_Control/iTunes/iTunesSD";
        std::fprintf(stderr, kErrNoDatabase, DisplayPath(place.top).c_str(),
                     ShellWord(DisplayPath(database)).c_str());
        return;
    }
    const std::string named =
        found == SearchOutcome::DatabaseNotAFile ? place.top : AbsoluteFolder(folder);
    std::fprintf(stderr, SearchLine(found), DisplayPath(named).c_str());
}

void PrintRepair(const RenamePair& names, const ShownPlayer& player, bool mayBeCopies) {
    const bool replaced = names.second == names.first + u".new";
    fprintf(stderr,
            replaced      ? kErrRepairFile
            : mayBeCopies ? kErrRepairOrCopies
                          : kErrRepair,
            ShownPath(player, names.first).c_str(), ShownPath(player, names.second).c_str());
}

void PrintTwoSongs(const std::vector<RenamePair>& pairs, const ShownPlayer& player, bool check) {
    for (const auto& [first, second] : pairs)
        printf(check ? kCheckTwoSongs : kTwoSongs, ShownPath(player, first).c_str(),
               ShownPath(player, second).c_str());
}
