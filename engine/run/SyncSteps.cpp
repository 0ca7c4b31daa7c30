// The four steps of a run, CSyncJob's own: new names for what the player cannot show (steps 1
// and 2), the list of tracks (step 3) and the database written from it (step 4), with the
// players' spoken names once it is in place.
#include <new>

#include "base/Messages.h"
#include "base/NewName.h"
#include "base/Text.h"
#include "run/SyncJob.h"

// Steps 1 and 2: wide-named MP3 files become ST_FILE_<n>.mp3, and wide-named folders that
// directly hold MP3 files become ST_DIR_<n>, so the player can show every name.
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
    while (!m_report.ReadFailed() && !StopAsked() &&
           (step = listing->Next(entry)) == ListStep::Entry) {
        // A pipe or device is neither a song nor a folder: never renamed, listed or opened.
        if (IsDotEntry(entry.name) || entry.isOther)
            continue;
        std::u16string path = JoinPath(folder, entry.name);
        ReportProgress(RunPhase::Searching, m_report.NextSearched(), entry.name,
                       FormatText(kMsgSearchFile, {entry.name}));
        if (entry.isDirectory) {
            // The subtree first, so a folder comes after everything inside it in the list.
            if (!entry.isLink && ScanForRename(path) && HasWideChars(entry.name))
                AddTrack(path, 0);
        } else if (EndsWithMp3(path)) {
            if (HasWideChars(entry.name))
                AddTrack(path, 0);
            holdsMp3 = 1;
            m_report.SawMp3();  // the track scan will find as many, whatever their names become
        }
    }
    if (step == ListStep::Failed)
        m_report.FailRead(m_fs.LastError());
    return holdsMp3;
}

// Every item is named before the first is renamed (the plan), so the file system can make room in
// each folder ahead of the renames; the record of them is on the medium before the first: a cut
// during one leaves two names for one item, or none.
int CSyncJob::RenamePass() {
    m_plan.Make(m_lstPaths, m_record.ReservedNames());
    const size_t planned = m_plan.Planned();
    if (m_pStatus && planned)
        m_pStatus->SetTotal(RunPhase::Renaming, planned);
    // The run's first change; a stop asked before it ends the run with nothing renamed.
    if (planned &&
        (!BeginChange() || (m_record.Keeping() && !m_record.BeforeRenames(m_plan.Entries())))) {
        m_lstPaths.Clear();
        return 0;
    }
    if (planned && !m_plan.PrepareFolders())
        m_report.FailRename(m_fs.LastError());
    for (size_t i = 0; i < m_plan.Count() && !m_report.RenameFailed(); ++i) {
        const CRenamePlan::Item item = m_plan[i];
        if (item.to.empty())
            continue;
        m_plan.Tried(i);
        ReportProgress(RunPhase::Renaming, m_report.NextRename(), item.from,
                       FormatText(kMsgRename, {item.from, item.to}));
        RenameResult result = m_fs.Rename(item.from, item.to);
        int error = result == RenameResult::Renamed ? 0 : m_fs.LastError();
        if (m_pStatus)
            m_pStatus->SetRenamed(item.from, item.to, result, error);
        if (result == RenameResult::Refused) {
            m_report.LeaveOut({LeftOutReason::NotRenamed, item.from, error});
            m_plan.Replan(i, m_lstPaths, m_record.ReservedNames());
            if (m_record.Keeping() && !m_record.Rewrite(m_plan.Entries()))
                m_report.FailRename(m_record.Error());
            continue;
        }
        m_plan.Done(i);
        // Not confirmed on the medium: a cut could still undo it, so nothing more is changed.
        if (result == RenameResult::RenamedNotDurable)
            m_report.FailRename(error);
    }
    m_record.Settle(m_plan.FoldersRenamed(), !m_report.RenameFailed());
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
    std::u16string candidate = NewName(m_fs, path, counter, format, {});
    if (candidate.empty())
        return 1;
    ReportProgress(RunPhase::Renaming, m_report.NextRename(), path,
                   FormatText(kMsgRename, {path, candidate}));
    // The rename never replaces an existing item; a refused one is deliberately left as it is.
    m_fs.Rename(path, candidate);
    return 1;
}

// Step 3: every MP3 file under a folder, as a player path, in the order the file system lists
// each folder, a subfolder's tracks where its entry comes up.
int CSyncJob::ScanTracks(const std::u16string& folder) {
    if (folder == m_strRootDir && m_pStatus && m_report.Mp3Seen())
        m_pStatus->SetTotal(RunPhase::ListingTracks, m_report.Mp3Seen());
    auto listing = m_fs.ListFolder(folder);
    if (!listing) {
        // Passed over, like on Windows, but named: its songs are not in the database.
        m_report.LeaveOut({LeftOutReason::FolderUnreadable, folder, m_fs.LastError()});
        return 0;
    }
    FolderEntry entry;
    ListStep step = ListStep::End;
    // After a failed read the list can no longer be the whole tree: the walk stops.
    while (!m_report.ReadFailed() && !StopAsked() &&
           (step = listing->Next(entry)) == ListStep::Entry) {
        if (IsDotEntry(entry.name) || entry.isOther)
            continue;
        std::u16string path = JoinPath(folder, entry.name);
        // The listing already knows what is a folder: asking again per entry would cost a
        // second walk, and would take a folder with an over-long path for a track.
        if (entry.isDirectory) {
            // A junction or link may lead off the player: never walk it.
            if (!entry.isLink)
                ScanTracks(path);
        } else if (EndsWithMp3(path)) {
            AddTrack(path, 1);
        }
    }
    if (step == ListStep::Failed)
        m_report.FailRead(m_fs.LastError());
    return 1;
}

int CSyncJob::AddTrack(const std::u16string& path, int convert) {
    // A path the later layout's record cannot hold whole would name no file: passed over, and
    // kept to be named. The drive goes; a backslash takes the byte its slash will.
    if (convert && m_database.Format() == DbFormat::Later &&
        !FitsLaterRecord(std::u16string_view(path).substr(2))) {
        m_report.LeaveOut({LeftOutReason::PathTooLong, path, 0});
        return 0;
    }
    // The status line always shows the full path, whatever is stored. Unconverted paths are the
    // rename scan's finds, part of its search.
    if (convert)
        ReportProgress(RunPhase::ListingTracks, m_report.NextTrack(), path,
                       FormatText(kMsgFile, {path}));
    else
        ReportProgress(RunPhase::Searching, m_report.Searched(), path,
                       FormatText(kMsgFile, {path}));
    if (convert)
        m_lstPaths.Append(ToPlayerPath(path));
    else
        m_lstPaths.Append(path);
    return 1;
}

// Step 4: the database, streamed into a file beside the old one, flushed, and only then moved
// over it, so the player keeps either the old database or the complete new one.
int CSyncJob::WriteDatabase() {
    // A list that misses part of the tree would silently drop songs from the player.
    if (m_report.ReadFailed()) {
        ReportEnd(RunOutcome::ReadFailed, kMsgReadFailed, m_report.ReadError());
        return 0;
    }
    if (!BeginChange()) {
        EndIfStopped();
        return 0;
    }
    if (m_pStatus)
        m_pStatus->SetProgress(RunPhase::Writing, m_lstPaths.Count(), m_strDbPath);
    // What the owner set in a later-layout database follows this run's renames to the tracks.
    if (OwnerSettings* kept = m_database.Kept())
        FollowOwnerSettings(*kept);
    DecideSpokenNames(m_database.Kept());
    int error = 0;
    switch (m_database.Write(m_lstPaths, error)) {
        case ReplaceResult::Replaced:
            return 1;  // the run's story ends it, once the spoken names are done
        case ReplaceResult::ReplacedNotDurable:
            // The old database is gone: saying it was kept would be false.
            ReportEnd(RunOutcome::DatabaseNotDurable, kMsgNotDurable, error);
            return 0;
        case ReplaceResult::TargetRemoved:
            // The system dropped the old database before the move failed: the complete new one
            // waits beside its place, and the next run puts it there.
            ReportEnd(RunOutcome::DatabaseNotReplaced, kMsgNotReplaced, error);
            return 0;
        case ReplaceResult::Failed:
            break;
    }
    ReportEnd(RunOutcome::DatabaseNotWritten, kMsgDatabaseFailed, error);
    return 0;
}

void CSyncJob::DecideSpokenNames(const OwnerSettings* kept) {
    m_database.SetSpokenIds(nullptr);
    if (m_database.Format() != DbFormat::Later)
        return;
    m_speech.Decide(kept, m_lstPaths);
    m_database.SetSpokenIds(m_speech.Ids());
}

// Songs a cut left without a name are not played until a run after the drive's check puts them
// back: that is what the user must do next. Else done, and why any song has no spoken name.
void CSyncJob::EndWritten() {
    if (m_report.LeavesLost()) {
        ReportEnd(RunOutcome::SongsLost, kMsgSongsLost);
        return;
    }
    std::u16string text;
    try {
        text = DoneText(m_speech.Outcome());
    } catch (const std::bad_alloc&) {
        // Out of memory for the note: 完成 alone, a literal, still says the database is in place.
    }
    ReportEnd(RunOutcome::Done, text.empty() ? std::u16string_view(kMsgDone) : text);
}

// Speaking is the slow part of a run (a few tens of ms a name): the progress counts the names,
// and a stop asked meanwhile leaves the rest for a next run, the database already in place.
void CSyncJob::SpeakNames(bool dryRun) {
    if (m_database.Format() != DbFormat::Later)
        return;
    try {
        SpeakNamesOf(dryRun);
    } catch (const std::bad_alloc&) {
        // The database is in place: running out of memory only leaves names for a next run.
        m_speech.Stop(Unspoken::WriteFailed);
    }
}

void CSyncJob::SpeakNamesOf(bool dryRun) {
    std::vector<std::pair<std::u16string, std::u16string>> files, folders;
    for (size_t i = 0; i < m_plan.Count(); ++i) {
        const CRenamePlan::Item& item = m_plan[i];
        if (item.step == CRenamePlan::Step::Done)
            (item.folder ? folders : files).emplace_back(item.from, item.to);
    }
    const auto renamedFrom = RenamedFrom(files, folders);
    // A next run writes its database beside this one: the names never take that room.
    const uint64_t keepFree = 2 * LaterDatabaseSize(m_lstPaths.Count()) + (1u << 20);
    m_speech.Begin(m_strDbPath.substr(0, 2), m_lstPaths, renamedFrom, keepFree, dryRun);
    if (dryRun)
        return;
    if (m_pStatus && m_speech.ToSpeak())
        m_pStatus->SetTotal(RunPhase::Speaking, m_speech.ToSpeak());
    std::u16string path;
    size_t spoken = 0;
    while (!StopWanted() && m_speech.SpeakNext(path))
        ReportProgress(RunPhase::Speaking, ++spoken, path, FormatText(kMsgSpeak, {path}));
    if (StopWanted())
        m_speech.Stop(Unspoken::Stopped);
}
