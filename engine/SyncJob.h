// The one engine object: what a run needs (root folder, database path, the path list that passes
// from step to step, the status label) and the run itself on a worker thread of its own.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "Database.h"
#include "FileSystem.h"
#include "Location.h"
#include "OwnerSettings.h"
#include "PathList.h"
#include "RenameRecord.h"
#include "StatusLabel.h"

// Why a song or folder is not in the new database although it is on the player.
enum class LeftOutReason {
    FolderUnreadable,  // the track scan could not open the folder (the system's reason given)
    NotRenamed,        // its name could not be changed, so the player will not show it
    OutsideFolder,     // listed by the old database, but outside the folder the run was given
    PathTooLong,       // the later generations' record cannot hold its path whole
    // An item an earlier run recorded that is under neither of its names: a cut on Windows' FAT
    // driver left it without one (the drive's check saves it, and the next run puts it back), or
    // its owner deleted it. Kept in the record until a run puts it back.
    LostInCut,
    // A chain the drive's check saved as a file of a folder's raw entries: no song to put back.
    FolderSavedAsFile,
};

struct LeftOut {
    LeftOutReason why;
    std::u16string path;  // the full path, as the run found it
    int systemError = 0;
    std::u16string newPath = {};  // LostInCut: the path it was to have
};

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
    // The second half of the check: takes the decision's folder and database path, and shows its
    // outcome. 1 when a run may be started.
    int ApplyLocation(const LocationDecision& decision);
    // What the last location check decided.
    LocationOutcome Location() const { return m_location; }

    // Starts the one run of this job on a worker thread. 0 unless the location check accepted
    // the player, and while a run is under way or after one has run. A start that found the
    // player busy with another run does not count: it may be tried again.
    int StartSync();
    // True from a start until its worker has done all it will do.
    bool IsRunning() const { return m_bRunning; }
    // Waits until a started run has finished; returns at once when none was started.
    void WaitForRun();
    // The worker's routine: Run on the job, then the run is over.
    static unsigned SyncThreadProc(void* job);

    // The one way a run is made, on the calling thread: the player locked, the four steps in
    // order, the outcome reported and returned. Refused, showing nothing, unless the location
    // check accepted the player. `afterStep`, when given, is called with the step's index (0 to
    // 3) after each step that ran, so the benchmarks can time them.
    RunOutcome Run(const std::function<void(int step)>& afterStep = nullptr);
    // Asks the run to stop, from any thread. True when it stops with nothing changed: no change
    // has begun, and the run ends Stopped as soon as it sees the request (it looks at each entry
    // of its scans). False once a change has begun: the run then finishes as it would have.
    bool RequestStop();
    // The gate every first change of a run passes: putting a database in place, writing the
    // record of renames, a rename, creating the database's temporary file... False when a stop
    // was asked before it: the change is not made and the run ends Stopped. Once passed, the run
    // is changing the player and no stop request can undo that.
    bool BeginChange();

    // How the last run ended; Refused before any. Read it once IsRunning is false.
    RunOutcome Outcome() const { return m_outcome; }
    // What the last run renamed, counted as the renames succeeded.
    size_t RenamedFiles() const { return m_nRenamedFiles; }
    size_t RenamedFolders() const { return m_nRenamedFolders; }
    // What the last run passed over, in the order it met it.
    const std::vector<LeftOut>& LeftOuts() const { return m_leftOut; }
    // The two full paths that share one item's data when the run ended NeedsRepair.
    const RenamePair& SharedNames() const { return m_shared; }
    // Each chain the drive's check saved that the run put back under its item's name.
    const std::vector<RenamePair>& PutBacks() const { return m_putBacks; }
    // Where a record of renames that was no whole record was set aside; empty when none was.
    const std::u16string& RecordSetAside() const { return m_recordSetAside; }

    // Every text of a run reaches the label this way: repaint, plain look, text with command 0.
    void ReportStatus(std::u16string_view text);

    // Step 1 and 2: new ASCII names for wide-named MP3 files and the folders directly holding MP3s.
    // A folder the scan cannot read whole ends the run before anything is renamed.
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

    // Before the steps: the layout of the player's database (or of a left-over iTunesSD.new), the
    // one step 4 writes. 0 when it could not be read: step 4 then writes nothing.
    int ReadPlayerFormat();

    // Before the steps: what the record an earlier run left says. An item still under two names
    // stops the run (NeedsRepair, reported); items under neither name are kept to be put back or
    // named; a record that is no whole one is set aside. False when the run must stop.
    bool CheckEarlierRenames();
    // Puts back each lost item whose chain the drive's check saved (matched by its identity),
    // under the name it was to have. False when the medium failed a put-back's confirmation.
    bool PutBackLost();
    // Names what a run leaves lost: items of the record with no name, and chains that hold a
    // folder's raw entries.
    void NoteLost();
    // Before step 4 in the later layout: the old database's owner settings (read with its tracks)
    // follow this run's renames to the tracks listed.
    void MatchOwnerSettings();

    std::u16string m_strRootDir;
    PathList m_lstPaths;
    // What the owner set in a later-layout database, kept by step 4; null when there is none.
    std::unique_ptr<OwnerSettings> m_kept;
    DbFormat m_dbFormat = DbFormat::Early;
    std::u16string m_strDbPath;
    IStatusLabel* m_pStatus = nullptr;

private:
    enum class Change { None, StopAsked, Begun };

    RunOutcome RunSteps(const std::function<void(int step)>& afterStep);
    RunOutcome RunChanges(const std::function<void(int step)>& stepDone);
    bool StopAsked() const { return m_change == Change::StopAsked; }
    // True, the run ended Stopped, when a stop was asked before its first change.
    bool EndIfStopped();
    // Before the first change: a run that could write no database (its old one unreadable, the
    // temporary file's place taken by what no file can replace) ends here, changing nothing.
    bool CanWriteDatabase();
    void ReportProgress(RunPhase phase, size_t count, std::u16string_view item,
                        std::u16string_view text);
    RunOutcome ReportEnd(RunOutcome outcome, std::u16string_view text, int systemError = 0);
    void ReportBusy();
    int RenameItem(const std::u16string& path, int& counter, std::u16string_view nameFormat);
    // The new full path for an item, the counter moved past taken names; empty when none fits.
    std::u16string NewName(const std::u16string& path, int& counter, std::u16string_view format,
                           const std::unordered_set<std::u16string>& planned);
    void PlanRenames(size_t first, int folderCounter, int fileCounter);
    bool PreparePlannedFolders(size_t first);
    bool WriteDatabaseFile(const std::u16string& tempPath);
    // Before the run's first change: a lone complete iTunesSD.new becomes the database. False
    // (the outcome reported) when that failed.
    bool PrepareDatabase();
    void NoteTracksOutside();
    void ReadOldTracks();
    bool RecordRenames();
    bool WriteRecord(const std::vector<RecordEntry>& entries);
    std::vector<RecordEntry> PlannedEntries();
    void SetAsideRecord(const std::u16string& damaged);
    void SettleRecord();
    void FollowRenames(std::u16string& path) const;
    void DropRenameRecord();

    IFileSystem& m_fs;
    LocationOutcome m_location = LocationOutcome::NotOnPlayer;
    bool m_bPlayerAccepted = false;  // the location check passed (UI thread, before any run)
    // The fields below belong to the worker during a run.
    bool m_bReadFailed = false;  // a listing failed: the tree could not be read whole
    // The system's reasons, each taken from the call that failed before anything else could
    // change the file system's last error: the listing, reading the database, writing the
    // record of renames, writing the database.
    int m_nReadError = 0;
    int m_nDbReadError = 0;
    int m_nRecordError = 0;
    int m_nWriteError = 0;
    bool m_bHadDatabase = true;  // an iTunesSD was there when the run began
    size_t m_nSearched = 0;      // entries the rename scan examined
    size_t m_nRenames = 0;       // renames tried
    size_t m_nTracks = 0;        // tracks the track scan found
    size_t m_nMp3Seen = 0;       // MP3 files the rename scan saw
    size_t m_nRenamedFiles = 0;
    size_t m_nRenamedFolders = 0;
    enum class Step { Pending, Done, Refused };
    struct PlannedRename {
        std::u16string from, to;  // full paths; `to` empty when no new name fits
        bool folder = false;
        int folderCounter = 1, fileCounter = 1;  // the counters once this item had its name
        Step step = Step::Pending;
    };
    std::vector<PlannedRename> m_plan;  // the rename pass's names, in the list's order
    size_t m_nRenamesPlanned = 0;
    bool m_bRenameFailed = false;  // the medium failed a rename or its confirmation
    int m_nRenameError = 0;
    std::vector<LeftOut> m_leftOut;
    // The old database's tracks, kept only while a run from a folder below the top needs them.
    std::vector<std::u16string> m_oldTracks;
    bool m_bKeepRecord = false;  // a real run, not a check: the record is read, written and let go
    bool m_bRecordKept = false;  // a record of renames is on the player
    bool m_bRecordFailed = false;    // it could not be written: nothing was renamed
    bool m_bRecordOnlyLost = false;  // the record on the player holds the lost items alone
    RenamePair m_shared;
    std::vector<RecordEntry> m_lost;                // items the record holds that have no name now
    std::vector<RecordEntry> m_putting;             // chains being put back (from, to, identity)
    std::vector<RenamePair> m_putBacks;             // chains put back
    std::vector<std::u16string> m_rawFolderChains;  // chains that hold a folder's raw entries
    std::u16string m_recordSetAside;
    std::unordered_map<std::u16string, ItemIdentity> m_identities;  // files, by folded path
    std::atomic<RunOutcome> m_outcome{RunOutcome::Refused};
    // One state for a stop request and the first change, so neither can slip past the other.
    std::atomic<Change> m_change{Change::None};
    std::atomic<bool> m_bRunning{false};
    std::atomic<bool> m_bRan{false};  // a run got hold of the player
    std::thread m_worker;
};
