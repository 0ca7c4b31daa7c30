// Step 4 of a run: the database is streamed into a file beside the old one, flushed, and only
// then moved over it, so the player keeps either the old database or the complete new one.
#include <algorithm>
#include <new>
#include <string>
#include <vector>

#include "Database.h"
#include "LaterDatabase.h"
#include "Messages.h"
#include "SyncJob.h"
#include "Text.h"

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

}  // namespace

// A player may hold what a replace cut short left: no database but the complete new one beside
// it. It is put in place before anything else, so that no failure later can lose it.
bool CSyncJob::PrepareDatabase() {
    const std::u16string tempPath = m_strDbPath + u".new";
    m_bHadDatabase = m_fs.Exists(m_strDbPath);
    if (m_bHadDatabase || !m_fs.Exists(tempPath))
        return true;
    std::vector<uint8_t> bytes;
    ReadResult read = ReadWholeFile(m_fs, tempPath, kLargestDatabase, bytes);
    // What could not be read might be the player's only database: it is not written over.
    if (read == ReadResult::Failed) {
        ReportEnd(RunOutcome::DatabaseNotWritten, kMsgDatabaseFailed, m_fs.LastError());
        return false;
    }
    if (read == ReadResult::TooLarge || !DecodeDatabase(bytes.data(), bytes.size()).Complete())
        return true;  // no database at all: the run writes one
    if (!BeginChange())
        return true;  // stopped before anything changed: the run ends there
    switch (m_fs.Replace(tempPath, m_strDbPath)) {
        case ReplaceResult::Replaced:
        case ReplaceResult::ReplacedNotDurable:  // the run's own replace confirms it, or says not
            m_bHadDatabase = true;
            return true;
        case ReplaceResult::Failed:
        case ReplaceResult::TargetRemoved:  // no target there: not a result a move onto none gives
            break;
    }
    ReportEnd(RunOutcome::DatabaseNotWritten, kMsgDatabaseFailed, m_fs.LastError());
    return false;
}

// A run from a folder below the player's top writes a database of that folder's songs alone: the
// old one's tracks elsewhere are kept to be named as left out. A later-layout database gives what
// its owner set. A database that cannot be read is not written over.
void CSyncJob::ReadOldTracks() {
    m_oldTracks.clear();
    const bool below = FileNameOffset(m_strRootDir) != 0;  // at the top nothing lies outside
    if ((!below && m_dbFormat != DbFormat::Later) || m_dbFormat == DbFormat::Unreadable)
        return;
    std::vector<uint8_t> bytes;
    ReadResult read = ReadWholeFile(m_fs, m_strDbPath, kLargestDatabase, bytes);
    // Read first: an existence test that failed would pass an owner's database over.
    const int error = m_fs.LastError();
    if (read == ReadResult::Failed && m_fs.Exists(m_strDbPath)) {
        m_dbFormat = DbFormat::Unreadable;
        m_nDbReadError = error;
    }
    if (read != ReadResult::Read)
        return;
    if (m_dbFormat == DbFormat::Later) {
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

// What a run would meet at step 4, asked before anything changes: a database it cannot read is
// never written over, and the temporary file's place must take a file. A left-over file there
// opens; a folder, a pipe or what cannot be opened at all fails as the writing would.
bool CSyncJob::CanWriteDatabase() {
    int error = m_nDbReadError;
    if (m_dbFormat != DbFormat::Unreadable) {
        const std::u16string tempPath = m_strDbPath + u".new";
        if (!m_fs.Exists(tempPath) || m_fs.OpenInput(tempPath))
            return true;
        error = m_fs.LastError();
    }
    ReportEnd(RunOutcome::DatabaseNotWritten, kMsgDatabaseFailed, error);
    return false;
}

// The renames this run made, as the owner's settings follow them: the player path before and
// the new name, in the plan's order.
void CSyncJob::MatchOwnerSettings() {
    if (!m_kept)
        return;
    PathList renames;
    for (const auto& item : m_plan) {
        if (item.step != Step::Done)
            continue;
        renames.Append(std::u16string_view(item.from).substr(2));
        renames.Append(std::u16string_view(item.to).substr(FileNameOffset(item.to)));
    }
    m_kept->Match(m_lstPaths, renames.Empty() ? nullptr : &renames);
}

int CSyncJob::WriteDatabase() {
    // A list that misses part of the tree would silently drop songs from the player.
    if (m_bReadFailed) {
        ReportEnd(RunOutcome::ReadFailed, kMsgReadFailed, m_nReadError);
        return 0;
    }
    if (!BeginChange()) {
        EndIfStopped();
        return 0;
    }
    if (m_pStatus)
        m_pStatus->SetProgress(RunPhase::Writing, m_lstPaths.Count(), m_strDbPath);
    std::u16string tempPath = m_strDbPath + u".new";
    ReplaceResult result = ReplaceResult::Failed;
    bool written = false;
    int error = 0;
    if (!m_strDbPath.empty()) {
        try {
            written = WriteDatabaseFile(tempPath);
            if (written)
                result = m_fs.Replace(tempPath, m_strDbPath);
        } catch (const std::bad_alloc&) {
            // Out of memory halfway: the temporary file goes like after any other failure.
        }
        error = result == ReplaceResult::Replaced ? 0 : written ? m_fs.LastError() : m_nWriteError;
        // The only database the player has is never removed: the complete new file when the
        // system dropped the old one before the move failed, and whatever stands in for one on
        // a player that had no iTunesSD, so the player is still taken for one.
        if (result == ReplaceResult::TargetRemoved) {
            ReportEnd(RunOutcome::DatabaseNotReplaced, kMsgNotReplaced, error);
            return 0;
        }
        if (result == ReplaceResult::Failed && (m_bHadDatabase || m_fs.Exists(m_strDbPath)))
            m_fs.Remove(tempPath);
    }
    switch (result) {
        case ReplaceResult::Replaced: {
            // Songs a cut left without a name are not played until a run after the drive's check
            // puts them back: that is what the user must do next.
            bool lost = std::any_of(m_leftOut.begin(), m_leftOut.end(), [](const LeftOut& item) {
                return item.why == LeftOutReason::LostInCut;
            });
            ReportEnd(lost ? RunOutcome::SongsLost : RunOutcome::Done,
                      lost ? kMsgSongsLost : kMsgDone);
            return 1;
        }
        case ReplaceResult::ReplacedNotDurable:
            // The old database is gone: saying it was kept would be false.
            ReportEnd(RunOutcome::DatabaseNotDurable, kMsgNotDurable, error);
            return 0;
        case ReplaceResult::Failed:
        case ReplaceResult::TargetRemoved:
            break;
    }
    ReportEnd(RunOutcome::DatabaseNotWritten, kMsgDatabaseFailed, error);
    return 0;
}

bool CSyncJob::WriteDatabaseFile(const std::u16string& tempPath) {
    // The player's own layout; a database whose layout could not be read is left as it is.
    if (m_dbFormat == DbFormat::Unreadable) {
        m_nWriteError = m_nDbReadError;
        return false;
    }
    if (m_dbFormat == DbFormat::Later)
        MatchOwnerSettings();
    // The buffer comes first: running out of memory for it leaves no file behind.
    ChunkedWriter writer;
    auto file = m_fs.CreateOutput(tempPath);
    if (!file) {
        m_nWriteError = m_fs.LastError();
        return false;
    }
    writer.Attach(*file);
    auto take = [&writer](const uint8_t* data, size_t size) { return writer.Put(data, size); };
    const ByteSink put = SinkTo(take);
    bool ok = m_dbFormat == DbFormat::Later ? EncodeLaterDatabase(m_lstPaths, put, m_kept.get())
                                            : EncodeEarlyDatabase(m_lstPaths, put);
    ok = ok && writer.Finish();
    // The first failure's reason: closing after a failed write may fail as well.
    m_nWriteError = ok ? 0 : m_fs.LastError();
    if (!file->Close() && ok) {
        ok = false;
        m_nWriteError = m_fs.LastError();
    }
    return ok;
}
