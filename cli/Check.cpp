#include "Check.h"

#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <vector>

#include "base/Messages.h"
#include "check/PlayerCheck.h"
#include "EspeakVoice.h"
#include "PlayerSearch.h"
#include "PosixFileSystem.h"
#include "Progress.h"
#include "Report.h"
#include "SpokenNotes.h"
#include "Strings.h"
#include "run/SyncJob.h"

namespace {

constexpr char16_t kDrive[] = u"P:";

// The check prints its own report: the location check's texts are not shown.
class SilentLabel : public IStatusLabel {
public:
    int SetLinkText(std::u16string_view, int) override { return 1; }
    int SetPlain(int) override { return 1; }
    void InvalidateParent() override {}
    void SetProgress(RunPhase, size_t, std::u16string_view) override {}
    void SetOutcome(RunOutcome, int) override {}
};

// True when the list was cut to `limit`.
bool PrintPaths(const ShownPlayer& player, const std::vector<std::u16string>& paths, size_t limit) {
    for (size_t i = 0; i < paths.size() && i < limit; ++i)
        printf("  %s\n", ShownPlayerPath(player, paths[i]).c_str());
    if (paths.size() <= limit)
        return false;
    printf(kMore, paths.size() - limit);
    return true;
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
    else if (db.size == 0)
        fputs(kCheckDbEmpty, stdout);  // what a new player is given, as the README says
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
        printf(check.temp == TempState::Folder ? kCheckTempFolder : kCheckTempOther,
               Reason(check.tempError ? strerror(check.tempError) : "").c_str());
}

// True when a list was cut to `limit`. `speaks`: set when a run would speak a name.
bool PrintReport(const PlayerCheck& check, const ShownPlayer& player, bool tooLarge, uint64_t size,
                 size_t limit, bool& speaks) {
    PrintDatabase(check, tooLarge, size);
    if (!check.recordSetAside.empty())
        printf(kCheckRecordSetAside, ShownPath(player, check.recordSetAside).c_str());
    PrintTwoSongs(check.twoSongs, player, true);
    for (const auto& [chain, to] : check.putBacks)
        printf(kCheckPutBack, ShownPath(player, chain).c_str(), ShownPath(player, to).c_str());
    const std::string folder = DisplayPath(player.folder);
    bool cut = PrintLeftOut(stdout, check.lost, player, true, limit);
    if (!check.missing.empty()) {
        printf(kCheckMissing, check.missing.size(), check.database.paths.size());
        cut = PrintPaths(player, check.missing, limit) || cut;
    }
    if (!check.leftOut.empty()) {
        printf(kCheckLeftOut, check.leftOut.size(), check.database.paths.size(), folder.c_str());
        cut = PrintPaths(player, check.leftOut, limit) || cut;
    }
    cut = PrintLeftOut(stdout, check.passedOver, player, true, limit) || cut;
    if (check.readFailed) {
        // The prediction stops where the run would stop.
        fputs(check.readFailedBeforeRenames ? kCheckReadFailedFirst : kCheckReadFailed, stdout);
        printf(kCheckVerdictRead, Counted(check.playable, "track", "tracks").c_str());
        return cut;
    }
    // A torn database's line already says that a run writes every track anew.
    if (!check.unlisted.empty() && (!check.hasDatabase || check.database.Complete())) {
        printf(kCheckUnlisted, Counted(check.unlisted.size(), "MP3 file", "MP3 files").c_str(),
               folder.c_str());
        cut = PrintPaths(player, check.unlisted, limit) || cut;
    }
    if (!check.renames.empty()) {
        printf(kCheckRenames, check.renames.size());
        for (size_t i = 0; i < check.renames.size() && i < limit; ++i)
            printf("  %s -> %s\n", ShownPlayerPath(player, check.renames[i].first).c_str(),
                   DisplayText(check.renames[i].second, player.drive, "").c_str());
        if (check.renames.size() > limit) {
            printf(kMore, check.renames.size() - limit);
            cut = true;
        }
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
    EspeakVoice voice;
    speaks = PrintSpokenForecast(stdout, check.speech, voice.Available());
    std::string playing = Counted(check.playable, "track", "tracks");
    std::string leftOut = CountLeftOut(check.passedOver);
    if (check.temp == TempState::Folder || check.temp == TempState::Other)
        printf(kCheckVerdictRead, playing.c_str());  // the run stops before its first change
    else if (check.UpToDate() && !speaks)
        printf(kCheckUpToDate, playing.c_str());
    else
        printf(kCheckVerdict, playing.c_str(), check.added, check.dropped, check.renames.size(),
               leftOut.empty() ? "" : FormatLine(kCheckVerdictLeftOut, leftOut).c_str());
    return cut;
}

}  // namespace

int CheckPlayerCommand(const std::string& folder) {
    PlayerPlace place;
    SearchOutcome found = FindPlayer(folder, place);
    if (found != SearchOutcome::Found) {
        PrintSearchRefusal(found, folder, place);
        return kExitRefused;
    }
    PosixFileSystem disk(place.top, kDrive);
    SilentLabel label;
    CSyncJob job(disk);
    job.SetStatusLabel(&label);
    CommandProbe probe(kDrive, place.below);
    // The run's own location check: a check refuses exactly where a run would.
    if (!job.CheckLocation(probe)) {
        fprintf(stderr, RefusalLine(job.Location()), DisplayPath(FolderShown(place)).c_str());
        return kExitRefused;
    }
    printf(kPlayerLine, DisplayPath(place.top).c_str());
    fflush(stdout);

    // While a run works on the player its folders change under the check.
    auto lock = disk.LockPlayer(job.m_strDbPath);
    if (!lock) {
        if (lock.systemError)
            fprintf(stderr, kErrLock, DisplayPath(place.top).c_str(), strerror(lock.systemError));
        else
            fputs(kErrCheckBusy, stderr);
        return kExitCannotCheck;
    }
    const ShownPlayer player{kDrive, place.top, FolderShown(place)};
    // Read only up to the largest database there is: a huge file is not taken into memory.
    std::vector<uint8_t> bytes;
    ReadResult read = ReadResult::Failed;
    uint64_t size = 0;
    bool present = disk.Exists(job.m_strDbPath);
    if (present) {
        read = ReadWholeFile(disk, job.m_strDbPath, kLargestDatabase, bytes);
        // The reason is the failed read's own, taken before anything else is asked.
        if (read == ReadResult::Failed) {
            fprintf(stderr, kErrCheckRead, strerror(disk.LastError()));
            return kExitCannotCheck;
        }
        if (auto file = disk.OpenInput(job.m_strDbPath))
            size = file->Size();
    }
    PlayerCheck check = CheckPlayer(disk, job.m_strRootDir, job.m_strDbPath,
                                    read == ReadResult::Read ? &bytes : nullptr);
    // As a run would: an item left under two names by a cut needs the drive's repair first.
    if (check.shared) {
        PrintRepair(*check.shared, player, check.sharedMayBeCopies);
        return kExitNeedsRepair;
    }
    if (check.recordUnreadable) {
        fprintf(stderr, kErrCheckRecord, strerror(disk.LastError()));
        return kExitCannotCheck;
    }
    const bool terminal = isatty(STDOUT_FILENO) != 0;
    bool speaks = false;
    if (PrintReport(check, player, read == ReadResult::TooLarge, size, ListLimit(terminal), speaks))
        printf(kAllPaths, kShownOnTerminal, ShellWord(DisplayPath(player.folder)).c_str());
    fflush(stdout);
    return check.UpToDate() && !speaks ? kExitDone : kExitFailed;
}
