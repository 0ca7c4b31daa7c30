#include "run/SyncJob.h"

#include <system_error>

#include "base/Messages.h"
#include "base/Text.h"

CSyncJob::CSyncJob(IFileSystem& fileSystem)
    : m_fs(fileSystem),
      m_database(fileSystem, *this, m_strDbPath),
      m_record(fileSystem, *this, m_strDbPath),
      m_plan(fileSystem, *this),
      m_speech(fileSystem) {}

CSyncJob::~CSyncJob() {
    WaitForRun();
}

int CSyncJob::SetStatusLabel(IStatusLabel* status) {
    m_pStatus = status;
    return 1;
}

int CSyncJob::CheckLocation(ILocationProbe& probe) {
    LocationDecision decision = DecideLocation(
        probe.ProgramPath(), [this](const std::u16string& path) { return m_fs.Exists(path); },
        [this](const std::u16string& path) { return m_fs.Exists(path) && !m_fs.IsDirectory(path); },
        [&probe](const std::u16string& root) { return probe.IsRemovableDrive(root); });
    return ApplyLocation(decision);
}

int CSyncJob::ApplyLocation(const LocationDecision& decision) {
    m_strRootDir = decision.rootDir;
    m_strDbPath = decision.dbPath;
    m_location = decision.outcome;
    m_bPlayerAccepted = decision.outcome == LocationOutcome::Ready;
    switch (decision.outcome) {
        // The window has room for one plain reason: a path too long for the platform cannot be
        // where the player's files are.
        case LocationOutcome::NotOnPlayer:
        case LocationOutcome::PathTooLong:
            ReportEnd(RunOutcome::Refused, kMsgNotOnPlayer);
            return 0;
        case LocationOutcome::FolderNotSupported:
            ReportEnd(RunOutcome::Refused, kMsgFolderNotSupported);
            return 0;
        case LocationOutcome::Ready:
            break;
    }
    if (m_pStatus) {
        // The link text is set before and again after the switch to the link look, so the
        // text is measured and shown whichever look the label had.
        m_pStatus->SetLinkText(kMsgStart, ID_START);
        m_pStatus->InvalidateParent();
        m_pStatus->SetPlain(0);
        m_pStatus->SetLinkText(kMsgStart, ID_START);
    }
    return 1;
}

int CSyncJob::StartSync() {
    // The root folder stays set after a refused check: it may be the hard disk.
    if (!m_bPlayerAccepted || m_strRootDir.empty())
        return 0;
    // One run per job: a second click before the first status arrives starts nothing.
    if (m_bRunning.exchange(true))
        return 0;
    if (m_bRan) {
        m_bRunning = false;
        return 0;
    }
    // An earlier start that found the player busy has ended; its thread is joined at once.
    WaitForRun();
    try {
        m_worker = std::thread(SyncThreadProc, this);
    } catch (const std::system_error&) {
        m_bRunning = false;  // nothing runs; the Start link stays usable
        return 0;
    }
    return 1;
}

void CSyncJob::WaitForRun() {
    if (m_worker.joinable())
        m_worker.join();
}

unsigned CSyncJob::SyncThreadProc(void* param) {
    auto* job = static_cast<CSyncJob*>(param);
    job->Run();
    job->m_bRunning = false;  // the last touch: the window may close once it sees this
    return 0;
}

RunOutcome CSyncJob::Run(const std::function<void(int step)>& afterStep) {
    // The root folder stays set after a refused check: it may be the hard disk.
    if (!m_bPlayerAccepted || m_strRootDir.empty())
        return RunOutcome::Refused;
    m_report.SetOutcome(RunOutcome::Refused);  // until this run names its own
    // An earlier run's changes are not this one's; a stop already asked still stands.
    Change earlier = Change::Begun;
    m_change.compare_exchange_strong(earlier, Change::None);
    try {
        // Two runs on one player would rename what the other has just listed.
        PlayerLock lock = m_fs.LockPlayer(m_strDbPath);
        if (!lock) {
            if (lock.systemError == 0) {
                m_report.Busy();
                return RunOutcome::PlayerBusy;
            }
            return ReportEnd(RunOutcome::LockUnavailable,
                             FormatNumber(kMsgLockFailed, lock.systemError), lock.systemError);
        }
        m_bRan = true;
        return RunSteps(afterStep);
    } catch (...) {
        // Out of memory while the label took the last text of a run that replaced the database:
        // the outcome stands, it must not turn into a failure.
        const RunOutcome outcome = m_report.Outcome();
        if (outcome == RunOutcome::Done || outcome == RunOutcome::SongsLost ||
            outcome == RunOutcome::DatabaseNotDurable || outcome == RunOutcome::DatabaseNotReplaced)
            return outcome;
        // Out of memory (nothing else is thrown): the database was not replaced, and the label
        // says so, never that the player failed. The text is a literal: showing it allocates
        // nothing.
        return ReportEnd(RunOutcome::OutOfMemory, kMsgOutOfMemory);
    }
}

// All four steps run, in this order, unless a scan could not read the whole tree: a run that
// cannot see every name changes none, and a list that misses part of the tree would drop songs.
// A stop asked before the first change ends the run wherever it is seen.
RunOutcome CSyncJob::RunSteps(const std::function<void(int step)>& afterStep) {
    m_report.Reset();
    m_plan.Reset();
    m_speech.Reset();
    auto stepDone = [&afterStep](int step) {
        if (afterStep)
            afterStep(step);
    };
    m_record.Keep(true);
    RunOutcome outcome = RunChanges(stepDone);
    m_record.Keep(false);
    return outcome;
}

RunOutcome CSyncJob::RunChanges(const std::function<void(int step)>& stepDone) {
    // A database or an item an earlier run left under two names would be emptied, or renamed or
    // listed twice, for good.
    if (!CheckDatabaseNames() || EndIfStopped() || !CheckEarlierRenames() || EndIfStopped() ||
        !PrepareDatabase() || EndIfStopped())
        return Outcome();
    m_database.ReadFormat();
    m_database.ReadOld(m_strRootDir);
    if (!CanWriteDatabase())
        return Outcome();
    PutBackLost();
    const bool renaming = !m_record.Failed() && !m_report.RenameFailed();
    if (renaming)
        ScanForRename(m_strRootDir);
    stepDone(0);
    if (EndIfStopped())
        return Outcome();
    if (m_report.ReadFailed()) {
        m_lstPaths.Clear();
        return ReportEnd(RunOutcome::ReadFailed, kMsgReadFailed, m_report.ReadError());
    }
    if (renaming)
        RenamePass();
    stepDone(1);
    if (EndIfStopped())
        return Outcome();
    // The record could not be written or replaced: nothing was renamed.
    if (m_record.Failed())
        return ReportEnd(RunOutcome::DatabaseNotWritten, kMsgDatabaseFailed, m_record.Error());
    // A rename the medium did not confirm may not survive a cut: nothing more is changed.
    if (m_report.RenameFailed())
        return ReportEnd(RunOutcome::RenameFailed, kMsgRenameFailed, m_report.RenameError());
    ScanTracks(m_strRootDir);
    m_database.NoteTracksOutside(m_strRootDir, m_report.LeftOuts());
    NoteLost();
    stepDone(2);
    if (EndIfStopped())
        return Outcome();
    // It reports every outcome but that of a database in place, the read failure included.
    const bool written = WriteDatabase() != 0;
    stepDone(3);
    // The players' spoken names follow the database, never go before it: the room they take or a
    // voice that fails can cost neither a song nor the database.
    if (written) {
        SpeakNames();
        EndWritten();
    }
    return Outcome();
}

bool CSyncJob::RequestStop() {
    m_bStopWanted = true;
    Change state = Change::None;
    return m_change.compare_exchange_strong(state, Change::StopAsked) || state == Change::StopAsked;
}

bool CSyncJob::BeginChange() {
    Change state = Change::None;
    return m_change.compare_exchange_strong(state, Change::Begun) || state == Change::Begun;
}

bool CSyncJob::EndIfStopped() {
    if (!StopAsked())
        return false;
    ReportEnd(RunOutcome::Stopped, kMsgStopped);
    return true;
}

bool CSyncJob::CheckDatabaseNames() {
    switch (m_database.BesideItself()) {
        case Likeness::Different:
            return true;
        case Likeness::Unread:
            // Either might be the player's only database: neither is written over.
            ReportEnd(RunOutcome::DatabaseNotWritten, kMsgDatabaseFailed, m_fs.LastError());
            return false;
        case Likeness::Same:
            break;
    }
    m_report.SetSharedNames({m_strDbPath, m_strDbPath + u".new"});
    ReportEnd(RunOutcome::NeedsRepair, kMsgNeedsRepair);
    return false;
}

bool CSyncJob::CheckEarlierRenames() {
    switch (m_record.CheckEarlier(
        [this](const std::u16string& path) { return m_database.Lists(path); })) {
        case CRunRecord::Earlier::Clear:
            return true;
        case CRunRecord::Earlier::Unread:
            ReportEnd(RunOutcome::ReadFailed, kMsgReadFailed, m_fs.LastError());
            return false;
        case CRunRecord::Earlier::Shared:
            m_report.SetSharedNames(m_record.SharedNames());
            // The two names are values the front ends show where they have room (SharedNames).
            ReportEnd(RunOutcome::NeedsRepair, kMsgNeedsRepair);
            return false;
    }
    return false;
}

bool CSyncJob::PutBackLost() {
    int error = 0;
    if (m_record.PutBackLost(m_pStatus, error))
        return true;
    m_report.FailRename(error);
    return false;
}

bool CSyncJob::PrepareDatabase() {
    if (m_database.PutLoneNewInPlace())
        return true;
    ReportEnd(RunOutcome::DatabaseNotWritten, kMsgDatabaseFailed, m_fs.LastError());
    return false;
}

bool CSyncJob::CanWriteDatabase() {
    int error = 0;
    if (m_database.CanWrite(error))
        return true;
    ReportEnd(RunOutcome::DatabaseNotWritten, kMsgDatabaseFailed, error);
    return false;
}

void CSyncJob::FollowOwnerSettings(OwnerSettings& kept) const {
    kept.Follow(CRenamePlan::AsRenames(m_record.EarlierRenamesSettled()), false);
    kept.Follow(CRenamePlan::AsRenames(m_record.ItemsPutBack()), true);
    m_plan.Follow(kept, m_lstPaths);
}
