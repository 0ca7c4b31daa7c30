// A folder's entries as readdir gives them, each typed as the engine lists it; on Linux's vfat
// the listing also notes where the folder ends once it has met it whole.
#pragma once

#include <dirent.h>

#include <string>
#include <unordered_map>
#include <utility>

#include "FatRoom.h"
#include "base/FileSystem.h"

class DirListing : public IFolderListing {
public:
    // `error` is where the file system keeps the reason of its last failure; `ends`, when given,
    // where the folder's end is kept once the listing has met it.
    DirListing(DIR* dir, int& error, std::unordered_map<std::string, FolderEnd>* ends,
               std::string folder)
        : m_dir(dir), m_error(error), m_ends(ends), m_folder(std::move(folder)) {}
    ~DirListing() override { closedir(m_dir); }
    DirListing(const DirListing&) = delete;
    DirListing& operator=(const DirListing&) = delete;

    ListStep Next(FolderEntry& entry) override;

private:
    // Marks `entry` a folder, a link or neither, as the folder records `found`'s type or, when
    // it records none, as the system says.
    void SetType(const struct dirent& found, FolderEntry& entry);

    DIR* m_dir;
    int& m_error;
    std::unordered_map<std::string, FolderEnd>* m_ends;
    std::string m_folder;
    FolderEnd m_end;
    long m_offset = 0;  // readdir's offset after the entry last met
};
