// The file operations a run needs. platform/win32 implements them on Windows; the tests use an
// in-memory file system whose listing order and failures each test sets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

struct FolderEntry {
    std::u16string name;
    bool isDirectory = false;  // as the listing reports it
    bool isLink = false;       // a junction or symbolic link: never followed
};

// One open listing of a folder, "." and ".." included when the platform yields them.
class IFolderListing {
public:
    virtual ~IFolderListing() = default;
    // Fills the next entry; false at the end of the listing or when the platform fails.
    virtual bool Next(FolderEntry& entry) = 0;
};

class IOutputFile {
public:
    virtual ~IOutputFile() = default;
    // Bytes the medium took, possibly fewer than asked; 0 on failure.
    virtual size_t Write(const uint8_t* data, size_t size) = 0;
    // Forces what was written onto the medium.
    virtual bool Flush() = 0;
    virtual bool Close() = 0;
};

class IFileSystem {
public:
    virtual ~IFileSystem() = default;
    // A listing of the folder's entries, or null when it cannot be listed.
    virtual std::unique_ptr<IFolderListing> ListFolder(const std::u16string& folder) = 0;
    virtual bool IsDirectory(const std::u16string& path) = 0;
    virtual bool Exists(const std::u16string& path) = 0;
    // Renames a file or folder; refuses (false) when `to` exists, never replacing anything.
    virtual bool Rename(const std::u16string& from, const std::u16string& to) = 0;
    // Creates the file for writing, cutting an existing one to length 0; null on failure.
    virtual std::unique_ptr<IOutputFile> CreateOutput(const std::u16string& path) = 0;
    // Moves `from` over `to`, replacing it in one step, and returns once that reached the medium.
    virtual bool Replace(const std::u16string& from, const std::u16string& to) = 0;
    virtual bool Remove(const std::u16string& path) = 0;
};
