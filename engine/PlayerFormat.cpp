#include "PlayerFormat.h"

#include "LaterDatabase.h"
#include "SyncJob.h"

namespace {

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

DbFormat DecideDbFormat(const FileStart& database, const FileStart& leftOver) {
    const FileStart& telling = database.size == sizeof database.bytes ? database : leftOver;
    return HasLaterTag(telling.bytes, telling.size) ? DbFormat::Later : DbFormat::Early;
}

int CSyncJob::ReadPlayerFormat() {
    FileStart database, leftOver;
    StartRead read = ReadStart(m_fs, m_strDbPath, database, m_nDbReadError);
    if (read != StartRead::Failed && database.size < sizeof database.bytes)
        read = ReadStart(m_fs, m_strDbPath + u".new", leftOver, m_nDbReadError);
    // Writing either layout over a database that could not be read could leave the player
    // nothing it can play: the writer then writes nothing.
    m_dbFormat =
        read == StartRead::Failed ? DbFormat::Unreadable : DecideDbFormat(database, leftOver);
    return m_dbFormat != DbFormat::Unreadable;
}
