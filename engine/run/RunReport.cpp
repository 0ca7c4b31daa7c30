#include "run/RunReport.h"

#include <algorithm>

#include "base/Messages.h"

void CRunReport::Reset() {
    m_searched = m_mp3Seen = m_renames = m_tracks = 0;
    m_readFailed = m_renameFailed = false;
    m_readError = m_renameError = 0;
    m_leftOut.clear();
    m_shared = {};
}

void CRunReport::Status(std::u16string_view text) {
    if (!m_status)
        return;
    m_status->InvalidateParent();
    m_status->SetPlain(1);
    m_status->SetLinkText(text, kNoCommand);
}

void CRunReport::Progress(RunPhase phase, size_t count, std::u16string_view item,
                          std::u16string_view text) {
    if (m_status)
        m_status->SetProgress(phase, count, item);
    Status(text);
}

RunOutcome CRunReport::End(RunOutcome outcome, std::u16string_view text, int systemError) {
    m_outcome = outcome;
    if (m_status)
        m_status->SetOutcome(outcome, systemError);
    Status(text);
    return outcome;
}

void CRunReport::Busy() {
    m_outcome = RunOutcome::PlayerBusy;
    if (!m_status)
        return;
    m_status->SetOutcome(RunOutcome::PlayerBusy, 0);
    m_status->InvalidateParent();
    m_status->SetPlain(0);
    m_status->SetLinkText(kMsgPlayerBusy, ID_START);
}

void CRunReport::FailRead(int error) {
    m_readFailed = true;
    m_readError = error;
}

void CRunReport::FailRename(int error) {
    m_renameFailed = true;
    m_renameError = error;
}

// Songs a cut left without a name are not played until a run after the drive's check puts them
// back: that is what the user must do next.
bool CRunReport::LeavesLost() const {
    return std::any_of(m_leftOut.begin(), m_leftOut.end(),
                       [](const LeftOut& item) { return item.why == LeftOutReason::LostInCut; });
}
