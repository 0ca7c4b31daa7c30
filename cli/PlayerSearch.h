// Finding the player from a folder the user names: its top folder is the nearest folder at or
// above it, on the same mount, that holds iPod_Control/iTunes/iTunesSD. A player copied into a
// plain folder is found the same way.
#pragma once

#include <string>

#include "run/Location.h"

// DatabaseNotAFile: the nearest iPod_Control/iTunes holds an iTunesSD that is no file;
// NoDatabase: it holds none (nor a left-over iTunesSD.new), as a new player's does.
enum class SearchOutcome {
    Found,
    NoSuchFolder,
    NotAFolder,
    NoPlayer,
    DatabaseNotAFile,
    NoDatabase
};

struct PlayerPlace {
    // The player's top folder, no trailing slash ("/" only for the root); also where the search
    // stopped for DatabaseNotAFile and NoDatabase.
    std::string top;
    std::string below;  // the folder below the top, "a/b"; empty for the top itself
};

SearchOutcome FindPlayer(const std::string& folder, PlayerPlace& place);

// The folder the user gave, as found on this system (the top folder, or a folder below it).
std::string FolderShown(const PlayerPlace& place);
// The folder the user gave as an absolute path, for a line that names it: never ".".
std::string AbsoluteFolder(const std::string& folder);

// The location check's view of a run of the command: a program file in the folder, on the
// engine's drive for the player, which is removable since a player was found there.
class CommandProbe : public ILocationProbe {
public:
    CommandProbe(std::u16string drive, const std::string& below);
    std::u16string ProgramPath() override { return m_programPath; }
    bool IsRemovableDrive(const std::u16string&) override { return true; }

private:
    std::u16string m_programPath;
};
