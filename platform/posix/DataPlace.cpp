#include "DataPlace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__linux__)
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#endif

#include <cstdint>

namespace {

enum class Map { None, Extents, Blocks };

struct Place {
    Map map = Map::None;
    uint64_t at = 0;
    dev_t device = 0;
    ino_t inode = 0;
};

#if defined(__linux__)
// The first extent's physical byte. Written data is synced first, so an extent waiting for its
// place (delayed allocation) gets one; an extent of no known place answers nothing.
bool FirstExtent(int fd, uint64_t& at) {
    alignas(struct fiemap) unsigned char
        buffer[sizeof(struct fiemap) + sizeof(struct fiemap_extent)] = {};
    auto* map = reinterpret_cast<struct fiemap*>(buffer);
    map->fm_length = FIEMAP_MAX_OFFSET;
    map->fm_flags = FIEMAP_FLAG_SYNC;
    map->fm_extent_count = 1;
    if (ioctl(fd, FS_IOC_FIEMAP, map) != 0 || map->fm_mapped_extents != 1)
        return false;
    const struct fiemap_extent& first = map->fm_extents[0];
    if (first.fe_flags & (FIEMAP_EXTENT_UNKNOWN | FIEMAP_EXTENT_DELALLOC |
                          FIEMAP_EXTENT_DATA_INLINE | FIEMAP_EXTENT_DATA_TAIL))
        return false;
    at = first.fe_physical;
    return true;
}

// The block that holds the file's first byte; 0 is a hole, no place.
bool FirstBlock(int fd, uint64_t& at) {
    int block = 0;
    if (ioctl(fd, FIBMAP, &block) != 0 || block <= 0)
        return false;
    at = static_cast<uint64_t>(block);
    return true;
}
#else
bool FirstExtent(int, uint64_t&) {
    return false;
}
bool FirstBlock(int, uint64_t&) {
    return false;
}
#endif

bool PlaceOf(const std::string& path, Place& place) {
    int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info;
    bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    if (ok) {
        place.device = info.st_dev;
        place.inode = info.st_ino;
        place.map = FirstExtent(fd, place.at)  ? Map::Extents
                    : FirstBlock(fd, place.at) ? Map::Blocks
                                               : Map::None;
    }
    close(fd);
    return ok;
}

}  // namespace

DataPlace SameDataOnMedium(const std::string& a, const std::string& b) {
    Place first, second;
    if (!PlaceOf(a, first) || !PlaceOf(b, second))
        return DataPlace::Unknown;
    if (first.device != second.device)
        return DataPlace::Apart;
    if (first.inode == second.inode)
        return DataPlace::Shared;
    if (first.map == Map::None || first.map != second.map)
        return DataPlace::Unknown;
    return first.at == second.at ? DataPlace::Shared : DataPlace::Apart;
}
