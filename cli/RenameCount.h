// Counts the files and folders a run renamed, for the command's summary: a file system in front
// of the real one that passes every call through.
#pragma once

#include <atomic>

#include "FileSystem.h"

class RenameCount : public IFileSystem {
public:
    explicit RenameCount(IFileSystem& inner) : m_inner(inner) {}

    size_t Files() const { return m_files; }
    size_t Folders() const { return m_folders; }

    std::unique_ptr<IFolderListing> ListFolder(const std::u16string& folder) override {
        return m_inner.ListFolder(folder);
    }
    bool IsDirectory(const std::u16string& path) override {
        m_lastAsked = path;
        return m_lastAnswer = m_inner.IsDirectory(path);
    }
    bool Exists(const std::u16string& path) override { return m_inner.Exists(path); }
    bool Rename(const std::u16string& from, const std::u16string& to) override {
        if (!m_inner.Rename(from, to))
            return false;
        // The rename pass asks about each item just before renaming it: no second look-up.
        bool folder = from == m_lastAsked ? m_lastAnswer : m_inner.IsDirectory(to);
        ++(folder ? m_folders : m_files);
        return true;
    }
    std::unique_ptr<IOutputFile> CreateOutput(const std::u16string& path) override {
        return m_inner.CreateOutput(path);
    }
    bool Replace(const std::u16string& from, const std::u16string& to) override {
        return m_inner.Replace(from, to);
    }
    bool Remove(const std::u16string& path) override { return m_inner.Remove(path); }
    std::unique_ptr<IPlayerLock> LockPlayer(const std::u16string& dbPath) override {
        return m_inner.LockPlayer(dbPath);
    }

private:
    IFileSystem& m_inner;
    std::atomic<size_t> m_files{0};
    std::atomic<size_t> m_folders{0};
    std::u16string m_lastAsked;  // the worker's alone, like every call of a run
    bool m_lastAnswer = false;
};
