// A player's drive made up on the fly for the benchmarks: artist folders of albums, albums of
// tracks, a tenth of each kind wide-named. Names are computed from indices when asked for, so the
// drive costs a few bytes per track and the figures are the engine's, not the file system's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "FileSystem.h"

class SyntheticPlayer : public IFileSystem {
public:
    static constexpr size_t kTracksPerAlbum = 20;
    static constexpr size_t kAlbumsPerArtist = 10;
    static constexpr size_t kWideEvery = 10;  // one item in ten of each kind has a wide name

    // Drive P:, the program in its top folder, the database in P:\iPod_Control\iTunes.
    static constexpr char16_t kProgramPath[] = u"P:\\Zorbel.exe";

    explicit SyntheticPlayer(size_t tracks);

    // Back to the generated names and an 18-byte database, as before a first run.
    void Reset();

    size_t Tracks() const { return m_trackNumber.size(); }
    size_t Albums() const { return m_albumNumber.size(); }
    size_t Artists() const { return (Albums() + kAlbumsPerArtist - 1) / kAlbumsPerArtist; }
    size_t WideTracks() const;
    size_t WideAlbums() const;
    // Every wide-named track, and every wide-named album (each holds tracks directly); the
    // wide-named artist folders hold only folders and keep their names.
    size_t RenamesNeeded() const { return WideTracks() + WideAlbums(); }
    // Every track's player path under the names it has now, summed up.
    struct PathTotals {
        uint64_t units = 0;
        uint64_t wideUnits = 0;      // units above 0x00FF
        size_t wideNamedTracks = 0;  // tracks whose own name or album name is still wide
    };
    PathTotals PlayerPaths() const;

    uint64_t DatabaseBytes() const { return m_dbBytes; }
    // Units above 0x00FF in the name fields of the database now in place.
    uint64_t DatabaseWideUnits() const { return m_dbWideUnits; }
    // Renames the model refused because it cannot represent the new name.
    size_t UnmodelledRenames() const { return m_unmodelledRenames; }

    std::unique_ptr<IFolderListing> ListFolder(const std::u16string& folder) override;
    bool IsDirectory(const std::u16string& path) override;
    bool Exists(const std::u16string& path) override;
    bool Rename(const std::u16string& from, const std::u16string& to) override;
    std::unique_ptr<IOutputFile> CreateOutput(const std::u16string& path) override;
    bool Replace(const std::u16string& from, const std::u16string& to) override;
    bool Remove(const std::u16string& path) override;
    std::unique_ptr<IPlayerLock> LockPlayer(const std::u16string& dbPath) override;

    enum class Kind {
        None,
        Dot,
        DotDot,
        Root,
        Control,
        ITunes,
        Database,
        NewDatabase,
        Program,
        Artist,
        Album,
        Track,
        Cover
    };
    struct Node {
        Kind kind = Kind::None;
        size_t index = 0;
    };
    static constexpr size_t kNameMax = 48;
    struct Name {
        char16_t units[kNameMax];
        size_t size = 0;
        std::u16string_view View() const { return {units, size}; }
    };

    // The entry a folder's listing yields at `position`, or Kind::None past the end.
    Node EntryAt(Node folder, size_t position) const;
    Name NameOf(Node node) const;
    static bool IsFolder(Kind kind);

private:
    friend class SinkFile;

    Node Resolve(std::u16string_view path) const;
    Node Child(Node parent, std::u16string_view name) const;
    bool IsWideArtist(size_t artist) const { return artist % kWideEvery == 5; }
    bool IsWideAlbum(size_t album) const { return album % kWideEvery == 7; }
    bool IsWideTrack(size_t track) const { return track % kWideEvery == 3; }
    size_t AlbumTracks(size_t album) const;

    // The number of a ST_DIR_<n> or ST_FILE_<n>.mp3 once renamed, 0 while the name is generated.
    std::vector<int32_t> m_albumNumber;
    std::vector<int32_t> m_trackNumber;
    bool m_newExists = false;
    uint64_t m_dbBytes = 0;
    uint64_t m_dbWideUnits = 0;
    uint64_t m_newBytes = 0;
    uint64_t m_newWideUnits = 0;
    size_t m_unmodelledRenames = 0;
};
