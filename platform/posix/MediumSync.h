// Forcing what the system still holds in memory onto the player: an open file or folder, one
// path's own entry, or the whole volume. Each says why not through errno.
#pragma once

#include <string>

// Forces what the open file or folder holds onto the medium; errno says why not.
bool SyncOpen(int fd);

// Writes a file's or folder's own directory entry and whatever of it is still in memory. On FAT
// (Linux vfat) a renamed entry gets its start cluster and size only when its inode is written:
// until then the medium holds the new name pointing at nothing.
bool SyncPath(const std::string& path);

// Everything the file system still holds for the medium, the freed clusters of a replaced file
// included, so that "done" is never said of changes still in memory.
bool SyncMedium(const std::string& folder);

// The folder a host path lies in: the one whose sync writes the path's entry.
std::string FolderOf(const std::string& path);
