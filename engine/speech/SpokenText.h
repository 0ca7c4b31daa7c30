// What a spoken name says and is called: the text said for a song, its language, the id and file
// name a song's spoken name is filed under, and the text that ends a run that spoke names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

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

// Each file a run renamed, by its full path once every rename is made (folded), and its name
// before, ".mp3" and all: `files` and `folders` are the renames made, in the order made (what lies
// in a folder before the folder), each from its full path to its full path.
std::unordered_map<std::u16string, std::u16string> RenamedFrom(
    const std::vector<std::pair<std::u16string, std::u16string>>& files,
    const std::vector<std::pair<std::u16string, std::u16string>>& folders);
