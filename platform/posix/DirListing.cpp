// A folder's entries as readdir gives them (see DirListing.h).
#include "DirListing.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>

#include "HostNames.h"

ListStep DirListing::Next(FolderEntry& entry) {
    errno = 0;
    struct dirent* found = readdir(m_dir);
    if (!found) {
        if (errno == 0) {
            if (m_ends)
                (*m_ends)[m_folder] = m_end;
            return ListStep::End;
        }
        m_error = errno;
        return ListStep::Failed;
    }
    m_end.lastStart = m_offset;
    m_end.lastName = found->d_name;
    m_offset = found->d_off;
    entry.name = NameFromHost(found->d_name);
    SetType(*found, entry);
    return ListStep::Entry;
}

void DirListing::SetType(const struct dirent& found, FolderEntry& entry) {
    entry.isDirectory = false;
    entry.isLink = false;
    entry.isOther = false;
    // The type the folder itself records saves a look-up per entry; some file systems give none
    // and must be asked.
    unsigned char type = found.d_type;
    struct stat info;
    if (type == DT_UNKNOWN) {
        if (fstatat(dirfd(m_dir), found.d_name, &info, AT_SYMLINK_NOFOLLOW) == 0)
            type = S_ISDIR(info.st_mode)   ? DT_DIR
                   : S_ISLNK(info.st_mode) ? DT_LNK
                   : S_ISREG(info.st_mode) ? DT_REG
                                           : DT_FIFO;
    }
    if (type == DT_DIR) {
        entry.isDirectory = true;
    } else if (type == DT_LNK) {
        // Listed as Windows lists a junction: a folder when it leads to one, never walked.
        entry.isLink = true;
        entry.isDirectory =
            fstatat(dirfd(m_dir), found.d_name, &info, 0) == 0 && S_ISDIR(info.st_mode);
    } else if (type != DT_REG && type != DT_UNKNOWN) {
        // A pipe, device or socket: opening it could wait forever, and it holds no song.
        entry.isOther = true;
    }
}
