// The run as a whole: the four steps in order, starting it on a worker thread exactly once, and
// how every status text reaches the label.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>

#include "database/Database.h"
#include "DatabaseFile.h"
#include "EngineFixture.h"
#include "record/RenameRecord.h"
#include "base/Messages.h"

namespace {

using List = std::vector<std::u16string>;
using Call = RecordingStatusLabel::Call;

// A job whose location check accepted the player, with the program in E:\R.
struct SyncJob : EngineFixture {
    SyncJob() {
        fs.AddFile(kDb, Bytes(5, 0xEE));
        FakeProbe probe(u"E:\\R\\Zorbel.exe", true);
        job.CheckLocation(probe);
        label.events.clear();
    }
};

TEST_F(SyncJob, ConstructedEmpty) {
    MemoryFileSystem tree;
    CSyncJob fresh(tree);
    EXPECT_TRUE(fresh.m_strRootDir.empty());
    EXPECT_TRUE(fresh.m_strDbPath.empty());
    EXPECT_TRUE(fresh.m_lstPaths.Empty());
    EXPECT_EQ(fresh.m_pStatus, nullptr);
    EXPECT_EQ(fresh.SetStatusLabel(&label), 1);
    EXPECT_EQ(fresh.m_pStatus, &label);
}

TEST_F(SyncJob, ThreadProcRunsTheFourStepsInOrder) {
    fs.AddFile(u"E:\\R\\\u7532.mp3");
    fs.AddFile(u"E:\\R\\b.mp3");
    EXPECT_EQ(CSyncJob::SyncThreadProc(&job), 0u);
    EXPECT_EQ(label.Texts(),
              (List{u"Search File: \u7532.mp3", u"File: E:\\R\\\u7532.mp3", u"Search File: b.mp3",
                    u"Rename: E:\\R\\\u7532.mp3 to E:\\R\\ST_FILE_1.mp3",
                    u"File: E:\\R\\ST_FILE_1.mp3", u"File: E:\\R\\b.mp3", kMsgDone}));
    auto db = ParseDatabase(fs.Read(kDb));
    ASSERT_TRUE(db);
    EXPECT_EQ(db->names, (List{u"/R/ST_FILE_1.mp3", u"/R/b.mp3"}));
    EXPECT_EQ(Paths(), db->names);  // the list stays filled after the run
}

TEST_F(SyncJob, EmptyTreeStillWritesAnEmptyDatabase) {
    fs.AddFolder(u"E:\\R");
    CSyncJob::SyncThreadProc(&job);
    EXPECT_EQ(label.Texts(), List{kMsgDone});
    EXPECT_EQ(fs.Read(kDb), (Bytes{0, 0, 0, 1, 8, 0, 0, 0, 0x12, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(SyncJob, StartWithoutRootStartsNothing) {
    job.m_strRootDir.clear();
    EXPECT_EQ(job.StartSync(), 0);
    job.WaitForRun();
    EXPECT_TRUE(label.events.empty());
    EXPECT_EQ(fs.Read(kDb), Bytes(5, 0xEE));
}

// Another run holding the player: nothing changes, the label offers to try again, and once the
// other run has ended a second start runs; after that run no start does.
TEST_F(SyncJob, BusyPlayerChangesNothingAndCanBeTriedAgain) {
    fs.AddFile(u"E:\\R\\\u7532.mp3");
    auto other = fs.LockPlayer(kDb);
    EXPECT_EQ(job.StartSync(), 1);
    job.WaitForRun();
    EXPECT_FALSE(job.IsRunning());
    EXPECT_EQ(label.Texts(), List{kMsgPlayerBusy});
    EXPECT_EQ(label.command, ID_START);
    EXPECT_EQ(label.plain, 0);
    EXPECT_EQ(fs.Names(u"E:\\R"), List{u"\u7532.mp3"});
    EXPECT_EQ(fs.Read(kDb), Bytes(5, 0xEE));

    EXPECT_EQ(job.Outcome(), RunOutcome::PlayerBusy);

    other.held.reset();
    EXPECT_EQ(job.StartSync(), 1);
    job.WaitForRun();
    EXPECT_EQ(label.text, kMsgDone);
    EXPECT_EQ(job.Outcome(), RunOutcome::Done);
    EXPECT_EQ(job.StartSync(), 0);
    EXPECT_TRUE(fs.LockPlayer(kDb));  // the run let go of the player
}

// A lock the system refuses is no other run: a plain text with the system's code, no retry, and
// nothing changed.
TEST_F(SyncJob, LockErrorEndsTheRunWithoutRetry) {
    fs.AddFile(u"E:\\R\\\u7532.mp3");
    fs.lockError = 37;
    fs.failWhen = [](FsOp op, const std::u16string&) { return op == FsOp::Lock; };
    EXPECT_EQ(job.Run(), RunOutcome::LockUnavailable);
    EXPECT_EQ(label.Texts(), List{u"\u65E0\u6CD5\u9501\u5B9A"
                                  u"iPod\uFF08\u7CFB\u7EDF\u9519\u8BEF37\uFF09\uFF0C"
                                  u"\u539F\u6570\u636E\u5E93\u672A\u6539\u52A8\u3002"});
    EXPECT_EQ(label.outcome, RunOutcome::LockUnavailable);
    EXPECT_EQ(label.systemError, 37);
    EXPECT_EQ(label.command, kNoCommand);
    EXPECT_EQ(label.plain, 1);
    EXPECT_EQ(fs.Names(u"E:\\R"), List{u"\u7532.mp3"});
    EXPECT_EQ(fs.Read(kDb), Bytes(5, 0xEE));
}

TEST_F(SyncJob, StartRunsOnceOnAWorker) {
    fs.AddFile(u"E:\\R\\a.mp3");
    EXPECT_EQ(job.StartSync(), 1);
    EXPECT_EQ(job.StartSync(), 0);  // a second click before the first status
    job.WaitForRun();
    EXPECT_EQ(label.text, kMsgDone);
    EXPECT_EQ(label.command, kNoCommand);
    EXPECT_EQ(job.StartSync(), 0);  // and after the run
    job.WaitForRun();
    auto texts = label.Texts();
    EXPECT_EQ(std::count(texts.begin(), texts.end(), kMsgDone), 1);
    auto db = ParseDatabase(fs.Read(kDb));
    ASSERT_TRUE(db);
    EXPECT_EQ(db->names, List{u"/R/a.mp3"});
}

TEST_F(SyncJob, DestroyingTheJobWaitsForItsRun) {
    fs.AddFile(u"E:\\R\\a.mp3");
    {
        CSyncJob run(fs);
        run.SetStatusLabel(&label);
        FakeProbe probe(u"E:\\R\\Zorbel.exe", true);
        run.CheckLocation(probe);
        EXPECT_EQ(run.StartSync(), 1);
    }
    EXPECT_EQ(label.text, kMsgDone);
}

TEST_F(SyncJob, ReportStatusRepaintsThenPlainThenText) {
    job.ReportStatus(u"x");
    ASSERT_EQ(label.events.size(), 3u);
    EXPECT_EQ(label.events[0].call, Call::Invalidate);
    EXPECT_EQ(label.events[1].call, Call::SetPlain);
    EXPECT_EQ(label.events[1].value, 1);
    EXPECT_EQ(label.events[2].call, Call::SetLinkText);
    EXPECT_EQ(label.events[2].text, u"x");
    EXPECT_EQ(label.events[2].value, kNoCommand);

    // Without a label a report does nothing, and a run still completes.
    CSyncJob silent(fs);
    silent.ReportStatus(u"y");
    FakeProbe probe(u"E:\\R\\Zorbel.exe", true);
    silent.CheckLocation(probe);
    CSyncJob::SyncThreadProc(&silent);
    EXPECT_TRUE(ParseDatabase(fs.Read(kDb)));
    EXPECT_EQ(label.events.size(), 3u);
}

// A stop asked before each operation of a run in turn. While nothing has changed the run ends at
// once, Stopped, the player as it was; once a change has begun the request is refused and the run
// ends as a clean run does. The players' first changes differ: the record of renames, a lone
// iTunesSD.new put in place, the database's temporary file, a damaged record set aside.
TEST(StopRequest, BeforeEachOperationOfARun) {
    const struct {
        const char* name;
        bool wide;     // songs and folders to rename
        bool loneNew;  // no iTunesSD, only a complete iTunesSD.new
        bool damagedRecord = false;
    } players[] = {{"renames", true, false},
                   {"a lone iTunesSD.new", true, true},
                   {"nothing to rename", false, false},
                   {"a damaged record of renames", false, false, true}};
    for (const auto& player : players) {
        SCOPED_TRACE(player.name);
        struct Run {
            MemoryFileSystem fs;
            RecordingStatusLabel label;
            CSyncJob job{fs};
        };
        auto make = [&player](Run& run) {
            PathList gone;
            gone.Append(u"/gone.mp3");
            Bytes db;
            auto take = [&db](const uint8_t* at, size_t size) {
                db.insert(db.end(), at, at + size);
                return true;
            };
            EncodeEarlyDatabase(gone, SinkTo(take));
            run.fs.AddFile(player.loneNew ? kDb + u".new" : kDb, db);
            if (player.damagedRecord)
                run.fs.AddFile(RenameRecordPath(kDb), Bytes(64, 0));
            for (int folder = 0; folder < 8; ++folder)
                for (int song = 0; song < 3; ++song)
                    run.fs.AddFile(u"E:\\" + std::u16string(player.wide ? u"\u6B4C" : u"F") +
                                   char16_t(u'a' + folder) + u"\\" + char16_t(u'a' + song) +
                                   (player.wide && song == 0 ? u"\u7532.mp3" : u".mp3"));
            run.job.SetStatusLabel(&run.label);
            FakeProbe probe(u"E:\\Zorbel.exe", true);
            run.job.CheckLocation(probe);
            run.fs.operations = 0;
        };
        auto contents = [](const MemoryFileSystem& fs) {
            std::map<std::u16string, std::optional<Bytes>> all;
            for (const auto& [path, bytes] : fs.Snapshot())
                all[path] = bytes ? std::optional<Bytes>(*bytes) : std::nullopt;
            return all;
        };
        Run clean;
        make(clean);
        ASSERT_EQ(clean.job.Run(), RunOutcome::Done);
        size_t stopped = 0, finished = 0, mostAfterStop = 0;
        for (size_t i = 0; i < clean.fs.operations; ++i) {
            Run run;
            make(run);
            const auto before = contents(run.fs);
            std::optional<bool> answer;
            size_t askedAt = 0;
            run.fs.failWhen = [&](FsOp, const std::u16string&) {
                if (run.fs.operations - 1 == i) {
                    answer = run.job.RequestStop();
                    askedAt = run.fs.operations;
                }
                return false;
            };
            RunOutcome outcome = run.job.Run();
            ASSERT_TRUE(answer) << "operation " << i << " never came";
            if (*answer) {
                EXPECT_EQ(outcome, RunOutcome::Stopped) << i;
                EXPECT_EQ(run.label.text, kMsgStopped);
                EXPECT_EQ(contents(run.fs), before) << i;
                mostAfterStop = std::max(mostAfterStop, run.fs.operations - askedAt);
                ++stopped;
            } else {
                EXPECT_EQ(outcome, RunOutcome::Done) << i;
                ++finished;
            }
        }
        // At once: the operation under way and the few reads of one step (a lone iTunesSD.new
        // read whole before the gate), never the rest of a scan.
        EXPECT_LE(mostAfterStop, 6u);
        EXPECT_GT(stopped, 0u);
        EXPECT_GT(finished, 0u);
    }
}

}  // namespace
