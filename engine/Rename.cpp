// Steps 1 and 2 of a run: wide-named MP3 files become ST_FILE_<n>.mp3, and wide-named folders
// that directly hold MP3 files become ST_DIR_<n>, so the player can show every name.
#include <climits>
#include <unordered_map>

#include "Messages.h"
#include "SyncJob.h"
#include "Text.h"

int CSyncJob::HasWideChars(std::u16string_view name) {
    return HasWideUnits(name) ? 1 : 0;
}

int CSyncJob::ScanForRename(const std::u16string& folder) {
    auto listing = m_fs.ListFolder(folder);
    if (!listing)
        return 0;
    int holdsMp3 = 0;
    FolderEntry entry;
    ListStep step = ListStep::End;
    // A listing that fails ends the scan: a folder not seen whole may hold a name the renames
    // would collide with, so the run renames nothing.
    while (!m_bReadFailed && !StopAsked() && (step = listing->Next(entry)) == ListStep::Entry) {
        // A pipe or device is neither a song nor a folder: never renamed, listed or opened.
        if (IsDotEntry(entry.name) || entry.isOther)
            continue;
        std::u16string path = JoinPath(folder, entry.name);
        ReportProgress(RunPhase::Searching, ++m_nSearched, entry.name,
                       FormatText(kMsgSearchFile, {entry.name}));
        if (entry.isDirectory) {
            // The subtree first, so a folder comes after everything inside it in the list.
            if (!entry.isLink && ScanForRename(path) && HasWideChars(entry.name))
                AddTrack(path, 0);
        } else if (EndsWithMp3(path)) {
            if (HasWideChars(entry.name))
                AddTrack(path, 0);
            holdsMp3 = 1;
            ++m_nMp3Seen;  // the track scan will find as many, whatever their names become
        }
    }
    if (step == ListStep::Failed) {
        m_bReadFailed = true;
        m_nReadError = m_fs.LastError();
    }
    return holdsMp3;
}

// The pass names every item before it renames the first, so the file system can make room in
// each folder ahead of the renames. A refused rename frees the number it was meant to take: the
// names after it are worked out again, as if each had been chosen just before its rename.
int CSyncJob::RenamePass() {
    m_plan.clear();
    PlanRenames(0, 1, 1);
    m_nRenamesPlanned = 0;
    for (const auto& item : m_plan)
        m_nRenamesPlanned += item.to.empty() ? 0 : 1;
    if (m_pStatus && m_nRenamesPlanned)
        m_pStatus->SetTotal(RunPhase::Renaming, m_nRenamesPlanned);
    // The run's first change; a stop asked before it ends the run with nothing renamed.
    if (m_nRenamesPlanned && !BeginChange()) {
        m_lstPaths.Clear();
        return 0;
    }
    // On the medium before the first rename: a cut during one leaves two names for one item, or
    // none.
    if (m_nRenamesPlanned && m_bKeepRecord && !RecordRenames()) {
        m_bRecordFailed = true;
        m_lstPaths.Clear();
        return 0;
    }
    if (m_nRenamesPlanned && !PreparePlannedFolders(0)) {
        m_bRenameFailed = true;
        m_nRenameError = m_fs.LastError();
    }
    for (size_t i = 0; i < m_plan.size() && !m_bRenameFailed; ++i) {
        const PlannedRename item = m_plan[i];
        if (item.to.empty())
            continue;
        m_plan[i].step = Step::Refused;  // until the rename says otherwise
        ReportProgress(RunPhase::Renaming, ++m_nRenames, item.from,
                       FormatText(kMsgRename, {item.from, item.to}));
        RenameResult result = m_fs.Rename(item.from, item.to);
        int error = result == RenameResult::Renamed ? 0 : m_fs.LastError();
        if (m_pStatus)
            m_pStatus->SetRenamed(item.from, item.to, result, error);
        if (result == RenameResult::Refused) {
            m_leftOut.push_back({LeftOutReason::NotRenamed, item.from, error});
            PlanRenames(i + 1, item.folderCounter, item.fileCounter);
            if (m_bKeepRecord && !RecordRenames()) {
                m_bRenameFailed = true;
                m_nRenameError = m_nRecordError;
            }
            continue;
        }
        m_plan[i].step = Step::Done;
        ++(item.folder ? m_nRenamedFolders : m_nRenamedFiles);
        // Not confirmed on the medium: a cut could still undo it, so nothing more is changed.
        if (result == RenameResult::RenamedNotDurable) {
            m_bRenameFailed = true;
            m_nRenameError = error;
        }
    }
    SettleRecord();
    m_lstPaths.Clear();
    return 1;
}

int CSyncJob::RenameFolder(const std::u16string& path, int& counter) {
    return RenameItem(path, counter, kNewFolderName);
}

int CSyncJob::RenameFile(const std::u16string& path, int& counter) {
    return RenameItem(path, counter, kNewFileName);
}

int CSyncJob::RenameItem(const std::u16string& path, int& counter, std::u16string_view format) {
    std::u16string candidate = NewName(path, counter, format, {});
    if (candidate.empty())
        return 1;
    ReportProgress(RunPhase::Renaming, ++m_nRenames, path,
                   FormatText(kMsgRename, {path, candidate}));
    // The rename never replaces an existing item; a refused one is deliberately left as it is.
    m_fs.Rename(path, candidate);
    return 1;
}

std::u16string CSyncJob::NewName(const std::u16string& path, int& counter,
                                 std::u16string_view format,
                                 const std::unordered_set<std::u16string>& planned) {
    // A path the platform cannot rename keeps its name, like any refused rename.
    if (path.size() >= kMaxPath)
        return {};
    std::u16string folderPart = path.substr(0, FileNameOffset(path));
    auto taken = [&](const std::u16string& candidate) {
        return planned.count(FoldedName(candidate)) || m_fs.Exists(candidate);
    };
    std::u16string candidate = folderPart + FormatNumber(format, counter);
    // The counter moves only past taken names; it keeps the number just given.
    while (candidate.size() < kMaxPath && taken(candidate)) {
        if (counter == INT_MAX)
            return {};
        candidate = folderPart + FormatNumber(format, ++counter);
    }
    return candidate.size() < kMaxPath ? candidate : std::u16string();
}

// Names the rename list's items from `first` on, the counters standing as given. A name
// planned counts as taken, as it will be once the item before has been renamed.
void CSyncJob::PlanRenames(size_t first, int folderCounter, int fileCounter) {
    m_plan.resize(first);
    // The name a lost item was to have stays its own, for the run that puts it back.
    std::unordered_set<std::u16string> planned;
    for (const auto& lost : m_lost)
        planned.insert(FoldedName(lost.to));
    // Planning only reads: a stop asked meanwhile ends it, and the run with it.
    for (size_t i = first; i < m_lstPaths.Count() && !StopAsked(); ++i) {
        PlannedRename item;
        item.from = std::u16string(m_lstPaths[i]);
        item.folder = m_fs.IsDirectory(item.from);
        item.to = item.folder ? NewName(item.from, folderCounter, kNewFolderName, planned)
                              : NewName(item.from, fileCounter, kNewFileName, planned);
        if (!item.to.empty())
            planned.insert(FoldedName(item.to));
        item.folderCounter = folderCounter;
        item.fileCounter = fileCounter;
        m_plan.push_back(std::move(item));
    }
}

// Each folder is told all its new names at once, before anything is renamed.
bool CSyncJob::PreparePlannedFolders(size_t first) {
    std::vector<std::u16string> folders;
    std::unordered_map<std::u16string, std::vector<std::u16string>> names;
    for (size_t i = first; i < m_plan.size(); ++i) {
        const auto& item = m_plan[i];
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
