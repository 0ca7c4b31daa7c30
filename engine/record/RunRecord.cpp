#include "record/RunRecord.h"

#include "base/SameBytes.h"
#include "base/Text.h"
#include "record/EarlierRenames.h"

namespace {

// Where a record that is no whole one is set aside, beside itself: kept for whoever wants to
// look, never read again.
constexpr char16_t kSetAside[] = u".damaged";
constexpr int kSetAsideTries = 9;

}  // namespace

CRunRecord::CRunRecord(IFileSystem& fs, IChangeGate& gate, const std::u16string& dbPath)
    : m_fs(fs), m_gate(gate), m_dbPath(dbPath), m_putBack(fs) {}

CRunRecord::Earlier CRunRecord::CheckEarlier(const ListedByDatabase& listed) {
    m_failed = false;
    m_notRemoved = false;
    m_notRemovedError = 0;
    m_error = 0;
    m_shared = {};
    m_asks = false;
    m_apart.clear();
    m_lost.clear();
    m_settled.clear();
    m_putBack.Clear();
    m_setAside.clear();
    m_onlyLost = false;
    // A run never writes a record equal to the one in place: a new one holding the same bytes is
    // the record's second name, a cut inside its replace having left both on one chain.
    const std::u16string record = Path();
    if (m_fs.Exists(record + u".new") && m_fs.Exists(record)) {
        switch (CompareFiles(m_fs, record, record + u".new")) {
            case Likeness::Same:
                m_shared = RenamePair(record, record + u".new");
                return Earlier::Shared;
            case Likeness::Unread:
                return Earlier::Unread;
            case Likeness::Different:
                break;
        }
    }
    EarlierRenames earlier = ReadEarlierRenames(m_fs, m_dbPath, listed);
    // Unread, it might hold an item under two names: nothing may change.
    if (earlier.readFailed)
        return Earlier::Unread;
    m_onPlayer = earlier.found;
    if (earlier.damaged) {
        SetAsideDamaged(earlier.path);
        return Earlier::Clear;
    }
    if (earlier.shared) {
        m_shared = *earlier.shared;
        m_asks = earlier.sharedMayBeCopies;
        if (earlier.ask && m_keep)
            MarkAsked(earlier);
        return Earlier::Shared;
    }
    m_lost = std::move(earlier.lost);
    m_settled = std::move(earlier.settled);
    m_apart = std::move(earlier.apart);
    SortRenamedOrTaken(earlier.renamedOrTaken);
    if (!earlier.found || !m_keep)
        return Earlier::Clear;
    // Every recorded rename settled: the record is needed no more.
    if (m_lost.empty()) {
        Drop();
        return Earlier::Clear;
    }
    m_onlyLost = earlier.entries == m_lost.size();
    // Only the new record a replace cut short: it takes the record's name, so the next record
    // can be written beside it.
    if (earlier.path != record && m_gate.BeginChange() &&
        m_fs.Replace(earlier.path, record) != ReplaceResult::Replaced) {
        m_failed = true;
        m_error = m_fs.LastError();
    }
    return Earlier::Clear;
}

// The record again, the items this run asks about marked: the next run takes each for two songs.
// A failure only asks once more next time.
void CRunRecord::MarkAsked(EarlierRenames& earlier) {
    const std::u16string record = Path();
    if (earlier.path != record &&
        (!m_gate.BeginChange() || m_fs.Replace(earlier.path, record) != ReplaceResult::Replaced))
        return;
    Write(earlier.recorded);
}

// A file under its new name with other bytes than recorded is its song, re-tagged, unless the
// drive's check saved a chain with the song's own identity: then that file is another's, and the
// song is lost until the chain is put back.
void CRunRecord::SortRenamedOrTaken(std::vector<RecordEntry>& items) {
    if (items.empty())
        return;
    m_putBack.Find(m_dbPath.substr(0, 2), items);
    std::vector<bool> saved(items.size(), false);
    for (size_t item : m_putBack.ItemsFound())
        saved[item] = true;
    m_putBack.Clear();
    for (size_t i = 0; i < items.size(); ++i)
        if (saved[i])
            m_lost.push_back(std::move(items[i]));
        else
            m_settled.emplace_back(std::move(items[i].from), std::move(items[i].to));
}

// Renamed beside itself, so the name is free for this run's record.
void CRunRecord::SetAsideDamaged(const std::u16string& damaged) {
    const std::u16string record = Path();
    std::u16string target = record + kSetAside;
    for (int n = 2; n <= kSetAsideTries + 1 && m_fs.Exists(target); ++n)
        target = record + kSetAside + FormatNumber(u"%d", n);
    // A check says where a run would put it.
    if (!m_keep) {
        m_setAside = target;
        return;
    }
    if (!m_gate.BeginChange() || m_fs.Rename(damaged, target) == RenameResult::Refused)
        return;  // the record written over it, or its writing failing, settles it
    m_setAside = target;
    m_onPlayer = false;
}

bool CRunRecord::PutBackLost(IStatusLabel* status, int& error) {
    if (m_lost.empty())
        return true;
    m_putBack.Find(m_dbPath.substr(0, 2), m_lost);
    const std::vector<RecordEntry>& moves = m_putBack.Moves();
    if (moves.empty())
        return true;
    // Recorded first, like a rename: a cut during the move leaves two names, or none, for one item.
    if (m_keep) {
        std::vector<RecordEntry> entries = m_lost;
        entries.insert(entries.end(), moves.begin(), moves.end());
        m_onlyLost = false;
        if (!Write(entries)) {
            m_failed = true;
            return true;
        }
    }
    std::vector<bool> back;
    const bool moved = m_putBack.Move(status, back, error);
    size_t kept = 0;
    for (size_t i = 0; i < m_lost.size(); ++i)
        if (!back[i])
            m_lost[kept++] = std::move(m_lost[i]);
    m_lost.resize(kept);
    return moved;
}

std::unordered_set<std::u16string> CRunRecord::ReservedNames() const {
    std::unordered_set<std::u16string> reserved;
    for (const auto& lost : m_lost)
        reserved.insert(FoldedName(lost.to));
    return reserved;
}

bool CRunRecord::Write(const std::vector<RecordEntry>& entries) {
    if (!m_gate.BeginChange())
        return false;  // a stop was asked first: nothing is written
    const std::vector<uint8_t> bytes = EncodeRenameRecord(entries);
    const std::u16string record = Path();
    // A record that is still needed is replaced by one written beside it: a cut leaves one whole.
    const bool beside = m_onPlayer;
    // The same record again is not written: see CheckEarlier.
    if (beside && HoldsBytes(m_fs, record, bytes))
        return true;
    const std::u16string target = beside ? record + u".new" : record;
    // Each step's reason is kept from the call that failed, before a clean-up can change it.
    bool ok = true;
    auto fail = [&] {
        m_error = m_fs.LastError();
        ok = false;
    };
    // Never emptied through its second name, whatever the look before the run missed.
    const bool secondName =
        beside && m_fs.Exists(target) && CompareFiles(m_fs, record, target) != Likeness::Different;
    auto file = secondName ? nullptr : m_fs.CreateOutput(target);
    if (!file)
        fail();
    else if (!beside)
        m_onPlayer = true;
    for (size_t done = 0; ok && done < bytes.size();) {
        size_t wrote = file->Write(bytes.data() + done, bytes.size() - done);
        if (wrote == 0 || wrote > bytes.size() - done)
            fail();
        done += wrote;
    }
    // Its folder too: on FAT a name's long entries may lie in another sector than its short one.
    if (ok && (!file->Flush() || !m_fs.SyncFolderOf(target)))
        fail();
    if (file && !file->Close() && ok)
        fail();
    ReplaceResult replaced = ReplaceResult::Failed;
    if (ok && beside && (replaced = m_fs.Replace(target, record)) != ReplaceResult::Replaced)
        fail();
    if (ok)
        return true;
    // A replace that removed the old record, or moved the new one, leaves the new one: it stays.
    if (file && replaced == ReplaceResult::Failed && m_fs.Remove(target) && !beside)
        m_onPlayer = false;
    return false;
}

// The items still lost come first, so their folders' renames below them follow them on reading.
// The planned entries are the record's own: no second copy of them is made.
bool CRunRecord::WriteWithLost(std::vector<RecordEntry>& planned) {
    planned.insert(planned.begin(), m_lost.begin(), m_lost.end());
    m_onlyLost = false;
    return Write(planned);
}

bool CRunRecord::BeforeRenames(std::vector<RecordEntry> planned) {
    if (WriteWithLost(planned))
        return true;
    m_failed = true;
    return false;
}

bool CRunRecord::Rewrite(std::vector<RecordEntry> planned) {
    return WriteWithLost(planned);
}

void CRunRecord::Settle(const std::vector<RenamePair>& folderRenames, bool renamesConfirmed) {
    // A path as it stands after this run's folder renames, in their order.
    auto follow = [&folderRenames](std::u16string& path) {
        for (const auto& [from, to] : folderRenames)
            if (IsUnder(path, from))
                path = to + path.substr(from.size());
    };
    for (auto& entry : m_lost) {
        follow(entry.from);
        follow(entry.to);
    }
    if (!m_keep || !renamesConfirmed || m_failed)
        return;
    if (m_lost.empty())
        Drop();
    else if (!m_onlyLost && Write(m_lost))
        m_onlyLost = true;  // a failure keeps the whole record: sound, if longer
}

void CRunRecord::NoteLost(std::vector<LeftOut>& leftOut) const {
    for (const auto& entry : m_lost)
        leftOut.push_back({LeftOutReason::LostInCut, entry.from, 0, entry.to});
    for (const auto& chain : m_putBack.RawFolderChains())
        leftOut.push_back({LeftOutReason::FolderSavedAsFile, chain, 0, {}});
}

void CRunRecord::Drop() {
    const std::u16string record = Path();
    // What a cut left of a replacement written beside it goes too.
    const bool leftOver = m_fs.Exists(record + u".new");
    if ((!m_onPlayer && !leftOver) || !m_gate.BeginChange())
        return;
    if (m_onPlayer && m_fs.Remove(record)) {
        m_onPlayer = false;
    } else if (m_onPlayer) {
        m_notRemoved = true;
        m_notRemovedError = m_fs.LastError();
    }
    if (leftOver)
        m_fs.Remove(record + u".new");
}
