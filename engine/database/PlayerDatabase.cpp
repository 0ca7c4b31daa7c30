#include "database/PlayerDatabase.h"

#include <algorithm>
#include <new>

#include "base/SameBytes.h"
#include "base/Text.h"

namespace {

constexpr size_t kChunkBytes = 64 * 1024;

// Gathers bytes into large writes: removable drives take every write call straight to the device.
class ChunkedWriter {
public:
    ChunkedWriter() { m_buffer.reserve(kChunkBytes); }
    void Attach(IOutputFile& file) { m_file = &file; }

    bool Put(const uint8_t* data, size_t size) {
        while (size > 0) {
            size_t take = std::min(size, kChunkBytes - m_buffer.size());
            m_buffer.insert(m_buffer.end(), data, data + take);
            data += take;
            size -= take;
            if (m_buffer.size() == kChunkBytes && !Drain())
                return false;
        }
        return true;
    }
    bool Finish() { return Drain() && m_file->Flush(); }

private:
    // Writes the buffer out whole; a short write is continued, a write that takes nothing fails.
    bool Drain() {
        size_t done = 0;
        while (done < m_buffer.size()) {
            size_t wrote = m_file->Write(m_buffer.data() + done, m_buffer.size() - done);
            if (wrote == 0 || wrote > m_buffer.size() - done)
                return false;
            done += wrote;
        }
        m_buffer.clear();
        return true;
    }

    IOutputFile* m_file = nullptr;
    std::vector<uint8_t> m_buffer;
};

enum class StartRead { Read, Missing, Failed };

// `error`: the system's reason when the read failed, taken before anything else is asked.
StartRead ReadStart(IFileSystem& fs, const std::u16string& path, FileStart& start, int& error) {
    auto file = fs.OpenInput(path);
    // There, but not to be read (in use, a folder): it may be either layout.
    if (!file) {
        error = fs.LastError();
        return fs.Exists(path) ? StartRead::Failed : StartRead::Missing;
    }
    while (start.size < sizeof start.bytes) {
        size_t wanted = sizeof start.bytes - start.size;
        long long got = file->Read(start.bytes + start.size, wanted);
        if (got == 0)
            break;
        if (got < 0 || static_cast<unsigned long long>(got) > wanted) {
            error = fs.LastError();
            return StartRead::Failed;
        }
        start.size += static_cast<size_t>(got);
    }
    return StartRead::Read;
}

}  // namespace

CPlayerDatabase::CPlayerDatabase(IFileSystem& fs, IChangeGate& gate, const std::u16string& dbPath)
    : m_fs(fs), m_gate(gate), m_dbPath(dbPath) {}

Likeness CPlayerDatabase::BesideItself() {
    const std::u16string tempPath = m_dbPath + u".new";
    m_toldApart = false;
    // A folder is no file's second name.
    if (!m_fs.Exists(tempPath) || m_fs.IsDirectory(tempPath) || !m_fs.Exists(m_dbPath) ||
        m_fs.IsDirectory(m_dbPath))
        return Likeness::Different;
    const Likeness likeness = CompareFiles(m_fs, m_dbPath, tempPath);
    m_toldApart = likeness == Likeness::Different;
    return likeness;
}

// A player may hold what a replace cut short left: no database but the complete new one beside it.
bool CPlayerDatabase::PutLoneNewInPlace() {
    const std::u16string tempPath = m_dbPath + u".new";
    m_hadDatabase = m_fs.Exists(m_dbPath);
    if (m_hadDatabase || !m_fs.Exists(tempPath))
        return true;
    std::vector<uint8_t> bytes;
    ReadResult read = ReadWholeFile(m_fs, tempPath, kLargestDatabase, bytes);
    // What could not be read might be the player's only database: it is not written over.
    if (read == ReadResult::Failed)
        return false;
    if (read == ReadResult::TooLarge || !DecodeDatabase(bytes.data(), bytes.size()).Complete())
        return true;  // no database at all: the run writes one
    if (!m_gate.BeginChange())
        return true;  // stopped before anything changed: the run ends there
    switch (m_fs.Replace(tempPath, m_dbPath)) {
        case ReplaceResult::Replaced:
        case ReplaceResult::ReplacedNotDurable:  // the run's own replace confirms it, or says not
            m_hadDatabase = true;
            return true;
        case ReplaceResult::Failed:
        case ReplaceResult::TargetRemoved:  // no target there: not a result a move onto none gives
            break;
    }
    return false;
}

int CPlayerDatabase::ReadFormat() {
    m_readError = 0;
    FileStart database, leftOver;
    StartRead read = ReadStart(m_fs, m_dbPath, database, m_readError);
    if (read != StartRead::Failed && database.size < sizeof database.bytes)
        read = ReadStart(m_fs, m_dbPath + u".new", leftOver, m_readError);
    // Writing either layout over a database that could not be read could leave the player
    // nothing it can play: the writer then writes nothing.
    m_format =
        read == StartRead::Failed ? DbFormat::Unreadable : DecideDbFormat(database, leftOver);
    return m_format != DbFormat::Unreadable;
}

// A run from a folder below the player's top writes a database of that folder's songs alone: the
// old one's tracks elsewhere are kept to be named as left out. A later-layout database gives what
// its owner set.
void CPlayerDatabase::ReadOld(const std::u16string& rootDir) {
    m_oldTracks.clear();
    const bool below = FileNameOffset(rootDir) != 0;  // at the top nothing lies outside
    if ((!below && m_format != DbFormat::Later) || m_format == DbFormat::Unreadable)
        return;
    std::vector<uint8_t> bytes;
    ReadResult read = ReadWholeFile(m_fs, m_dbPath, kLargestDatabase, bytes);
    // Read first: an existence test that failed would pass an owner's database over.
    const int error = m_fs.LastError();
    if (read == ReadResult::Failed && m_fs.Exists(m_dbPath)) {
        m_format = DbFormat::Unreadable;
        m_readError = error;
    }
    if (read != ReadResult::Read)
        return;
    if (m_format == DbFormat::Later) {
        m_kept = std::make_unique<OwnerSettings>();
        m_kept->Read(bytes.data(), bytes.size());
        if (!m_kept->found)
            m_kept.reset();
    }
    if (!below)
        return;
    DatabaseContents old = DecodeDatabase(bytes.data(), bytes.size());
    if (old.Complete())
        m_oldTracks = std::move(old.paths);
}

// A left-over file at the temporary name opens; a folder, a pipe or what cannot be opened at all
// fails as the writing would.
bool CPlayerDatabase::CanWrite(int& error) {
    error = m_readError;
    if (m_format != DbFormat::Unreadable) {
        const std::u16string tempPath = m_dbPath + u".new";
        if (!m_fs.Exists(tempPath) || m_fs.OpenInput(tempPath))
            return true;
        error = m_fs.LastError();
    }
    return false;
}

void CPlayerDatabase::NoteTracksOutside(const std::u16string& rootDir,
                                        std::vector<LeftOut>& leftOut) {
    if (m_oldTracks.empty())
        return;
    const std::u16string inside = ToPlayerPath(rootDir) + u"/";
    const std::u16string drive = rootDir.substr(0, 2);
    for (const auto& track : m_oldTracks) {
        if (m_gate.StopAsked())
            break;  // nothing changed yet: the run ends at once
        // Every listed track lies inside: the folder alone tells.
        if (track.size() > inside.size() && EqualsFolded(track.substr(0, inside.size()), inside))
            continue;
        std::u16string full = FromPlayerPath(drive, track);
        if (m_fs.Exists(full) && !m_fs.IsDirectory(full))
            leftOut.push_back({LeftOutReason::OutsideFolder, full, 0});
    }
    m_oldTracks.clear();
    m_oldTracks.shrink_to_fit();
}

bool CPlayerDatabase::Lists(const std::u16string& fullPath) {
    if (!m_listed) {
        m_listed = std::make_unique<std::vector<std::u16string>>();
        std::vector<uint8_t> bytes;
        if (ReadWholeFile(m_fs, m_dbPath, kLargestDatabase, bytes) == ReadResult::Read)
            for (auto& path : DecodeDatabase(bytes.data(), bytes.size()).paths)
                m_listed->push_back(FoldedName(path));
        std::sort(m_listed->begin(), m_listed->end());
    }
    const std::u16string key = FoldedName(ToPlayerPath(fullPath));
    auto at = std::lower_bound(m_listed->begin(), m_listed->end(), key);
    return at != m_listed->end() && at->compare(0, key.size(), key) == 0 &&
           (at->size() == key.size() || (*at)[key.size()] == u'/');
}

ReplaceResult CPlayerDatabase::Write(const PathList& tracks, int& error) {
    error = 0;
    if (m_dbPath.empty())
        return ReplaceResult::Failed;
    const std::u16string tempPath = m_dbPath + u".new";
    ReplaceResult result = ReplaceResult::Failed;
    bool written = false, outOfMemory = false;
    m_writeError = 0;
    m_secondName = false;
    try {
        // A run that changes nothing leaves the database alone: written again, a cut before its
        // replace would leave two files of the same bytes, taken for one under two names.
        if (InPlace(tracks)) {
            if (m_fs.Exists(tempPath) &&
                CompareFiles(m_fs, m_dbPath, tempPath) == Likeness::Different)
                m_fs.Remove(tempPath);
            return ReplaceResult::Replaced;
        }
        written = WriteFile(tempPath, tracks);
        if (written)
            result = m_fs.Replace(tempPath, m_dbPath);
    } catch (const std::bad_alloc&) {
        // Out of memory halfway: the temporary file goes like after any other failure, and the
        // run says what happened.
        outOfMemory = true;
    }
    error = result == ReplaceResult::Replaced ? 0 : written ? m_fs.LastError() : m_writeError;
    // The only database the player has is never removed: the complete new file when the system
    // dropped the old one before the move failed, and whatever stands in for one on a player that
    // had no iTunesSD, so the player is still taken for one.
    if (result == ReplaceResult::Failed && !m_secondName &&
        (m_hadDatabase || m_fs.Exists(m_dbPath)))
        m_fs.Remove(tempPath);
    if (outOfMemory)
        throw std::bad_alloc();
    return result;
}

bool CPlayerDatabase::WriteFile(const std::u16string& tempPath, const PathList& tracks) {
    // The player's own layout; a database whose layout could not be read is left as it is.
    if (m_format == DbFormat::Unreadable) {
        m_writeError = m_readError;
        return false;
    }
    // Never emptied through its second name: looked for again unless the run's first look told
    // the two apart (a look that could not see the file at all may have missed it).
    if (!m_toldApart && m_fs.Exists(tempPath) && BesideItself() != Likeness::Different) {
        m_writeError = m_fs.LastError();
        m_secondName = true;
        return false;
    }
    // The buffer comes first: running out of memory for it leaves no file behind.
    ChunkedWriter writer;
    auto file = m_fs.CreateOutput(tempPath);
    if (!file) {
        m_writeError = m_fs.LastError();
        return false;
    }
    writer.Attach(*file);
    auto take = [&writer](const uint8_t* data, size_t size) { return writer.Put(data, size); };
    bool ok = Encode(tracks, SinkTo(take)) && writer.Finish();
    // The first failure's reason: closing after a failed write may fail as well.
    m_writeError = ok ? 0 : m_fs.LastError();
    if (!file->Close() && ok) {
        ok = false;
        m_writeError = m_fs.LastError();
    }
    return ok;
}

bool CPlayerDatabase::Encode(const PathList& tracks, const ByteSink& put) const {
    return m_format == DbFormat::Later ? EncodeLaterDatabase(tracks, put, m_kept.get(), m_spoken)
                                       : EncodeEarlyDatabase(tracks, put);
}

// The database the tracks make, compared with the one in place as it is made: a difference in the
// first bytes (another count of tracks) ends it there.
bool CPlayerDatabase::InPlace(const PathList& tracks) {
    if (m_format == DbFormat::Unreadable || !m_hadDatabase)
        return false;
    FileComparison comparison(m_fs, m_dbPath);
    return Encode(tracks, SinkTo(comparison)) && comparison.Same();
}
