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
#include "speech/SpokenText.h"
#include "speech/Voice.h"

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
