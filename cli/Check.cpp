#include "Check.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <vector>

#include "HostNames.h"
#include "Messages.h"
#include "PlayerCheck.h"
#include "PlayerSearch.h"
#include "PosixFileSystem.h"
#include "Progress.h"
#include "Strings.h"
#include "SyncJob.h"

namespace {

constexpr int kExitUpToDate = 0;
constexpr int kExitRunNeeded = 1;
constexpr int kExitRefused = 2;
constexpr int kExitRepair = 5;
constexpr char16_t kDrive[] = u"P:";
constexpr size_t kShown = 5;  // paths listed per kind; the rest only counted

// The check prints its own report: the location check's texts are not shown.
class SilentLabel : public IStatusLabel {
public:
    int SetLinkText(std::u16string_view, int) override { return 1; }
    int SetPlain(int) override { return 1; }
    void InvalidateParent() override {}
    void SetProgress(RunPhase, size_t, std::u16string_view) override {}
    void SetOutcome(RunOutcome, int) override {}
};

enum class ReadResult { Read, Missing, Failed };

// Opened for reading only, and never through a link.
ReadResult ReadWhole(const std::string& path, std::vector<uint8_t>& bytes) {
    int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    uint8_t buffer[64 * 1024];
    ssize_t got;
    while ((got = read(fd, buffer, sizeof buffer)) != 0) {
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            close(fd);
            return ReadResult::Failed;
        }
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    close(fd);
    return ReadResult::Read;
}

// A player path as the user finds it; control characters would upset the terminal.
std::string Shown(const std::string& top, std::u16string_view playerPath) {
    std::string bytes;
    if (!NameToHost(playerPath, bytes)) {
        bytes.clear();
        for (char16_t unit : playerPath)
            bytes += unit < 0x80 ? static_cast<char>(unit) : '?';
    }
    for (char& byte : bytes)
        if (static_cast<unsigned char>(byte) < 0x20 || byte == 0x7F)
            byte = '?';
    return (top == "/" ? "" : top) + bytes;
}

void PrintPaths(const std::string& top, const std::vector<std::u16string>& paths) {
    for (size_t i = 0; i < paths.size() && i < kShown; ++i)
        printf("  %s\n", Shown(top, paths[i]).c_str());
    if (paths.size() > kShown)
        printf(kCheckMore, paths.size() - kShown);
}

void PrintDatabase(const PlayerCheck& check) {
    const DatabaseContents& db = check.database;
    const size_t wanted = kDbHeaderSize + kDbRecordSize * db.count;
    if (!check.hasDatabase)
        fputs(check.leftOverTemp ? kCheckDbOnlyTemp : kCheckDbMissing, stdout);
    else if (db.Intact())
        printf(kCheckDbIntact, Counted(db.count, "track", "tracks").c_str(), db.size);
    else if (db.size < kDbHeaderSize)
        printf(kCheckDbTooShort, db.size);
    else if (!db.headerAsWritten)
        printf(kCheckDbForeign, db.size);
    else if (db.size != wanted)
        printf(db.size < wanted ? kCheckDbTorn : kCheckDbTooLong, db.size,
               Counted(db.count, "track", "tracks").c_str(), wanted);
    else
        printf(kCheckDbRecords, Counted(db.count, "track", "tracks").c_str());
    if (check.hasDatabase && check.leftOverTemp)
        fputs(kCheckLeftOver, stdout);
}

void PrintReport(const PlayerCheck& check, const std::string& top, const std::string& folder) {
    PrintDatabase(check);
    if (!check.missing.empty()) {
        printf(kCheckMissing, check.missing.size(), check.database.paths.size());
        PrintPaths(top, check.missing);
    }
    if (!check.leftOut.empty()) {
        printf(kCheckLeftOut, check.leftOut.size(), check.database.paths.size(), folder.c_str());
        PrintPaths(top, check.leftOut);
    }
    // A torn database's line already says that a run writes every track anew.
    if (!check.unlisted.empty() && (!check.hasDatabase || check.database.Complete())) {
        printf(kCheckUnlisted, Counted(check.unlisted.size(), "MP3 file", "MP3 files").c_str(),
               folder.c_str());
        PrintPaths(top, check.unlisted);
    }
    if (!check.renames.empty()) {
        printf(kCheckRenames, check.renames.size());
        for (size_t i = 0; i < check.renames.size() && i < kShown; ++i)
            printf("  %s -> %s\n", Shown(top, check.renames[i].first).c_str(),
                   Shown("", check.renames[i].second).c_str());
        if (check.renames.size() > kShown)
            printf(kCheckMore, check.renames.size() - kShown);
    }
    if (check.reordered)
        fputs(kCheckReordered, stdout);
    if (check.readFailed)
        fputs(kCheckReadFailed, stdout);
    std::string playing = Counted(check.playable, "track", "tracks");
    if (check.UpToDate())
        printf(kCheckUpToDate, playing.c_str());
    else
        printf(kCheckVerdict, playing.c_str(), check.added, check.dropped, check.renames.size());
}

}  // namespace

int CheckPlayerCommand(const std::string& folder) {
    PlayerPlace place;
    SearchOutcome found = FindPlayer(folder, place);
    if (found != SearchOutcome::Found) {
        fprintf(stderr, found == SearchOutcome::NoSuchFolder ? kErrNoFolder : kErrNoPlayer,
                folder.c_str());
        return kExitRefused;
    }
    PosixFileSystem disk(place.top, kDrive);
    SilentLabel label;
    CSyncJob job(disk);
    job.SetStatusLabel(&label);
    CommandProbe probe(kDrive, place.below);
    // The run's own location check: a check refuses exactly where a run would.
    if (!job.CheckLocation(probe)) {
        fprintf(stderr, RefusalLine(job.Location()), EscapeControls(folder).c_str());
        return kExitRefused;
    }
    printf(kPlayerLine, place.top.c_str());
    fflush(stdout);

    // While a run works on the player its folders change under the check.
    auto lock = disk.LockPlayer(job.m_strDbPath);
    if (!lock) {
        if (lock.systemError)
            fprintf(stderr, kErrLock, EscapeControls(place.top).c_str(),
                    strerror(lock.systemError));
        else
            fputs(kErrCheckBusy, stderr);
        return kExitRunNeeded;
    }
    // As a run would: an item left under two names by a cut needs the drive's repair first.
    EarlierRenames earlier = ReadEarlierRenames(disk, job.m_strDbPath);
    if (earlier.shared) {
        fprintf(stderr, kErrRepair, DisplayText(earlier.shared->first, kDrive, place.top).c_str(),
                DisplayText(earlier.shared->second, kDrive, place.top).c_str());
        return kExitRepair;
    }
    std::string dbHost;
    std::vector<uint8_t> bytes;
    ReadResult read =
        disk.HostPath(job.m_strDbPath, dbHost) ? ReadWhole(dbHost, bytes) : ReadResult::Failed;
    if (read == ReadResult::Failed) {
        fputs(kErrCheckRead, stderr);
        return kExitRunNeeded;
    }
    PlayerCheck check = CheckPlayer(disk, job.m_strRootDir, job.m_strDbPath,
                                    read == ReadResult::Read ? &bytes : nullptr);
    std::string shownFolder =
        place.below.empty() ? place.top : (place.top == "/" ? "" : place.top) + "/" + place.below;
    PrintReport(check, place.top, shownFolder);
    fflush(stdout);
    return check.UpToDate() ? kExitUpToDate : kExitRunNeeded;
}
