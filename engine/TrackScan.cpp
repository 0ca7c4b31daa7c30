// Step 3 of a run: every MP3 file under a folder, as a player path, in the order the file
// system lists each folder, a subfolder's tracks where its entry comes up.
#include "Messages.h"
#include "SyncJob.h"
#include "Text.h"

int CSyncJob::ScanTracks(const std::u16string& folder) {
    auto listing = m_fs.ListFolder(folder);
    if (!listing) {
        // Passed over, like on Windows, but named: its songs are not in the database.
        m_leftOut.push_back({LeftOutReason::FolderUnreadable, folder, m_fs.LastError()});
        return 0;
    }
    FolderEntry entry;
    ListStep step = ListStep::End;
    // After a failed read the list can no longer be the whole tree: the walk stops.
    while (!m_bReadFailed && (step = listing->Next(entry)) == ListStep::Entry) {
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
        m_bReadFailed = true;
    return 1;
}

int CSyncJob::AddTrack(const std::u16string& path, int convert) {
    // The status line always shows the full path, whatever is stored. Unconverted paths are the
    // rename scan's finds, part of its search.
    if (convert)
        ReportProgress(RunPhase::ListingTracks, ++m_nTracks, path, FormatText(kMsgFile, {path}));
    else
        ReportProgress(RunPhase::Searching, m_nSearched, path, FormatText(kMsgFile, {path}));
    if (convert)
        m_lstPaths.Append(ToPlayerPath(path));
    else
        m_lstPaths.Append(path);
    return 1;
}
