// Songs and folders a cut left without a name, put back after the drive's check. The check saves
// each nameless chain of clusters at the drive's top (Windows' chkdsk as FOUND.nnn\FILEnnnn.CHK or
// DIRnnnn.CHK, dosfstools' fsck.fat as FSCKnnnn.REC), whole clusters long; a song whose long name
// alone a cut left unwritten is there under its short alias. A chain that matches one lost item's
// identity, and no other item's, is cut back to the item's length and moved under the name the
// item was to have; anything else is left exactly as it is.
#pragma once

#include <string>
#include <vector>

#include "base/FileSystem.h"
#include "base/StatusLabel.h"
#include "record/RenameRecord.h"

class CPutBack {
public:
    explicit CPutBack(IFileSystem& fs) : m_fs(fs) {}

    // Forgets an earlier run's finds.
    void Clear();
    // Finds the chain each lost item left on `drive` ("E:") and the name it goes back under.
    // Chains that hold a folder's raw entries are noted, not moved.
    void Find(const std::u16string& drive, const std::vector<RecordEntry>& lost);
    // What Find decided: each move's chain, its target and the item's identity.
    const std::vector<RecordEntry>& Moves() const { return m_moves; }
    // The lost item each move puts back, by its index in what Find was given.
    const std::vector<size_t>& ItemsFound() const { return m_lostOf; }
    // Makes the moves, in order; `back` tells which lost items came back. A chain that cannot be
    // cut to its item's length stays, its item named as lost. False, with the system's reason,
    // when the medium did not confirm a move: nothing more is moved.
    bool Move(IStatusLabel* status, std::vector<bool>& back, int& error);

    // Each chain put back under its item's name.
    const std::vector<RenamePair>& Done() const { return m_done; }
    // Each item put back: where it was lost from, and where it is now.
    const std::vector<RenamePair>& ItemsMoved() const { return m_itemsMoved; }
    // Chains that hold a folder's raw entries: named, never guessed.
    const std::vector<std::u16string>& RawFolderChains() const { return m_rawFolderChains; }

private:
    uint64_t SizeOf(const std::u16string& path);

    IFileSystem& m_fs;
    std::vector<RecordEntry> m_moves;
    std::vector<size_t> m_lostOf;            // the lost item each move puts back
    std::vector<std::u16string> m_lostFrom;  // and where that item was lost from
    size_t m_lostCount = 0;
    std::vector<RenamePair> m_done;
    std::vector<RenamePair> m_itemsMoved;
    std::vector<std::u16string> m_rawFolderChains;
};
