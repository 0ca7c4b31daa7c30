// Step 4 of a run: the database is streamed into a file beside the old one, flushed, and only
// then moved over it, so the player keeps either the old database or the complete new one.
#include <algorithm>
#include <new>
#include <vector>

#include "Database.h"
#include "LaterDatabase.h"
#include "Messages.h"
#include "SyncJob.h"

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

int CSyncJob::WriteDatabase() {
    // A list that misses part of the tree would silently drop songs from the player.
    if (m_bReadFailed) {
        ReportEnd(RunOutcome::ReadFailed, kMsgReadFailed);
        return 0;
    }
    if (m_pStatus)
        m_pStatus->SetProgress(RunPhase::Writing, m_lstPaths.Count(), m_strDbPath);
    std::u16string tempPath = m_strDbPath + u".new";
    ReplaceResult result = ReplaceResult::Failed;
    if (!m_strDbPath.empty()) {
        try {
            if (WriteDatabaseFile(tempPath))
                result = m_fs.Replace(tempPath, m_strDbPath);
        } catch (const std::bad_alloc&) {
            // Out of memory halfway: the temporary file goes like after any other failure.
        }
        if (result == ReplaceResult::Failed)
            m_fs.Remove(tempPath);
    }
    switch (result) {
        case ReplaceResult::Replaced:
            ReportEnd(RunOutcome::Done, kMsgDone);
            return 1;
        case ReplaceResult::ReplacedNotDurable:
            // The old database is gone: saying it was kept would be false.
            ReportEnd(RunOutcome::DatabaseNotDurable, kMsgNotDurable);
            return 0;
        case ReplaceResult::Failed:
            break;
    }
    ReportEnd(RunOutcome::DatabaseNotWritten, kMsgDatabaseFailed);
    return 0;
}

bool CSyncJob::WriteDatabaseFile(const std::u16string& tempPath) {
    // The player's own layout; a database whose layout could not be read is left as it is.
    auto encode = m_dbFormat == DbFormat::Later   ? EncodeLaterDatabase
                  : m_dbFormat == DbFormat::Early ? EncodeEarlyDatabase
                                                  : nullptr;
    if (!encode)
        return false;
    // The buffer comes first: running out of memory for it leaves no file behind.
    ChunkedWriter writer;
    auto file = m_fs.CreateOutput(tempPath);
    if (!file)
        return false;
    writer.Attach(*file);
    bool ok = encode(
        m_lstPaths, [&writer](const uint8_t* data, size_t size) { return writer.Put(data, size); });
    ok = ok && writer.Finish();
    return file->Close() && ok;
}
