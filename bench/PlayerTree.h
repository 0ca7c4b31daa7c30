// The benchmarks' player tree: artist folders of ten albums, albums of 20 tracks and a cover.jpg;
// one artist folder, one album and one track in ten has a Chinese name. The wide-named albums
// hold tracks directly and so need new names; the wide-named artist folders keep theirs. Every
// benchmark lays out this one tree: in memory, on the disk under Wine, or on a native disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct TreeItem {
    std::u16string path;  // below the player's top folder, '\' between names
    bool folder = false;
};

class PlayerTree {
public:
    static constexpr size_t kTracksPerAlbum = 20;
    static constexpr size_t kAlbumsPerArtist = 10;
    static constexpr size_t kWideEvery = 10;

    explicit PlayerTree(size_t tracks) : m_tracks(tracks) {}

    size_t Tracks() const { return m_tracks; }
    size_t Albums() const { return (m_tracks + kTracksPerAlbum - 1) / kTracksPerAlbum; }
    size_t Artists() const { return (Albums() + kAlbumsPerArtist - 1) / kAlbumsPerArtist; }
    size_t WideTracks() const { return Count(m_tracks, kWideTrack); }
    size_t WideAlbums() const { return Count(Albums(), kWideAlbum); }
    size_t WideArtists() const { return Count(Artists(), kWideArtist); }
    size_t RenamesNeeded() const { return WideTracks() + WideAlbums(); }

    // The music: every folder before what is in it, each folder's entries in the order made.
    std::vector<TreeItem> Items() const;

private:
    static constexpr size_t kWideArtist = 5, kWideAlbum = 7, kWideTrack = 3;
    static size_t Count(size_t n, size_t remainder) {
        return n / kWideEvery + (n % kWideEvery > remainder ? 1 : 0);
    }

    size_t m_tracks;
};

// The database a player has before its first run: a header that claims one record and none
// after it, so it can never pass for a database a run wrote.
std::vector<uint8_t> OldPlayerDatabase();
