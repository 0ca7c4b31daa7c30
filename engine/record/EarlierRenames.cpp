// What a record an earlier run left says now: each recorded item under its old name, its new
// name, both (a cut on Linux's driver: the two names share its data) or neither (a cut on
// Windows' driver, or deleted since). Every item is looked at where it stands now, its folders'
// renames followed, and a file is compared by its identity alone, never read whole.
#include "record/EarlierRenames.h"

#include <unordered_map>

#include "base/SameBytes.h"
#include "base/Text.h"

namespace {

enum class State { NotDone, Settled, BothThere, Lost };

class Resolver {
public:
    Resolver(IFileSystem& fs, const std::vector<RecordEntry>& entries)
        : m_fs(fs), m_entries(entries), m_known(entries.size()) {
        for (size_t i = 0; i < entries.size(); ++i)
            m_byFrom.emplace(FoldedName(entries[i].from), i);
    }

    struct Known {
        bool looked = false;
        State state = State::NotDone;
        bool insideLost = false;  // a folder above it is lost: it goes with that folder
        bool otherBytes = false;  // a file under its new name that is not as recorded
        std::u16string from, to;  // where its two names stand now
    };

    // Entry `index`, its names looked up once.
    const Known& Look(size_t index) {
        Known& known = m_known[index];
        if (known.looked)
            return known;
        known.looked = true;
        bool lostAbove = false;
        known.from = Resolve(m_entries[index].from, lostAbove);
        known.to = Resolve(m_entries[index].to, lostAbove);
        known.insideLost = lostAbove;
        bool fromThere = m_fs.Exists(known.from), toThere = m_fs.Exists(known.to);
        known.state = fromThere && toThere ? State::BothThere
                      : fromThere          ? State::NotDone
                      : toThere            ? State::Settled
                                           : State::Lost;
        // Its owner re-tagged it since, or another file took its name while it had none.
        const ItemIdentity& identity = m_entries[index].identity;
        known.otherBytes = known.state == State::Settled &&
                           identity.kind == ItemIdentity::Kind::File &&
                           !(IdentifyFile(m_fs, known.to) == identity);
        return known;
    }

private:
    // A recorded path as it stands now: each folder above it that the record renamed, and whose
    // rename has settled, under its new name. A rename changes only the folder's own name, so each
    // level is looked up on its own.
    std::u16string Resolve(const std::u16string& original, bool& lostAbove) {
        std::u16string now = original.substr(0, 2);
        for (size_t at = 2; at < original.size();) {
            size_t next = original.find(u'\\', at + 1);
            if (next == std::u16string::npos)
                next = original.size();
            std::u16string name = original.substr(at + 1, next - at - 1);
            if (next < original.size()) {
                auto folder = m_byFrom.find(FoldedName(original.substr(0, next)));
                if (folder != m_byFrom.end()) {
                    const Known& above = Look(folder->second);
                    if (above.state == State::Settled)
                        name = above.to.substr(FileNameOffset(above.to));
                    lostAbove = lostAbove || above.state == State::Lost || above.insideLost;
                }
            }
            now += u'\\';
            now += name;
            at = next;
        }
        return now;
    }

    IFileSystem& m_fs;
    const std::vector<RecordEntry>& m_entries;
    std::unordered_map<std::u16string, size_t> m_byFrom;  // folded path before -> entry
    std::vector<Known> m_known;
};

// Whether both names are one item: one folder, or files of one identity on one chain. Identities
// are taken once per path: a record may name a path in many entries.
class Comparer {
public:
    explicit Comparer(IFileSystem& fs) : m_fs(fs) {}

    enum class Names { Two, One, Copy, Unsure };
    // Two: two items; One: one item under two names; Copy: the same bytes, which the system says
    // lie apart; Unsure: the same bytes, and the system cannot tell whether they share them.
    Names Judge(const std::u16string& a, const std::u16string& b) {
        bool folder = m_fs.IsDirectory(a);
        if (folder != m_fs.IsDirectory(b))
            return Names::Two;
        if (folder)
            return m_fs.SameFolder(a, b) ? Names::One : Names::Two;
        const ItemIdentity& first = Identity(a);
        if (first.kind != ItemIdentity::Kind::File || !(first == Identity(b)))
            return Names::Two;
        switch (m_fs.SameData(a, b)) {
            case DataPlace::Shared:
                return Names::One;
            case DataPlace::Apart:
                return Names::Copy;
            case DataPlace::Unknown:
                break;
        }
        // Files a single byte apart are two for certain; unread, they may still be one, and no
        // later run could tell more: never taken for copies.
        switch (CompareFiles(m_fs, a, b)) {
            case Likeness::Different:
                return Names::Two;
            case Likeness::Same:
                return Names::Unsure;
            case Likeness::Unread:
                break;
        }
        return Names::One;
    }

    // A second name of the file in its folder that only its short entry gives (its long-name
    // entries not yet written when a cut came), or empty; `names` says how the two stand.
    std::u16string AliasOf(const std::u16string& path, Names& names) {
        const std::u16string folder = path.substr(0, FileNameOffset(path) - 1);
        auto known = m_aliases.find(FoldedName(folder));
        if (known == m_aliases.end())
            known = m_aliases.emplace(FoldedName(folder), ShortAliasesIn(m_fs, folder)).first;
        for (const auto& alias : known->second)
            if (!EqualsFolded(alias, path) && (names = Judge(path, alias)) != Names::Two)
                return alias;
        return {};
    }

private:
    const ItemIdentity& Identity(const std::u16string& path) {
        auto key = FoldedName(path);
        auto found = m_identities.find(key);
        if (found == m_identities.end())
            found = m_identities.emplace(key, IdentifyFile(m_fs, path)).first;
        return found->second;
    }

    IFileSystem& m_fs;
    std::unordered_map<std::u16string, ItemIdentity> m_identities;
    std::unordered_map<std::u16string, std::vector<std::u16string>> m_aliases;  // by folder
};

}  // namespace

EarlierRenames ReadEarlierRenames(IFileSystem& fs, const std::u16string& dbPath,
                                  const ListedByDatabase& listed) {
    EarlierRenames earlier;
    // A record is replaced by one written beside it; where the system removes the old one first
    // (Windows' FAT), a cut in between leaves only the new one.
    earlier.path = RenameRecordPath(dbPath);
    auto file = fs.OpenInput(earlier.path);
    if (!file && !fs.Exists(earlier.path) && fs.Exists(earlier.path + u".new")) {
        earlier.path += u".new";
        file = fs.OpenInput(earlier.path);
    }
    if (!file) {
        // Something no record can be (a folder, a pipe) stands at its name.
        earlier.found = earlier.damaged = fs.Exists(earlier.path);
        return earlier;
    }
    earlier.found = true;
    std::vector<RecordEntry> entries;
    switch (DecodeRenameRecord(*file, std::u16string_view(dbPath).substr(0, 2), entries)) {
        case RecordRead::Whole:
            break;
        case RecordRead::Damaged:
            earlier.damaged = true;
            return earlier;
        case RecordRead::Failed:
            earlier.readFailed = true;
            return earlier;
    }
    file.reset();
    earlier.entries = entries.size();
    Resolver resolver(fs, entries);
    Comparer comparer(fs);
    for (size_t i = 0; i < entries.size(); ++i) {
        const auto& known = resolver.Look(i);
        // On Linux a cut between a rename's two sectors can leave the new name's short entry
        // alone: the file under its old name and a short alias.
        Comparer::Names names = Comparer::Names::Two;
        std::u16string second;
        if (known.state == State::BothThere)
            names = comparer.Judge(known.from, second = known.to);
        else if (known.state == State::NotDone &&
                 entries[i].identity.kind != ItemIdentity::Kind::Folder)
            second = comparer.AliasOf(known.from, names);
        // The same bytes that may be one chain: asked about once, then taken for two songs.
        if (names == Comparer::Names::Unsure && entries[i].asked)
            names = Comparer::Names::Copy;
        if (names == Comparer::Names::Unsure)
            earlier.ask = entries[i].asked = true;
        if (names == Comparer::Names::One || names == Comparer::Names::Unsure) {
            // An item the system says is under two names is the one to name.
            if (!earlier.shared || (earlier.sharedMayBeCopies && names == Comparer::Names::One)) {
                earlier.shared = RenamePair(known.from, second);
                earlier.sharedMayBeCopies = names == Comparer::Names::Unsure;
            }
            continue;
        }
        if (names == Comparer::Names::Copy)
            earlier.apart.emplace_back(known.from, second);
        if (known.state == State::Lost && !known.insideLost && !(listed && listed(known.to)))
            earlier.lost.push_back({known.from, known.to, entries[i].identity});
        if (known.otherBytes)
            earlier.renamedOrTaken.push_back({known.from, known.to, entries[i].identity});
        // The item under its new name; a copy of it its owner put back under the old name is a
        // song of its own.
        else if (known.state == State::Settled ||
                 (known.state == State::BothThere && names == Comparer::Names::Copy))
            earlier.settled.emplace_back(entries[i].from, entries[i].to);
    }
    if (earlier.shared) {
        earlier.lost.clear();
        earlier.settled.clear();
        earlier.apart.clear();
        earlier.renamedOrTaken.clear();
        if (earlier.ask)
            earlier.recorded = std::move(entries);
    }
    return earlier;
}
