#include "PlayerSearch.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "HostNames.h"

namespace {

enum class Holds { Nothing, Database, NoFile, NoDatabase };

// The database and the two folders above it must be what they say, never links elsewhere.
Holds HoldsDatabase(const std::string& folder) {
    std::string path = folder == "/" ? "" : folder;
    struct stat info;
    path += "/iPod_Control";
    if (lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return Holds::Nothing;
    path += "/iTunes";
    if (lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return Holds::Nothing;
    path += "/iTunesSD";
    if (lstat(path.c_str(), &info) == 0)
        return S_ISREG(info.st_mode) ? Holds::Database : Holds::NoFile;
    // A replace cut short on FAT leaves only the complete new database: still a player.
    path += ".new";
    return lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) ? Holds::Database
                                                                    : Holds::NoDatabase;
}

}  // namespace

SearchOutcome FindPlayer(const std::string& folder, PlayerPlace& place) {
    std::unique_ptr<char, decltype(&free)> real(realpath(folder.c_str(), nullptr), &free);
    struct stat info;
    if (!real || stat(real.get(), &info) != 0)
        return SearchOutcome::NoSuchFolder;
    if (!S_ISDIR(info.st_mode))
        return SearchOutcome::NotAFolder;
    const dev_t device = info.st_dev;
    std::string at = real.get();
    for (;;) {
        // Another device is another mount: the player ends below it.
        if (stat(at.c_str(), &info) != 0 || info.st_dev != device)
            return SearchOutcome::NoPlayer;
        Holds holds = HoldsDatabase(at);
        if (holds == Holds::NoFile || holds == Holds::NoDatabase) {
            place.top = at;
            return holds == Holds::NoFile ? SearchOutcome::DatabaseNotAFile
                                          : SearchOutcome::NoDatabase;
        }
        if (holds == Holds::Database) {
            place.top = at;
            std::string whole = real.get();
            place.below = whole.size() > at.size() ? whole.substr(at == "/" ? 1 : at.size() + 1)
                                                   : std::string();
            return SearchOutcome::Found;
        }
        if (at == "/")
            return SearchOutcome::NoPlayer;
        size_t slash = at.rfind('/');
        at = slash == 0 ? "/" : at.substr(0, slash);
    }
}

CommandProbe::CommandProbe(std::u16string drive, const std::string& below)
    : m_programPath(std::move(drive)) {
    size_t begin = 0;
    while (begin < below.size()) {
        size_t end = below.find('/', begin);
        if (end == std::string::npos)
            end = below.size();
        m_programPath += u'\\';
        m_programPath += NameFromHost(std::string_view(below).substr(begin, end - begin));
        begin = end + 1;
    }
    m_programPath += u"\\zorbel";
}

std::string FolderShown(const PlayerPlace& place) {
    if (place.below.empty())
        return place.top;
    return (place.top == "/" ? "" : place.top) + "/" + place.below;
}

std::string AbsoluteFolder(const std::string& folder) {
    std::unique_ptr<char, decltype(&free)> real(realpath(folder.c_str(), nullptr), &free);
    if (real)
        return real.get();
    if (!folder.empty() && folder[0] == '/')
        return folder;
    std::unique_ptr<char, decltype(&free)> here(getcwd(nullptr, 0), &free);
    if (!here)
        return folder;
    std::string joined = here.get();
    return (joined == "/" ? "" : joined) + "/" + folder;
}
