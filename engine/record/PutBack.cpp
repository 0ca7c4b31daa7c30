#include "record/PutBack.h"

#include <algorithm>

#include "base/Messages.h"
#include "base/NewName.h"
#include "base/Text.h"

namespace {

// No cluster is larger: a chain longer than its item by this much or more is another's.
constexpr uint64_t kLargestCluster = 64 * 1024;

// "FOUND.000", "FILE0012.CHK": a fixed head, at least one digit, a fixed tail, ASCII case folded.
bool NamedLike(std::u16string_view name, std::u16string_view head, std::u16string_view tail) {
    if (name.size() <= head.size() + tail.size() ||
        !EqualsFolded(name.substr(0, head.size()), head) ||
        !EqualsFolded(name.substr(name.size() - tail.size()), tail))
        return false;
    auto digits = name.substr(head.size(), name.size() - head.size() - tail.size());
    return std::all_of(digits.begin(), digits.end(),
                       [](char16_t unit) { return unit >= u'0' && unit <= u'9'; });
}

struct Chain {
    std::u16string path;
    bool folder = false;
};

// Every chain the drive's check saved on the drive's top.
std::vector<Chain> SavedChains(IFileSystem& fs, const std::u16string& drive) {
    std::vector<Chain> chains;
    std::vector<std::u16string> found;
    auto look = [&](const std::u16string& folder, bool top) {
        auto listing = fs.ListFolder(folder);
        FolderEntry entry;
        while (listing && listing->Next(entry) == ListStep::Entry) {
            if (entry.isLink || entry.isOther)
                continue;
            std::u16string path = JoinPath(folder, entry.name);
            if (top && entry.isDirectory && NamedLike(entry.name, u"FOUND.", u""))
                found.push_back(std::move(path));
            else if (top ? !entry.isDirectory && NamedLike(entry.name, u"FSCK", u".REC")
                         : NamedLike(entry.name, u"FILE", u".CHK") ||
                               NamedLike(entry.name, u"DIR", u".CHK"))
                chains.push_back({std::move(path), entry.isDirectory});
        }
    };
    look(drive, true);
    for (const auto& folder : found)
        look(folder, false);
    return chains;
}

// A chain that starts with a folder's "." entry is a folder's entries saved as a file.
bool HoldsFolderEntries(IFileSystem& fs, const std::u16string& path) {
    auto file = fs.OpenInput(path);
    uint8_t entry[12];
    if (!file || file->Size() < sizeof entry || file->Read(entry, sizeof entry) != sizeof entry)
        return false;
    return entry[0] == '.' &&
           std::all_of(entry + 1, entry + 11, [](uint8_t c) { return c == ' '; }) &&
           (entry[11] & 0x10) != 0;
}

// The number a new name of this form carries ("ST_FILE_12.mp3": 12), or 1.
int NumberIn(std::u16string_view name, std::u16string_view format) {
    size_t mark = format.find(u"%d");
    auto head = format.substr(0, mark), tail = format.substr(mark + 2);
    if (!NamedLike(name, head, tail))
        return 1;
    int number = 0;
    for (char16_t unit : name.substr(head.size(), name.size() - head.size() - tail.size())) {
        if (number > 100000000)
            return 1;
        number = number * 10 + (unit - u'0');
    }
    return number;
}

// What Windows and other systems add to a folder by themselves when it is opened: a lost folder
// holding them beside its own names is still that folder.
bool AddedBySystem(std::u16string_view name) {
    static const char16_t* const kAdded[] = {u"thumbs.db", u"ehthumbs.db", u"desktop.ini",
                                             u".ds_store"};
    return std::any_of(std::begin(kAdded), std::end(kAdded),
                       [&](const char16_t* added) { return EqualsFolded(name, added); }) ||
           name.substr(0, 2) == u"._";
}

// A folder the chain saved holds every name the lost folder had, and nothing else but what a
// system adds. Both lists are sorted.
bool HoldsFolder(const ItemIdentity& found, const ItemIdentity& wanted) {
    if (found.kind != ItemIdentity::Kind::Folder || wanted.kind != ItemIdentity::Kind::Folder)
        return false;
    size_t matched = 0;
    for (const auto& name : found.names) {
        if (matched < wanted.names.size() && name == wanted.names[matched])
            ++matched;
        else if (!AddedBySystem(name) ||
                 std::binary_search(wanted.names.begin(), wanted.names.end(), name))
            return false;
    }
    return matched == wanted.names.size();
}

// Which saved chain is which lost item: for each item, the index of its chain, or the count of
// chains. Chains that hold a folder's raw entries are noted in `rawFolders`.
std::vector<size_t> MatchChains(IFileSystem& fs, const std::vector<Chain>& chains,
                                const std::vector<RecordEntry>& lost,
                                std::vector<std::u16string>& rawFolders) {
    const bool lostFolder = std::any_of(lost.begin(), lost.end(), [](const RecordEntry& e) {
        return e.identity.kind == ItemIdentity::Kind::Folder;
    });
    std::vector<size_t> takenBy(lost.size(), chains.size());
    for (size_t c = 0; c < chains.size(); ++c) {
        const Chain& chain = chains[c];
        if (!chain.folder && lostFolder && HoldsFolderEntries(fs, chain.path)) {
            rawFolders.push_back(chain.path);
            continue;
        }
        auto file = chain.folder ? nullptr : fs.OpenInput(chain.path);
        const uint64_t size = file ? file->Size() : 0;
        file.reset();
        const ItemIdentity folder = chain.folder ? IdentifyFolder(fs, chain.path) : ItemIdentity();
        std::vector<size_t> fits;
        for (size_t i = 0; i < lost.size(); ++i) {
            const ItemIdentity& wanted = lost[i].identity;
            if (chain.folder ? HoldsFolder(folder, wanted)
                             : wanted.kind == ItemIdentity::Kind::File && wanted.size > 0 &&
                                   size >= wanted.size && size - wanted.size < kLargestCluster &&
                                   IdentifyFile(fs, chain.path, wanted.size) == wanted)
                fits.push_back(i);
        }
        // A chain that fits items of different data is none of theirs for certain.
        if (fits.empty() || std::any_of(fits.begin(), fits.end(), [&](size_t i) {
                return !(lost[i].identity == lost[fits.front()].identity);
            }))
            continue;
        auto free = std::find_if(fits.begin(), fits.end(),
                                 [&](size_t i) { return takenBy[i] == chains.size(); });
        if (free != fits.end())
            takenBy[*free] = c;
    }
    return takenBy;
}

}  // namespace

uint64_t CPutBack::SizeOf(const std::u16string& path) {
    auto file = m_fs.OpenInput(path);
    return file ? file->Size() : UINT64_MAX;
}

void CPutBack::Clear() {
    m_moves.clear();
    m_lostOf.clear();
    m_done.clear();
    m_itemsMoved.clear();
    m_rawFolderChains.clear();
}

void CPutBack::Find(const std::u16string& drive, const std::vector<RecordEntry>& lost) {
    m_moves.clear();
    m_lostOf.clear();
    m_lostFrom.clear();
    m_lostCount = lost.size();
    std::vector<Chain> chains = SavedChains(m_fs, drive);
    // A song or folder whose long name a cut left unwritten is there under its short alias alone.
    std::vector<std::pair<std::u16string, bool>> looked;  // each folder, for files or folders
    for (const auto& item : lost) {
        if (item.identity.kind == ItemIdentity::Kind::Unknown)
            continue;
        const bool folder = item.identity.kind == ItemIdentity::Kind::Folder;
        std::pair<std::u16string, bool> where(item.to.substr(0, FileNameOffset(item.to) - 1),
                                              folder);
        if (std::find(looked.begin(), looked.end(), where) != looked.end())
            continue;
        for (auto& alias : ShortAliasesIn(m_fs, where.first, folder))
            chains.push_back({std::move(alias), folder});
        looked.push_back(std::move(where));
    }
    const std::vector<size_t> takenBy = MatchChains(m_fs, chains, lost, m_rawFolderChains);

    // Under the name each was to have in its folder; a name taken since gives the next number, as
    // the rename pass would.
    for (size_t i = 0; i < lost.size(); ++i) {
        if (takenBy[i] == chains.size())
            continue;
        const RecordEntry& item = lost[i];
        const size_t nameAt = FileNameOffset(item.to);
        if (nameAt < 2 || !m_fs.IsDirectory(item.to.substr(0, nameAt - 1)))
            continue;  // its folder is gone too: it stays named
        std::u16string target = item.to;
        if (m_fs.Exists(target)) {
            const bool folder = item.identity.kind == ItemIdentity::Kind::Folder;
            const char16_t* format = folder ? kNewFolderName : kNewFileName;
            int counter = NumberIn(std::u16string_view(target).substr(nameAt), format);
            target = NewName(m_fs, target, counter, format, {});
            if (target.empty())
                continue;
        }
        m_moves.push_back({chains[takenBy[i]].path, target, item.identity});
        m_lostOf.push_back(i);
        m_lostFrom.push_back(item.from);
    }
}

bool CPutBack::Move(IStatusLabel* status, std::vector<bool>& back, int& error) {
    back.assign(m_lostCount, false);
    for (size_t k = 0; k < m_moves.size(); ++k) {
        const RecordEntry& move = m_moves[k];
        // A chain is whole clusters: the song ends where its length says. One that cannot be cut
        // (read-only, say) stays where it is, named as lost; the others go on.
        if (move.identity.kind == ItemIdentity::Kind::File &&
            SizeOf(move.from) != move.identity.size && !m_fs.SetSize(move.from, move.identity.size))
            continue;
        RenameResult result = m_fs.Rename(move.from, move.to);
        if (result == RenameResult::Refused)
            continue;  // it stays lost, and named
        back[m_lostOf[k]] = true;
        m_done.emplace_back(move.from, move.to);
        m_itemsMoved.emplace_back(m_lostFrom[k], move.to);
        if (status)
            status->SetPutBack(move.from, move.to);
        if (result == RenameResult::RenamedNotDurable) {
            error = m_fs.LastError();
            return false;
        }
    }
    return true;
}
