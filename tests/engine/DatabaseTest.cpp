// The database bytes and the writer's all-or-nothing replacement of the old file.
#include <gtest/gtest.h>

#include "Database.h"
#include "DatabaseFile.h"
#include "MemoryFileSystem.h"
#include "Messages.h"
#include "RecordingStatusLabel.h"
#include "SyncJob.h"

namespace {

const std::u16string kDb = u"E:\\iPod_Control\\iTunes\\iTunesSD";

struct WriterFixture : ::testing::Test {
    WriterFixture() {
        fs.AddFile(kDb, Bytes(2000, 0xEE));
        job.m_strDbPath = kDb;
        job.SetStatusLabel(&label);
    }
    MemoryFileSystem fs;
    RecordingStatusLabel label;
    CSyncJob job{fs};
};

TEST_F(WriterFixture, EmptyListGivesEighteenBytes) {
    EXPECT_EQ(job.WriteDatabase(), 1);
    EXPECT_EQ(fs.Read(kDb), (Bytes{0, 0, 0, 1, 8, 0, 0, 0, 0x12, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(label.text, kMsgDone);
}

TEST_F(WriterFixture, OneEntry) {
    job.m_lstPaths.Append(u"/a.mp3");
    job.WriteDatabase();
    Bytes db = fs.Read(kDb);
    ASSERT_EQ(db.size(), 576u);
    EXPECT_EQ(Bytes(db.begin(), db.begin() + 3), (Bytes{0, 0, 1}));
    Bytes name(db.begin() + 18 + 33, db.begin() + 18 + 33 + 12);
    EXPECT_EQ(name, (Bytes{0x2F, 0, 0x61, 0, 0x2E, 0, 0x6D, 0, 0x70, 0, 0x33, 0}));
    EXPECT_TRUE(
        std::all_of(db.begin() + 18 + 45, db.begin() + 18 + 555, [](uint8_t b) { return !b; }));
    EXPECT_FALSE(fs.HasFile(kDb + u".new"));
}

TEST_F(WriterFixture, FailedWriteKeepsOldDatabase) {
    job.m_lstPaths.Append(u"/a.mp3");
    fs.failWhen = [](FsOp op, const std::u16string&) { return op == FsOp::Write; };
    EXPECT_EQ(job.WriteDatabase(), 0);
    EXPECT_EQ(fs.Read(kDb), Bytes(2000, 0xEE));
    EXPECT_FALSE(fs.HasFile(kDb + u".new"));
    EXPECT_EQ(label.text, kMsgDatabaseFailed);
}

}  // namespace
