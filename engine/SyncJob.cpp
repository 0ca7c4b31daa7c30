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
    if (m_strRootDir.empty())
        return 0;
    // One run per job: a second click before the first status arrives starts nothing.
    if (m_started.exchange(true))
        return 0;
    try {
        m_worker = std::thread(SyncThreadProc, this);
    } catch (const std::system_error&) {
        m_started = false;  // nothing runs; the Start link stays usable
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
    try {
        // All four steps always run, in this order; their results are deliberately ignored.
        job->ScanForRename(job->m_strRootDir);
        job->RenamePass();
        job->ScanTracks(job->m_strRootDir);
        job->WriteDatabase();
    } catch (...) {
        // Out of memory: the database was not replaced, and the label must not claim it was.
        job->ReportStatus(kMsgDatabaseFailed);
    }
    return 0;
}

void CSyncJob::ReportStatus(const std::u16string& text) {
    if (!m_pStatus)
        return;
    m_pStatus->InvalidateParent();
    m_pStatus->SetPlain(1);
    m_pStatus->SetLinkText(text, kNoCommand);
}
