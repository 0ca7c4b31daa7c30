// The engine's file operations on a real Windows drive.
#pragma once

#include "DataPlace.h"
#include "base/FileSystem.h"

class Win32FileSystem : public IFileSystem {
public:
    std::unique_ptr<IFolderListing> ListFolder(const std::u16string& folder) override;
    bool IsDirectory(const std::u16string& path) override;
    bool Exists(const std::u16string& path) override;
    RenameResult Rename(const std::u16string& from, const std::u16string& to) override;
    std::unique_ptr<IOutputFile> CreateOutput(const std::u16string& path) override;
    std::unique_ptr<IInputFile> OpenInput(const std::u16string& path) override;
    ReplaceResult Replace(const std::u16string& from, const std::u16string& to) override;
    bool Remove(const std::u16string& path) override;
    // Windows writes a removable drive's entries through as it makes them (quick removal).
    bool SyncFolderOf(const std::u16string&) override { return true; }
    bool SetSize(const std::u16string& path, uint64_t size) override;
    bool SameFolder(const std::u16string& a, const std::u16string& b) override;
    DataPlace SameData(const std::u16string& a, const std::u16string& b) override {
        return SameDataOnVolume(a, b);
    }
    PlayerLock LockPlayer(const std::u16string& dbPath) override;
    // Windows writes a removable drive's new folder through as it makes it (quick removal).
    bool CreateFolder(const std::u16string& path) override;
    bool FreeSpace(const std::u16string& path, uint64_t& bytes) override;
    int LastError() const override { return m_lastError; }

private:
    int m_lastError = 0;
};
