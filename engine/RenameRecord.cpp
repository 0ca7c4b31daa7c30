#include "RenameRecord.h"

#include <algorithm>

#include "Messages.h"
#include "SyncJob.h"
#include "Text.h"

namespace {

constexpr char16_t kTag[] = u"ZRR2";
constexpr size_t kTagUnits = 4;
constexpr size_t kReadChunk = 64 * 1024;

void PutUnits(std::u16string_view text, std::vector<uint8_t>& out) {
    for (char16_t unit : text) {
        out.push_back(static_cast<uint8_t>(unit & 0xFF));
        out.push_back(static_cast<uint8_t>(unit >> 8));
    }
    out.push_back(0);
    out.push_back(0);
}

// Whether two files hold the same bytes, read side by side a chunk at a time: a song may be large.
bool SameBytes(IFileSystem& fs, const std::u16string& a, const std::u16string& b) {
    auto first = fs.OpenInput(a);
    auto second = first ? fs.OpenInput(b) : nullptr;
    if (!second || first->Size() != second->Size())
        return false;
    std::vector<uint8_t> one(kReadChunk), other(kReadChunk);
    for (;;) {
        long long got = first->Read(one.data(), one.size());
        if (got <= 0)
            return got == 0 && second->Read(other.data(), 1) == 0;
        size_t have = 0;
        while (have < static_cast<size_t>(got)) {
            long long more = second->Read(other.data() + have, static_cast<size_t>(got) - have);
            if (more <= 0)
                return false;
            have += static_cast<size_t>(more);
        }
        if (!std::equal(one.begin(), one.begin() + got, other.begin()))
            return false;
    }
}

// The names and kinds a listing gives, in its order; nothing when it cannot be read whole.
std::optional<std::vector<std::pair<std::u16string, bool>>> Entries(IFileSystem& fs,
                                                                    const std::u16string& folder) {
    auto listing = fs.ListFolder(folder);
    if (!listing)
        return std::nullopt;
    std::vector<std::pair<std::u16string, bool>> entries;
    FolderEntry entry;
    ListStep step;
    while ((step = listing->Next(entry)) == ListStep::Entry)
        entries.emplace_back(entry.name, entry.isDirectory);
    if (step == ListStep::Failed)
        return std::nullopt;
    return entries;
}

}  // namespace

std::u16string RenameRecordPath(const std::u16string& dbPath) {
    return dbPath + u".renames";
}

std::vector<uint8_t> EncodeRenameRecord(const std::vector<RenamePair>& pairs) {
    std::vector<uint8_t> out;
    PutUnits(kTag, out);
    for (const auto& [from, to] : pairs) {
        PutUnits(ToPlayerPath(from), out);
        PutUnits(std::u16string_view(to).substr(FileNameOffset(to)), out);
    }
    return out;
}

std::vector<RenamePair> DecodeRenameRecord(const std::vector<uint8_t>& bytes,
                                           std::u16string_view drive) {
    std::vector<std::u16string> texts;
    std::u16string text;
    for (size_t at = 0; at + 1 < bytes.size(); at += 2) {
        auto unit = static_cast<char16_t>(bytes[at] | (bytes[at + 1] << 8));
        if (unit != 0) {
            text.push_back(unit);
            continue;
        }
        texts.push_back(std::move(text));
        text.clear();
    }
    std::vector<RenamePair> pairs;
    if (texts.empty() || texts.front() != std::u16string_view(kTag, kTagUnits))
        return pairs;
    for (size_t i = 1; i + 1 < texts.size(); i += 2) {
        // A player path back on the drive ("/Music/a.mp3" -> "P:\Music\a.mp3"), and the new
        // name in the same folder; a name with a separator is no name this record wrote.
        std::u16string from = std::u16string(drive) + texts[i];
        std::replace(from.begin(), from.end(), u'/', u'\\');
        const std::u16string& name = texts[i + 1];
        if (name.empty() || name.find(u'/') != name.npos || name.find(u'\\') != name.npos)
            continue;
        pairs.emplace_back(from, from.substr(0, FileNameOffset(from)) + name);
    }
    return pairs;
}

bool SharesData(IFileSystem& fs, const RenamePair& pair) {
    const auto& [from, to] = pair;
    if (!fs.Exists(from) || !fs.Exists(to))
        return false;
    bool folder = fs.IsDirectory(from);
    if (folder != fs.IsDirectory(to))
        return false;
    if (folder) {
        auto a = Entries(fs, from);
        auto b = a ? Entries(fs, to) : std::nullopt;
        return a && b && *a == *b;
    }
    return SameBytes(fs, from, to);
}

EarlierRenames ReadEarlierRenames(IFileSystem& fs, const std::u16string& dbPath) {
    EarlierRenames earlier;
    // A record is no larger than the database whose renames it holds.
    std::vector<uint8_t> bytes;
    if (ReadWholeFile(fs, RenameRecordPath(dbPath), kLargestDatabase, bytes) != ReadResult::Read)
        return earlier;
    earlier.found = true;
    earlier.pairs = DecodeRenameRecord(bytes, std::u16string_view(dbPath).substr(0, 2));
    for (const auto& pair : earlier.pairs) {
        if (SharesData(fs, pair)) {
            earlier.shared = pair;
            break;
        }
    }
    return earlier;
}

bool CSyncJob::RecordRenames() {
    std::vector<RenamePair> pairs;
    for (const auto& item : m_plan)
        if (!item.to.empty())
            pairs.emplace_back(item.from, item.to);
    auto bytes = EncodeRenameRecord(pairs);
    auto file = m_fs.CreateOutput(RenameRecordPath(m_strDbPath));
    if (!file) {
        m_nRecordError = m_fs.LastError();
        return false;
    }
    m_bRecordKept = true;
    size_t done = 0;
    while (done < bytes.size()) {
        size_t wrote = file->Write(bytes.data() + done, bytes.size() - done);
        if (wrote == 0 || wrote > bytes.size() - done)
            break;
        done += wrote;
    }
    bool ok = done == bytes.size() && file->Flush();
    // The first failure's reason, before the close and the removal can fail as well.
    m_nRecordError = ok ? 0 : m_fs.LastError();
    if (!file->Close() && ok) {
        ok = false;
        m_nRecordError = m_fs.LastError();
    }
    if (!ok && m_fs.Remove(RenameRecordPath(m_strDbPath)))
        m_bRecordKept = false;
    return ok;
}

// Before anything is renamed: an item an earlier run left under two names stops the run, and a
// record whose renames all settled is let go with this run's.
bool CSyncJob::CheckEarlierRenames() {
    m_shared = {};
    EarlierRenames earlier = ReadEarlierRenames(m_fs, m_strDbPath);
    m_bRecordKept = earlier.found;
    if (!earlier.shared)
        return true;
    m_shared = *earlier.shared;
    // The two names are values the front ends show where they have room (SharedNames).
    ReportEnd(RunOutcome::NeedsRepair, kMsgNeedsRepair);
    return false;
}

void CSyncJob::DropRenameRecord() {
    if (m_bRecordKept && m_fs.Remove(RenameRecordPath(m_strDbPath)))
        m_bRecordKept = false;
}
