#include "record/RenameRecord.h"

#include <algorithm>
#include <unordered_set>

#include "base/FatNames.h"
#include "base/Text.h"

namespace {

constexpr char16_t kTag[] = u"ZRR3";
constexpr char16_t kEarlierTag[] = u"ZRR2";
constexpr size_t kTagUnits = 4;
constexpr size_t kChunk = 64 * 1024;
constexpr size_t kSample = 4096;  // bytes read at each of a file's two places
// No run records more items, nor more names of its folders, than a player holds: FAT32 gives a
// folder at most 65,536 entries, and a Shuffle of 4 GB fills with far fewer songs. Past these a
// record is no run's; within them one costs tens of megabytes at worst, read.
constexpr uint64_t kMostEntries = 65536;
constexpr uint64_t kMostFolderNames = 65536;

// An entry's kind, and whether its `to` is a whole path (a chain put back into another folder)
// rather than a name in the folder of its `from`.
constexpr uint16_t kEnd = 0x8000;
constexpr uint16_t kKindMask = 0xFF;
constexpr uint16_t kToIsPath = 0x100;
constexpr uint16_t kAsked = 0x200;

// FNV-1a, 64 bits: cheap, and enough to tell two songs or a damaged record apart.
struct Fnv {
    uint64_t value = 14695981039346656037ull;
    void Add(const uint8_t* data, size_t size) {
        for (size_t i = 0; i < size; ++i)
            value = (value ^ data[i]) * 1099511628211ull;
    }
    void Add(uint64_t number) {
        for (int i = 0; i < 8; ++i) {
            auto byte = static_cast<uint8_t>(number >> (8 * i));
            Add(&byte, 1);
        }
    }
};

void PutNumber(uint64_t value, size_t bytes, std::vector<uint8_t>& out) {
    for (size_t i = 0; i < bytes; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void PutText(std::u16string_view text, std::vector<uint8_t>& out) {
    PutNumber(text.size(), 2, out);
    for (char16_t unit : text)
        PutNumber(unit, 2, out);
}

// Reads a record a chunk at a time, summing what it read; every read fails past the end, or past
// the largest record there is.
class RecordReader {
public:
    explicit RecordReader(IInputFile& file) : m_file(file), m_buffer(kChunk) {}

    bool Bytes(uint8_t* out, size_t size) {
        while (size > 0) {
            if (m_at == m_have && !Fill())
                return false;
            size_t take = std::min(size, m_have - m_at);
            std::copy_n(m_buffer.data() + m_at, take, out);
            m_sum.Add(out, take);
            m_at += take;
            out += take;
            size -= take;
        }
        return true;
    }
    bool Number(uint64_t& value, size_t bytes) {
        uint8_t raw[8];
        if (!Bytes(raw, bytes))
            return false;
        value = 0;
        for (size_t i = 0; i < bytes; ++i)
            value |= uint64_t(raw[i]) << (8 * i);
        return true;
    }
    // A text of 1 to kMaxPath units, none of them 0.
    bool Text(std::u16string& text) {
        uint64_t units;
        if (!Number(units, 2) || units == 0 || units >= kMaxPath)
            return false;
        text.resize(static_cast<size_t>(units));
        for (auto& unit : text) {
            uint64_t value;
            if (!Number(value, 2) || value == 0)
                return false;
            unit = static_cast<char16_t>(value);
        }
        return true;
    }
    // A text ended by a 0 unit, as the version before wrote them; false at the file's end.
    bool EndedText(std::u16string& text) {
        text.clear();
        for (uint64_t unit; Number(unit, 2);) {
            if (unit == 0)
                return true;
            if (text.size() >= kMaxPath)
                return false;
            text.push_back(static_cast<char16_t>(unit));
        }
        return false;
    }
    uint64_t Sum() const { return m_sum.value; }
    bool Failed() const { return m_failed; }
    bool AtEnd() {
        uint8_t byte;
        return !Bytes(&byte, 1);
    }

private:
    bool Fill() {
        if (m_total >= kLargestDatabase)
            return false;
        long long got = m_file.Read(m_buffer.data(), m_buffer.size());
        m_failed = got < 0 || static_cast<size_t>(got) > m_buffer.size();
        if (got <= 0 || m_failed)
            return false;
        m_have = static_cast<size_t>(got);
        m_total += m_have;
        m_at = 0;
        return true;
    }

    IInputFile& m_file;
    std::vector<uint8_t> m_buffer;
    size_t m_at = 0, m_have = 0;
    uint64_t m_total = 0;
    bool m_failed = false;
    Fnv m_sum;
};

bool IsName(std::u16string_view name) {
    return !IsDotEntry(name) && name.find(u'\\') == name.npos && name.find(u'/') == name.npos;
}

// "/Music/a.mp3" back on the drive: "P:\Music\a.mp3"; empty for no player path.
std::u16string FullPath(std::u16string_view drive, std::u16string_view playerPath) {
    if (playerPath.size() < 2 || playerPath[0] != u'/' || playerPath.find(u'\\') != playerPath.npos)
        return {};
    return FromPlayerPath(drive, playerPath);
}

std::u16string InFolderOf(const std::u16string& path, std::u16string_view name) {
    return path.substr(0, FileNameOffset(path)) + std::u16string(name);
}

// The entries, into `out`; with none, only whether the record is whole: its count and sum are
// checked before anything is kept, so a record cut short or changed costs no memory.
bool DecodeEntries(RecordReader& in, std::u16string_view drive, std::vector<RecordEntry>* out) {
    std::unordered_set<std::u16string> froms;
    uint64_t entries = 0, folderNames = 0;
    for (;; ++entries) {
        uint64_t flags, value;
        if (!in.Number(flags, 2))
            return false;
        if (flags == kEnd) {
            uint64_t count, written;
            if (!in.Number(count, 4) || count != entries)
                return false;
            const uint64_t sum = in.Sum();  // of every byte before the sum itself
            return in.Number(written, 8) && written == sum && in.AtEnd();
        }
        if (entries == kMostEntries)
            return false;
        RecordEntry entry;
        auto kind = static_cast<ItemIdentity::Kind>(flags & kKindMask);
        std::u16string from, to;
        if ((flags & ~(kKindMask | kToIsPath | kAsked)) != 0 || kind > ItemIdentity::Kind::Folder ||
            !in.Text(from) || !in.Text(to))
            return false;
        entry.from = FullPath(drive, from);
        entry.to = flags & kToIsPath ? FullPath(drive, to)
                   : IsName(to)      ? InFolderOf(entry.from, to)
                                     : std::u16string();
        // One item is renamed once: a record naming it twice is none a run wrote.
        if (entry.from.empty() || entry.to.empty() ||
            (out && !froms.insert(FoldedName(entry.from)).second))
            return false;
        entry.identity.kind = kind;
        entry.asked = (flags & kAsked) != 0;
        if (kind == ItemIdentity::Kind::File) {
            if (!in.Number(entry.identity.size, 8) || !in.Number(entry.identity.sample, 8))
                return false;
        } else if (kind == ItemIdentity::Kind::Folder) {
            if (!in.Number(value, 2) || (folderNames += value) > kMostFolderNames)
                return false;
            entry.identity.names.resize(static_cast<size_t>(value));
            for (auto& name : entry.identity.names)
                if (!in.Text(name) || !IsName(name))
                    return false;
        }
        if (out)
            out->push_back(std::move(entry));
    }
}

// The version before: pairs of a player path and a new name, each text ended by a 0 unit; a
// pair cut short is dropped.
bool DecodeEarlier(RecordReader& in, std::u16string_view drive, std::vector<RecordEntry>& out) {
    std::u16string from, to;
    while (in.EndedText(from)) {
        if (!in.EndedText(to))
            break;
        if (out.size() == kMostEntries)
            return false;
        RecordEntry entry;
        entry.from = FullPath(drive, from);
        if (entry.from.empty() || to.empty() || !IsName(to))
            return false;
        entry.to = InFolderOf(entry.from, to);
        out.push_back(std::move(entry));
    }
    return true;
}

bool ReadWhole(IInputFile& file, uint8_t* out, size_t size) {
    while (size > 0) {
        long long got = file.Read(out, size);
        if (got <= 0 || static_cast<size_t>(got) > size)
            return false;
        out += got;
        size -= static_cast<size_t>(got);
    }
    return true;
}

}  // namespace

ItemIdentity IdentifyFile(IFileSystem& fs, const std::u16string& path, uint64_t length) {
    auto file = fs.OpenInput(path);
    if (!file || file->Size() < length)
        return {};
    // A small file whole; a larger one at its start (its tags) and its middle (its sound): an
    // album's songs may all begin with the same cover art, and each read is a seek on a player.
    Fnv sum;
    sum.Add(length);
    uint8_t buffer[2 * kSample];
    const size_t first = length <= sizeof buffer ? static_cast<size_t>(length) : kSample;
    if (!ReadWhole(*file, buffer, first))
        return {};
    sum.Add(buffer, first);
    if (first < length && (!file->Seek(length / 2) || !ReadWhole(*file, buffer, kSample)))
        return {};
    if (first < length)
        sum.Add(buffer, kSample);
    ItemIdentity identity;
    identity.kind = ItemIdentity::Kind::File;
    identity.size = length;
    identity.sample = sum.value;
    return identity;
}

ItemIdentity IdentifyFile(IFileSystem& fs, const std::u16string& path) {
    auto file = fs.OpenInput(path);
    return file ? IdentifyFile(fs, path, file->Size()) : ItemIdentity();
}

ItemIdentity IdentifyFolder(IFileSystem& fs, const std::u16string& path) {
    ItemIdentity identity;
    auto listing = fs.ListFolder(path);
    FolderEntry entry;
    ListStep step = ListStep::Failed;
    while (listing && (step = listing->Next(entry)) == ListStep::Entry)
        if (!IsDotEntry(entry.name))
            identity.names.push_back(std::move(entry.name));
    if (step != ListStep::End)
        return {};
    std::sort(identity.names.begin(), identity.names.end());
    identity.kind = ItemIdentity::Kind::Folder;
    return identity;
}

std::vector<std::u16string> ShortAliasesIn(IFileSystem& fs, const std::u16string& folder,
                                           bool folders) {
    std::vector<std::u16string> aliases;
    auto listing = fs.ListFolder(folder);
    FolderEntry entry;
    while (listing && listing->Next(entry) == ListStep::Entry)
        if (entry.isDirectory == folders && !entry.isLink && !entry.isOther &&
            entry.name.find(u'~') != entry.name.npos && FatEntriesFor(entry.name).least == 1)
            aliases.push_back(JoinPath(folder, entry.name));
    return aliases;
}

std::u16string RenameRecordPath(const std::u16string& dbPath) {
    return dbPath + u".renames";
}

std::vector<uint8_t> EncodeRenameRecord(const std::vector<RecordEntry>& entries) {
    std::vector<uint8_t> out;
    for (char16_t unit : std::u16string_view(kTag, kTagUnits + 1))
        PutNumber(unit, 2, out);
    for (const auto& entry : entries) {
        const size_t nameAt = FileNameOffset(entry.to);
        const bool samePlace = FileNameOffset(entry.from) == nameAt &&
                               EqualsFolded(std::u16string_view(entry.from).substr(0, nameAt),
                                            std::u16string_view(entry.to).substr(0, nameAt));
        PutNumber(static_cast<uint16_t>(entry.identity.kind) | (samePlace ? 0 : kToIsPath) |
                      (entry.asked ? kAsked : 0),
                  2, out);
        PutText(ToPlayerPath(entry.from), out);
        PutText(samePlace ? std::u16string_view(entry.to).substr(nameAt)
                          : std::u16string_view(ToPlayerPath(entry.to)),
                out);
        if (entry.identity.kind == ItemIdentity::Kind::File) {
            PutNumber(entry.identity.size, 8, out);
            PutNumber(entry.identity.sample, 8, out);
        } else if (entry.identity.kind == ItemIdentity::Kind::Folder) {
            PutNumber(entry.identity.names.size(), 2, out);
            for (const auto& name : entry.identity.names)
                PutText(name, out);
        }
    }
    PutNumber(kEnd, 2, out);
    PutNumber(entries.size(), 4, out);
    Fnv sum;
    sum.Add(out.data(), out.size());
    PutNumber(sum.value, 8, out);
    return out;
}

RecordRead DecodeRenameRecord(IInputFile& file, std::u16string_view drive,
                              std::vector<RecordEntry>& out) {
    out.clear();
    RecordReader in(file);
    std::u16string tag;
    bool whole = false;
    if (in.EndedText(tag)) {
        if (tag == std::u16string_view(kTag, kTagUnits)) {
            // Whole first, then kept: read twice, from its start again.
            whole = DecodeEntries(in, drive, nullptr);
            if (whole && !file.Seek(0))
                return RecordRead::Failed;
            RecordReader again(file);
            whole = whole && again.EndedText(tag) && DecodeEntries(again, drive, &out);
            if (again.Failed())
                return RecordRead::Failed;
        } else if (tag == std::u16string_view(kEarlierTag, kTagUnits)) {
            whole = DecodeEarlier(in, drive, out);
        }
    }
    if (!whole)
        out.clear();
    return whole ? RecordRead::Whole : in.Failed() ? RecordRead::Failed : RecordRead::Damaged;
}
