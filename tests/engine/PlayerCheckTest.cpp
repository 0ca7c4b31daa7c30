// The look at the player that changes nothing: the database read back, and the prediction of a
// run, held against the real run on the same tree.
#include <gtest/gtest.h>

#include <map>

#include "database/Database.h"
#include "EngineFixture.h"
#include "check/PlayerCheck.h"

namespace {

using List = std::vector<std::u16string>;

struct PlayerCheckFixture : EngineFixture {
    PlayerCheckFixture() {
        fs.AddFile(kDb, Bytes(40, 0xA5));
        FakeProbe probe(u"E:\\R\\Zorbel.exe", true);
        job.CheckLocation(probe);
    }
    PlayerCheck Check() {
        Bytes db = fs.Read(kDb);
        return CheckPlayer(fs, job.m_strRootDir, kDb, &db);
    }
};

TEST(DecodeDatabase, TellsIntactFromTornAndForeign) {
    MemoryFileSystem fs;
    CSyncJob job(fs);
    fs.AddFolder(u"E:\\iPod_Control\\iTunes");
    job.m_strDbPath = kDb;
    for (auto path : {u"/a.mp3", u"/\u6674/b.mp3"})
        job.m_lstPaths.Append(path);
    job.WriteDatabase();
    const Bytes written = fs.Read(kDb);
    Bytes flipped = written;
    flipped[18 + 558 + 3] ^= 1;
    // The later layout: a zero byte of the second record's name field, after the name; the
    // second record's pregap and VoiceOver on, an owner's settings that a run keeps as they are;
    // the header's count of tracks that are neither podcasts nor audiobooks; the last track
    // number.
    job.Database().SetFormat(DbFormat::Later);
    job.WriteDatabase();
    const Bytes later = fs.Read(kDb);
    Bytes laterFlipped = later, pregap = later, voiceOver = later, plain = later;
    Bytes lastNumber = later;
    laterFlipped[92 + 372 + 270] ^= 1;
    pregap[92 + 372 + 290] ^= 1;
    voiceOver[29] = 1;
    plain[32] ^= 1;
    lastNumber.back() ^= 1;
    // Hostile bytes, read within the file all the same: a track count and a playlist offset past
    // its end; the master playlist made an ordinary one of 2^32 - 1 songs; two offsets of one
    // record.
    auto put = [](Bytes bytes, size_t at, uint32_t word) {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = static_cast<uint8_t>(word >> 8 * i);
        return bytes;
    };
    const Bytes wild = put(put(later, 72, 0xFFFFFFFF), 40, 0xFFFFFFFC);
    const Bytes huge = put(put(later, 860 + 8, 0xFFFFFFFF), 860 + 24, 2);
    const Bytes twice = put(later, 88, 92);
    const struct {
        Bytes bytes;
        bool header, records, complete;
        size_t paths;
    } cases[] = {
        {written, true, true, true, 2},
        {Bytes(written.begin(), written.end() - 1), true, true, false, 1},  // torn
        {Bytes(written.begin(), written.begin() + 7), false, false, false, 0},
        {Bytes(40, 0xA5), false, true, false, 0},
        {flipped, true, false, true, 2},
        {later, true, true, true, 2},
        {Bytes(later.begin(), later.end() - 1), true, true, false, 2},  // torn in the playlist
        {Bytes(later.begin(), later.begin() + 63), false, false, false, 0},
        {laterFlipped, true, false, true, 2},
        {pregap, true, true, true, 2},
        {voiceOver, true, true, true, 2},
        {plain, false, false, false, 2},
        {lastNumber, true, false, true, 2},
        {wild, false, false, false, 2},
        {huge, false, false, false, 2},
        {twice, true, false, true, 2},
    };
    for (const auto& c : cases) {
        DatabaseContents db = DecodeDatabase(c.bytes.data(), c.bytes.size());
        EXPECT_EQ(db.headerAsWritten, c.header) << c.bytes.size();
        EXPECT_EQ(db.recordsAsWritten, c.records) << c.bytes.size();
        EXPECT_EQ(db.Complete(), c.complete) << c.bytes.size();
        EXPECT_EQ(db.paths.size(), c.paths) << c.bytes.size();
    }
    EXPECT_EQ(DecodeDatabase(written.data(), written.size()).paths,
              (List{u"/a.mp3", u"/\u6674/b.mp3"}));
    EXPECT_EQ(DecodeDatabase(later.data(), later.size()).paths,
              (List{u"/a.mp3", u"/\u6674/b.mp3"}));
}

// Wide names in wide folders, a new name already taken, a wide folder without MP3 files of its
// own (kept) and a link (never walked): the prediction is what the run then does.
TEST_F(PlayerCheckFixture, PredictsTheRunReadingEachFolderOnceAndWritingNothing) {
    fs.AddFile(u"E:\\R\\ST_FILE_1.mp3");
    fs.AddFile(u"E:\\R\\\u7532.mp3");
    fs.AddFile(u"E:\\R\\\u4E59\\\u4E19\\c.mp3");
    fs.AddFile(u"E:\\R\\\u4E59\\\u4E19\\\u4E01.MP3");
    fs.AddFile(u"E:\\R\\\u620A\\sub\\d.mp3");
    fs.AddLink(u"E:\\R\\link");
    fs.AddFile(u"E:\\other.mp3");
    std::map<std::u16string, int> listed;
    int writes = 0;
    fs.failWhen = [&](FsOp op, const std::u16string& path) {
        listed[path] += op == FsOp::List;
        writes += op == FsOp::Rename || op == FsOp::Create || op == FsOp::Write ||
                  op == FsOp::Replace || op == FsOp::Remove;
        return false;
    };
    auto before = fs.Snapshot().size();
    PlayerCheck check = Check();
    EXPECT_EQ(writes, 0);
    EXPECT_EQ(fs.Snapshot().size(), before);
    EXPECT_EQ(listed[u"E:\\R\\\u4E59\\\u4E19"], 1);
    for (const auto& [folder, times] : listed)
        EXPECT_LE(times, 1) << std::string(folder.begin(), folder.end());
    EXPECT_FALSE(check.database.Complete());
    EXPECT_EQ(check.renames, (std::vector<std::pair<std::u16string, std::u16string>>{
                                 {u"/R/\u7532.mp3", u"ST_FILE_2.mp3"},
                                 {u"/R/\u4E59/\u4E19/\u4E01.MP3", u"ST_FILE_2.mp3"},
                                 {u"/R/\u4E59/\u4E19", u"ST_DIR_1"}}));
    EXPECT_EQ(check.unlisted,
              (List{u"/R/ST_FILE_1.mp3", u"/R/\u7532.mp3", u"/R/\u4E59/\u4E19/c.mp3",
                    u"/R/\u4E59/\u4E19/\u4E01.MP3", u"/R/\u620A/sub/d.mp3"}));
    EXPECT_EQ(check.tracks, 5u);
    EXPECT_FALSE(check.UpToDate());

    fs.failWhen = nullptr;
    CSyncJob::SyncThreadProc(&job);
    EXPECT_EQ(fs.Names(u"E:\\R"),
              (List{u"ST_FILE_1.mp3", u"ST_FILE_2.mp3", u"\u4E59", u"\u620A", u"link"}));
    EXPECT_EQ(fs.Names(u"E:\\R\\\u4E59\\ST_DIR_1"), (List{u"c.mp3", u"ST_FILE_2.mp3"}));
    PlayerCheck after = Check();
    EXPECT_TRUE(after.UpToDate());
    EXPECT_EQ(after.playable, 5u);

    // A track gone and the database cut short, each seen as such.
    fs.Remove(u"E:\\R\\ST_FILE_2.mp3");
    after = Check();
    EXPECT_EQ(after.missing, List{u"/R/ST_FILE_2.mp3"});
    EXPECT_EQ(after.playable, 4u);
    EXPECT_EQ(after.dropped, 1u);
    Bytes cut = fs.Read(kDb);
    cut.pop_back();
    after = CheckPlayer(fs, job.m_strRootDir, kDb, &cut);
    EXPECT_FALSE(after.database.Complete());
    EXPECT_EQ(after.added, 4u);

    // Cut off between removing the old database and moving the new one into place.
    fs.AddFile(kDb + u".new");
    after = CheckPlayer(fs, job.m_strRootDir, kDb, nullptr);
    EXPECT_TRUE(!after.hasDatabase && after.leftOverTemp && !after.UpToDate());
}

}  // namespace
