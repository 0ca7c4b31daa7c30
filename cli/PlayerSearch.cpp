#include "PlayerSearch.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <memory>

#include "HostNames.h"

namespace {

// The database and the two folders above it must be what they say, never links elsewhere.
bool HoldsDatabase(const std::string& folder) {
    std::string path = folder == "/" ? "" : folder;
    struct stat info;
    path += "/iPod_Control";
    if (lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return false;
    path += "/iTunes";
    if (lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return false;
    path += "/iTunesSD";
    if (lstat(path.c_str(), &info) == 0)
        return S_ISREG(info.st_mode);
    // A replace cut short on FAT leaves only the complete new database: still a player.
    path += ".new";
    return lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

SearchOutcome FindPlayer(const std::string& folder, PlayerPlace& place) {
    std::unique_ptr<char, decltype(&free)> real(realpath(folder.c_str(), nullptr), &free);
    struct stat info;
    if (!real || stat(real.get(), &info) != 0 || !S_ISDIR(info.st_mode))
        return SearchOutcome::NoSuchFolder;
    const dev_t device = info.st_dev;
    std::string at = real.get();
    for (;;) {
        // Another device is another mount: the player ends below it.
        if (stat(at.c_str(), &info) != 0 || info.st_dev != device)
            return SearchOutcome::NoPlayer;
        if (HoldsDatabase(at)) {
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
