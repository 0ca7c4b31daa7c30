// The players' spoken names (VoiceOver) through a run on a third or fourth generation player:
// each song's id (the name of its spoken name's file), the header's VoiceOver switch, and after
// the database is in place the files in iPod_Control\Speakable\Tracks: Zorbel's own files of
// songs no longer listed removed, and each song without one spoken through the voice. Files the
// player or the owner's software made are never touched, nor anything outside Tracks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "base/FileSystem.h"
#include "base/PathList.h"
#include "database/LaterDatabase.h"
#include "database/OwnerSettings.h"
#include "speech/Voice.h"

// Why a song has no spoken name after a run.
enum class Unspoken {
    NoSynthesiser,   // no speech synthesiser at all (espeak-ng not installed, no SAPI)
    NoChineseVoice,  // none for a name with Chinese characters
    NoEnglishVoice,  // none for any other name
    VoiceFailed,     // the voice could not say this name
    NoRoom,          // the player has no room for them
    WriteFailed,     // the player failed a write
    Stopped,         // the user stopped the run before the name's turn
};
inline constexpr size_t kUnspokenKinds = 7;

// What a run made of the spoken names, as values for the front ends.
struct SpeechOutcome {
    bool later = false;         // a player that speaks names (the later layout)
    bool voiceOverOff = false;  // the owner's switch is off: nothing was spoken
    bool turnedOn = false;      // this run turned VoiceOver on
    size_t songs = 0;           // songs in the new database
    size_t had = 0;             // of them, those whose spoken name was there already
    size_t toSpeak = 0;         // those without one when the speaking began
    size_t renewed = 0;         // songs the old database listed whose id was 0 or another's
    size_t spoken = 0;          // those this run spoke
    size_t removed = 0;         // Zorbel's files of songs no longer listed, removed
    size_t unspoken[kUnspokenKinds] = {};
    uint64_t written = 0;  // bytes of the files spoken
    uint64_t needed = 0;   // the room the names to speak were expected to take
    uint64_t free = 0;     // the player's free room before speaking; 0 when unknown
    int systemError = 0;   // WriteFailed: the system's reason

    size_t Count(Unspoken why) const { return unspoken[static_cast<size_t>(why)]; }
    size_t Unspokens() const;
    // The one reason a front end names when it names one: the most songs' (ties: the first).
    Unspoken MainReason() const;
};

// The id of a song that has none, from its player path: the same path gives the same id on
// every run, so a song written again finds the file spoken for it. Never 0.
uint64_t PathSpokenId(std::u16string_view playerPath);
// The name of a song's spoken file: its id as the player reads the record's little-endian bytes,
// in 16 upper-case hexadecimal digits, then ".wav".
std::u16string SpokenFileName(uint64_t id);
// The id a file name of that form gives; false for any other name (any letter case taken).
bool SpokenFileId(std::u16string_view name, uint64_t& id);
// The language a name is said in: Chinese when it holds a Chinese character.
SpokenLanguage NameLanguage(std::u16string_view text);
// What is said for a song: its title, else `fallback`, and its artist after a comma.
std::u16string SpokenText(const std::u16string& title, const std::u16string& artist,
                          const std::u16string& fallback);

// The text that ends a run that wrote its database: 完成, and when songs were left without a spoken
// name, how many and why.
std::u16string DoneText(const SpeechOutcome& outcome);

class CSpokenNames {
public:
    explicit CSpokenNames(IFileSystem& fs) : m_fs(fs) {}

    // The synthesiser a run speaks through; none (the default) speaks nothing and says nothing.
    void SetVoice(IVoice* voice) { m_voice = voice; }
    // Forgets an earlier run's ids, files and outcome.
    void Reset();

    // Before the database is written: each track's id and the VoiceOver switch. A song the old
    // database listed keeps its id, unless that is 0 or an earlier track's; any other gets its
    // path's, the next free one when taken. VoiceOver is the owner's where the old database
    // listed songs, else turned on. `kept`: the old database's settings matched to `tracks`,
    // null when it had none.
    void Decide(const OwnerSettings* kept, const PathList& tracks);
    // What the database writes of it; null before Decide.
    const SpokenNameIds* Ids() const { return m_decided ? &m_write : nullptr; }

    // After the database is in place: the tracks as it lists them, each renamed song's name before
    // this run renamed it (by full path, folded), the room a next run's database needs beside this
    // one. Removes Zorbel's files of songs no longer listed and finds the songs without a spoken
    // name; when they would leave the player less room than `keepFree`, none is spoken. With
    // `dryRun` nothing is changed and no voice is asked: what a run would speak is counted.
    void Begin(const std::u16string& drive, const PathList& tracks,
               const std::unordered_map<std::u16string, std::u16string>& renamedFrom,
               uint64_t keepFree, bool dryRun = false);
    // How many names Begin found to speak.
    size_t ToSpeak() const { return m_pending.size(); }
    // Speaks the next name; false once every name has had its turn. `path`: the song's full path.
    bool SpeakNext(std::u16string& path);
    // The names not yet spoken are left for a next run, for the reason given.
    void Stop(Unspoken why);

    const SpeechOutcome& Outcome() const { return m_outcome; }

private:
    std::u16string TracksFolder() const;
    void RemoveOrphans(bool dryRun);
    bool MakeFolders();
    void LeaveRest(Unspoken why, size_t from);
    std::u16string NameOf(size_t track);
    enum class Written { Whole, NotDurable, Failed };
    Written Write(uint64_t id, const SpokenSound& sound);

    IFileSystem& m_fs;
    IVoice* m_voice = nullptr;
    bool m_decided = false;
    std::vector<uint64_t> m_ids;  // one per track, as the database lists them
    SpokenNameIds m_write;
    std::u16string m_drive;
    const PathList* m_tracks = nullptr;
    const std::unordered_map<std::u16string, std::u16string>* m_renamedFrom = nullptr;
    std::unordered_set<uint64_t> m_onPlayer;  // ids whose file is in Tracks
    std::vector<size_t> m_pending;            // tracks to speak, in order
    size_t m_next = 0;
    uint64_t m_keepFree = 0;
    bool m_foldersMade = false;
    bool m_noVoice[2] = {};  // a language found to have no voice
    SpeechOutcome m_outcome;
};

// Each file a run renamed, by its full path once every rename is made (folded), and its name
// before, ".mp3" and all: `files` and `folders` are the renames made, in the order made (what lies
// in a folder before the folder), each from its full path to its full path.
std::unordered_map<std::u16string, std::u16string> RenamedFrom(
    const std::vector<std::pair<std::u16string, std::u16string>>& files,
    const std::vector<std::pair<std::u16string, std::u16string>>& folders);
