#include "DryRunFileSystem.h"

#include "Text.h"

class DryRunFileSystem::Replay : public IFolderListing {
public:
    Replay(DryRunFileSystem& fs, const std::u16string& original, const Folder& folder)
        : m_fs(fs), m_original(original), m_folder(folder) {}

    ListStep Next(FolderEntry& entry) override {
        if (m_next == m_folder.entries.size()) {
            if (m_folder.last == ListStep::Failed)
                m_fs.Replayed(m_folder.error);
            return m_folder.last;
        }
        entry = m_folder.entries[m_next++];
        auto renamed = m_fs.m_newNames.find(JoinPath(m_original, entry.name));
        if (renamed != m_fs.m_newNames.end())
            entry.name = renamed->second;
        return ListStep::Entry;
    }

private:
    DryRunFileSystem& m_fs;
    std::u16string m_original;
    const Folder& m_folder;
    size_t m_next = 0;
};

std::u16string DryRunFileSystem::OriginalPath(const std::u16string& path) const {
    // Name by name from the drive: each prefix is first made a path on the medium now, so a
    // renamed folder inside a renamed folder is found too.
    size_t end = path.find(u'\\');
    if (end == std::u16string::npos)
        return path;
    std::u16string original = path.substr(0, end);
    while (end < path.size()) {
        size_t begin = end + 1;
        end = path.find(u'\\', begin);
        if (end == std::u16string::npos)
            end = path.size();
        std::u16string next =
            JoinPath(original, std::u16string_view(path).substr(begin, end - begin));
        auto old = m_oldPaths.find(next);
        if (old != m_oldPaths.end())
            original = old->second;
        else if (m_newNames.count(next))
            return {};
        else
            original = std::move(next);
    }
    return original;
}

const DryRunFileSystem::Folder& DryRunFileSystem::Read(const std::u16string& original) {
    auto found = m_folders.find(original);
    if (found != m_folders.end())
        return found->second;
    Folder folder;
    m_replayed = false;
    if (auto listing = m_inner.ListFolder(original)) {
        folder.opened = true;
        FolderEntry entry;
        while ((folder.last = listing->Next(entry)) == ListStep::Entry)
            folder.entries.push_back(entry);
        if (folder.last == ListStep::Failed) {
            m_readFailed = true;
            folder.error = m_inner.LastError();
        }
    } else {
        folder.error = m_inner.LastError();
    }
    return m_folders.emplace(original, std::move(folder)).first->second;
}

std::unique_ptr<IFolderListing> DryRunFileSystem::ListFolder(const std::u16string& folder) {
    std::u16string original = OriginalPath(folder);
    if (original.empty())
        return nullptr;
    const Folder& read = Read(original);
    if (!read.opened) {
        Replayed(read.error);
        return nullptr;
    }
    return std::make_unique<Replay>(*this, original, read);
}

bool DryRunFileSystem::IsDirectory(const std::u16string& path) {
    std::u16string original = OriginalPath(path);
    return !original.empty() && Passed(m_inner.IsDirectory(original));
}

bool DryRunFileSystem::Exists(const std::u16string& path) {
    std::u16string original = OriginalPath(path);
    return !original.empty() && Passed(m_inner.Exists(original));
}

RenameResult DryRunFileSystem::Rename(const std::u16string& from, const std::u16string& to) {
    // Like the real rename: never onto an existing name, and only within one folder.
    size_t nameAt = FileNameOffset(to);
    std::u16string original = OriginalPath(from);
    if (original.empty() || Exists(to) || nameAt == 0 || FileNameOffset(from) != nameAt ||
        from.compare(0, nameAt, to, 0, nameAt) != 0)
        return RenameResult::Refused;
    std::u16string newName = to.substr(nameAt);
    std::u16string newPath = JoinPath(original.substr(0, FileNameOffset(original) - 1), newName);
    m_newNames[original] = newName;
    m_oldPaths[newPath] = original;
    m_renames.emplace_back(original, newName);
    return RenameResult::Renamed;
}

std::unique_ptr<IInputFile> DryRunFileSystem::OpenInput(const std::u16string& path) {
    std::u16string original = OriginalPath(path);
    return original.empty() ? nullptr : Passed(m_inner.OpenInput(original));
}
