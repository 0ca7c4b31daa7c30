// Whole runs on a representative player while the file system fails: every operation of a clean
// run is made to fail in turn, and each run must still leave a sound player behind.
#include <gtest/gtest.h>

#include <cstdio>
#include <new>
#include <set>

#include "Database.h"
#include "DatabaseFile.h"
#include "EngineFixture.h"
#include "Messages.h"
#include "RenameRecord.h"
#include "RunInvariants.h"

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

// A database cut short by some earlier crash: known bytes that no run can produce.
Bytes OldDatabase() {
    auto header = MakeDbHeader(1);
    Bytes db(header.begin(), header.end());
    db.resize(kDbHeaderSize + kDbRecordSize);
    FillDbRecord(u"/gone.mp3", db.data() + kDbHeaderSize);
    db.pop_back();
    return db;
}

std::set<std::u16string> PathsOf(const MemoryFileSystem& fs) {
    std::set<std::u16string> paths;
    for (const auto& entry : fs.Snapshot())
        paths.insert(entry.first);
    return paths;
}

struct Player {
    explicit Player(const std::u16string& root) {
        fs.AddFile(kDb, OldDatabase());
        for (const auto* file : kTree)
            fs.AddFile(root + file, ContentOf(file));
        job.SetStatusLabel(&label);
        FakeProbe probe(root + u"\\Zorbel.exe", true);
        job.CheckLocation(probe);
        fs.operations = 0;  // the check is not part of the run
        before = TakeBaseline(fs, root, kDb);
        paths = PathsOf(fs);
    }
    MemoryFileSystem fs;
    RecordingStatusLabel label;
    CSyncJob job{fs};
    RunBaseline before;
    std::set<std::u16string> paths;
};

bool IsWriting(FsOp op) {
    return op == FsOp::Create || op == FsOp::Write || op == FsOp::Flush || op == FsOp::Close;
}

bool IsListing(FsOp op) {
    return op == FsOp::List || op == FsOp::ListNext;
}

// Each operation of a clean run fails in turn, or runs out of memory in turn. Only a failed
// listing, the lock and the writer's own steps may cost the new database, and the outcome must
// say which: a failed listing in either scan stops the run before any rename.
TEST(FaultInjection, EachOperationOfARunFailingInTurn) {
    for (const std::u16string root : {u"E:", u"E:\\Music"}) {
        SCOPED_TRACE(Printable(root));
        // The clean run, step by step, to learn where the track scan and the writer begin.
        Player clean(root);
        size_t renamesFrom = 0, writerFrom = 0;
        clean.job.Run([&](int step) {
            if (step == 0)
                renamesFrom = clean.fs.operations;
            if (step == 2)
                writerFrom = clean.fs.operations;
        });
        size_t total = clean.fs.operations;
        ASSERT_EQ(CheckRun(clean.before, clean.fs, clean.label), "");
        ASSERT_EQ(clean.label.text, kMsgDone);
        ASSERT_EQ(ParseDatabase(clean.fs.Read(kDb))->count, 11u);
        ASSERT_TRUE(clean.fs.HasFile(root + u"\\ST_DIR_2\\ST_DIR_1\\ST_FILE_2.mp3"));

        std::set<FsOp> failed;
        for (bool outOfMemory : {false, true}) {
            for (size_t i = 0; i < total; ++i) {
                Player run(root);
                std::optional<FsOp> fault;
                run.fs.failWhen = [&](FsOp op, const std::u16string&) {
                    if (run.fs.operations - 1 != i)
                        return false;
                    fault = op;
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
                RunOutcome expected = RunOutcome::Done;
                // Before the first rename only the record of the renames is written; letting it
                // go once the database is in place is the only removal of a clean run.
                bool recordWrite = i >= renamesFrom && i < writerFrom && IsWriting(*fault);
                if (*fault == FsOp::Remove)
                    expected = RunOutcome::Done;
                else if (*fault == FsOp::Sync)
                    expected = RunOutcome::DatabaseNotDurable;  // the new one is in place
                else if (outOfMemory || i >= writerFrom || recordWrite)
                    expected = RunOutcome::DatabaseNotWritten;
                else if (*fault == FsOp::Prepare || *fault == FsOp::RenameSync)
                    expected = RunOutcome::RenameFailed;
                else if (*fault == FsOp::Lock)
                    expected = RunOutcome::LockUnavailable;
                else if (IsListing(*fault))
                    expected = RunOutcome::ReadFailed;
                EXPECT_EQ(outcome, expected) << OutcomeName(outcome);
                EXPECT_EQ(run.label.outcome, expected);
                EXPECT_EQ(run.job.Outcome(), expected);
                // A run stopped by the lock or a read failure in the rename scan changes no name.
                if (expected != RunOutcome::Done && i < renamesFrom) {
                    EXPECT_EQ(PathsOf(run.fs), run.paths);
                }
            }
        }
        std::printf("root %s: %zu fault points tried, each failing and out of memory\n",
                    Printable(root).c_str(), total);
        EXPECT_EQ(failed,
                  (std::set<FsOp>{FsOp::Lock, FsOp::List, FsOp::ListNext, FsOp::IsDirectory,
                                  FsOp::Exists, FsOp::Rename, FsOp::Create, FsOp::Write,
                                  FsOp::Flush, FsOp::Close, FsOp::Replace, FsOp::Sync,
                                  FsOp::Prepare, FsOp::RenameSync, FsOp::Open, FsOp::Remove}));
    }
}

// The player unplugged at any moment of a run: from then on every operation fails. Nothing that
// was done may be undone, and the label must not claim a database that never landed.
TEST(FaultInjection, MediumGoneAtEveryMoment) {
    Player clean(u"E:\\Music");
    clean.job.Run();
    size_t total = clean.fs.operations;
    for (size_t i = 0; i < total; ++i) {
        SCOPED_TRACE("gone from operation " + std::to_string(i));
        Player run(u"E:\\Music");
        bool gone = false;
        run.fs.failWhen = [&](FsOp op, const std::u16string&) {
            gone = gone || run.fs.operations - 1 == i;
            return gone && op != FsOp::Close;  // a handle still closes; nothing reaches the medium
        };
        run.job.Run();
        run.fs.failWhen = nullptr;
        bool replaced = run.fs.Read(kDb) != OldDatabase();
        if (replaced)
            EXPECT_TRUE(run.label.outcome == RunOutcome::Done ||
                        run.label.outcome == RunOutcome::DatabaseNotDurable);
        else
            EXPECT_NE(run.label.outcome, RunOutcome::Done);
        // Every name a rename gave was recorded before it: a cut in the middle of that rename
        // would have left the item under both names, which only the record tells.
        const std::u16string record = RenameRecordPath(kDb);
        auto pairs =
            DecodeRenameRecord(run.fs.HasFile(record) ? run.fs.Read(record) : Bytes(), u"E:");
        for (const auto& path : PathsOf(run.fs)) {
            bool recorded = run.paths.count(path) || path == record || path == kDb + u".new";
            for (const auto& pair : pairs)
                recorded = recorded || path.rfind(pair.second, 0) == 0;
            EXPECT_TRUE(recorded || replaced) << Printable(path) << " not in the record";
        }
        std::string problems = CheckRun(run.before, run.fs, run.label);
        // A write that failed leaves the temporary file behind: its removal failed too.
        if (!replaced && run.fs.HasFile(kDb + u".new"))
            EXPECT_EQ(problems, "the temporary database was left behind");
        else
            EXPECT_EQ(problems, "");
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
