// Steps 1 and 2 of a run: wide-named MP3 files become ST_FILE_<n>.mp3, and wide-named folders
// that directly hold MP3 files become ST_DIR_<n>, so the player can show every name.
#include <climits>

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
    while (!m_bReadFailed && (step = listing->Next(entry)) == ListStep::Entry) {
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
        }
    }
    if (step == ListStep::Failed)
        m_bReadFailed = true;
    return holdsMp3;
}

int CSyncJob::RenamePass() {
    // One counter per series for the whole tree: numbers are unique within a folder only.
    int folderCounter = 1;
    int fileCounter = 1;
    for (std::u16string_view entry : m_lstPaths) {
        std::u16string path(entry);
        if (m_fs.IsDirectory(path))
            RenameFolder(path, folderCounter);
        else
            RenameFile(path, fileCounter);
    }
    m_lstPaths.Clear();
    return 1;
}

int CSyncJob::RenameFolder(const std::u16string& path, int& counter) {
    return RenameItem(path, counter, kNewFolderName, true);
}

int CSyncJob::RenameFile(const std::u16string& path, int& counter) {
    return RenameItem(path, counter, kNewFileName, false);
}

int CSyncJob::RenameItem(const std::u16string& path, int& counter, std::u16string_view format,
                         bool folder) {
    // A path the platform cannot rename keeps its name, like any refused rename.
    if (path.size() >= kMaxPath)
        return 1;
    std::u16string folderPart = path.substr(0, FileNameOffset(path));
    std::u16string candidate = folderPart + FormatNumber(format, counter);
    // The counter moves only past taken names; it keeps the number just given.
    while (candidate.size() < kMaxPath && m_fs.Exists(candidate)) {
        if (counter == INT_MAX)
            return 1;
        candidate = folderPart + FormatNumber(format, ++counter);
    }
    if (candidate.size() >= kMaxPath)
        return 1;
    ReportProgress(RunPhase::Renaming, ++m_nRenames, path,
                   FormatText(kMsgRename, {path, candidate}));
    // The rename never replaces an existing item; a refused one is deliberately left as it is.
    if (m_fs.Rename(path, candidate) != RenameResult::Refused)
        ++(folder ? m_nRenamedFolders : m_nRenamedFiles);
    return 1;
}
