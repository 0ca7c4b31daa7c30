// Room for a folder's new names on Linux's vfat, made before the renames: a new entry must never
// become visible only behind a folder's never-used end entry. Part of PosixFileSystem: its
// PrepareNames, and whether the player is vfat at all.
#include "FatRoom.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/vfs.h>
#endif

#include "base/FatNames.h"
#include "HostNames.h"
#include "PosixFileSystem.h"
#include "base/Text.h"

namespace {

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
    // An empty stand-in can only be one a cut left behind on the medium.
    for (const auto& stand : stands) {
        struct stat info;
        if (lstat(stand.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size == 0)
            unlink(stand.c_str());
    }
#if defined(__linux__)
    // Only FAT stops a listing at a never-used entry; on vfat, room is made only where a new
    // entry could straddle a sector boundary past the folder's end.
    if (!OnVfat())
        return true;
    auto known = m_folderEnds.find(host);
    FolderEnd end;
    if (known != m_folderEnds.end()
            ? NewEntriesStayInOneSector(known->second, names)
            : ReadFolderEnd(host, end) && NewEntriesStayInOneSector(end, names))
        return true;
#endif
    m_cleanFolder.clear();
    bool made = false;
    if (!MakeRoom(stands, made, m_lastError))
        return false;
    m_roomPending = m_roomPending || made;
    return true;
}

bool MakeRoom(const std::vector<std::string>& stands, bool& made, int& error) {
    std::vector<const std::string*> taken;
    bool ok = true;
    for (const auto& stand : stands) {
        // Read-only: closing a file written to makes vfat's "flush" mount wait for the disk.
        int fd = open(stand.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0) {
            // A name taken, say, leaves that rename without room made; the medium failing ends it.
            if (errno == EIO) {
                error = errno;
                ok = false;
                break;
            }
            continue;
        }
        close(fd);
        taken.push_back(&stand);
    }
    made = !taken.empty();
    // All are let go together, so that each new name finds its own room freed.
    for (const auto* stand : taken) {
        if (unlink(stand->c_str()) != 0 && ok) {
            error = errno;
            ok = false;
        }
    }
    return ok;
}
