// Room for a folder's new names on Linux's vfat, made before the renames: where a folder ends,
// the stand-ins that take each new name's entries, and their release all together.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Where a folder's last entry begins (readdir's offset of the entry before it) and its name: on
// Linux's vfat, where a new entry would go.
struct FolderEnd {
    long lastStart = 0;
    std::string lastName;
};

// The stand-in that makes room for `name` in its folder: as long, so it takes as many directory
// entries on FAT, and never an MP3 file's name ("ST_FILE_1.mp3" -> "~T_FILE_1.mp~").
std::u16string PlaceholderName(std::u16string_view name);
// Takes each stand-in's entries and frees them all together; `made` tells whether any was
// taken. False (with the system's reason) when the medium failed. Exposed for its tests.
bool MakeRoom(const std::vector<std::string>& stands, bool& made, int& error);
