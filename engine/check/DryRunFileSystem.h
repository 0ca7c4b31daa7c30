// A file system in front of the real one for a run that only looks: every folder is read from the
// medium once and then served from memory, renames are remembered instead of made, and nothing is
// ever written. The engine's own steps run on it unchanged, so what it predicts is what a run does.
#pragma once

#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "base/FileSystem.h"

class DryRunFileSystem : public IFileSystem {
public:
    explicit DryRunFileSystem(IFileSystem& inner) : m_inner(inner) {}

    // The renames a run would make within a folder, in its order: the path on the medium now, and
    // the new name.
    const std::vector<std::pair<std::u16string, std::u16string>>& Renames() const {
        return m_renames;
    }
    // Whether some folder failed to read: a run would then keep the old database.
    bool ReadFailed() const { return m_readFailed; }
    // The path on the medium now for a path after the renames; empty for a name renamed away.
    std::u16string OriginalPath(const std::u16string& path) const;

    std::unique_ptr<IFolderListing> ListFolder(const std::u16string& folder) override;
    bool IsDirectory(const std::u16string& path) override;
    bool Exists(const std::u16string& path) override;
    RenameResult Rename(const std::u16string& from, const std::u16string& to) override;
    std::unique_ptr<IInputFile> OpenInput(const std::u16string& path) override;
    // The reason of the last call that failed, as the run would meet it: a folder served from
    // memory fails again with the reason its one read had.
    int LastError() const override { return m_replayed ? m_replayedError : m_inner.LastError(); }
    // Writing is never done, only refused.
    std::unique_ptr<IOutputFile> CreateOutput(const std::u16string&) override { return nullptr; }
    ReplaceResult Replace(const std::u16string&, const std::u16string&) override {
        return ReplaceResult::Failed;
    }
    bool Remove(const std::u16string&) override { return false; }
    bool SyncFolderOf(const std::u16string&) override { return true; }
    bool SetSize(const std::u16string&, uint64_t) override { return true; }
    bool SameFolder(const std::u16string& a, const std::u16string& b) override;
    DataPlace SameData(const std::u16string& a, const std::u16string& b) override;
    PlayerLock LockPlayer(const std::u16string& dbPath) override {
        return m_inner.LockPlayer(dbPath);
    }
    bool FreeSpace(const std::u16string& path, uint64_t& bytes) override {
        return m_inner.FreeSpace(path, bytes);
    }

private:
    struct Folder {
        bool opened = false;  // false: the medium gave no listing at all
        ListStep last = ListStep::End;
        int error = 0;  // why it could not be opened or read to its end
        std::vector<FolderEntry> entries;
    };
    class Replay;

    const Folder& Read(const std::u16string& original);
    // A call passed to the inner file system: its last error is the one to give again.
    template <class Result>
    Result Passed(Result result) {
        m_replayed = false;
        return result;
    }
    void Replayed(int error) {
        m_replayed = true;
        m_replayedError = error;
    }

    IFileSystem& m_inner;
    std::unordered_map<std::u16string, Folder> m_folders;  // by path on the medium now
    // Each rename both ways, by full path: old path -> new name (empty: moved to another folder),
    // new path -> old path.
    std::unordered_map<std::u16string, std::u16string> m_newNames;
    std::unordered_map<std::u16string, std::u16string> m_oldPaths;
    // What moves from other folders add to a folder, by its path on the medium now.
    std::unordered_map<std::u16string, std::vector<FolderEntry>> m_movedIn;
    std::vector<std::pair<std::u16string, std::u16string>> m_renames;
    bool m_readFailed = false;
    bool m_replayed = false;  // the last failure was a folder's, served from memory
    int m_replayedError = 0;
};
