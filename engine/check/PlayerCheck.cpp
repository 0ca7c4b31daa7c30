#include "check/PlayerCheck.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "check/DryRunFileSystem.h"
#include "run/SyncJob.h"
#include "base/Text.h"

namespace {

// A song counts when its settings are not those a new song gets: an MP3 file played when
// shuffling, nothing else set. The id its spoken name is filed under is the run's own.
KeptSettings Summarize(const OwnerSettings& kept) {
    KeptSettings summary;
    summary.volumeLimit = kept.header[kVolumeLimitAt] != 0;
    summary.voiceOver = kept.header[kVoiceOverAt] != 0;
    summary.playlists = kept.keptLists;
    uint8_t fresh[kKeptRecord] = {};
    fresh[kLaterFileTypeAt - kKeptFrontAt] = 1;
    fresh[kKeptFront + kLaterShuffledAt - kKeptBackAt] = 1;
    constexpr size_t kIdAt = kKeptFront + kLaterSpokenIdAt - kKeptBackAt;
    for (size_t i = 0; i < kept.tracks; ++i) {
        uint32_t song = kept.matched[i] & ~kNotPlain;
        const uint8_t* fields = song ? &kept.fields[(song - 1) * kKeptRecord] : nullptr;
        summary.songs += fields && (std::memcmp(fields, fresh, kIdAt) != 0 ||
                                    std::memcmp(fields + kIdAt + 8, fresh + kIdAt + 8,
                                                kKeptRecord - kIdAt - 8) != 0);
    }
    return summary;
}

}  // namespace

PlayerCheck CheckPlayer(IFileSystem& fs, const std::u16string& rootDir,
                        const std::u16string& dbPath, const std::vector<uint8_t>* dbBytes) {
    PlayerCheck check;
    const std::u16string drive = dbPath.substr(0, 2);
    check.hasDatabase = dbBytes != nullptr;
    if (dbBytes)
        check.database = DecodeDatabase(dbBytes->data(), dbBytes->size());
    const std::u16string tempPath = dbPath + u".new";
    // As a run meets it: a file there is written over, unless it is the only database, which is
    // read whole; what cannot be opened as a file stops every run before its first change.
    std::vector<uint8_t> temp;
    if (fs.Exists(tempPath)) {
        bool opens =
            dbBytes ? fs.OpenInput(tempPath) != nullptr
                    : ReadWholeFile(fs, tempPath, kLargestDatabase, temp) != ReadResult::Failed;
        check.tempError = opens ? 0 : fs.LastError();
        check.temp = opens                      ? TempState::File
                     : fs.IsDirectory(tempPath) ? TempState::Folder
                                                : TempState::Other;
        if (check.temp == TempState::File && !dbBytes)
            check.tempDatabase = DecodeDatabase(temp.data(), temp.size());
    }
    check.leftOverTemp = check.temp == TempState::File;

    // The run's own steps, up to the list it would write, stopping where the run stops.
    DryRunFileSystem dry(fs);
    CSyncJob job(dry);
    job.m_strRootDir = rootDir;
    job.m_strDbPath = dbPath;
    job.Database().ReadFormat();
    check.format = job.Database().Format();
    // The database under two names: a run changes nothing. One that cannot be read is told below.
    if (job.Database().BesideItself() == Likeness::Same) {
        check.shared = RenamePair(dbPath, tempPath);
        return check;
    }
    if (!job.CheckEarlierRenames()) {
        check.shared = job.SharedNames();
        check.sharedMayBeCopies = job.AsksAboutSharedNames();
        check.shared = check.shared->first.empty() ? std::nullopt : check.shared;
        check.recordUnreadable = !check.shared;
        return check;
    }
    check.recordSetAside = job.RecordSetAside();
    check.twoSongs = job.TwoSongs();
    job.PutBackLost();
    check.putBacks = job.PutBacks();
    job.ScanForRename(rootDir);
    check.readFailedBeforeRenames = dry.ReadFailed();
    if (!check.readFailedBeforeRenames) {
        job.RenamePass();
        job.ScanTracks(rootDir);
    } else {
        job.m_lstPaths.Clear();
    }
    check.readFailed = dry.ReadFailed();
    job.NoteLost();
    for (const auto& item : job.LeftOuts()) {
        if (item.why == LeftOutReason::FolderUnreadable || item.why == LeftOutReason::PathTooLong)
            check.passedOver.push_back(item);
        if (item.why == LeftOutReason::LostInCut || item.why == LeftOutReason::FolderSavedAsFile)
            check.lost.push_back(item);
    }
    // A put-back moves a saved chain, or a short alias, under its name: it is no rename.
    for (const auto& [path, newName] : dry.Renames())
        if (std::none_of(check.putBacks.begin(), check.putBacks.end(),
                         [&path = path](const RenamePair& back) { return back.first == path; }))
            check.renames.emplace_back(ToPlayerPath(path), newName);
    check.tracks = job.m_lstPaths.Count();

    // A database cut short or too long says nothing reliable about its tracks: a run writes every
    // track anew. One whose header and length hold still lists them.
    static const std::vector<std::u16string> kNone;
    // A lone complete iTunesSD.new is what a run puts in place first: it is the old database.
    const bool promoted = !check.hasDatabase && check.tempDatabase.Complete();
    const auto& old = check.database.Complete() ? check.database.paths
                      : promoted                ? check.tempDatabase.paths
                                                : kNone;
    // A track under a folder the run cannot open is not missing: that folder is named instead.
    auto unreadable = [&check](const std::u16string& full) {
        for (const auto& folder : check.passedOver)
            if (folder.why == LeftOutReason::FolderUnreadable && IsUnder(full, folder.path))
                return true;
        return false;
    };
    for (const auto& path : old) {
        std::u16string full = FromPlayerPath(drive, path);
        if ((!fs.Exists(full) || fs.IsDirectory(full)) && !unreadable(full))
            check.missing.push_back(path);
    }
    // What a run would keep of its owner's settings, read and followed through its renames as a
    // run does.
    const std::vector<uint8_t>* owner = dbBytes ? dbBytes : promoted ? &temp : nullptr;
    if (check.format == DbFormat::Later && !check.readFailed) {
        OwnerSettings kept;
        if (owner)
            kept.Read(owner->data(), owner->size());
        if (kept.found) {
            job.FollowOwnerSettings(kept);
            check.kept = Summarize(kept);
        }
        // The songs' spoken names, as the run would find them once its database is in place.
        job.DecideSpokenNames(kept.found ? &kept : nullptr);
        job.SpeakNames(true);
        check.speech = job.Speech();
    }
    // What the player makes of records not as Zorbel writes them nobody knows.
    check.playable = check.database.Intact() ? old.size() - check.missing.size() : 0;

    std::unordered_set<std::u16string_view> before(old.begin(), old.end());
    std::unordered_set<std::u16string_view> after(job.m_lstPaths.begin(), job.m_lstPaths.end());
    for (std::u16string_view path : job.m_lstPaths) {
        if (before.count(path))
            continue;
        ++check.added;
        check.unlisted.push_back(ToPlayerPath(dry.OriginalPath(FromPlayerPath(drive, path))));
    }
    std::unordered_set<std::u16string_view> gone(check.missing.begin(), check.missing.end());
    for (const auto& path : old) {
        if (after.count(path))
            continue;
        ++check.dropped;
        if (!gone.count(path) && !unreadable(FromPlayerPath(drive, path)))
            check.leftOut.push_back(path);
    }
    check.reordered =
        check.added == 0 && check.dropped == 0 &&
        !std::equal(old.begin(), old.end(), job.m_lstPaths.begin(), job.m_lstPaths.end());
    return check;
}
