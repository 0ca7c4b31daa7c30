#include "check/DryRunFileSystem.h"

#include "base/Text.h"

class DryRunFileSystem::Replay : public IFolderListing {
public:
    Replay(DryRunFileSystem& fs, const std::u16string& original, const Folder& folder)
        : m_fs(fs), m_original(original), m_folder(folder) {}

    ListStep Next(FolderEntry& entry) override {
        for (;;) {
            if (m_next == m_folder.entries.size()) {
                auto moved = m_fs.m_movedIn.find(m_original);
                if (m_folder.last != ListStep::End || moved == m_fs.m_movedIn.end() ||
                    m_nextMoved == moved->second.size()) {
                    if (m_folder.last == ListStep::Failed)
                        m_fs.Replayed(m_folder.error);
                    return m_folder.last;
                }
                entry = moved->second[m_nextMoved++];
                return ListStep::Entry;
            }
            entry = m_folder.entries[m_next++];
            auto renamed = m_fs.m_newNames.find(JoinPath(m_original, entry.name));
            if (renamed == m_fs.m_newNames.end())
                return ListStep::Entry;
            entry.name = renamed->second;
            if (!entry.name.empty())
                return ListStep::Entry;
        }
    }

private:
    DryRunFileSystem& m_fs;
    std::u16string m_original;
    const Folder& m_folder;
    size_t m_next = 0;
    size_t m_nextMoved = 0;
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
    // Like the real rename: never onto an existing name, nor into a folder that is not there.
    size_t nameAt = FileNameOffset(to);
    std::u16string original = OriginalPath(from);
    std::u16string folder = nameAt > 0 ? OriginalPath(to.substr(0, nameAt - 1)) : u"";
    if (original.empty() || folder.empty() || Exists(to) || !m_inner.IsDirectory(folder))
        return RenameResult::Refused;
    std::u16string newName = to.substr(nameAt);
    m_oldPaths[JoinPath(folder, newName)] = original;
    if (original.substr(0, FileNameOffset(original)) == folder + u"\\") {
        m_newNames[original] = newName;
        m_renames.emplace_back(original, newName);
    } else {
        m_newNames[original] = u"";  // gone from its folder, listed in the other one
        FolderEntry entry;
        entry.name = newName;
        entry.isDirectory = m_inner.IsDirectory(original);
        m_movedIn[folder].push_back(std::move(entry));
    }
    return RenameResult::Renamed;
}

bool DryRunFileSystem::SameFolder(const std::u16string& a, const std::u16string& b) {
    std::u16string first = OriginalPath(a), second = OriginalPath(b);
    return !first.empty() && !second.empty() && m_inner.SameFolder(first, second);
}

DataPlace DryRunFileSystem::SameData(const std::u16string& a, const std::u16string& b) {
    std::u16string first = OriginalPath(a), second = OriginalPath(b);
    return first.empty() || second.empty() ? DataPlace::Unknown : m_inner.SameData(first, second);
}

std::unique_ptr<IInputFile> DryRunFileSystem::OpenInput(const std::u16string& path) {
    std::u16string original = OriginalPath(path);
    return original.empty() ? nullptr : Passed(m_inner.OpenInput(original));
}
