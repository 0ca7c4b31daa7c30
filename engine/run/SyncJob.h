// The one engine object: what a run needs (root folder, database path, the path list that passes
// from step to step, the status label), the run itself on a worker thread of its own, and its
// four steps. The concerns a run owns are classes of their own, asked in the order the run's
// story tells: the player's database, the record of renames, the plan of renames, the report.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "base/ChangeGate.h"
#include "base/FileSystem.h"
#include "base/LeftOut.h"
#include "base/PathList.h"
#include "base/StatusLabel.h"
#include "database/PlayerDatabase.h"
#include "record/RunRecord.h"
#include "run/Location.h"
#include "run/RenamePlan.h"
#include "run/RunReport.h"
#include "speech/SpokenNames.h"

class CSyncJob : public IChangeGate {
public:
    explicit CSyncJob(IFileSystem& fileSystem);
    // Waits for a run still under way: a run is never cut off halfway.
    ~CSyncJob();
    CSyncJob(const CSyncJob&) = delete;
    CSyncJob& operator=(const CSyncJob&) = delete;

    int SetStatusLabel(IStatusLabel* status);
    // The synthesiser a run speaks the players' names through; none speaks none.
    void SetVoice(IVoice* voice) { m_speech.SetVoice(voice); }

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
    // A stop was asked at any time: speaking, the run's last and only optional work, ends early.
    bool StopWanted() const { return m_bStopWanted; }
    // The gate every first change of a run passes: putting a database in place, writing the
    // record of renames, a rename, creating the database's temporary file... False when a stop
    // was asked before it: the change is not made and the run ends Stopped. Once passed, the run
    // is changing the player and no stop request can undo that.
    bool BeginChange() override;
    bool StopAsked() const override { return m_change == Change::StopAsked; }

    // How the last run ended; Refused before any. Read it once IsRunning is false.
    RunOutcome Outcome() const { return m_report.Outcome(); }
    // What the last run renamed, counted as the renames succeeded.
    size_t RenamedFiles() const { return m_plan.RenamedFiles(); }
    size_t RenamedFolders() const { return m_plan.RenamedFolders(); }
    // What the last run passed over, in the order it met it.
    const std::vector<LeftOut>& LeftOuts() const { return m_report.LeftOuts(); }
    // The two full paths that share one item's data when the run ended NeedsRepair.
    const RenamePair& SharedNames() const { return m_report.SharedNames(); }
    // The shared names may be two copies: asked about once, the next run takes them for two.
    bool AsksAboutSharedNames() const { return m_record.Asks(); }
    // Items under both names an earlier run recorded, held as two songs (a copy, or asked before).
    const std::vector<RenamePair>& TwoSongs() const { return m_record.TwoSongs(); }
    // Each chain the drive's check saved that the run put back under its item's name.
    const std::vector<RenamePair>& PutBacks() const { return m_record.PutBacks(); }
    // A record of renames that was to go but could not be removed, and the system's reason.
    bool RecordNotRemoved() const { return m_record.NotRemoved(); }
    int RecordRemoveError() const { return m_record.NotRemovedError(); }
    // Where a record of renames that was no whole record was set aside; empty when none was.
    const std::u16string& RecordSetAside() const { return m_record.SetAside(); }
    // The player's database: its layout, as a check or a test asks for it.
    CPlayerDatabase& Database() { return m_database; }
    // What the last run made of a later generation's spoken names.
    const SpeechOutcome& Speech() const { return m_speech.Outcome(); }

    // Every text of a run reaches the label this way: repaint, plain look, text with command 0.
    void ReportStatus(std::u16string_view text) { m_report.Status(text); }

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
    // track scan could not read the whole tree. 1 when it is in place: the run then ends with
    // EndWritten, once a third or fourth generation player's spoken names are done.
    int WriteDatabase();
    void EndWritten();
    // Each song's spoken name's id and the VoiceOver switch, for the database to write; `kept`:
    // what the old database's owner set, matched to the tracks.
    void DecideSpokenNames(const OwnerSettings* kept);
    // The spoken names of the songs without one, after the database is in place; with `dryRun`
    // only counted, as a run would find them.
    void SpeakNames(bool dryRun = false);

    // Before the steps: the database under two names (an iTunesSD.new byte for byte the
    // database) stops the run (NeedsRepair, reported): writing or removing either name would free
    // the other's data; so does a pair that could not be read whole. False then.
    bool CheckDatabaseNames();
    // Before the steps: what the record an earlier run left says. An item still under two names
    // stops the run (NeedsRepair, reported); items under neither name are kept to be put back or
    // named; a record that is no whole one is set aside. False when the run must stop.
    bool CheckEarlierRenames();
    // Puts back each lost item whose chain the drive's check saved (matched by its identity),
    // under the name it was to have. False when the medium failed a put-back's confirmation.
    bool PutBackLost();
    // What the owner set in a later-layout database follows its songs to the tracks: through
    // earlier runs' renames the record knows, this run's put-backs and its renames.
    void FollowOwnerSettings(OwnerSettings& kept) const;
    // Names what a run leaves lost: items of the record with no name, and chains that hold a
    // folder's raw entries.
    void NoteLost() { m_record.NoteLost(m_report.LeftOuts()); }

    std::u16string m_strRootDir;
    PathList m_lstPaths;
    std::u16string m_strDbPath;
    IStatusLabel* m_pStatus = nullptr;

private:
    enum class Change { None, StopAsked, Begun };

    RunOutcome RunSteps(const std::function<void(int step)>& afterStep);
    RunOutcome RunChanges(const std::function<void(int step)>& stepDone);
    // True, the run ended Stopped, when a stop was asked before its first change.
    bool EndIfStopped();
    // Before the first change: a lone complete iTunesSD.new becomes the database; a run that
    // could write no database (its old one unreadable, the temporary file's place taken by what
    // no file can replace) ends here, changing nothing. False (the outcome reported) then.
    bool PrepareDatabase();
    bool CanWriteDatabase();
    void ReportProgress(RunPhase phase, size_t count, std::u16string_view item,
                        std::u16string_view text) {
        m_report.Progress(phase, count, item, text);
    }
    RunOutcome ReportEnd(RunOutcome outcome, std::u16string_view text, int systemError = 0) {
        return m_report.End(outcome, text, systemError);
    }
    int RenameItem(const std::u16string& path, int& counter, std::u16string_view nameFormat);
    void SpeakNamesOf(bool dryRun);

    IFileSystem& m_fs;
    LocationOutcome m_location = LocationOutcome::NotOnPlayer;
    bool m_bPlayerAccepted = false;  // the location check passed (UI thread, before any run)
    // The concerns below belong to the worker during a run.
    CRunReport m_report{m_pStatus};
    CPlayerDatabase m_database;
    CRunRecord m_record;
    CRenamePlan m_plan;
    CSpokenNames m_speech;
    // One state for a stop request and the first change, so neither can slip past the other.
    std::atomic<Change> m_change{Change::None};
    std::atomic<bool> m_bRunning{false};
    std::atomic<bool> m_bRan{false};  // a run got hold of the player
    std::atomic<bool> m_bStopWanted{false};
    std::thread m_worker;
};
