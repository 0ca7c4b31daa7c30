// The one engine object: what a run needs (root folder, database path, the path list that passes
// from step to step, the status label) and the run itself on a worker thread of its own.
#pragma once

#include <atomic>
#include <string>
#include <string_view>
#include <thread>

#include "FileSystem.h"
#include "Location.h"
#include "PathList.h"
#include "StatusLabel.h"

class CSyncJob {
public:
    explicit CSyncJob(IFileSystem& fileSystem);
    // Waits for a run still under way: a run is never cut off halfway.
    ~CSyncJob();
    CSyncJob(const CSyncJob&) = delete;
    CSyncJob& operator=(const CSyncJob&) = delete;

    int SetStatusLabel(IStatusLabel* status);

    // Fills the root folder and database path from where the program is, and leaves the label
    // showing an error or the Start link. 1 when a run may be started.
    int CheckLocation(ILocationProbe& probe);

    // Starts the one run of this job on a worker thread. 0 unless the location check accepted
    // the player, and while a run is under way or after one has run. A start that found the
    // player busy with another run does not count: it may be tried again.
    int StartSync();
    // True from a start until its worker has done all it will do.
    bool IsRunning() const { return m_bRunning; }
    // Waits until a started run has finished; returns at once when none was started.
    void WaitForRun();
    static unsigned SyncThreadProc(void* job);

    // Every text of a run reaches the label this way: repaint, plain look, text with command 0.
    void ReportStatus(std::u16string_view text);

    // Step 1 and 2: new ASCII names for wide-named MP3 files and the folders directly holding MP3s.
    static int HasWideChars(std::u16string_view name);
    int ScanForRename(const std::u16string& folder);
    int RenamePass();
    int RenameFolder(const std::u16string& path, int& counter);
    int RenameFile(const std::u16string& path, int& counter);

    // Step 3: every MP3 file under the folder, as a player path, in listing order, depth first.
    int ScanTracks(const std::u16string& folder);
    int AddTrack(const std::u16string& path, int convert);

    // Step 4: the database, written beside the old one and then moved over it; never when the
    // track scan could not read the whole tree.
    int WriteDatabase();

    std::u16string m_strRootDir;
    PathList m_lstPaths;
    std::u16string m_strDbPath;
    IStatusLabel* m_pStatus = nullptr;

private:
    void Run();
    void ReportBusy();
    int RenameItem(const std::u16string& path, int& counter, std::u16string_view nameFormat);
    bool WriteDatabaseFile(const std::u16string& tempPath);

    IFileSystem& m_fs;
    bool m_bPlayerAccepted = false;    // the location check passed (UI thread, before any run)
    bool m_bTracksIncomplete = false;  // a listing failed during the track scan (worker only)
    std::atomic<bool> m_bRunning{false};
    std::atomic<bool> m_bRan{false};  // a run got hold of the player
    std::thread m_worker;
};
