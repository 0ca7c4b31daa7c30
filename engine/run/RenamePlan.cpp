#include "run/RenamePlan.h"

#include <algorithm>

#include "base/Messages.h"
#include "base/NewName.h"
#include "base/Text.h"

namespace {

// A folder's names as they will be once the renames of its entries are done: each name found once
// and the names sorted once, however many of them are renamed.
void RenameIn(std::vector<std::u16string>& names,
              std::unordered_map<std::u16string_view, std::u16string_view>& renames) {
    if (renames.empty())
        return;
    for (auto& name : names) {
        auto renamed = renames.find(name);
        if (renamed == renames.end())
            continue;
        const std::u16string_view to = renamed->second;
        renames.erase(renamed);  // a name is in a folder once: the rename is used up
        name = std::u16string(to);
    }
    std::sort(names.begin(), names.end());
}

}  // namespace

void CRenamePlan::Reset() {
    m_items.clear();
    m_planned = 0;
    m_renamedFiles = m_renamedFolders = 0;
    m_identities.clear();
}

void CRenamePlan::Make(const PathList& items, const std::unordered_set<std::u16string>& reserved) {
    m_items.clear();
    Plan(0, 1, 1, items, reserved);
    m_planned = 0;
    for (const auto& item : m_items)
        m_planned += item.to.empty() ? 0 : 1;
}

void CRenamePlan::Replan(size_t refused, const PathList& items,
                         const std::unordered_set<std::u16string>& reserved) {
    const Item& item = m_items[refused];
    Plan(refused + 1, item.folderCounter, item.fileCounter, items, reserved);
}

// Names the list's items from `first` on, the counters standing as given. A name planned counts as
// taken, as it will be once the item before has been renamed.
void CRenamePlan::Plan(size_t first, int folderCounter, int fileCounter, const PathList& items,
                       const std::unordered_set<std::u16string>& reserved) {
    m_items.resize(first);
    // The name a lost item was to have stays its own, for the run that puts it back.
    std::unordered_set<std::u16string> planned = reserved;
    for (size_t i = first; i < items.Count() && !m_gate.StopAsked(); ++i) {
        Item item;
        item.from = std::u16string(items[i]);
        item.folder = m_fs.IsDirectory(item.from);
        item.to = item.folder ? NewName(m_fs, item.from, folderCounter, kNewFolderName, planned)
                              : NewName(m_fs, item.from, fileCounter, kNewFileName, planned);
        if (!item.to.empty())
            planned.insert(FoldedName(item.to));
        item.folderCounter = folderCounter;
        item.fileCounter = fileCounter;
        m_items.push_back(std::move(item));
    }
}

bool CRenamePlan::PrepareFolders() {
    std::vector<std::u16string> folders;
    std::unordered_map<std::u16string, std::vector<std::u16string>> names;
    for (const auto& item : m_items) {
        if (item.to.empty())
            continue;
        size_t nameAt = FileNameOffset(item.to);
        std::u16string folder = item.to.substr(0, nameAt - 1);
        auto& list = names[folder];
        if (list.empty())
            folders.push_back(folder);
        list.push_back(item.to.substr(nameAt));
    }
    for (const auto& folder : folders)
        if (!m_fs.PrepareNames(folder, names[folder]))
            return false;
    return true;
}

void CRenamePlan::Done(size_t index) {
    m_items[index].step = Step::Done;
    ++(m_items[index].folder ? m_renamedFolders : m_renamedFiles);
}

std::vector<RecordEntry> CRenamePlan::Entries() {
    std::vector<RecordEntry> entries;
    for (size_t i = 0; i < m_items.size(); ++i) {
        const Item& item = m_items[i];
        if (item.step == Step::Refused || item.to.empty())
            continue;
        const std::u16string& now = item.step == Step::Done ? item.to : item.from;
        RecordEntry entry{item.from, item.to, {}};
        if (item.folder) {
            entry.identity = IdentifyFolder(m_fs, now);
            // What lies inside a folder comes right before it in the plan: the renames of its own
            // entries still to come.
            std::unordered_map<std::u16string_view, std::u16string_view> renames;
            for (size_t k = i; k > 0 && IsUnder(m_items[k - 1].from, item.from); --k) {
                const Item& inside = m_items[k - 1];
                if (inside.step == Step::Pending && !inside.to.empty() &&
                    FileNameOffset(inside.from) == item.from.size() + 1) {
                    std::u16string_view from(inside.from), to(inside.to);
                    renames.emplace(from.substr(FileNameOffset(from)),
                                    to.substr(FileNameOffset(to)));
                }
            }
            RenameIn(entry.identity.names, renames);
        } else {
            auto key = FoldedName(item.from);
            auto known = m_identities.find(key);
            if (known == m_identities.end())
                known = m_identities.emplace(key, IdentifyFile(m_fs, now)).first;
            entry.identity = known->second;
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::vector<RenamePair> CRenamePlan::FoldersRenamed() const {
    std::vector<RenamePair> renamed;
    for (const auto& item : m_items)
        if (item.folder && item.step == Step::Done)
            renamed.emplace_back(item.from, item.to);
    return renamed;
}

// Each rename made, as the player path before and the new name, in the plan's order.
void CRenamePlan::Follow(OwnerSettings& kept, const PathList& tracks) const {
    PathList renames;
    for (const auto& item : m_items) {
        if (item.step != Step::Done)
            continue;
        renames.Append(std::u16string_view(item.from).substr(2));
        renames.Append(std::u16string_view(item.to).substr(FileNameOffset(item.to)));
    }
    kept.Match(tracks, renames.Empty() ? nullptr : &renames);
}

PathList CRenamePlan::AsRenames(const std::vector<RenamePair>& moves) {
    PathList renames;
    for (const auto& [from, to] : moves) {
        renames.Append(std::u16string_view(from).substr(2));
        renames.Append(std::u16string_view(to).substr(FileNameOffset(to)));
    }
    return renames;
}
