#include "speech/SpokenNames.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "base/Text.h"
#include "speech/SongTags.h"

namespace {

constexpr char16_t kSpeakable[] = u"\\iPod_Control\\Speakable";
constexpr char16_t kTracks[] = u"\\Tracks";
// The one file a run writes a spoken name into before it takes the song's id: a cut leaves no
// torn file under an id, which would never be spoken again. Only Zorbel makes a file of this name.
constexpr char16_t kSpeaking[] = u"speaking.new";
// What a name takes when it is known only by its number: about two seconds at 22.05 kHz, as a
// name of a few words or Chinese characters takes espeak-ng or a Windows voice.
constexpr uint64_t kTypicalNameBytes = 88 * 1024;

// The tags' bytes, read from the song's file on the player as the reader asks for them.
class FileTagSource : public ITagSource {
public:
    explicit FileTagSource(IInputFile& file) : m_file(file) {}
    uint64_t Size() const override { return m_file.Size(); }
    size_t ReadAt(uint64_t offset, uint8_t* out, size_t size) override {
        if (!m_file.Seek(offset))
            return 0;
        size_t have = 0;
        while (have < size) {
            long long got = m_file.Read(out + have, size - have);
            if (got <= 0 || static_cast<unsigned long long>(got) > size - have)
                break;
            have += static_cast<size_t>(got);
        }
        return have;
    }

private:
    IInputFile& m_file;
};

uint64_t ReadId(const uint8_t* at) {
    uint64_t id = 0;
    for (int i = 7; i >= 0; --i)
        id = id << 8 | at[i];
    return id;
}

// Whether Zorbel made the file: read only for a file whose song is gone.
bool IsZorbels(IFileSystem& fs, const std::u16string& path) {
    auto file = fs.OpenInput(path);
    uint8_t head[44], tail[kWaveMarkSize];
    if (!file || file->Size() < sizeof head + sizeof tail)
        return false;
    FileTagSource source(*file);
    return source.ReadAt(0, head, sizeof head) == sizeof head &&
           source.ReadAt(file->Size() - sizeof tail, tail, sizeof tail) == sizeof tail &&
           IsZorbelWave(head, tail, file->Size());
}

}  // namespace

void CSpokenNames::Reset() {
    m_decided = false;
    m_ids.clear();
    m_write = {};
    m_tracks = nullptr;
    m_renamedFrom = nullptr;
    m_onPlayer.clear();
    m_pending.clear();
    m_next = 0;
    m_foldersMade = false;
    m_noVoice[0] = m_noVoice[1] = false;
    m_outcome = {};
}

void CSpokenNames::Decide(const OwnerSettings* kept, const PathList& tracks) {
    Reset();
    m_decided = true;
    m_outcome.later = true;
    m_outcome.songs = tracks.Count();
    m_ids.assign(tracks.Count(), 0);
    std::unordered_set<uint64_t> taken;
    taken.reserve(tracks.Count() + 1);
    taken.insert(0);
    // The owner's playlists' ids name files too (in Speakable\Playlists): no song takes one.
    if (kept) {
        for (const uint8_t *list = kept->lists.data(), *end = list + kept->lists.size();
             list != end; list += kListRecord + 4 * LaterWord(list + kKeptList))
            taken.insert(ReadId(list));
    }
    constexpr size_t kIdInKept = kKeptFront + kLaterSpokenIdAt - kKeptBackAt;
    // A song gone keeps its id from the songs that are new: one given its freed name would
    // otherwise find the gone song's spoken name under its own id, and say it.
    if (kept) {
        std::vector<bool> stays(kept->paths.Count(), false);
        for (size_t i = 0; i < kept->tracks && i < tracks.Count(); ++i)
            if (uint32_t song = kept->matched[i] & ~kNotPlain)
                stays[song - 1] = true;
        for (size_t song = 0; song < stays.size(); ++song)
            if (!stays[song])
                taken.insert(ReadId(&kept->fields[song * kKeptRecord + kIdInKept]));
    }
    for (size_t i = 0; kept && i < tracks.Count() && i < kept->tracks; ++i) {
        uint32_t song = kept->matched[i] & ~kNotPlain;
        if (!song)
            continue;
        uint64_t id = ReadId(&kept->fields[(song - 1) * kKeptRecord + kIdInKept]);
        if (taken.insert(id).second)
            m_ids[i] = id;
        else
            ++m_outcome.renewed;
    }
    for (size_t i = 0; i < tracks.Count(); ++i) {
        if (m_ids[i])
            continue;
        uint64_t id = PathSpokenId(tracks[i]);
        // The next free one, the same on every run that lists the same songs.
        while (!taken.insert(id).second)
            id = id * 6364136223846793005ull + 1442695040888963407ull;
        m_ids[i] = id;
    }
    const bool listedSongs = kept && kept->found && !kept->paths.Empty();
    m_write.ids = m_ids.data();
    m_write.voiceOver = listedSongs ? kept->header[kVoiceOverAt] : 1;
    m_outcome.turnedOn = !listedSongs && !(kept && kept->found && kept->header[kVoiceOverAt]);
    m_outcome.voiceOverOff = m_write.voiceOver == 0;
}

std::u16string CSpokenNames::TracksFolder() const {
    return m_drive + kSpeakable + kTracks;
}

void CSpokenNames::Begin(const std::u16string& drive, const PathList& tracks,
                         const std::unordered_map<std::u16string, std::u16string>& renamedFrom,
                         uint64_t keepFree, bool dryRun) {
    m_drive = drive;
    m_tracks = &tracks;
    m_renamedFrom = &renamedFrom;
    m_keepFree = keepFree;
    m_pending.clear();
    m_next = 0;
    // Without a voice the front end speaks nothing, and the owner's switch off speaks nothing.
    if (!m_decided || (!m_voice && !dryRun) || m_outcome.voiceOverOff ||
        m_ids.size() != tracks.Count())
        return;
    RemoveOrphans(dryRun);
    for (size_t i = 0; i < m_ids.size(); ++i) {
        if (m_onPlayer.count(m_ids[i]))
            ++m_outcome.had;
        else
            m_pending.push_back(i);
    }
    m_outcome.toSpeak = m_pending.size();
    if (m_pending.empty())
        return;
    if (!dryRun && !m_voice->Available()) {
        LeaveRest(Unspoken::NoSynthesiser, 0);
        return;
    }
    m_outcome.needed = m_pending.size() * kTypicalNameBytes;
    uint64_t free = 0;
    if (m_fs.FreeSpace(m_drive + u"\\", free)) {
        m_outcome.free = free;
        // A run that would fill the player speaks none: the next run's database needs its room.
        if (free < m_keepFree || free - m_keepFree < m_outcome.needed) {
            LeaveRest(Unspoken::NoRoom, 0);
            return;
        }
    }
}

// Zorbel's own files of songs the database no longer lists, and the file a cut left while a name
// was written. A file of the player's or the owner's software stays, whatever its name.
void CSpokenNames::RemoveOrphans(bool dryRun) {
    const std::u16string folder = TracksFolder();
    auto listing = m_fs.ListFolder(folder);
    if (!listing)
        return;
    std::unordered_set<uint64_t> listed(m_ids.begin(), m_ids.end());
    FolderEntry entry;
    std::vector<std::u16string> orphans;
    while (listing->Next(entry) == ListStep::Entry) {
        uint64_t id = 0;
        if (entry.isOther || IsDotEntry(entry.name))
            continue;
        if (!entry.isDirectory && EqualsFolded(entry.name, kSpeaking)) {
            orphans.push_back(JoinPath(folder, entry.name));
        } else if (SpokenFileId(entry.name, id)) {
            if (listed.count(id) || entry.isDirectory)
                m_onPlayer.insert(id);
            else
                orphans.push_back(JoinPath(folder, entry.name));
        }
    }
    listing.reset();
    for (const auto& path : orphans) {
        const bool speaking = EqualsFolded(path.substr(FileNameOffset(path)), kSpeaking);
        if (!speaking && !IsZorbels(m_fs, path))
            continue;
        if (dryRun || m_fs.Remove(path))
            m_outcome.removed += !speaking;
    }
}

bool CSpokenNames::MakeFolders() {
    for (const std::u16string& folder : {m_drive + kSpeakable, TracksFolder()})
        if (!m_fs.IsDirectory(folder) && !m_fs.CreateFolder(folder))
            return false;
    return true;
}

void CSpokenNames::LeaveRest(Unspoken why, size_t from) {
    m_outcome.unspoken[static_cast<size_t>(why)] +=
        m_pending.size() - std::min(from, m_pending.size());
    m_next = m_pending.size();
}

void CSpokenNames::Stop(Unspoken why) {
    LeaveRest(why, m_next);
}

// The title and artist its tags give; without a title, the name the song had before this run
// renamed it, else its file's name without ".mp3".
std::u16string CSpokenNames::NameOf(size_t track) {
    const std::u16string path = FromPlayerPath(m_drive, (*m_tracks)[track]);
    SongTags tags;
    if (auto file = m_fs.OpenInput(path)) {
        FileTagSource source(*file);
        tags = ReadSongTags(source);
    }
    auto renamed = m_renamedFrom->find(FoldedName(path));
    std::u16string name =
        renamed != m_renamedFrom->end() ? renamed->second : path.substr(FileNameOffset(path));
    if (EndsWithMp3(name) && name.size() > 4 && name[name.size() - 4] == u'.')
        name.resize(name.size() - 4);
    return SpokenText(tags.title, tags.artist, name);
}

bool CSpokenNames::SpeakNext(std::u16string& path) {
    if (m_next >= m_pending.size())
        return false;
    const size_t track = m_pending[m_next++];
    path = FromPlayerPath(m_drive, (*m_tracks)[track]);
    const std::u16string text = NameOf(track);
    const SpokenLanguage language = NameLanguage(text);
    const auto lang = static_cast<size_t>(language);
    const Unspoken noVoice =
        language == SpokenLanguage::Chinese ? Unspoken::NoChineseVoice : Unspoken::NoEnglishVoice;
    if (m_noVoice[lang]) {
        ++m_outcome.unspoken[static_cast<size_t>(noVoice)];
        return true;
    }
    SpokenSound sound;
    switch (m_voice->Speak(text, language, sound)) {
        case VoiceResult::NoVoice:
            m_noVoice[lang] = true;
            ++m_outcome.unspoken[static_cast<size_t>(noVoice)];
            return true;
        case VoiceResult::Failed:
            ++m_outcome.unspoken[static_cast<size_t>(Unspoken::VoiceFailed)];
            return true;
        case VoiceResult::Spoken:
            break;
    }
    if (!PlayerRate(sound.rate) || sound.samples.empty()) {
        ++m_outcome.unspoken[static_cast<size_t>(Unspoken::VoiceFailed)];
        return true;
    }
    sound.samples.resize(
        std::min<size_t>(sound.samples.size(), kLongestSpokenSeconds * sound.rate));
    const uint64_t size = SpokenWaveSize(sound.samples.size());
    // The estimate let the run begin; each file is measured against the room as it is.
    if (m_outcome.free && m_outcome.written + size + m_keepFree > m_outcome.free) {
        LeaveRest(Unspoken::NoRoom, m_next - 1);
        return true;
    }
    const Written written = Write(m_ids[track], sound);
    if (written != Written::Failed) {
        ++m_outcome.spoken;
        m_outcome.written += size;
    }
    // A write the medium failed or did not confirm: nothing more is written.
    if (written != Written::Whole)
        LeaveRest(Unspoken::WriteFailed, written == Written::Failed ? m_next - 1 : m_next);
    return true;
}

// Into the file of a run's own name first, then under the song's id: the id never names a file
// that is not whole. A failed write leaves no file of ours behind where that can be helped.
CSpokenNames::Written CSpokenNames::Write(uint64_t id, const SpokenSound& sound) {
    const std::u16string folder = TracksFolder();
    const std::u16string speaking = JoinPath(folder, kSpeaking);
    const std::vector<uint8_t> bytes = SpokenWaveBytes(sound);
    // Made for the first name a voice said: a player with no voice for any gets no folders.
    if (!m_foldersMade) {
        if (!MakeFolders()) {
            m_outcome.systemError = m_fs.LastError();
            return Written::Failed;
        }
        m_foldersMade = true;
    }
    bool ok = false;
    if (auto file = m_fs.CreateOutput(speaking)) {
        ok = true;
        for (size_t done = 0; ok && done < bytes.size();) {
            size_t wrote = file->Write(bytes.data() + done, bytes.size() - done);
            ok = wrote > 0 && wrote <= bytes.size() - done;
            done += wrote;
        }
        ok = ok && file->Flush();
        if (!ok)
            m_outcome.systemError = m_fs.LastError();
        // The first failure's reason: closing after a failed write may fail as well.
        if (!file->Close() && ok) {
            ok = false;
            m_outcome.systemError = m_fs.LastError();
        }
    } else {
        m_outcome.systemError = m_fs.LastError();
    }
    if (ok) {
        switch (m_fs.Rename(speaking, JoinPath(folder, SpokenFileName(id)))) {
            case RenameResult::Renamed:
                return Written::Whole;
            case RenameResult::RenamedNotDurable:
                m_outcome.systemError = m_fs.LastError();
                return Written::NotDurable;
            case RenameResult::Refused:
                m_outcome.systemError = m_fs.LastError();
                break;
        }
    }
    m_fs.Remove(speaking);
    return Written::Failed;
}
