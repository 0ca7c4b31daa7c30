#include "Check.h"

#include <stdio.h>
#include <string.h>

#include <vector>

#include "Messages.h"
#include "PlayerCheck.h"
#include "PlayerSearch.h"
#include "PosixFileSystem.h"
#include "Progress.h"
#include "Report.h"
#include "Strings.h"
#include "SyncJob.h"

namespace {

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

// A player path ("/Music/a.mp3") as the user finds it, shown as a run shows paths.
std::string Shown(const ShownPlayer& player, std::u16string_view playerPath) {
    std::u16string full(player.drive);
    for (char16_t unit : playerPath)
        full.push_back(unit == u'/' ? u'\\' : unit);
    return ShownPath(player, full);
}

void PrintPaths(const ShownPlayer& player, const std::vector<std::u16string>& paths) {
    for (size_t i = 0; i < paths.size() && i < kShown; ++i)
        printf("  %s\n", Shown(player, paths[i]).c_str());
    if (paths.size() > kShown)
        printf(kCheckMore, paths.size() - kShown);
}

void PrintDatabase(const PlayerCheck& check, bool tooLarge, uint64_t size) {
    const DatabaseContents& db = check.database;
    const auto wanted = static_cast<size_t>(DatabaseSize(db.format, db.count));
    fputs(check.format == DbFormat::Later   ? kCheckLayoutLater
          : check.format == DbFormat::Early ? kCheckLayoutEarly
                                            : kCheckLayoutUnknown,
          stdout);
    if (tooLarge)
        printf(kCheckDbTooLarge, static_cast<unsigned long long>(size));
    else if (!check.hasDatabase && check.leftOverTemp && check.tempDatabase.Complete())
        printf(kCheckDbOnlyTempComplete,
               Counted(check.tempDatabase.count, "track", "tracks").c_str());
    else if (!check.hasDatabase)
        fputs(check.leftOverTemp ? kCheckDbOnlyTemp : kCheckDbMissing, stdout);
    else if (db.Intact())
        printf(kCheckDbIntact, Counted(db.count, "track", "tracks").c_str(), db.size);
    else if (!db.wholeHeader)
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
    if (check.temp == TempState::Folder || check.temp == TempState::Other)
        fputs(check.temp == TempState::Folder ? kCheckTempFolder : kCheckTempOther, stdout);
}

void PrintReport(const PlayerCheck& check, const ShownPlayer& player, bool tooLarge,
                 uint64_t size) {
    PrintDatabase(check, tooLarge, size);
    const std::string folder = EscapeControls(player.folder);
    if (!check.missing.empty()) {
        printf(kCheckMissing, check.missing.size(), check.database.paths.size());
        PrintPaths(player, check.missing);
    }
    if (!check.leftOut.empty()) {
        printf(kCheckLeftOut, check.leftOut.size(), check.database.paths.size(), folder.c_str());
        PrintPaths(player, check.leftOut);
    }
    PrintLeftOut(stdout, check.passedOver, player, true);
    if (check.readFailed) {
        // The prediction stops where the run would stop.
        fputs(check.readFailedBeforeRenames ? kCheckReadFailedFirst : kCheckReadFailed, stdout);
        printf(kCheckVerdictRead, Counted(check.playable, "track", "tracks").c_str());
        return;
    }
    // A torn database's line already says that a run writes every track anew.
    if (!check.unlisted.empty() && (!check.hasDatabase || check.database.Complete())) {
        printf(kCheckUnlisted, Counted(check.unlisted.size(), "MP3 file", "MP3 files").c_str(),
               folder.c_str());
        PrintPaths(player, check.unlisted);
    }
    if (!check.renames.empty()) {
        printf(kCheckRenames, check.renames.size());
        for (size_t i = 0; i < check.renames.size() && i < kShown; ++i)
            printf("  %s -> %s\n", Shown(player, check.renames[i].first).c_str(),
                   DisplayText(check.renames[i].second, player.drive, "").c_str());
        if (check.renames.size() > kShown)
            printf(kCheckMore, check.renames.size() - kShown);
    }
    if (check.reordered)
        fputs(kCheckReordered, stdout);
    if (check.kept.Any()) {
        std::string kept = check.kept.volumeLimit ? kKeptVolumeLimit : "";
        auto add = [&kept](const std::string& item) { kept += (kept.empty() ? "" : ", ") + item; };
        if (check.kept.voiceOver)
            add(kKeptVoiceOver);
        if (check.kept.playlists)
            add(Counted(check.kept.playlists, "playlist", "playlists"));
        if (check.kept.songs)
            add(kKeptSongs + Counted(check.kept.songs, "song", "songs"));
        printf(kCheckKept, kept.c_str());
    }
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
    const std::string shown = EscapeControls(folder);
    if (found != SearchOutcome::Found) {
        fprintf(stderr, SearchLine(found), shown.c_str());
        return kExitRefused;
    }
    PosixFileSystem disk(place.top, kDrive);
    SilentLabel label;
    CSyncJob job(disk);
    job.SetStatusLabel(&label);
    CommandProbe probe(kDrive, place.below);
    // The run's own location check: a check refuses exactly where a run would.
    if (!job.CheckLocation(probe)) {
        fprintf(stderr, RefusalLine(job.Location()), shown.c_str());
        return kExitRefused;
    }
    printf(kPlayerLine, EscapeControls(place.top).c_str());
    fflush(stdout);

    // While a run works on the player its folders change under the check.
    auto lock = disk.LockPlayer(job.m_strDbPath);
    if (!lock) {
        if (lock.systemError)
            fprintf(stderr, kErrLock, EscapeControls(place.top).c_str(),
                    strerror(lock.systemError));
        else
            fputs(kErrCheckBusy, stderr);
        return kExitCannotCheck;
    }
    // As a run would: an item left under two names by a cut needs the drive's repair first.
    const ShownPlayer player{kDrive, place.top, FolderShown(place)};
    EarlierRenames earlier = ReadEarlierRenames(disk, job.m_strDbPath);
    if (earlier.shared) {
        fprintf(stderr, kErrRepair, ShownPath(player, earlier.shared->first).c_str(),
                ShownPath(player, earlier.shared->second).c_str());
        return kExitNeedsRepair;
    }
    // Read only up to the largest database there is: a huge file is not taken into memory.
    std::vector<uint8_t> bytes;
    ReadResult read = ReadResult::Failed;
    uint64_t size = 0;
    bool present = disk.Exists(job.m_strDbPath);
    if (present) {
        read = ReadWholeFile(disk, job.m_strDbPath, kLargestDatabase, bytes);
        if (auto file = disk.OpenInput(job.m_strDbPath))
            size = file->Size();
        if (read == ReadResult::Failed) {
            fprintf(stderr, kErrCheckRead, strerror(disk.LastError()));
            return kExitCannotCheck;
        }
    }
    PlayerCheck check = CheckPlayer(disk, job.m_strRootDir, job.m_strDbPath,
                                    read == ReadResult::Read ? &bytes : nullptr);
    PrintReport(check, {kDrive, place.top, FolderShown(place)}, read == ReadResult::TooLarge, size);
    fflush(stdout);
    return check.UpToDate() ? kExitDone : kExitFailed;
}
