#include "database/OwnerSettings.h"

#include <algorithm>
#include <cstring>

#include "base/Text.h"

namespace {

// Paths compare as the file system compares names, a backslash as a slash.
char16_t Folded(char16_t unit) {
    return unit == u'\\' ? u'/' : FoldAscii(unit);
}

// The keys' numbers by folded path, by open addressing in at least twice as many slots as keys;
// of equal keys the first is found.
class PathTable {
public:
    explicit PathTable(const PathList& keys) : m_keys(keys) {
        while (m_mask < 2 * keys.Count())
            m_mask = 2 * m_mask + 1;
        m_slots.reset(new uint32_t[m_mask + 1]());
        for (uint32_t i = 0; i < keys.Count(); ++i) {
            uint32_t& slot = Slot(keys[i]);
            if (!slot)
                slot = i + 1;
        }
    }
    // kNoSong when no key is the path.
    uint32_t Find(std::u16string_view path) { return Slot(path) - 1; }

private:
    // The slot holding the path's number + 1, or the empty one where it would go.
    uint32_t& Slot(std::u16string_view path) {
        size_t at = 2166136261u;
        for (char16_t unit : path)
            at = (at ^ Folded(unit)) * 16777619u;
        for (;; ++at) {
            uint32_t& slot = m_slots[at & m_mask];
            if (!slot)
                return slot;
            std::u16string_view key = m_keys[slot - 1];
            size_t i = 0;
            while (i < path.size() && i < key.size() && Folded(path[i]) == Folded(key[i]))
                ++i;
            if (i == path.size() && i == key.size())
                return slot;
        }
    }

    const PathList& m_keys;
    size_t m_mask = 1;
    std::unique_ptr<uint32_t[]> m_slots;
};

// Where a playlist's songs begin: its length (at 4) less 4 bytes a song (its count at 8), when that
// head is at least ours and lies within the file (its songs may not: the file may be cut short);
// else after the head we write.
size_t PlaylistHead(const uint8_t* bytes, size_t size, size_t list) {
    const uint64_t length = LaterWord(bytes + list + 4), count = LaterWord(bytes + list + 8);
    if (length < kLaterPlaylistHeadSize + 4 * count)
        return kLaterPlaylistHeadSize;
    const uint64_t head = length - 4 * count;
    return head <= size - list ? static_cast<size_t>(head) : kLaterPlaylistHeadSize;
}

// The path an old song has now: each name looked up under the old names of the folders above it
// (an item's folder has its old name when the item is renamed: a folder's contents come first).
// Its own when it would outgrow a record's path: such a path names no track. `applied`, when
// given, gets the renames that moved it, by their pair's number.
std::u16string Followed(std::u16string_view old, const PathList& renames, PathTable& renamed,
                        std::vector<uint32_t>* applied = nullptr) {
    std::u16string path;
    if (old.empty() || old[0] != u'/')
        return std::u16string(old);
    for (size_t start = 1, end = 0; end < old.size(); start = end + 1) {
        end = std::min(old.find(u'/', start), old.size());
        uint32_t rename = renamed.Find(std::u16string_view(old.data(), end));
        // Even numbers are paths, odd ones (and kNoSong) new names.
        std::u16string_view name =
            rename % 2 ? std::u16string_view(old.data() + start, end - start) : renames[rename + 1];
        if (path.size() + 1 + name.size() > kLaterNameBytes)
            return std::u16string(old);
        if (applied && rename % 2 == 0)
            applied->push_back(rename / 2);
        path += u'/';
        path += name;
    }
    return path;
}

}  // namespace

void OwnerSettings::Read(const uint8_t* bytes, size_t size) {
    if (size < kLaterHeaderSize || !HasLaterTag(bytes, size))
        return;
    found = true;
    std::memcpy(header, bytes, kLaterHeaderSize);
    // Follows the offset at `word` to a chunk with the tag whose first `head` bytes are in the
    // file (0, the header's own place, when there is none), and gives how many of the 4-byte items
    // its count at 8 names there are after those bytes, at most `most`.
    auto chunk = [bytes, size](size_t word, uint32_t tag, size_t head, size_t most, size_t& at) {
        at = LaterWord(bytes + word);
        if (at > size || size - at < head || LaterWord(bytes + at) != tag)
            return at = 0;
        return std::min<size_t>(std::min<size_t>(LaterWord(bytes + at + 8), (size - at - head) / 4),
                                most);
    };
    // No more songs than whole records fit in the file, however often offsets repeat; no more
    // playlists than playlists of one track, and no more track numbers than words.
    size_t at, record;
    size_t count = chunk(36, kTracksTag, 20, size / kLaterRecordSize, at);
    fields.resize(count * kKeptRecord);
    for (size_t i = 0; i < count; ++i) {
        chunk(at + 20 + 4 * i, kRecordTag, kLaterRecordSize, 0, record);
        if (!record) {
            paths.Append({});
            continue;
        }
        paths.Append(LaterRecordName(bytes + record + kLaterNameAt));
        std::memcpy(&fields[i * kKeptRecord], bytes + record + kKeptFrontAt, kKeptFront);
        std::memcpy(&fields[i * kKeptRecord + kKeptFront], bytes + record + kKeptBackAt,
                    kKeptRecord - kKeptFront);
    }
    count = chunk(40, kListsTag, 20, size / (kLaterPlaylistHeadSize + 4), at);
    size_t words = size / 4;
    // The playlist header counts some kinds in 16 bits.
    for (size_t i = 0, kept = 0; i < count && kept < 0xFFFE; ++i) {
        size_t list, length = chunk(at + 20 + 4 * i, kListTag, kLaterPlaylistHeadSize, words, list);
        uint32_t kind = list ? LaterWord(bytes + list + 24) : 0;
        // The master playlist is the run's own; no other kind is known.
        if (kind < kPlainList || kind > kAudiobookList)
            continue;
        // Its songs follow its head, whose length its own length and count tell: older writers'
        // heads are longer than ours.
        const size_t head = PlaylistHead(bytes, size, list);
        length = std::min(length, (size - list - head) / 4);
        size_t first = lists.size();
        words -= length;
        ++kept;
        lists.resize(first + kListRecord + 4 * length);
        uint8_t* out = &lists[first];
        std::memcpy(out, bytes + list + kKeptListAt, kKeptList);
        PutLaterWord(out + kKeptList, static_cast<uint32_t>(length));
        std::memcpy(out + kListRecord, bytes + list + head, 4 * length);
    }
}

void OwnerSettings::Follow(const PathList& renames, bool fresh) {
    if (m_followed.empty() && paths.Count()) {
        for (std::u16string_view old : paths)
            m_followed.emplace_back(old);
        m_renamed.assign(paths.Count(), false);
    }
    PathTable renamed(renames);
    // Where the batch put each item: a name that was free then.
    PathList given;
    for (size_t k = 0; fresh && k + 1 < renames.Count(); k += 2) {
        std::u16string from(renames[k]);
        std::replace(from.begin(), from.end(), u'\\', u'/');
        given.Append(Followed(from, renames, renamed));
    }
    PathTable taken(given);
    std::vector<uint32_t> applied;
    for (size_t i = 0; i < m_followed.size(); ++i) {
        if (m_followed[i].empty())
            continue;
        applied.clear();
        std::u16string now = Followed(m_followed[i], renames, renamed, &applied);
        if (now != m_followed[i]) {
            m_followed[i] = std::move(now);
            m_renamed[i] = true;
        }
        // At (or under) a name the batch gave another item: the song that had it is gone.
        const std::u16string_view path = m_followed[i];
        for (size_t end = path.size(); fresh;) {
            const uint32_t item = taken.Find(path.substr(0, end));
            if (item != kNoSong &&
                std::find(applied.begin(), applied.end(), item) == applied.end()) {
                m_followed[i].clear();
                break;
            }
            const size_t slash = path.rfind(u'/', end - 1);
            if (slash == std::u16string_view::npos || slash == 0)
                break;
            end = slash;
        }
    }
}

void OwnerSettings::Match(const PathList& newTracks, const PathList* renames) {
    if (renames)
        Follow(*renames, true);
    // A song a rename brought to a path comes before one that was there already: that one is gone.
    PathList followed;
    if (!m_followed.empty()) {
        PathList moved;
        for (size_t i = 0; i < m_followed.size(); ++i)
            moved.Append(m_renamed[i] ? std::u16string_view(m_followed[i]) : std::u16string_view());
        PathTable arrived(moved);
        for (size_t i = 0; i < m_followed.size(); ++i) {
            const bool displaced =
                !m_renamed[i] && !m_followed[i].empty() && arrived.Find(m_followed[i]) != kNoSong;
            followed.Append(displaced ? std::u16string_view() : std::u16string_view(m_followed[i]));
        }
    }
    tracks = newTracks.Count();
    matched.reset(new uint32_t[tracks]());
    std::unique_ptr<uint32_t[]> placed(new uint32_t[paths.Count()]());  // each song's track + 1
    PathTable table(m_followed.empty() ? paths : followed);
    for (size_t i = 0; i < tracks; ++i) {
        uint32_t song = table.Find(newTracks[i]);
        if (song != kNoSong && !placed[song]) {
            placed[song] = static_cast<uint32_t>(i + 1);
            matched[i] = song + 1;
        }
    }
    // Each playlist's songs become their tracks, songs no longer listed dropped, and playlists
    // left empty.
    uint8_t* out = lists.data();
    for (const uint8_t* in = out, *end = out + lists.size(); in != end;) {
        uint32_t n = LaterWord(in + kKeptList), kind = LaterWord(in + 8), kept = 0;
        uint8_t* list = out;
        std::memmove(list, in, kKeptList);
        for (in += kListRecord, out += kListRecord; n--; in += 4) {
            // An entry that points nowhere is dropped, like a song no longer listed.
            uint32_t song = LaterWord(in), track = song < paths.Count() ? placed[song] : 0;
            if (!track)
                continue;
            PutLaterWord(out, track - 1);
            out += 4;
            ++kept;
            if (kind != kPlainList && !(matched[track - 1] & kNotPlain)) {
                matched[track - 1] |= kNotPlain;
                ++notPlainTracks;
            }
        }
        PutLaterWord(list + kKeptList, kept);
        if (!kept) {
            out = list;
            continue;
        }
        ++keptLists;
        podcastLists += kind == kPodcastList;
        audiobookLists += kind == kAudiobookList;
    }
    lists.resize(out - lists.data());
}
