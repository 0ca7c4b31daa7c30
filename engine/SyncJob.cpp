#include "SyncJob.h"

#include <system_error>

#include "Messages.h"

CSyncJob::CSyncJob(IFileSystem& fileSystem) : m_fs(fileSystem) {}

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
        [&probe](const std::u16string& root) { return probe.IsRemovableDrive(root); });
    m_strRootDir = decision.rootDir;
    m_strDbPath = decision.dbPath;
    m_bPlayerAccepted = decision.outcome == LocationOutcome::Ready;
    switch (decision.outcome) {
        case LocationOutcome::NotOnPlayer:
            ReportStatus(kMsgNotOnPlayer);
            return 0;
        case LocationOutcome::FolderNotSupported:
            ReportStatus(kMsgFolderNotSupported);
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

void CSyncJob::Run() {
    try {
        // Two runs on one player would rename what the other has just listed.
        auto lock = m_fs.LockPlayer(m_strDbPath);
        if (!lock) {
            ReportBusy();
            return;
        }
        m_bRan = true;
        // All four steps always run, in this order; the writer alone looks at what the track
        // scan found, the other results are deliberately ignored.
        ScanForRename(m_strRootDir);
        RenamePass();
        ScanTracks(m_strRootDir);
        WriteDatabase();
    } catch (...) {
        // Out of memory: the database was not replaced, and the label must not claim it was.
        // The text is a literal: showing it allocates nothing.
        ReportStatus(kMsgDatabaseFailed);
    }
}

// The text is a link with the Start command, so the user can try again once the other run ends.
void CSyncJob::ReportBusy() {
    if (!m_pStatus)
        return;
    m_pStatus->InvalidateParent();
    m_pStatus->SetPlain(0);
    m_pStatus->SetLinkText(kMsgPlayerBusy, ID_START);
}

void CSyncJob::ReportStatus(std::u16string_view text) {
    if (!m_pStatus)
        return;
    m_pStatus->InvalidateParent();
    m_pStatus->SetPlain(1);
    m_pStatus->SetLinkText(text, kNoCommand);
}
