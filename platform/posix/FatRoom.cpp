// Room for a folder's new names on Linux's vfat, made before the renames: a new entry must never
// become visible only behind a folder's never-used end entry. Part of PosixFileSystem: its
// PrepareNames, and whether the player is vfat at all.
#include "FatRoom.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#if defined(__linux__)
#include <sys/vfs.h>
#endif

#include "base/FatNames.h"
#include "HostNames.h"
#include "PosixFileSystem.h"
#include "base/Text.h"

namespace {

// The one-entry stand-ins that take a folder's every free entry (TakeAndFree below): "~T000001",
// a short name of capitals and digits, which FAT keeps in one entry.
std::string OneEntryStandIn(const std::string& folder, unsigned number) {
    std::string digits = std::to_string(number);
    return folder + "/~T" + std::string(digits.size() < 6 ? 6 - digits.size() : 0, '0') + digits;
}

// Whether `name` is a stand-in's ("~T_FILE_7.mp~", "~T_DIR_7": the new names' stand-ins;
// "~T000001") or the short alias FAT gave one ("~T_FIL~1.MP~", "~T_DIR~1"), in any case: what a
// cut can leave of room made for new names, whatever run made it.
bool IsStandInName(const std::string& name) {
    std::string folded;
    for (char c : name)
        folded += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* head : {"~t_file_", "~t_fil~", "~t_dir_", "~t_dir~", "~t"}) {
        size_t at = std::string(head).size();
        if (folded.compare(0, at, head) != 0)
            continue;
        size_t digits = at;
        while (digits < folded.size() && std::isdigit(static_cast<unsigned char>(folded[digits])))
            ++digits;
        std::string tail = folded.substr(digits);
        bool file = at > 3 && head[3] == 'f';
        if (digits > at && (at > 2 || digits - at == 6))
            return file ? tail == ".mp~" : tail.empty();
    }
    return false;
}

// Takes each stand-in (and, when `fill` names a folder, every free entry of it) and frees them all
// together; see MakeRoom.
bool TakeAndFree(const std::string& fill, const std::vector<std::string>& stands, bool& made,
                 int& error);

// Removes every stand-in a cut left in `folder` (an empty file of a stand-in's name); true when
// any was there. A stand-in cut off before it was freed may lie behind the folder's never-used
// end entry: left there, the renames would fill the free entries before it and put the next new
// name after it, hidden from Windows.
bool RemoveLeftStandIns(const std::string& folder) {
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return false;
    std::vector<std::string> left;
    while (struct dirent* entry = readdir(dir)) {
        struct stat info;
        if (IsStandInName(entry->d_name) &&
            fstatat(dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(info.st_mode) && info.st_size == 0)
            left.push_back(folder + "/" + entry->d_name);
    }
    closedir(dir);
    bool removed = false;
    for (const auto& stand : left)
        removed = unlink(stand.c_str()) == 0 || removed;
    return removed;
}

#if defined(__linux__)
constexpr long kVfatMagic = 0x4d44;  // MSDOS_SUPER_MAGIC
constexpr size_t kSlotsPerSector = 512 / 32;

// Whether the new entries, wherever a rename may put them, stay clear of a sector boundary beyond
// the folder's last entry. Linux's vfat puts a new entry in the first free run that fits, so
// whatever the renames add past the last entry is packed from its end; readdir's offset of an
// entry is where the next one begins. Only an entry that starts in slots never written and ends
// in the next sector can be caught half written: below such a boundary none can.
bool NewEntriesStayInOneSector(const FolderEnd& end, const std::vector<std::u16string>& names) {
    size_t lastStart = static_cast<size_t>(end.lastStart) / 32;
    FatSlots last =
        end.lastName.empty() ? FatSlots{0, 0} : FatEntriesFor(NameFromHost(end.lastName));
    size_t added = 0;
    for (const auto& name : names)
        added += FatEntriesFor(name).most;
    size_t first = lastStart + last.least, stop = lastStart + last.most + added;
    return stop == first || first / kSlotsPerSector == (stop - 1) / kSlotsPerSector;
}

// The end of a folder no listing has met whole.
bool ReadFolderEnd(const std::string& folder, FolderEnd& end) {
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return false;
    long offset = 0;
    while (struct dirent* entry = readdir(dir)) {
        end.lastStart = offset;
        end.lastName = entry->d_name;
        offset = entry->d_off;
    }
    closedir(dir);
    return true;
}
#endif

}  // namespace

bool PosixFileSystem::OnVfat() {
#if defined(__linux__)
    if (m_vfat < 0) {
        struct statfs volume;
        m_vfat = statfs(m_top.c_str(), &volume) == 0 && volume.f_type == kVfatMagic ? 1 : 0;
    }
    return m_vfat == 1;
#else
    return false;
#endif
}

std::u16string PlaceholderName(std::u16string_view name) {
    std::u16string stand(name);
    if (!stand.empty())
        stand.front() = u'~';
    if (EndsWithMp3(stand))
        stand.back() = u'~';
    return stand;
}

// On FAT a folder ends for Windows and the player at its first never-used entry (0x00). A rename
// whose new entries cross such entries and reach the medium in two sector writes could leave the
// new entry visible only behind one. So every new name's entries are taken by a stand-in, and all
// are freed together, still in memory (one freed at once would be taken again by the next). The
// first rename writes every folder's at once, as deleted entries (0xE5) for the renames to reuse:
// one sync for all folders writes a sector shared by several (their parent's, the FAT's) once.
bool PosixFileSystem::PrepareNames(const std::u16string& folder,
                                   const std::vector<std::u16string>& names) {
    std::string host;
    if (!Host(folder, host))
        return false;
    std::vector<std::string> stands;
    for (const auto& name : names) {
        std::string stand;
        if (Host(JoinPath(folder, PlaceholderName(name)), stand))
            stands.push_back(std::move(stand));
    }
    // vfat's "flush" mount writes every dirty buffer of the volume when a file written to closes:
    // none may close while stand-ins are taken, or they reach the medium in use.
    m_closing.WaitAll();
    // An empty stand-in can only be one a cut left behind on the medium.
    bool left = RemoveLeftStandIns(host);
    for (const auto& stand : stands) {
        struct stat info;
        if (lstat(stand.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size == 0)
            left = unlink(stand.c_str()) == 0 || left;
    }
    if (left)
        m_cleanFolder.clear();
#if defined(__linux__)
    // Only FAT stops a listing at a never-used entry; on vfat, room is made only where a new
    // entry could straddle a sector boundary past the folder's end. Where a cut left stand-ins,
    // the folder no longer ends where its listing met its end, and it may hold free entries
    // never written: room is made there in any case.
    if (!OnVfat())
        return true;
    auto known = m_folderEnds.find(host);
    FolderEnd end;
    if (!left && (known != m_folderEnds.end()
                      ? NewEntriesStayInOneSector(known->second, names)
                      : ReadFolderEnd(host, end) && NewEntriesStayInOneSector(end, names)))
        return true;
#endif
    m_cleanFolder.clear();
    bool made = false;
    // A stand-in of a run that let them reach the medium in use (before this one) may have left
    // long-name parts there that no listing shows and no removal reaches: behind never-used
    // entries, the renames would put new names after them. Where it left any stand-in, every free
    // entry of the folder is taken and freed with the room, so that none stays never-used.
    if (!TakeAndFree(left ? host : std::string(), stands, made, m_lastError))
        return false;
    m_roomPending = m_roomPending || made;
    return true;
}

// Each stand-in is held open until all are freed. On vfat a removed file's last close writes
// every dirty buffer of the volume (its eviction, with the "flush" mount a desktop uses): one
// removed while another is still taken would send that one's entries to the medium in use, and
// a cut then leaves it there, maybe behind the folder's never-used end entry. Held open, none is
// evicted before all are freed, so the medium only ever sees their entries freed (0xE5).
bool MakeRoom(const std::vector<std::string>& stands, bool& made, int& error) {
    return TakeAndFree(std::string(), stands, made, error);
}

namespace {

bool TakeAndFree(const std::string& fill, const std::vector<std::string>& stands, bool& made,
                 int& error) {
    // As many held open as the system lets one process hold.
    struct rlimit files;
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY &&
        files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }
    std::vector<std::pair<std::string, int>> taken;
    bool ok = true;
    // A stand-in held open; past what the system lets one process hold, one made without opening
    // it (freed last, when every held one is freed already). A name taken, say, leaves that
    // rename without room made; false when the medium failed, which ends it.
    auto take = [&](const std::string& stand) {
        // Read-only: closing a file written to makes vfat's "flush" mount wait for the disk.
        int fd = open(stand.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0 || ((errno == EMFILE || errno == ENFILE) &&
                        mknod(stand.c_str(), S_IFREG | 0644, 0) == 0)) {
            taken.emplace_back(stand, fd);
            return true;
        }
        if (errno != EIO)
            return true;
        error = errno;
        ok = false;
        return false;
    };
    // Every free entry of the folder, one a stand-in, until the folder grows by a cluster: then
    // none is left before its end (on FAT16's top folder, which cannot grow, until none is left).
    struct stat before, now;
    if (!fill.empty() && stat(fill.c_str(), &before) == 0) {
        for (unsigned number = 1; number < 1000000 && ok; ++number) {
            size_t count = taken.size();
            std::string stand = OneEntryStandIn(fill, number);
            if (!take(stand) || (taken.size() == count && errno != EEXIST))
                break;
            if (stat(fill.c_str(), &now) != 0 || now.st_size != before.st_size)
                break;
        }
    }
    for (const auto& stand : stands)
        if (!take(stand))
            break;
    made = !taken.empty();
    std::stable_partition(taken.begin(), taken.end(), [](const auto& t) { return t.second >= 0; });
    // All are let go together, so that each new name finds its own room freed.
    for (const auto& [stand, fd] : taken) {
        if (unlink(stand.c_str()) != 0 && ok) {
            error = errno;
            ok = false;
        }
    }
    for (const auto& [stand, fd] : taken)
        if (fd >= 0)
            close(fd);
    return ok;
}

}  // namespace
