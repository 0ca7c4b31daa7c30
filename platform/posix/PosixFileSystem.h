// The engine's file operations on Linux and macOS. The player's top folder is the engine's drive
// (say P:): the engine asks for "P:\Music\a.mp3" and this touches "<top>/Music/a.mp3". Paths of
// 260 units or more are refused as on Windows, so both programs give the same database.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "ClosingFiles.h"
#include "FatRoom.h"
#include "base/FileSystem.h"

// Its renames and replace are in DurableRename.cpp, the room for new names in FatRoom.cpp, new
// folders and the free room in NewFolder.cpp.
class PosixFileSystem : public IFileSystem {
public:
    // `top`: the player's top folder on this system; `drive`: the engine's name for it ("P:").
    PosixFileSystem(std::string top, std::u16string drive);
    PosixFileSystem(const PosixFileSystem&) = delete;
    PosixFileSystem& operator=(const PosixFileSystem&) = delete;

    // The path on this system for an engine path; false for a path off the drive, too long for
    // the platform, or with a name no file on disk can have.
    bool HostPath(const std::u16string& path, std::string& host) const;
    const std::u16string& Drive() const { return m_drive; }

    std::unique_ptr<IFolderListing> ListFolder(const std::u16string& folder) override;
    bool IsDirectory(const std::u16string& path) override;
    bool Exists(const std::u16string& path) override;
    RenameResult Rename(const std::u16string& from, const std::u16string& to) override;
    bool PrepareNames(const std::u16string& folder,
                      const std::vector<std::u16string>& names) override;
    std::unique_ptr<IOutputFile> CreateOutput(const std::u16string& path) override;
    std::unique_ptr<IInputFile> OpenInput(const std::u16string& path) override;
    ReplaceResult Replace(const std::u16string& from, const std::u16string& to) override;
    bool Remove(const std::u16string& path) override;
    bool SyncFolderOf(const std::u16string& path) override;
    bool SetSize(const std::u16string& path, uint64_t size) override;
    bool SameFolder(const std::u16string& a, const std::u16string& b) override;
    DataPlace SameData(const std::u16string& a, const std::u16string& b) override;
    PlayerLock LockPlayer(const std::u16string& dbPath) override;
    bool CreateFolder(const std::u16string& path) override;
    bool FreeSpace(const std::u16string& path, uint64_t& bytes) override;
    int LastError() const override { return m_lastError; }

private:
    // HostPath, noting why a path cannot be had.
    bool Host(const std::u16string& path, std::string& host);
    // Makes what the rename's folder holds durable before the rename's own writes.
    bool SyncBeforeRename(const std::string& folder);
    bool OnVfat();

    std::string m_top;
    std::u16string m_drive;
    // The folder whose entries were last made durable, while nothing has changed since: the next
    // rename in it need not sync it first.
    std::string m_cleanFolder;
    bool m_roomPending = false;  // room made for new names that is not yet on the medium
    int m_lastError = 0;
    int m_vfat = -1;  // whether the player is Linux's vfat; -1 until asked
    // Each folder's end as its whole listing met it, on vfat (see PrepareNames).
    std::unordered_map<std::string, FolderEnd> m_folderEnds;
    // Files written and made durable, closing beside the run's other work until a rename or
    // replace. Declared last, so it ends first: the file system waits for them as it ends.
    ClosingFiles m_closing;
};
