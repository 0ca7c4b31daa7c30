// What a run reports: where it stands (the counts its steps reach), what it leaves out, the
// system's reasons for the failures of its own steps, and how it ended. Every text of a run
// reaches the status label through here.
#pragma once

#include <atomic>
#include <cstddef>
#include <string_view>
#include <vector>

#include "base/LeftOut.h"
#include "base/StatusLabel.h"
#include "record/RenameRecord.h"

class CRunReport {
public:
    // `status`: the job's label, as it is set at any time; null shows nothing.
    explicit CRunReport(IStatusLabel* const& status) : m_status(status) {}

    // Forgets an earlier run's counts, failures and left-outs.
    void Reset();

    // Every text reaches the label this way: repaint, plain look, text with command 0.
    void Status(std::u16string_view text);
    // The step's count and item as values, then its text.
    void Progress(RunPhase phase, size_t count, std::u16string_view item, std::u16string_view text);
    // The outcome as a value, then its text.
    RunOutcome End(RunOutcome outcome, std::u16string_view text, int systemError = 0);
    // Another run holds the player: a link with the Start command, to try again.
    void Busy();
    RunOutcome Outcome() const { return m_outcome; }
    void SetOutcome(RunOutcome outcome) { m_outcome = outcome; }

    // The counts the progress shows: entries the rename scan examined, MP3 files it saw, renames
    // tried, tracks the track scan found. Each Next... counts one more and gives the count.
    size_t NextSearched() { return ++m_searched; }
    size_t Searched() const { return m_searched; }
    void SawMp3() { ++m_mp3Seen; }
    size_t Mp3Seen() const { return m_mp3Seen; }
    size_t NextRename() { return ++m_renames; }
    size_t NextTrack() { return ++m_tracks; }

    // A listing failed: the tree could not be read whole.
    void FailRead(int error);
    bool ReadFailed() const { return m_readFailed; }
    int ReadError() const { return m_readError; }
    // The medium failed a rename or its confirmation.
    void FailRename(int error);
    bool RenameFailed() const { return m_renameFailed; }
    int RenameError() const { return m_renameError; }

    // The two full paths that share one item's data, when the run ended NeedsRepair.
    void SetSharedNames(RenamePair names) { m_shared = std::move(names); }
    const RenamePair& SharedNames() const { return m_shared; }

    // What the run passed over, in the order it met it.
    void LeaveOut(LeftOut item) { m_leftOut.push_back(std::move(item)); }
    std::vector<LeftOut>& LeftOuts() { return m_leftOut; }
    const std::vector<LeftOut>& LeftOuts() const { return m_leftOut; }
    bool LeavesLost() const;

private:
    IStatusLabel* const& m_status;
    std::atomic<RunOutcome> m_outcome{RunOutcome::Refused};
    size_t m_searched = 0, m_mp3Seen = 0, m_renames = 0, m_tracks = 0;
    bool m_readFailed = false, m_renameFailed = false;
    int m_readError = 0, m_renameError = 0;
    std::vector<LeftOut> m_leftOut;
    RenamePair m_shared;
};
