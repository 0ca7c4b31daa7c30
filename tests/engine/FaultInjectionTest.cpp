// Whole runs on a representative player while the file system fails: every operation of a clean
// run is made to fail in turn, and each run must still leave a sound player behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <new>
#include <set>

#include "database/Database.h"
#include "DatabaseFile.h"
#include "EngineFixture.h"
#include "ToneVoice.h"
#include "database/LaterDatabase.h"
#include "base/Messages.h"
#include "check/PlayerCheck.h"
#include "record/RenameRecord.h"
#include "RunInvariants.h"
#include "base/Text.h"

namespace {

// Wide files and folders, collisions with earlier runs' names, nesting, a folder named like a
// track, and files that must be left alone.
const char16_t* const kTree[] = {
    u"\\\u7532.mp3",
    u"\\ST_FILE_1.mp3",
    u"\\plain.MP3",
    u"\\\u6B4C\u624B\\\u4E59.Mp3",
    u"\\\u6B4C\u624B\\a.mp3",
    u"\\\u6B4C\u624B\\\u6DF1\\\u4E19.mp3",
    u"\\\u6B4C\u624B\\\u6DF1\\ST_FILE_1.mp3",
    u"\\\u6B4C\u624B\\note \u4E01.txt",
    u"\\ST_DIR_1\\z.mp3",
    u"\\Outer\\\u4E13\u8F91\\x.mp3",
    u"\\Outer\\cover.jpg",
    u"\\\u7A7A\\sub\\y.mp3",
    u"\\mix.mp3\\w.mp3",
};

// What the owner of a later-generation player set, in a database another writer laid out: a
// volume limit, VoiceOver on and two header bytes nobody knows; songs of the tree (a renamed one,
// one in a renamed folder, one renamed in a renamed folder, two kept as they are) and one gone,
// each record's kept bytes its own; playlists of every kind, with a song gone and an entry that
// points nowhere, and one of the song gone alone, last, each with the 68-byte head older writers
// give a playlist. The song gone had a name the run gives a new song (丙.mp3): its settings and
// playlists are no new song's.
const struct {
    const char16_t* file;  // in kTree; null for the song gone
    const char* path;      // as the old database names it
} kOwnedSongs[] = {
    {u"\\\u7532.mp3", u8"/Music/\u7532.mp3"},
    {u"\\plain.MP3", "/Music/plain.MP3"},
    {u"\\\u6B4C\u624B\\\u4E59.Mp3", u8"/Music/\u6B4C\u624B/\u4E59.Mp3"},
    {u"\\\u6B4C\u624B\\a.mp3", u8"/Music/\u6B4C\u624B/a.mp3"},
    {nullptr, u8"/Music/\u6B4C\u624B/\u6DF1/ST_FILE_2.mp3"},
    {u"\\mix.mp3\\w.mp3", "/Music/mix.mp3/w.mp3"},
};
const struct {
    uint8_t id;  // the first of its 8 id bytes
    uint8_t kind;
    std::vector<uint32_t> songs;
} kOwnedLists[] = {{0xA1, 2, {3, 4, 0, 77}}, {0xB1, 3, {2}}, {0xC1, 4, {5, 1}}, {0xD1, 2, {4}}};
const size_t kOwnerHeaderBytes[] = {22, 28, 29, 50};

// A record's bytes that its owner set: all but its tag, length and path.
bool OwnerByte(size_t at) {
    return (at >= 8 && at < 24) || at >= 280;
}

uint8_t OwnedByte(size_t song, size_t at) {
    return static_cast<uint8_t>(37 * song + at);
}

Bytes OwnersDatabase() {
    LaterContents contents;
    for (size_t at : kOwnerHeaderBytes)
        contents.header[at] = static_cast<uint8_t>(at + 1);
    for (size_t song = 0; song < std::size(kOwnedSongs); ++song) {
        Bytes record(372);
        for (size_t at = 0; at < record.size(); ++at)
            record[at] = OwnerByte(at) ? OwnedByte(song, at) : 0;
        contents.tracks.emplace_back(kOwnedSongs[song].path, record);
    }
    for (const auto& list : kOwnedLists) {
        Bytes head(28);
        head[0] = list.id;
        head[8] = list.kind;
        contents.playlists.emplace_back(head, list.songs);
    }
    contents.listHead = 68;
    return LayOutLater(contents);
}

// A database cut short by some earlier crash: known bytes that no run can produce, in either
// generations' layout; the later one an owner's.
Bytes OldDatabase(bool later = false) {
    Bytes db = later ? OwnersDatabase() : Bytes();
    if (!later) {
        PathList gone;
        gone.Append(u"/gone.mp3");
        auto append = [&db](const uint8_t* at, size_t n) {
            db.insert(db.end(), at, at + n);
            return true;
        };
        EncodeEarlyDatabase(gone, SinkTo(append));
    }
    db.pop_back();
    return db;
}

// Nothing the owner set is lost from a new database: the header's settings, each song still on
// the player with its own record but the path (found by its bytes, whatever its name now), each
// playlist with its songs still listed, in order, with its id and kind, the one left empty gone.
std::string OwnerSettingsLost(MemoryFileSystem& fs, const Bytes& written) {
    std::string why;
    auto db = ParseDatabase(written, &why);
    if (!db)
        return why;
    for (size_t at : kOwnerHeaderBytes)
        if (db->header[at] != at + 1)
            return "header byte " + std::to_string(at) + " lost";
    // Each owned song's track in the new database, or -1 when it is gone.
    auto snapshot = fs.Snapshot();
    std::vector<int> tracks;
    for (const auto& song : kOwnedSongs) {
        tracks.push_back(-1);
        for (const auto& [path, bytes] : snapshot)
            if (song.file && bytes && *bytes == ContentOf(song.file)) {
                auto at = std::find(db->names.begin(), db->names.end(), ToPlayerPath(path));
                tracks.back() = at == db->names.end() ? -2 : int(at - db->names.begin());
            }
        if (tracks.back() == -2)
            return "a song is not in the new database";
    }
    for (size_t song = 0; song < tracks.size(); ++song)
        for (size_t at = 0; tracks[song] >= 0 && at < 372; ++at)
            if (OwnerByte(at) && db->records[tracks[song]][at] != OwnedByte(song, at))
                return "a setting of song " + std::to_string(song) + " lost";
    // Any other track is a new song's, whatever name it took: its own spoken name's id aside.
    for (size_t track = 0; track < db->records.size(); ++track)
        for (size_t at = 0; at < 372 && std::count(tracks.begin(), tracks.end(), int(track)) == 0;
             ++at)
            if (OwnerByte(at) && (at < 328 || at >= 336) &&
                db->records[track][at] != (at == 20 || at == 284 ? 1 : 0))
                return "track " + std::to_string(track) + " has settings no new song has";
    std::vector<Bytes> lists;
    for (const auto& list : kOwnedLists) {
        Bytes chunk;
        for (uint32_t song : list.songs)
            for (int i = 0; song < tracks.size() && tracks[song] >= 0 && i < 4; ++i)
                chunk.push_back(static_cast<uint8_t>(tracks[song] >> 8 * i));
        if (!chunk.empty()) {
            chunk.insert(chunk.begin(), 44, 0);
            chunk[16] = list.id;
            chunk[24] = list.kind;
            lists.push_back(chunk);
        }
    }
    if (db->playlists.size() != lists.size())
        return "the playlists kept are not the owner's that keep a song";
    for (size_t i = 0; i < lists.size(); ++i)
        if (!std::equal(lists[i].begin() + 16, lists[i].end(), db->playlists[i].begin() + 16,
                        db->playlists[i].end()))
            return "playlist " + std::to_string(i) + " lost its id, kind or songs";
    return "";
}

// A complete database that lists no track of the tree: what a cut-short replace leaves.
Bytes CompleteOldDatabase() {
    auto header = MakeDbHeader(1);
    Bytes db(header.begin(), header.end());
    db.resize(kDbHeaderSize + kDbRecordSize);
    FillDbRecord(u"/gone.mp3", db.data() + kDbHeaderSize);
    return db;
}

// What a run may find where the database lives: what the last program, cut or failure left.
enum class Start {
    TornDatabase,  // iTunesSD cut short
    OnlyNew,       // no iTunesSD, only a complete iTunesSD.new
    NewIsFolder,   // a torn iTunesSD and a folder named iTunesSD.new
    BothFiles,     // a torn iTunesSD and a complete iTunesSD.new
};

// Every path but the database's own files.
std::set<std::u16string> PathsOf(const MemoryFileSystem& fs) {
    std::set<std::u16string> paths;
    for (const auto& entry : fs.Snapshot())
        if (entry.first.compare(0, kDb.size(), kDb) != 0)
            paths.insert(entry.first);
    return paths;
}

struct Player {
    explicit Player(const std::u16string& root, Start start = Start::TornDatabase,
                    bool windowsReplace = false, bool later = false,
                    const std::vector<std::u16string>& more = {}) {
        fs.replaceRemovesTargetFirst = windowsReplace;
        if (start != Start::OnlyNew)
            fs.AddFile(kDb, OldDatabase(later));
        if (start == Start::NewIsFolder)
            fs.AddFolder(kDb + u".new");
        else if (start != Start::TornDatabase)
            fs.AddFile(kDb + u".new", CompleteOldDatabase());
        for (const auto& file : more)
            fs.AddFile(root + file, ContentOf(file));
        for (const auto* file : kTree)
            fs.AddFile(root + file, ContentOf(file));
        // A path the later layout's record cannot hold (255 UTF-8 bytes), in a folder kept wide.
        if (later)
            fs.AddFile(root + u"\\" + std::u16string(85, u'\u6B4C') + u"\\deep\\long.mp3");
        job.SetStatusLabel(&label);
        job.SetVoice(&voice);
        FakeProbe probe(root + u"\\Zorbel.exe", true);
        job.CheckLocation(probe);
        fs.operations = 0;  // the check is not part of the run
        before = TakeBaseline(fs, root, kDb);
        paths = PathsOf(fs);
    }
    MemoryFileSystem fs;
    RecordingStatusLabel label;
    ToneVoice voice;
    CSyncJob job{fs};
    RunBaseline before;
    std::set<std::u16string> paths;
};

bool IsWriting(FsOp op) {
    return op == FsOp::Create || op == FsOp::Write || op == FsOp::Flush ||
           op == FsOp::FlushFolder || op == FsOp::Close;
}

bool IsListing(FsOp op) {
    return op == FsOp::List || op == FsOp::ListNext;
}

// Reading the database: its layout unknown, a run writes no database over it.
bool IsDatabaseRead(FsOp op) {
    return op == FsOp::Open || op == FsOp::Read;
}

// Each operation of a clean run fails in turn, or runs out of memory in turn, on each state a
// player may be found in. Only a failed listing, the lock, reading the database and the writer's
// own steps may cost the new database, the outcome must say which, and the player never has less
// database than before: a failed listing in either scan stops the run before any rename.
TEST(FaultInjection, EachOperationOfARunFailingInTurn) {
    const struct {
        std::u16string root;
        Start start;
        bool windowsReplace;  // the target removed before the move, as Windows' FAT driver does
        bool later;           // a third or fourth generation player
    } players[] = {
        {u"E:", Start::TornDatabase, false, false},
        {u"E:\\Music", Start::TornDatabase, false, false},
        {u"E:\\Music", Start::TornDatabase, true, false},
        {u"E:\\Music", Start::TornDatabase, false, true},
        {u"E:\\Music", Start::OnlyNew, false, false},
        {u"E:\\Music", Start::OnlyNew, true, false},
        {u"E:\\Music", Start::NewIsFolder, false, false},
        {u"E:\\Music", Start::BothFiles, true, false},
    };
    std::set<FsOp> failed;
    for (const auto& [root, start, windowsReplace, later] : players) {
        SCOPED_TRACE(Printable(root) + " start " + std::to_string(static_cast<int>(start)) +
                     (windowsReplace ? ", Windows' replace" : "") +
                     (later ? ", later generation" : ""));
        // The clean run, step by step, to learn where the track scan and the writer begin.
        Player clean(root, start, windowsReplace, later);
        // A run that stops before its scans reaches neither.
        size_t renamesFrom = SIZE_MAX, scanFrom = SIZE_MAX, writerFrom = SIZE_MAX;
        // A later generation's spoken names, once its database is in place, begin with a look
        // into Speakable\Tracks.
        size_t speakFrom = SIZE_MAX;
        clean.fs.failWhen = [&](FsOp, const std::u16string& path) {
            if (speakFrom == SIZE_MAX && path.find(u"\\Speakable") != std::u16string::npos)
                speakFrom = clean.fs.operations - 1;
            return false;
        };
        RunOutcome cleanOutcome = clean.job.Run([&](int step) {
            if (step == 0)
                renamesFrom = clean.fs.operations;
            if (step == 1)
                scanFrom = clean.fs.operations;
            if (step == 2)
                writerFrom = clean.fs.operations;
        });
        size_t total = clean.fs.operations;
        ASSERT_EQ(CheckRun(clean.before, clean.fs, clean.label), "");
        ASSERT_EQ(speakFrom != SIZE_MAX, later);
        if (later) {
            ASSERT_EQ(clean.job.Speech().spoken, 11u);
        }
        // Only a folder in the temporary file's place keeps every run from writing.
        ASSERT_EQ(cleanOutcome,
                  start == Start::NewIsFolder ? RunOutcome::DatabaseNotWritten : RunOutcome::Done);
        if (cleanOutcome == RunOutcome::Done) {
            ASSERT_EQ(ParseDatabase(clean.fs.Read(kDb))->count, 11u);
            ASSERT_EQ(ParseDatabase(clean.fs.Read(kDb))->later, later);
            // Every song but the one gone keeps its settings, every playlist but the last.
            ASSERT_EQ(ParseDatabase(clean.fs.Read(kDb))->playlists.size(), later ? 3u : 0u);
            if (later) {
                ASSERT_EQ(OwnerSettingsLost(clean.fs, clean.fs.Read(kDb)), "");
            }
        }
        ASSERT_EQ(std::count_if(
                      clean.job.LeftOuts().begin(), clean.job.LeftOuts().end(),
                      [](const LeftOut& item) { return item.why == LeftOutReason::PathTooLong; }),
                  later ? 1 : 0);
        // A run that could write no database stops before its first rename.
        if (start == Start::NewIsFolder)
            ASSERT_EQ(PathsOf(clean.fs), clean.paths);
        else
            ASSERT_TRUE(clean.fs.HasFile(root + u"\\ST_DIR_2\\ST_DIR_1\\ST_FILE_2.mp3"));

        for (bool outOfMemory : {false, true}) {
            for (size_t i = 0; i < total; ++i) {
                Player run(root, start, windowsReplace, later);
                std::optional<FsOp> fault;
                std::u16string faultPath;
                run.fs.failWhen = [&](FsOp op, const std::u16string& path) {
                    if (run.fs.operations - 1 != i)
                        return false;
                    fault = op;
                    faultPath = path;
                    if (outOfMemory)
                        throw std::bad_alloc();
                    return true;
                };
                RunOutcome outcome = run.job.Run();
                ASSERT_TRUE(fault) << "operation " << i << " never came";
                failed.insert(*fault);
                SCOPED_TRACE("operation " + std::to_string(i) + ": " + FsOpName(*fault) +
                             (outOfMemory ? ", out of memory" : ""));
                EXPECT_EQ(CheckRun(run.before, run.fs, run.label), "");
                // A new database keeps what the owner set; an old one kept is as it was.
                if (later &&
                    (outcome == RunOutcome::Done || outcome == RunOutcome::DatabaseNotDurable ||
                     outcome == RunOutcome::DatabaseNotReplaced)) {
                    EXPECT_EQ(OwnerSettingsLost(
                                  run.fs, run.fs.Read(outcome == RunOutcome::DatabaseNotReplaced
                                                          ? kDb + u".new"
                                                          : kDb)),
                              "");
                }
                RunOutcome expected = cleanOutcome;
                // Before the first rename only the record of the renames is written; letting it
                // go once the database is in place is the only removal of a clean run.
                bool recordWrite = i >= renamesFrom && i < writerFrom && IsWriting(*fault);
                bool databaseRead =
                    IsDatabaseRead(*fault) && (faultPath == kDb || faultPath == kDb + u".new");
                // An item's identity that cannot be read is recorded as unknown.
                bool identityRead = i >= renamesFrom && i < scanFrom &&
                                    (IsListing(*fault) || IsDatabaseRead(*fault));
                // The writer's looks at the database in place, to leave an equal one alone, and
                // for a second name at its temporary one: failing, it only writes.
                bool inPlaceRead = (databaseRead || *fault == FsOp::Exists) && i >= writerFrom;
                // Once the database is in place, nothing the spoken names meet can undo it.
                if (i >= speakFrom)
                    expected = RunOutcome::Done;
                else if ((*fault == FsOp::Remove || identityRead || inPlaceRead) && !outOfMemory)
                    expected = cleanOutcome;
                // A lone .new put in place without confirmation: the run's own replace confirms it.
                else if (*fault == FsOp::Sync)
                    expected = i >= writerFrom ? RunOutcome::DatabaseNotDurable : cleanOutcome;
                else if (*fault == FsOp::Replace && windowsReplace && !outOfMemory &&
                         i >= writerFrom)
                    expected = RunOutcome::DatabaseNotReplaced;  // beside the removed old one
                // Out of memory is said as itself, never as a failing player.
                else if (outOfMemory)
                    expected = RunOutcome::OutOfMemory;
                else if (i >= writerFrom || databaseRead || recordWrite)
                    expected = RunOutcome::DatabaseNotWritten;
                else if (*fault == FsOp::Prepare || *fault == FsOp::RenameSync)
                    expected = RunOutcome::RenameFailed;
                else if (*fault == FsOp::Lock)
                    expected = RunOutcome::LockUnavailable;
                else if (IsListing(*fault))
                    expected = RunOutcome::ReadFailed;
                // Putting a lone .new in place first: a move that fails stops the run.
                else if (start == Start::OnlyNew && i < renamesFrom && faultPath == kDb + u".new" &&
                         *fault == FsOp::Replace)
                    expected = RunOutcome::DatabaseNotWritten;
                EXPECT_EQ(outcome, expected) << OutcomeName(outcome);
                EXPECT_EQ(run.label.outcome, expected);
                EXPECT_EQ(run.job.Outcome(), expected);
                // A run stopped by the lock or a read failure in the rename scan changes no name.
                if (expected != cleanOutcome && i < renamesFrom && !IsDatabaseRead(*fault)) {
                    EXPECT_EQ(PathsOf(run.fs), run.paths);
                }
            }
        }
        std::printf("%s, start %d%s%s: %zu fault points tried, each failing and out of memory\n",
                    Printable(root).c_str(), static_cast<int>(start),
                    windowsReplace ? ", Windows' replace" : "", later ? ", later generation" : "",
                    total);
    }
    EXPECT_EQ(failed, (std::set<FsOp>{
                          FsOp::Lock,    FsOp::List,        FsOp::ListNext,   FsOp::IsDirectory,
                          FsOp::Exists,  FsOp::Rename,      FsOp::Create,     FsOp::Write,
                          FsOp::Flush,   FsOp::Close,       FsOp::Replace,    FsOp::Sync,
                          FsOp::Prepare, FsOp::RenameSync,  FsOp::Open,       FsOp::Read,
                          FsOp::Remove,  FsOp::FlushFolder, FsOp::MakeFolder, FsOp::FreeSpace}));
}

// One more run on the player as it stands, from the program in `root`.
struct NextRun {
    NextRun(MemoryFileSystem& fs, const std::u16string& root) : job(fs) {
        job.SetStatusLabel(&label);
        FakeProbe probe(root + u"\\Zorbel.exe", true);
        job.CheckLocation(probe);
        outcome = job.Run();
    }
    size_t Lost() const {
        return static_cast<size_t>(std::count_if(
            job.LeftOuts().begin(), job.LeftOuts().end(),
            [](const LeftOut& item) { return item.why == LeftOutReason::LostInCut; }));
    }
    RecordingStatusLabel label;
    CSyncJob job;
    RunOutcome outcome;
};

// After a cut and the runs that followed it: every song's bytes there exactly once, under a name
// the database lists, and no saved chain left that was a song.
std::string NothingLost(const RunBaseline& before, MemoryFileSystem& fs) {
    std::multiset<Bytes> files;
    for (const auto& [path, bytes] : fs.Snapshot())
        if (bytes && path.compare(0, kDb.size(), kDb) != 0)
            files.insert(*bytes);
    if (files != before.files)
        return "songs lost, doubled or changed: " + std::to_string(files.size()) + " files, " +
               std::to_string(before.files.size()) + " before";
    auto db = ParseDatabase(fs.Read(kDb));
    if (!db || db->names != TracksOnDisk(fs, before.rootDir))
        return "the database does not list the songs on the player once each";
    return "";
}

// The player unplugged at any moment of a run: from then on every operation fails. Nothing that
// was done may be undone, and the label must not claim a database that never landed. On Windows'
// FAT driver a cut inside a rename that changes the name's entry count leaves the item with no
// name: the next run names it and lists the rest, and after the drive's check (chkdsk's names, or
// dosfstools') the run after puts it back. Nothing lost, nothing doubled, every song listed once.
TEST(FaultInjection, MediumGoneAtEveryMoment) {
    // Names whose new ones take fewer directory entries: Windows' driver removes, then writes.
    // The run's first new name goes to Album's first song: were it not kept while that song is
    // lost, the next run would give it to the second.
    const std::vector<std::u16string> longNames = {
        u"\\Album\\\u4E00\u4E8C\u4E09\u56DB\u4E94\u516D\u4E03\u516B\u4E5D\u5341\u4E00\u4E8C\u4E09."
        u"mp3",
        u"\\Album\\\u4E01.mp3",
        u"\\\u4E00\u4E8C\u4E09\u56DB\u4E94\u516D\u4E03\u516B\u4E5D\u5341\u4E00\u4E8C\u4E09\u56DB."
        u"mp3",
        u"\\\u5F88\u957F\u5F88\u957F\u7684\u4E13\u8F91\u540D\u5B57\u5728\u8FD9\u91CC\u771F\u7684\\a"
        u".mp3",
    };
    size_t cuts = 0, nameless = 0, putBack = 0;
    for (bool windows : {false, true}) {
        auto player = [&] {
            auto made = std::make_unique<Player>(u"E:\\Music", Start::TornDatabase, false, false,
                                                 longNames);
            made->fs.renameRemovesFirst = windows;
            return made;
        };
        // Where the record goes, once every rename is confirmed.
        auto clean = player();
        size_t recordGone = 0;
        clean->fs.failWhen = [&](FsOp op, const std::u16string& path) {
            if (op == FsOp::Remove && path == RenameRecordPath(kDb))
                recordGone = clean->fs.operations;
            return false;
        };
        clean->job.Run();
        size_t total = clean->fs.operations;
        // The drive checked by chkdsk, and again from the same cut by fsck.fat, which saves a
        // folder as a file of its raw entries: then the folder is named, never guessed.
        auto cutAt = [&](size_t i, bool dosfstools) {
            SCOPED_TRACE(std::string(windows ? "Windows' rename, " : "") + "gone from operation " +
                         std::to_string(i) + (dosfstools ? ", fsck.fat" : ""));
            auto run = player();
            bool gone = false;
            run->fs.failWhen = [&](FsOp op, const std::u16string&) {
                gone = gone || run->fs.operations - 1 == i;
                return gone && op != FsOp::Close;  // a handle closes; nothing reaches the medium
            };
            run->job.Run();
            run->fs.failWhen = nullptr;
            bool replaced = run->fs.Read(kDb) != OldDatabase();
            if (replaced)
                EXPECT_TRUE(run->label.outcome == RunOutcome::Done ||
                            run->label.outcome == RunOutcome::DatabaseNotDurable);
            else
                EXPECT_NE(run->label.outcome, RunOutcome::Done);
            // Every name a rename gave was recorded before it: a cut in the middle of that rename
            // would have left the item under both names, or none, which only the record tells.
            // Once every rename is confirmed the record goes.
            const std::u16string record = RenameRecordPath(kDb);
            std::vector<RecordEntry> pairs;
            MemoryFileSystem durable;
            durable.AddFile(record, run->fs.ReadDurable(record));
            DecodeRenameRecord(*durable.OpenInput(record), u"E:", pairs);
            for (const auto& path : PathsOf(run->fs)) {
                bool recorded = run->paths.count(path) || path == record || path == kDb + u".new";
                for (const auto& pair : pairs)
                    recorded = recorded || path.rfind(pair.to, 0) == 0;
                EXPECT_TRUE(recorded || replaced || i >= recordGone)
                    << Printable(path) << " not in the record";
            }
            std::string problems = CheckRun(run->before, run->fs, run->label);
            // A write that failed leaves the temporary file behind: its removal failed too.
            if (!replaced && run->fs.HasFile(kDb + u".new"))
                EXPECT_EQ(problems, "the temporary database was left behind");
            else
                EXPECT_EQ(problems, "");

            // The next run: the nameless item named, everything else listed.
            const bool lost = !run->fs.NamelessFiles().empty();
            const bool folder = run->fs.NamelessFolders() > 0;
            RunBaseline beforeNext = TakeBaseline(run->fs, u"E:\\Music", kDb);
            NextRun next(run->fs, u"E:\\Music");
            EXPECT_EQ(next.outcome, lost ? RunOutcome::SongsLost : RunOutcome::Done);
            EXPECT_EQ(next.Lost(), lost ? 1u : 0u);
            EXPECT_EQ(CheckRun(beforeNext, run->fs, next.label), "");
            // The drive's check saves it; the run after puts it back, as the check foretold.
            run->fs.CheckDrive(dosfstools);
            auto db = run->fs.Read(kDb);
            PlayerCheck foretold = CheckPlayer(run->fs, u"E:\\Music", kDb, &db);
            NextRun after(run->fs, u"E:\\Music");
            const bool named = dosfstools && folder;
            EXPECT_EQ(after.outcome, named ? RunOutcome::SongsLost : RunOutcome::Done)
                << OutcomeName(after.outcome);
            EXPECT_EQ(after.job.PutBacks().size(), lost && !named ? 1u : 0u);
            EXPECT_EQ(foretold.putBacks, after.job.PutBacks());
            EXPECT_EQ(foretold.lost.size(), after.job.LeftOuts().size());
            if (!named) {
                EXPECT_EQ(NothingLost(run->before, run->fs), "");
                EXPECT_FALSE(run->fs.HasFile(record));
            } else {
                EXPECT_EQ(after.Lost(), 1u);
                EXPECT_EQ(after.job.LeftOuts().back().why, LeftOutReason::FolderSavedAsFile);
            }
            cuts += 1;
            nameless += lost;
            putBack += after.job.PutBacks().size();
            return lost;
        };
        for (size_t i = 0; i < total; ++i)
            if (cutAt(i, false))
                cutAt(i, true);
    }
    std::printf("%zu cuts, %zu leaving an item with no name, %zu put back\n", cuts, nameless,
                putBack);
    EXPECT_GT(nameless, 0u);
}

// A cut inside a replace on FAT can leave the database, or the record of renames, under its
// temporary name too, both entries naming one chain of clusters: writing or removing either name
// frees the data the other names. Until the drive's check every run stops before any change, as
// --check foretells, and whichever operation of it fails the database keeps its bytes and every
// song is there; after the check a run ends well, the database whole.
TEST(FaultInjection, FileUnderTwoNamesIsNeverEmptied) {
    const std::u16string record = RenameRecordPath(kDb);
    for (const std::u16string& path : {kDb, record}) {
        SCOPED_TRACE(Printable(path));
        auto player = [&] {
            auto made = std::make_unique<Player>(u"E:\\Music");
            if (path == record)
                made->fs.AddFile(record, EncodeRenameRecord({}));
            made->fs.AddSecondName(path, path + u".new");
            made->fs.operations = 0;
            return made;
        };
        auto songs = [](MemoryFileSystem& fs) {
            std::multiset<Bytes> files;
            for (const auto& [name, bytes] : fs.Snapshot())
                if (bytes && name.compare(0, kDb.size(), kDb) != 0)
                    files.insert(*bytes);
            return files;
        };
        auto clean = player();
        const auto before = clean->fs.Snapshot().size();
        const Bytes db = clean->fs.Read(kDb);
        const PlayerCheck foretold = CheckPlayer(clean->fs, u"E:\\Music", kDb, &db);
        EXPECT_EQ(foretold.shared, RenamePair(path, path + u".new"));
        ASSERT_EQ(clean->job.Run(), RunOutcome::NeedsRepair);
        EXPECT_EQ(clean->job.SharedNames(), RenamePair(path, path + u".new"));
        EXPECT_EQ(clean->fs.Snapshot().size(), before);
        EXPECT_EQ(clean->fs.Read(path + u".new"), clean->fs.Read(path));
        for (size_t i = 0; i < clean->fs.operations; ++i) {
            auto run = player();
            const auto files = songs(run->fs);
            run->fs.failWhen = [&](FsOp, const std::u16string&) {
                return run->fs.operations - 1 == i;
            };
            run->job.Run();
            if (path == kDb) {
                EXPECT_EQ(run->fs.Read(kDb), db) << "operation " << i;
            }
            EXPECT_EQ(songs(run->fs), files) << "operation " << i;
        }
        clean->fs.CheckDrive();
        NextRun after(clean->fs, u"E:\\Music");
        EXPECT_EQ(after.outcome, RunOutcome::Done);
        EXPECT_EQ(NothingLost(clean->before, clean->fs), "");
        EXPECT_FALSE(clean->fs.HasFile(record));
    }
}

// A cut inside a song's rename on Linux leaves it under both names, one chain; its owner copying
// it back after a failed run leaves two chains of the same bytes. Where the system says where
// data lies, the first stops every run until the drive's check and the second is two songs at
// once; where it cannot (Linux's vfat, Wine), the first run asks once and the next takes both for
// two songs. Each run, and --check before it, stands the run invariants.
TEST(FaultInjection, SongUnderTwoNamesOrCopiedIsAskedAboutOnce) {
    const std::u16string from = u"E:\\Music\\\u7532.mp3", to = u"E:\\Music\\ST_FILE_2.mp3";
    for (bool copies : {false, true})
        for (bool tells : {true, false}) {
            SCOPED_TRACE(std::string(copies ? "two copies" : "one chain") +
                         (tells ? ", the system tells" : ", the system cannot tell"));
            Player player(u"E:\\Music");
            player.fs.tellsWhereDataLies = tells;
            player.fs.AddFile(RenameRecordPath(kDb),
                              EncodeRenameRecord({{from, to, IdentifyFile(player.fs, from)}}));
            if (copies)
                player.fs.AddFile(to, player.fs.Read(from));
            else
                player.fs.AddSecondName(from, to);
            const RunOutcome twice[] = {
                copies && tells ? RunOutcome::Done : RunOutcome::NeedsRepair,
                !copies && tells ? RunOutcome::NeedsRepair : RunOutcome::Done};
            for (size_t n = 0; n < 2; ++n) {
                SCOPED_TRACE("run " + std::to_string(n + 1));
                const auto songs = PathsOf(player.fs);
                auto db = player.fs.Read(kDb);
                const PlayerCheck foretold = CheckPlayer(player.fs, u"E:\\Music", kDb, &db);
                RunBaseline before = TakeBaseline(player.fs, u"E:\\Music", kDb);
                NextRun next(player.fs, u"E:\\Music");
                ASSERT_EQ(next.outcome, twice[n]) << OutcomeName(next.outcome);
                EXPECT_EQ(CheckRun(before, player.fs, next.label), "");
                EXPECT_EQ(foretold.shared.has_value(), twice[n] == RunOutcome::NeedsRepair);
                if (twice[n] == RunOutcome::NeedsRepair) {
                    EXPECT_EQ(next.job.SharedNames(), RenamePair(from, to));
                    EXPECT_EQ(next.job.AsksAboutSharedNames(), !tells);
                    EXPECT_EQ(foretold.sharedMayBeCopies, !tells);
                    EXPECT_EQ(PathsOf(player.fs), songs);
                } else if (!(n == 1 && copies && tells)) {
                    // Both names listed, and said to be two songs, once.
                    EXPECT_EQ(next.job.TwoSongs(),
                              std::vector<RenamePair>(1, RenamePair(from, to)));
                    EXPECT_EQ(foretold.twoSongs, next.job.TwoSongs());
                    EXPECT_FALSE(player.fs.HasFile(from));
                    EXPECT_TRUE(player.fs.HasFile(to));
                }
            }
        }
}

TEST(FaultInjection, ShortWritesStillGiveACompleteDatabase) {
    Player run(u"E:\\Music");
    run.fs.maxWriteChunk = 7;
    EXPECT_EQ(run.job.Run(), RunOutcome::Done);
    EXPECT_EQ(run.label.text, kMsgDone);
    EXPECT_EQ(CheckRun(run.before, run.fs, run.label), "");
    EXPECT_EQ(run.fs.Read(kDb).size(), kDbHeaderSize + 11 * kDbRecordSize);
}

TEST(FaultInjection, FullMediumKeepsOldDatabase) {
    Player run(u"E:\\Music");
    run.fs.capacity = run.fs.UsedBytes() + 100;
    EXPECT_EQ(run.job.Run(), RunOutcome::DatabaseNotWritten);
    EXPECT_EQ(run.label.text, kMsgDatabaseFailed);
    EXPECT_EQ(run.label.systemError, 112);  // ERROR_DISK_FULL, the failed write's own reason
    EXPECT_EQ(run.fs.Read(kDb), OldDatabase());
    EXPECT_EQ(CheckRun(run.before, run.fs, run.label), "");
}

// A failed write whose clean-up fails too leaves the temporary file; the next run writes over it.
TEST(FaultInjection, FailedCleanUpIsMendedByTheNextRun) {
    Player run(u"E:\\Music");
    run.fs.failWhen = [](FsOp op, const std::u16string& path) {
        return (op == FsOp::Write && path == kDb + u".new") || op == FsOp::Remove;
    };
    run.job.Run();
    EXPECT_EQ(run.label.text, kMsgDatabaseFailed);
    EXPECT_EQ(run.fs.Read(kDb), OldDatabase());
    EXPECT_TRUE(run.fs.HasFile(kDb + u".new"));

    run.fs.failWhen = nullptr;
    RecordingStatusLabel label;
    CSyncJob again(run.fs);
    again.SetStatusLabel(&label);
    FakeProbe probe(u"E:\\Music\\Zorbel.exe", true);
    again.CheckLocation(probe);
    again.Run();
    EXPECT_EQ(label.text, kMsgDone);
    EXPECT_FALSE(run.fs.HasFile(kDb + u".new"));
    EXPECT_EQ(ParseDatabase(run.fs.Read(kDb))->count, 11u);
}

}  // namespace
