// The player's database through a run: which layout it has, the lone iTunesSD.new a cut replace
// left, the old tracks and what the owner set, whether a new one can be written at all, and the
// writing itself: streamed into a file beside the old one, flushed, and only then moved over it,
// so the player keeps either the old database or the complete new one.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "base/ChangeGate.h"
#include "base/FileSystem.h"
#include "base/LeftOut.h"
#include "base/PathList.h"
#include "base/SameBytes.h"
#include "database/Database.h"
#include "database/OwnerSettings.h"

class CPlayerDatabase {
public:
    // `dbPath`: the run's database path, read at each call (its owner may set it at any time).
    CPlayerDatabase(IFileSystem& fs, IChangeGate& gate, const std::u16string& dbPath);

    // Whether an iTunesSD.new is byte for byte the database. A run never writes a database equal
    // to the one in place, so such a file is the database's second name, a cut inside the replace
    // having left both entries on one chain of clusters: writing or removing it would free the
    // database's data. Unread when either could not be read whole (LastError says why).
    Likeness BesideItself();
    // Before the run's first change: a lone complete iTunesSD.new becomes the database, so no
    // failure later can lose it. False when that failed, or when what stands there could not be
    // read (it might be the only database: never written over); the file system's LastError
    // says why.
    bool PutLoneNewInPlace();
    // The layout of the database (or of a left-over iTunesSD.new), the one a run writes. 0 when it
    // could not be read: the writing then writes nothing.
    int ReadFormat();
    DbFormat Format() const { return m_format; }
    void SetFormat(DbFormat format) { m_format = format; }
    // The old database's tracks a run from a folder below the top needs, and what its owner set in
    // the later layout. A database that cannot be read turns the layout Unreadable.
    void ReadOld(const std::u16string& rootDir);
    // Asked before anything changes: a database that cannot be read is never written over, and the
    // temporary file's place must take a file. False, with the system's reason, when a run could
    // write none.
    bool CanWrite(int& error);
    // The old database's tracks outside `rootDir` that are still on the player: the new database
    // no longer lists them. Stops at once when a stop is asked.
    void NoteTracksOutside(const std::u16string& rootDir, std::vector<LeftOut>& leftOut);
    // Whether the database in place lists a track at `fullPath`, or under it; read once, when
    // first asked. A database that cannot be read lists nothing.
    bool Lists(const std::u16string& fullPath);
    // What the owner set, for the new database to keep once it follows the run's renames; null
    // unless the player has the later layout and its old database said something.
    OwnerSettings* Kept() { return m_format == DbFormat::Later ? m_kept.get() : nullptr; }

    // What the later layout's database gives the players' spoken names, when a run decided it;
    // kept by the caller until the writing is done.
    void SetSpokenIds(const SpokenNameIds* spoken) { m_spoken = spoken; }
    // Writes the tracks in the player's layout into the temporary file and moves it over the old
    // database. `error`: the system's reason when it did not end Replaced. The temporary file is
    // removed after a failure, unless it is the only database the player has. A database the
    // player already holds byte for byte is not written again: it ends Replaced at once.
    ReplaceResult Write(const PathList& tracks, int& error);

private:
    bool WriteFile(const std::u16string& tempPath, const PathList& tracks);
    bool Encode(const PathList& tracks, const ByteSink& put) const;
    bool InPlace(const PathList& tracks);

    IFileSystem& m_fs;
    IChangeGate& m_gate;
    const std::u16string& m_dbPath;
    DbFormat m_format = DbFormat::Early;
    bool m_hadDatabase = true;  // an iTunesSD was there when the run began
    // The system's reasons, each taken from the call that failed before anything else could
    // change the file system's last error.
    int m_readError = 0;
    int m_writeError = 0;
    bool m_secondName = false;  // the temporary name turned out the database's second name
    bool m_toldApart = false;   // BesideItself compared both and found them different
    std::unique_ptr<OwnerSettings> m_kept;
    const SpokenNameIds* m_spoken = nullptr;
    // The old database's tracks, kept only while a run from a folder below the top needs them.
    std::vector<std::u16string> m_oldTracks;
    // The database's tracks, folded and sorted, once Lists has read them.
    std::unique_ptr<std::vector<std::u16string>> m_listed;
};
