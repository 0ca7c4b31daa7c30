// The record of renames through a run: what an earlier run's record says (read before anything
// else), the record written before the first change, let go as soon as every rename is confirmed
// on the medium and no recorded item is missing (while one is, the record keeps it alone), and
// the put-back of lost items after the drive's check.
#pragma once

#include <string>
#include <unordered_set>
#include <vector>

#include "base/ChangeGate.h"
#include "base/FileSystem.h"
#include "base/LeftOut.h"
#include "base/StatusLabel.h"
#include "record/EarlierRenames.h"
#include "record/PutBack.h"
#include "record/RenameRecord.h"

class CRunRecord {
public:
    // `dbPath`: the run's database path, read at each call; the record lies beside it.
    CRunRecord(IFileSystem& fs, IChangeGate& gate, const std::u16string& dbPath);

    // A real run reads, writes and lets go of the record; a check only reads it.
    void Keep(bool keep) { m_keep = keep; }
    bool Keeping() const { return m_keep; }

    enum class Earlier { Clear, Unread, Shared };
    // What the record an earlier run left says. Shared: an item is still under two names
    // (SharedNames), and nothing may change; Unread: the medium failed while it was read, so
    // nothing can be told (the file system's LastError says why). Items under neither name are
    // kept to be put back or named; a record that is no whole one is set aside.
    Earlier CheckEarlier(const ListedByDatabase& listed = nullptr);
    // Puts back each lost item whose chain the drive's check saved, under the name it was to have,
    // recorded first like a rename. False, with the system's reason, when the medium failed a
    // put-back; a record that could not be written puts nothing back and leaves Failed set.
    bool PutBackLost(IStatusLabel* status, int& error);
    // The names lost items were to have, folded: no rename may give them to another item.
    std::unordered_set<std::u16string> ReservedNames() const;

    // The record of this run's planned renames, written before the first one: false when it could
    // not be written (Failed then set: nothing may be renamed).
    bool BeforeRenames(std::vector<RecordEntry> planned);
    // The record written again once a refused rename changed the plan; false when it failed.
    bool Rewrite(std::vector<RecordEntry> planned);
    // After the rename pass: the lost items' paths follow the folder renames made (inner folders
    // first, as the plan made them); with every rename confirmed, the record goes, or keeps the
    // lost items alone.
    void Settle(const std::vector<RenamePair>& folderRenames, bool renamesConfirmed);
    // Adds the items the run leaves lost: recorded items with no name, and saved chains that hold
    // a folder's raw entries.
    void NoteLost(std::vector<LeftOut>& leftOut) const;

    // The record could not be written or replaced: nothing was renamed. Error() says why.
    bool Failed() const { return m_failed; }
    int Error() const { return m_error; }
    // The two full paths that share one item's data, when CheckEarlier found them.
    const RenamePair& SharedNames() const { return m_shared; }
    // Items under both names held as two songs: a copy its owner made, or the same bytes a run
    // asked about before.
    const std::vector<RenamePair>& TwoSongs() const { return m_apart; }
    // The shared names hold the same bytes, but the system cannot tell whether they share them:
    // this run asks for the drive's check once, and the next takes them for two songs.
    bool Asks() const { return m_asks; }
    const std::vector<RenamePair>& PutBacks() const { return m_putBack.Done(); }
    // What moved since a database written before the record could know: the renames of earlier
    // runs that settled, and the items this run put back; each pair the path before, the path
    // after, in the order made.
    const std::vector<RenamePair>& EarlierRenamesSettled() const { return m_settled; }
    const std::vector<RenamePair>& ItemsPutBack() const { return m_putBack.ItemsMoved(); }
    // The record was to go but could not be removed (held by another program, say); the system's
    // reason. The next run lets it go again; what its owner deletes meanwhile is no lost song.
    bool NotRemoved() const { return m_notRemoved; }
    int NotRemovedError() const { return m_notRemovedError; }
    // Where a record that was no whole record was set aside; empty when none was.
    const std::u16string& SetAside() const { return m_setAside; }

private:
    std::u16string Path() const { return RenameRecordPath(m_dbPath); }
    void SetAsideDamaged(const std::u16string& damaged);
    void MarkAsked(EarlierRenames& earlier);
    void SortRenamedOrTaken(std::vector<RecordEntry>& items);
    bool Write(const std::vector<RecordEntry>& entries);
    bool WriteWithLost(std::vector<RecordEntry>& planned);
    void Drop();

    IFileSystem& m_fs;
    IChangeGate& m_gate;
    const std::u16string& m_dbPath;
    bool m_keep = false;
    bool m_onPlayer = false;  // a record of renames is on the player
    bool m_failed = false;
    int m_error = 0;
    bool m_onlyLost = false;  // the record on the player holds the lost items alone
    bool m_notRemoved = false;
    int m_notRemovedError = 0;
    RenamePair m_shared;
    std::vector<RenamePair> m_apart;
    bool m_asks = false;
    std::vector<RecordEntry> m_lost;  // items the record holds that have no name now
    std::vector<RenamePair> m_settled;
    CPutBack m_putBack;
    std::u16string m_setAside;
};
