// The database bytes and the writer's all-or-nothing replacement of the old file.
#include <gtest/gtest.h>

#include <algorithm>

#include "Database.h"
#include "DatabaseFile.h"
#include "EngineFixture.h"
#include "Messages.h"

namespace {

const std::u16string kTemp = kDb + u".new";
const Bytes kOldDb(2000, 0xEE);

struct WriterFixture : EngineFixture {
    WriterFixture() {
        fs.AddFile(kDb, kOldDb);
        job.m_strDbPath = kDb;
    }
    void AddEntries(size_t count) {
        for (size_t i = 0; i < count; ++i)
            job.m_lstPaths.Append(u"/t" + std::u16string(i % 7 + 1, u'x') + u".mp3");
    }
    Bytes NameField(size_t record = 0) const {
        Bytes db = fs.Read(kDb);
        auto at = db.begin() + kDbHeaderSize + record * kDbRecordSize + 33;
        return Bytes(at, at + kDbNameUnits * 2);
    }
    void ExpectOldKept() {
        EXPECT_EQ(fs.Read(kDb), kOldDb);
        EXPECT_FALSE(fs.HasFile(kTemp));
        EXPECT_EQ(label.text, kMsgDatabaseFailed);
        auto texts = label.Texts();
        EXPECT_EQ(std::count(texts.begin(), texts.end(), kMsgDone), 0);
    }
};

TEST(DatabaseHeader, CountIsThreeBytesBigEndian) {
    const struct {
        size_t count;
        Bytes head;
    } cases[] = {{0, {0, 0, 0}},
                 {1, {0, 0, 1}},
                 {300, {0, 1, 0x2C}},
                 {0x123456, {0x12, 0x34, 0x56}},
                 {0xFFFFFF, {0xFF, 0xFF, 0xFF}},
                 {0x1000001, {0, 0, 1}}};
    for (const auto& c : cases) {
        auto header = MakeDbHeader(c.count);
        EXPECT_EQ(Bytes(header.begin(), header.begin() + 3), c.head) << c.count;
        EXPECT_EQ(Bytes(header.begin() + 3, header.end()),
                  (Bytes{1, 8, 0, 0, 0, 0x12, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    }
}

TEST(DatabaseRecord, NameStopsAtTheTextsEnd) {
    // Views into a longer text: nothing past a view's end may reach the record.
    const std::u16string text(300, u'd');
    for (size_t units : {0, 1, 259, 260, 261, 262}) {
        uint8_t record[kDbRecordSize];
        std::fill(std::begin(record), std::end(record), 0xCC);
        FillDbRecord(std::u16string_view(text).substr(0, units), record);
        for (size_t i = 0; i < kDbNameUnits; ++i)
            ASSERT_EQ(record[33 + 2 * i], i < units ? u'd' : 0) << units << " " << i;
        EXPECT_EQ(Bytes(record + 555, record + 558), (Bytes{1, 0, 0}));
    }
}

TEST_F(WriterFixture, EmptyListGivesEighteenBytes) {
    EXPECT_EQ(job.WriteDatabase(), 1);
    EXPECT_EQ(fs.Read(kDb), (Bytes{0, 0, 0, 1, 8, 0, 0, 0, 0x12, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(label.text, kMsgDone);
}

TEST_F(WriterFixture, OneEntryReplacesLongerFileCompletely) {
    job.m_lstPaths.Append(u"/a.mp3");
    EXPECT_EQ(job.WriteDatabase(), 1);
    Bytes db = fs.Read(kDb);
    ASSERT_EQ(db.size(), 576u);  // nothing of the old 2000 bytes remains
    EXPECT_EQ(Bytes(db.begin(), db.begin() + 3), (Bytes{0, 0, 1}));
    Bytes record(db.begin() + 18, db.end());
    EXPECT_EQ(Bytes(record.begin(), record.begin() + 6), (Bytes{0x00, 0x02, 0x2E, 0x5A, 0xA5, 1}));
    EXPECT_TRUE(std::all_of(record.begin() + 6, record.begin() + 27, [](uint8_t b) { return !b; }));
    EXPECT_EQ(Bytes(record.begin() + 27, record.begin() + 33), (Bytes{0, 0, 1, 0, 2, 0}));
    EXPECT_EQ(Bytes(record.begin() + 33, record.begin() + 45),
              (Bytes{0x2F, 0, 0x61, 0, 0x2E, 0, 0x6D, 0, 0x70, 0, 0x33, 0}));
    EXPECT_TRUE(
        std::all_of(record.begin() + 45, record.begin() + 555, [](uint8_t b) { return !b; }));
    EXPECT_EQ(Bytes(record.begin() + 555, record.end()), (Bytes{1, 0, 0}));
    EXPECT_FALSE(fs.HasFile(kTemp));
    EXPECT_EQ(job.m_lstPaths.Count(), 1u);  // read, not consumed
}

TEST_F(WriterFixture, NameFieldHoldsFirst261UnitsLowByteFirst) {
    const struct {
        std::u16string entry;
        size_t keptUnits;
    } cases[] = {{u"/" + std::u16string(260, u'a'), 261},  // exactly full: no zero unit
                 {u"/" + std::u16string(299, u'b'), 261},  // cut
                 {{u'/', u'\u4E2D', u'\u00FF', char16_t(0xD800)}, 4}};
    for (const auto& c : cases) {
        job.m_lstPaths.Clear();
        job.m_lstPaths.Append(c.entry);
        ASSERT_EQ(job.WriteDatabase(), 1);
        Bytes field = NameField();
        for (size_t i = 0; i < kDbNameUnits; ++i) {
            char16_t expected = i < c.keptUnits ? c.entry[i] : 0;
            ASSERT_EQ(field[2 * i], expected & 0xFF) << i;
            ASSERT_EQ(field[2 * i + 1], expected >> 8) << i;
        }
    }
    Bytes last = NameField();
    EXPECT_EQ(Bytes(last.begin(), last.begin() + 8),
              (Bytes{0x2F, 0, 0x2D, 0x4E, 0xFF, 0x00, 0x00, 0xD8}));
}

TEST_F(WriterFixture, ThreeHundredEntriesInListOrder) {
    AddEntries(300);
    ASSERT_EQ(job.WriteDatabase(), 1);
    Bytes db = fs.Read(kDb);
    EXPECT_EQ(db.size(), 18u + 558u * 300);
    EXPECT_EQ(Bytes(db.begin(), db.begin() + 3), (Bytes{0x00, 0x01, 0x2C}));
    std::string why;
    auto parsed = ParseDatabase(db, &why);
    ASSERT_TRUE(parsed) << why;
    EXPECT_EQ(parsed->names, Paths());
}

TEST(DatabaseWriter, EveryFailureKeepsOldDatabase) {
    // 200 records make two 64 KiB writes, so the second write fails in the middle of the file.
    const struct {
        FsOp op;
        int nth;
    } cases[] = {{FsOp::Create, 1}, {FsOp::Write, 1}, {FsOp::Write, 2},
                 {FsOp::Flush, 1},  {FsOp::Close, 1}, {FsOp::Replace, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(FsOpName(c.op)) + " #" + std::to_string(c.nth));
        MemoryFileSystem fresh;
        fresh.AddFile(kDb, kOldDb);
        RecordingStatusLabel freshLabel;
        CSyncJob writer(fresh);
        writer.SetStatusLabel(&freshLabel);
        writer.m_strDbPath = kDb;
        for (size_t i = 0; i < 200; ++i)
            writer.m_lstPaths.Append(u"/song.mp3");
        int seen = 0;
        fresh.failWhen = [&](FsOp op, const std::u16string&) {
            return op == c.op && ++seen == c.nth;
        };
        EXPECT_EQ(writer.WriteDatabase(), 0);
        EXPECT_EQ(seen, c.nth);
        EXPECT_EQ(fresh.Read(kDb), kOldDb);
        EXPECT_FALSE(fresh.HasFile(kTemp));
        EXPECT_EQ(freshLabel.Texts(), std::vector<std::u16string>{kMsgDatabaseFailed});
    }
}

TEST_F(WriterFixture, NoDatabasePathWritesNothing) {
    job.m_strDbPath.clear();
    EXPECT_EQ(job.WriteDatabase(), 0);
    ExpectOldKept();
}

TEST(DatabaseWriter, FolderAtDatabasePathIsLeftAlone) {
    // The location check accepts a folder named iTunesSD; the writer must not replace it.
    MemoryFileSystem fs;
    fs.AddFile(kDb + u"\\keep", Bytes{7});
    RecordingStatusLabel label;
    CSyncJob job(fs);
    job.SetStatusLabel(&label);
    job.m_strDbPath = kDb;
    EXPECT_EQ(job.WriteDatabase(), 0);
    EXPECT_EQ(fs.Read(kDb + u"\\keep"), Bytes{7});
    EXPECT_FALSE(fs.HasFile(kTemp));
    EXPECT_EQ(label.Texts(), std::vector<std::u16string>{kMsgDatabaseFailed});
}

TEST_F(WriterFixture, AtMostOneWritePer64KiB) {
    AddEntries(2000);
    size_t writes = 0;
    fs.failWhen = [&](FsOp op, const std::u16string&) {
        writes += op == FsOp::Write;
        return false;
    };
    ASSERT_EQ(job.WriteDatabase(), 1);
    size_t bytes = 18 + 558 * 2000;
    EXPECT_EQ(fs.Read(kDb).size(), bytes);
    EXPECT_LE(writes, (bytes + 65535) / 65536);
    auto parsed = ParseDatabase(fs.Read(kDb));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->names, Paths());
}

}  // namespace
