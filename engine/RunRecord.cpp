// The record of renames through a run: read before anything else, written before the first
// change, and let go as soon as every rename is confirmed on the medium and no recorded item is
// missing; while one is, the record keeps it alone.
#include <algorithm>

#include "Messages.h"
#include "RenameRecord.h"
#include "SyncJob.h"
#include "Text.h"

namespace {

// Where a record that is no whole one is set aside, beside itself: kept for whoever wants to
// look, never read again.
constexpr char16_t kSetAside[] = u".damaged";
constexpr int kSetAsideTries = 9;

// A folder's names as they will be once an entry's rename is done.
void RenameIn(std::vector<std::u16string>& names, std::u16string_view from,
              std::u16string_view to) {
    auto old = std::find(names.begin(), names.end(), from.substr(FileNameOffset(from)));
    if (old == names.end())
        return;
    *old = std::u16string(to.substr(FileNameOffset(to)));
    std::sort(names.begin(), names.end());
}

}  // namespace

bool CSyncJob::CheckEarlierRenames() {
    m_shared = {};
    m_lost.clear();
    m_putting.clear();
    m_putBacks.clear();
    m_rawFolderChains.clear();
    m_recordSetAside.clear();
    m_identities.clear();
    m_bRecordOnlyLost = false;
    EarlierRenames earlier = ReadEarlierRenames(m_fs, m_strDbPath);
    // Unread, it might hold an item under two names: nothing may change.
    if (earlier.readFailed) {
        ReportEnd(RunOutcome::ReadFailed, kMsgReadFailed, m_fs.LastError());
        return false;
    }
    m_bRecordKept = earlier.found;
    if (earlier.damaged) {
        SetAsideRecord(earlier.path);
        return true;
    }
    if (earlier.shared) {
        m_shared = *earlier.shared;
        // The two names are values the front ends show where they have room (SharedNames).
        ReportEnd(RunOutcome::NeedsRepair, kMsgNeedsRepair);
        return false;
    }
    m_lost = std::move(earlier.lost);
    const std::u16string record = RenameRecordPath(m_strDbPath);
    if (!earlier.found || !m_bKeepRecord)
        return true;
    // Every recorded rename settled: the record is needed no more.
    if (m_lost.empty()) {
        DropRenameRecord();
        return true;
    }
    m_bRecordOnlyLost = earlier.entries == m_lost.size();
    // Only the new record a replace cut short: it takes the record's name, so the next record
    // can be written beside it.
    if (earlier.path != record && BeginChange() &&
        m_fs.Replace(earlier.path, record) != ReplaceResult::Replaced) {
        m_bRecordFailed = true;
        m_nRecordError = m_fs.LastError();
    }
    return true;
}

// Renamed beside itself, so the name is free for this run's record.
void CSyncJob::SetAsideRecord(const std::u16string& damaged) {
    const std::u16string record = RenameRecordPath(m_strDbPath);
    std::u16string target = record + kSetAside;
    for (int n = 2; n <= kSetAsideTries + 1 && m_fs.Exists(target); ++n)
        target = record + kSetAside + FormatNumber(u"%d", n);
    // A check says where a run would put it.
    if (!m_bKeepRecord) {
        m_recordSetAside = target;
        return;
    }
    if (!BeginChange() || m_fs.Rename(damaged, target) == RenameResult::Refused)
        return;  // the record written over it, or its writing failing, settles it
    m_recordSetAside = target;
    m_bRecordKept = false;
}

bool CSyncJob::WriteRecord(const std::vector<RecordEntry>& entries) {
    if (!BeginChange())
        return false;  // a stop was asked first: nothing is written
    const std::vector<uint8_t> bytes = EncodeRenameRecord(entries);
    const std::u16string record = RenameRecordPath(m_strDbPath);
    // A record that is still needed is replaced by one written beside it: a cut leaves one whole.
    const bool beside = m_bRecordKept;
    const std::u16string target = beside ? record + u".new" : record;
    // Each step's reason is kept from the call that failed, before a clean-up can change it.
    bool ok = true;
    auto fail = [&] {
        m_nRecordError = m_fs.LastError();
        ok = false;
    };
    auto file = m_fs.CreateOutput(target);
    if (!file)
        fail();
    else if (!beside)
        m_bRecordKept = true;
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
        m_bRecordKept = false;
    return false;
}

// This run's renames, each with what its item is: a file's identity, a folder's names as they
// will be once the renames inside it are done.
std::vector<RecordEntry> CSyncJob::PlannedEntries() {
    std::vector<RecordEntry> entries;
    for (size_t i = 0; i < m_plan.size(); ++i) {
        const PlannedRename& item = m_plan[i];
        if (item.step == Step::Refused || item.to.empty())
            continue;
        const std::u16string& now = item.step == Step::Done ? item.to : item.from;
        RecordEntry entry{item.from, item.to, {}};
        if (item.folder) {
            entry.identity = IdentifyFolder(m_fs, now);
            // What lies inside a folder comes right before it in the plan.
            for (size_t k = i; k > 0 && IsUnder(m_plan[k - 1].from, item.from); --k) {
                const PlannedRename& inside = m_plan[k - 1];
                if (inside.step == Step::Pending && !inside.to.empty() &&
                    FileNameOffset(inside.from) == item.from.size() + 1)
                    RenameIn(entry.identity.names, inside.from, inside.to);
            }
        } else {
            auto key = FoldedName(item.from);
            auto known = m_identities.find(key);
            if (known == m_identities.end())
                known = m_identities.emplace(key, IdentifyFile(m_fs, now)).first;
            entry.identity = known->second;
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

// The items still lost come first, so their folders' renames below them follow them on reading.
bool CSyncJob::RecordRenames() {
    std::vector<RecordEntry> entries = m_lost;
    for (auto& entry : PlannedEntries())
        entries.push_back(std::move(entry));
    m_bRecordOnlyLost = false;
    return WriteRecord(entries);
}

// A path as it stands after this run's folder renames, in their order (inner folders first).
void CSyncJob::FollowRenames(std::u16string& path) const {
    for (const auto& item : m_plan)
        if (item.folder && item.step == Step::Done && IsUnder(path, item.from))
            path = item.to + path.substr(item.from.size());
}

// After the rename pass, with every rename confirmed: the record goes, or keeps the lost items
// alone, under the names their folders have now.
void CSyncJob::SettleRecord() {
    for (auto& entry : m_lost) {
        FollowRenames(entry.from);
        FollowRenames(entry.to);
    }
    if (!m_bKeepRecord || m_bRenameFailed || m_bRecordFailed)
        return;
    if (m_lost.empty())
        DropRenameRecord();
    else if (!m_bRecordOnlyLost && WriteRecord(m_lost))
        m_bRecordOnlyLost = true;  // a failure keeps the whole record: sound, if longer
}

void CSyncJob::NoteLost() {
    for (const auto& entry : m_lost)
        m_leftOut.push_back({LeftOutReason::LostInCut, entry.from, 0, entry.to});
    for (const auto& chain : m_rawFolderChains)
        m_leftOut.push_back({LeftOutReason::FolderSavedAsFile, chain, 0, {}});
}

void CSyncJob::DropRenameRecord() {
    const std::u16string record = RenameRecordPath(m_strDbPath);
    // What a cut left of a replacement written beside it goes too.
    const bool leftOver = m_fs.Exists(record + u".new");
    if ((!m_bRecordKept && !leftOver) || !BeginChange())
        return;
    if (m_bRecordKept && m_fs.Remove(record))
        m_bRecordKept = false;
    if (leftOver)
        m_fs.Remove(record + u".new");
}
