// What the owner of a third or fourth generation player set in its database, read from the old
// one so that a run keeps it: the header's settings, each song's record but its path, and the
// playlists besides the master one. The old bytes are trusted in nothing: every offset, length
// and count is checked against them, and nothing kept can make the new database invalid.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "database/LaterLayout.h"
#include "base/PathList.h"

inline constexpr uint32_t kNoSong = UINT32_MAX;

// Header bytes a run keeps: 20 to 31 (the volume limit at 28, VoiceOver at 29, and fields whose
// meaning nobody knows) and 44 to 63. The run computes the rest.
inline constexpr size_t kKeptHeaderAt = 20, kKeptHeader = 12, kKeptHeaderTailAt = 44;
inline constexpr size_t kVolumeLimitAt = 28, kVoiceOverAt = 29;
// Record bytes a run keeps: 8 to 23 (start and stop time, volume, file type) and 280 to 371
// (bookmark, the skip and remember flags, gapless data, album and artist numbers, the id its
// spoken name is filed under).
inline constexpr size_t kKeptFrontAt = 8, kKeptFront = 16;
inline constexpr size_t kKeptBackAt = kLaterNameAt + kLaterNameBytes + 1;
inline constexpr size_t kKeptRecord = kKeptFront + kLaterRecordSize - kKeptBackAt;
// Playlist bytes a run keeps: 16 to 43, its id (the name of its spoken name's file), its kind
// and 16 bytes nobody knows. Kept with its track count.
inline constexpr size_t kKeptListAt = 16;
inline constexpr size_t kKeptList = kLaterPlaylistHeadSize - kKeptListAt;
inline constexpr size_t kListRecord = kKeptList + 4;
// A playlist's kind, at its byte 24: the master playlist, an ordinary one, podcasts, audiobooks.
enum : uint32_t { kMasterList = 1, kPlainList = 2, kPodcastList = 3, kAudiobookList = 4 };
// Marks a track of a podcast or audiobook playlist in OwnerSettings::matched.
inline constexpr uint32_t kNotPlain = 0x80000000;

struct OwnerSettings {
    bool found = false;  // a whole header in the later layout
    uint8_t header[kLaterHeaderSize] = {};
    PathList paths;               // each old song's path, in the track header's order; empty if
                                  // its record could not be read
    std::vector<uint8_t> fields;  // each old song's kept record bytes, kKeptRecord apiece
    // Each playlist kept, in order: its kListRecord bytes, then its songs, 4 bytes each: old song
    // numbers as the file gives them, until Match turns them into the tracks they are now and
    // drops the playlists left empty.
    std::vector<uint8_t> lists;

    // Set by Match: each track's old song + 1 (0: none), with kNotPlain; the playlists that keep
    // a track, of them those of podcasts and of audiobooks, and their tracks.
    std::unique_ptr<uint32_t[]> matched;
    size_t tracks = 0;
    uint32_t notPlainTracks = 0, keptLists = 0, podcastLists = 0, audiobookLists = 0;

    // Reads the old database; bytes of any other kind give nothing.
    void Read(const uint8_t* bytes, size_t size);
    // The old songs' paths followed through one batch of renames made since the database was
    // written, batches in the order made: each item's path from the player's root ("\Music\a")
    // as the batch found it, then its new name, a renamed folder renaming every path under it.
    // `fresh`: made by this run, each into a name that was free, so a song whose path the batch
    // left as it was but that lies at (or under) a name the batch gave is gone: its settings and
    // playlists are no new song's.
    void Follow(const PathList& renames, bool fresh);
    // Each track gets the old song at its path (ASCII case aside, either slash) as followed, no
    // song two tracks, a song whose path a rename gave before one whose path it is still;
    // `renames`, when given, is one more fresh batch. Each playlist keeps its songs that are tracks
    // now.
    void Match(const PathList& newTracks, const PathList* renames);

private:
    std::vector<std::u16string> m_followed;  // each old song's path now; empty: gone
    std::vector<bool> m_renamed;             // its path followed a rename
};
