// Step 3 of a run: every MP3 file under a folder, as a player path, in the order the file
// system lists each folder, a subfolder's tracks where its entry comes up.
#include "LaterDatabase.h"
#include "Messages.h"
#include "SyncJob.h"
#include "Text.h"

int CSyncJob::ScanTracks(const std::u16string& folder) {
    if (folder == m_strRootDir && m_pStatus && m_nMp3Seen)
        m_pStatus->SetTotal(RunPhase::ListingTracks, m_nMp3Seen);
    auto listing = m_fs.ListFolder(folder);
    if (!listing) {
        // Passed over, like on Windows, but named: its songs are not in the database.
        m_leftOut.push_back({LeftOutReason::FolderUnreadable, folder, m_fs.LastError()});
        return 0;
    }
    FolderEntry entry;
    ListStep step = ListStep::End;
    // After a failed read the list can no longer be the whole tree: the walk stops.
    while (!m_bReadFailed && !StopAsked() && (step = listing->Next(entry)) == ListStep::Entry) {
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
    if (step == ListStep::Failed) {
        m_bReadFailed = true;
        m_nReadError = m_fs.LastError();
    }
    return 1;
}

int CSyncJob::AddTrack(const std::u16string& path, int convert) {
    // A path the later layout's record cannot hold whole would name no file: passed over, and
    // kept to be named. The drive goes; a backslash takes the byte its slash will.
    if (convert && m_dbFormat == DbFormat::Later &&
        !FitsLaterRecord(std::u16string_view(path).substr(2))) {
        m_leftOut.push_back({LeftOutReason::PathTooLong, path, 0});
        return 0;
    }
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

// The old database's tracks that lie outside the run's folder and are still on the player: the
// new database no longer lists them, and the front ends say so.
void CSyncJob::NoteTracksOutside() {
    if (m_oldTracks.empty())
        return;
    const std::u16string inside = ToPlayerPath(m_strRootDir) + u"/";
    const std::u16string drive = m_strRootDir.substr(0, 2);
    for (const auto& track : m_oldTracks) {
        if (StopAsked())
            break;  // nothing changed yet: the run ends at once
        // Every listed track lies inside: the folder alone tells.
        if (track.size() > inside.size() && EqualsFolded(track.substr(0, inside.size()), inside))
            continue;
        std::u16string full = FromPlayerPath(drive, track);
        if (m_fs.Exists(full) && !m_fs.IsDirectory(full))
            m_leftOut.push_back({LeftOutReason::OutsideFolder, full, 0});
    }
    m_oldTracks.clear();
    m_oldTracks.shrink_to_fit();
}
