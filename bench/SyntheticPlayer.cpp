#include "SyntheticPlayer.h"

#include <algorithm>

#include "Database.h"
#include "Text.h"

namespace {

constexpr std::u16string_view kControl = u"iPod_Control";
constexpr std::u16string_view kITunes = u"iTunes";
constexpr std::u16string_view kDatabase = u"iTunesSD";
constexpr std::u16string_view kNewDatabase = u"iTunesSD.new";
constexpr std::u16string_view kProgram = u"Zorbel.exe";
constexpr std::u16string_view kCover = u"cover.jpg";
constexpr std::u16string_view kRenamedFolder = u"ST_DIR_";
constexpr std::u16string_view kRenamedFile = u"ST_FILE_";
constexpr std::u16string_view kMp3 = u".mp3";

void Append(SyntheticPlayer::Name& name, std::u16string_view text) {
    for (char16_t unit : text)
        name.units[name.size++] = unit;
}

// Decimal, padded with zeros to `width` digits.
void AppendNumber(SyntheticPlayer::Name& name, uint64_t value, size_t width = 1) {
    char16_t digits[20];
    size_t count = 0;
    do {
        digits[count++] = static_cast<char16_t>(u'0' + value % 10);
        value /= 10;
    } while (value);
    for (; count < width; ++count)
        digits[count] = u'0';
    while (count)
        name.units[name.size++] = digits[--count];
}

bool StartsFolded(std::u16string_view text, std::u16string_view prefix) {
    return text.size() >= prefix.size() && EqualsFolded(text.substr(0, prefix.size()), prefix);
}

// A decimal number that is all of `digits`; false for anything else or more than 18 digits.
bool ParseNumber(std::u16string_view digits, uint64_t& value) {
    if (digits.empty() || digits.size() > 18)
        return false;
    uint64_t number = 0;
    for (char16_t unit : digits) {
        if (unit < u'0' || unit > u'9')
            return false;
        number = number * 10 + (unit - u'0');
    }
    value = number;
    return true;
}

// The decimal number that `text` ends with; false when it does not end in a digit.
bool TrailingNumber(std::u16string_view text, uint64_t& value) {
    size_t begin = text.size();
    while (begin > 0 && text[begin - 1] >= u'0' && text[begin - 1] <= u'9')
        --begin;
    return ParseNumber(text.substr(begin), value);
}

// "ST_DIR_12" or "ST_FILE_12.mp3": the number between prefix and suffix, when that is all digits.
bool RenamedNumber(std::u16string_view name, std::u16string_view prefix, std::u16string_view suffix,
                   uint64_t& value) {
    if (name.size() <= prefix.size() + suffix.size() || !StartsFolded(name, prefix) ||
        !EqualsFolded(name.substr(name.size() - suffix.size()), suffix))
        return false;
    return ParseNumber(name.substr(prefix.size(), name.size() - prefix.size() - suffix.size()),
                       value);
}

}  // namespace

// The database being written: bytes are counted and the name fields checked for wide units,
// nothing is kept.
class SinkFile : public IOutputFile {
public:
    explicit SinkFile(SyntheticPlayer& player) : m_player(player) {}

    size_t Write(const uint8_t* data, size_t size) override {
        for (size_t i = 0; i < size; ++i) {
            uint64_t at = m_player.m_newBytes + i;
            if (at < kDbHeaderSize)
                continue;
            uint64_t inRecord = (at - kDbHeaderSize) % kDbRecordSize;
            // The high byte of a name unit: a record's name field starts at byte 33.
            if (inRecord >= 33 && inRecord < 33 + 2 * kDbNameUnits && (inRecord - 33) % 2 == 1 &&
                data[i] != 0)
                ++m_player.m_newWideUnits;
        }
        m_player.m_newBytes += size;
        return size;
    }
    bool Flush() override { return true; }
    bool Close() override { return true; }

private:
    SyntheticPlayer& m_player;
};

namespace {

class GeneratedListing : public IFolderListing {
public:
    GeneratedListing(const SyntheticPlayer& player, SyntheticPlayer::Node folder)
        : m_player(player), m_folder(folder) {}

    ListStep Next(FolderEntry& entry) override {
        SyntheticPlayer::Node node = m_player.EntryAt(m_folder, m_position++);
        if (node.kind == SyntheticPlayer::Kind::None)
            return ListStep::End;
        entry.name.assign(m_player.NameOf(node).View());
        entry.isDirectory = SyntheticPlayer::IsFolder(node.kind);
        entry.isLink = false;
        return ListStep::Entry;
    }

private:
    const SyntheticPlayer& m_player;
    SyntheticPlayer::Node m_folder;
    size_t m_position = 0;
};

}  // namespace

SyntheticPlayer::SyntheticPlayer(size_t tracks)
    : m_albumNumber((tracks + kTracksPerAlbum - 1) / kTracksPerAlbum), m_trackNumber(tracks) {
    Reset();
}

void SyntheticPlayer::Reset() {
    std::fill(m_albumNumber.begin(), m_albumNumber.end(), 0);
    std::fill(m_trackNumber.begin(), m_trackNumber.end(), 0);
    m_newExists = false;
    m_dbBytes = kDbHeaderSize;
    m_dbWideUnits = 0;
    m_newBytes = 0;
    m_newWideUnits = 0;
    m_unmodelledRenames = 0;
}

size_t SyntheticPlayer::WideTracks() const {
    size_t count = 0;
    for (size_t t = 0; t < Tracks(); ++t)
        count += IsWideTrack(t);
    return count;
}

size_t SyntheticPlayer::WideAlbums() const {
    size_t count = 0;
    for (size_t g = 0; g < Albums(); ++g)
        count += IsWideAlbum(g);
    return count;
}

size_t SyntheticPlayer::AlbumTracks(size_t album) const {
    return std::min(kTracksPerAlbum, Tracks() - album * kTracksPerAlbum);
}

SyntheticPlayer::PathTotals SyntheticPlayer::PlayerPaths() const {
    auto wide = [](const Name& name) {
        return static_cast<uint64_t>(std::count_if(name.units, name.units + name.size,
                                                   [](char16_t unit) { return unit > 0x00FF; }));
    };
    PathTotals totals;
    for (size_t g = 0; g < Albums(); ++g) {
        Name artist = NameOf({Kind::Artist, g / kAlbumsPerArtist});
        Name album = NameOf({Kind::Album, g});
        // "/artist/album/" before each track's own name
        uint64_t folderUnits = 3 + artist.size + album.size;
        for (size_t t = g * kTracksPerAlbum; t < g * kTracksPerAlbum + AlbumTracks(g); ++t) {
            Name track = NameOf({Kind::Track, t});
            totals.units += folderUnits + track.size;
            totals.wideUnits += wide(artist) + wide(album) + wide(track);
            if (wide(album) || wide(track))
                ++totals.wideNamedTracks;
        }
    }
    return totals;
}

bool SyntheticPlayer::IsFolder(Kind kind) {
    return kind == Kind::Root || kind == Kind::Control || kind == Kind::ITunes ||
           kind == Kind::Artist || kind == Kind::Album;
}

SyntheticPlayer::Node SyntheticPlayer::EntryAt(Node folder, size_t position) const {
    // Every folder but the drive's top one starts with "." and "..", as on Windows.
    if (folder.kind != Kind::Root) {
        if (position < 2)
            return {position == 0 ? Kind::Dot : Kind::DotDot, 0};
        position -= 2;
    }
    switch (folder.kind) {
        case Kind::Root:
            if (position == 0)
                return {Kind::Control, 0};
            if (position == 1)
                return {Kind::Program, 0};
            if (position - 2 < Artists())
                return {Kind::Artist, position - 2};
            return {};
        case Kind::Control:
            return position == 0 ? Node{Kind::ITunes, 0} : Node{};
        case Kind::ITunes:
            if (position == 0)
                return {Kind::Database, 0};
            if (position == 1 && m_newExists)
                return {Kind::NewDatabase, 0};
            return {};
        case Kind::Artist: {
            size_t album = folder.index * kAlbumsPerArtist + position;
            if (position < kAlbumsPerArtist && album < Albums())
                return {Kind::Album, album};
            return {};
        }
        case Kind::Album: {
            size_t tracks = AlbumTracks(folder.index);
            if (position < tracks)
                return {Kind::Track, folder.index * kTracksPerAlbum + position};
            if (position == tracks)
                return {Kind::Cover, folder.index};
            return {};
        }
        default:
            return {};
    }
}

SyntheticPlayer::Name SyntheticPlayer::NameOf(Node node) const {
    Name name;
    switch (node.kind) {
        case Kind::Control:
            Append(name, kControl);
            break;
        case Kind::ITunes:
            Append(name, kITunes);
            break;
        case Kind::Database:
            Append(name, kDatabase);
            break;
        case Kind::NewDatabase:
            Append(name, kNewDatabase);
            break;
        case Kind::Program:
            Append(name, kProgram);
            break;
        case Kind::Cover:
            Append(name, kCover);
            break;
        case Kind::Dot:
            Append(name, u".");
            break;
        case Kind::DotDot:
            Append(name, u"..");
            break;
        case Kind::Artist:
            Append(name, IsWideArtist(node.index) ? u"歌手 " : u"Artist ");
            AppendNumber(name, node.index, 4);
            break;
        case Kind::Album:
            if (int32_t number = m_albumNumber[node.index]) {
                Append(name, kRenamedFolder);
                AppendNumber(name, static_cast<uint64_t>(number));
            } else {
                Append(name, IsWideAlbum(node.index) ? u"专辑 " : u"Album ");
                AppendNumber(name, node.index, 5);
            }
            break;
        case Kind::Track:
            if (int32_t number = m_trackNumber[node.index]) {
                Append(name, kRenamedFile);
                AppendNumber(name, static_cast<uint64_t>(number));
                Append(name, kMp3);
            } else {
                AppendNumber(name, node.index % kTracksPerAlbum + 1, 2);
                Append(name, IsWideTrack(node.index) ? u" - 月亮代表我的心 " : u" - Track Title ");
                AppendNumber(name, node.index, 6);
                Append(name, kMp3);
            }
            break;
        case Kind::None:
        case Kind::Root:
            break;
    }
    return name;
}

SyntheticPlayer::Node SyntheticPlayer::Child(Node parent, std::u16string_view name) const {
    auto named = [&](Node node) { return EqualsFolded(NameOf(node).View(), name) ? node : Node{}; };
    uint64_t number = 0;
    switch (parent.kind) {
        case Kind::Root:
            if (EqualsFolded(name, kControl))
                return {Kind::Control, 0};
            if (EqualsFolded(name, kProgram))
                return {Kind::Program, 0};
            if (TrailingNumber(name, number) && number < Artists())
                return named({Kind::Artist, static_cast<size_t>(number)});
            return {};
        case Kind::Control:
            return EqualsFolded(name, kITunes) ? Node{Kind::ITunes, 0} : Node{};
        case Kind::ITunes:
            if (EqualsFolded(name, kDatabase))
                return {Kind::Database, 0};
            if (m_newExists && EqualsFolded(name, kNewDatabase))
                return {Kind::NewDatabase, 0};
            return {};
        case Kind::Artist: {
            size_t first = parent.index * kAlbumsPerArtist;
            size_t last = std::min(first + kAlbumsPerArtist, Albums());
            if (RenamedNumber(name, kRenamedFolder, u"", number)) {
                for (size_t g = first; g < last; ++g)
                    if (static_cast<uint64_t>(m_albumNumber[g]) == number)
                        return {Kind::Album, g};
                return {};
            }
            if (TrailingNumber(name, number) && number >= first && number < last)
                return named({Kind::Album, static_cast<size_t>(number)});
            return {};
        }
        case Kind::Album: {
            size_t first = parent.index * kTracksPerAlbum;
            size_t last = first + AlbumTracks(parent.index);
            if (EqualsFolded(name, kCover))
                return {Kind::Cover, parent.index};
            if (RenamedNumber(name, kRenamedFile, kMp3, number)) {
                for (size_t t = first; t < last; ++t)
                    if (static_cast<uint64_t>(m_trackNumber[t]) == number)
                        return {Kind::Track, t};
                return {};
            }
            if (name.size() > kMp3.size() &&
                TrailingNumber(name.substr(0, name.size() - kMp3.size()), number) &&
                number >= first && number < last)
                return named({Kind::Track, static_cast<size_t>(number)});
            return {};
        }
        default:
            return {};
    }
}

SyntheticPlayer::Node SyntheticPlayer::Resolve(std::u16string_view path) const {
    if (path.size() < 2 || FoldAscii(path[0]) != u'p' || path[1] != u':')
        return {};
    Node node{Kind::Root, 0};
    size_t at = 2;
    while (at < path.size()) {
        if (path[at] != u'\\' || !IsFolder(node.kind))
            return {};
        size_t end = path.find(u'\\', at + 1);
        if (end == std::u16string_view::npos)
            end = path.size();
        node = Child(node, path.substr(at + 1, end - at - 1));
        if (node.kind == Kind::None)
            return {};
        at = end;
    }
    return node;
}

std::unique_ptr<IFolderListing> SyntheticPlayer::ListFolder(const std::u16string& folder) {
    Node node = Resolve(folder);
    if (!IsFolder(node.kind))
        return nullptr;
    return std::make_unique<GeneratedListing>(*this, node);
}

bool SyntheticPlayer::IsDirectory(const std::u16string& path) {
    return IsFolder(Resolve(path).kind);
}

bool SyntheticPlayer::Exists(const std::u16string& path) {
    return Resolve(path).kind != Kind::None;
}

bool SyntheticPlayer::Rename(const std::u16string& from, const std::u16string& to) {
    Node node = Resolve(from);
    if (node.kind == Kind::None || Resolve(to).kind != Kind::None)
        return false;
    size_t cut = FileNameOffset(from);
    if (FileNameOffset(to) != cut || from.compare(0, cut, to, 0, cut) != 0) {
        ++m_unmodelledRenames;
        return false;
    }
    std::u16string_view name = std::u16string_view(to).substr(cut);
    uint64_t number = 0;
    if (node.kind == Kind::Album && RenamedNumber(name, kRenamedFolder, u"", number) &&
        number <= INT32_MAX) {
        m_albumNumber[node.index] = static_cast<int32_t>(number);
        return true;
    }
    if (node.kind == Kind::Track && RenamedNumber(name, kRenamedFile, kMp3, number) &&
        number <= INT32_MAX) {
        m_trackNumber[node.index] = static_cast<int32_t>(number);
        return true;
    }
    ++m_unmodelledRenames;
    return false;
}

std::unique_ptr<IOutputFile> SyntheticPlayer::CreateOutput(const std::u16string& path) {
    size_t cut = FileNameOffset(path);
    if (cut == 0 || Resolve(std::u16string_view(path).substr(0, cut - 1)).kind != Kind::ITunes ||
        !EqualsFolded(std::u16string_view(path).substr(cut), kNewDatabase))
        return nullptr;
    m_newExists = true;
    m_newBytes = 0;
    m_newWideUnits = 0;
    return std::make_unique<SinkFile>(*this);
}

bool SyntheticPlayer::Replace(const std::u16string& from, const std::u16string& to) {
    if (Resolve(from).kind != Kind::NewDatabase || Resolve(to).kind != Kind::Database)
        return false;
    m_newExists = false;
    m_dbBytes = m_newBytes;
    m_dbWideUnits = m_newWideUnits;
    return true;
}

bool SyntheticPlayer::Remove(const std::u16string& path) {
    if (Resolve(path).kind != Kind::NewDatabase)
        return false;
    m_newExists = false;
    return true;
}

// One run at a time is all a benchmark makes: the lock is always free.
std::unique_ptr<IPlayerLock> SyntheticPlayer::LockPlayer(const std::u16string&) {
    return std::make_unique<IPlayerLock>();
}
