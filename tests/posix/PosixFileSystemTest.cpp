// The POSIX file system on real temporary folders: whole runs through the engine's job on names
// from every script, names that are no UTF-8, links and over-long paths; renames that must not
// replace, paths that must not leave the player, and the lock. The command's tests add an
// unwritable database and the lock held by another process.
#include <errno.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <set>

#include "DatabaseFile.h"
#include "DurableRename.h"
#include "FatRoom.h"
#include "HostTree.h"
#include "base/Messages.h"
#include "PlayerSearch.h"
#include "PosixFileSystem.h"
#include "RecordingStatusLabel.h"
#include "record/RenameRecord.h"
#include "run/SyncJob.h"
#include "base/Text.h"

namespace {

const std::u16string kDbPath = u"P:\\iPod_Control\\iTunes\\iTunesSD";

class HostPlayer : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(top.empty()); }
    void TearDown() override { RemoveTree(top); }

    // A whole run from the player's top folder; the last status text.
    std::u16string Run() {
        CSyncJob job(fs);
        job.SetStatusLabel(&label);
        CommandProbe probe(u"P:", "");
        EXPECT_EQ(job.CheckLocation(probe), 1);
        EXPECT_EQ(job.StartSync(), 1);
        job.WaitForRun();
        return label.text;
    }
    // The database lists exactly the MP3 files on disk in this system's order, none wide.
    void ExpectDatabaseMatchesDisk() {
        auto db = ParseDatabase(ReadHostFile(top + "/iPod_Control/iTunes/iTunesSD"));
        ASSERT_TRUE(db);
        EXPECT_EQ(db->names, HostTracks(top));
        for (const auto& name : db->names)
            EXPECT_FALSE(HasWideUnits(name));
        EXPECT_NE(access((top + "/iPod_Control/iTunes/iTunesSD.new").c_str(), F_OK), 0);
    }
    std::multiset<HostBytes> Contents() {
        std::multiset<HostBytes> all;
        for (auto& [path, bytes] : HostFiles(top))
            if (path.rfind("iPod_Control/", 0) != 0)
                all.insert(bytes);
        return all;
    }

    std::string top = MakeTempFolder();
    PosixFileSystem fs{top, u"P:"};
    RecordingStatusLabel label;
};

TEST_F(HostPlayer, NamesFromEveryScriptGetPlainNames) {
    ASSERT_TRUE(MakeHostPlayer(
        top, {"plain.mp3", "Caf\xC3\xA9.mp3", "\xE6\x99\xB4\xE5\xA4\xA9.mp3",
              "\xE6\x97\xA5\xE6\x9C\xAC/\xE3\x81\x95\xE3\x81\x8F\xE3\x82\x89.MP3",
              "\xE6\x97\xA5\xE6\x9C\xAC/cover.jpg", "Mix/song\xF0\x9F\x8E\xB5.mp3",
              "Mix/bad\xFF.mp3", "Mix/back\\slash.mp3", "Mix/\xFF\xFE/x.mp3", "empty/"}));
    auto before = Contents();
    EXPECT_EQ(Run(), kMsgDone);
    ExpectDatabaseMatchesDisk();
    EXPECT_EQ(Contents(), before);
    EXPECT_EQ(HostTracks(top).size(), 8u);
}

TEST_F(HostPlayer, LinkedFoldersAreNeverFollowed) {
    std::string outside = MakeTempFolder();
    ASSERT_TRUE(WriteHostFile(outside + "/\xE5\xA4\x96.mp3", {1}));
    ASSERT_TRUE(MakeHostPlayer(top, {"a.mp3"}));
    ASSERT_EQ(symlink(outside.c_str(), (top + "/link").c_str()), 0);
    ASSERT_EQ(symlink(outside.c_str(), (top + "/\xE9\x93\xBE").c_str()), 0);  // a wide name

    auto listing = fs.ListFolder(u"P:");
    FolderEntry entry;
    int links = 0;
    while (listing->Next(entry) == ListStep::Entry)
        links += entry.isLink && entry.isDirectory;
    EXPECT_EQ(links, 2);
    EXPECT_EQ(Run(), kMsgDone);
    ExpectDatabaseMatchesDisk();
    EXPECT_EQ(HostTracks(top), std::vector<std::u16string>{u"/a.mp3"});
    EXPECT_EQ(HostFiles(outside).at(0).first, "\xE5\xA4\x96.mp3");
    struct stat info;
    EXPECT_EQ(lstat((top + "/\xE9\x93\xBE").c_str(), &info), 0);
    RemoveTree(outside);
}

TEST_F(HostPlayer, OverLongPathsArePassedOverAsOnWindows) {
    // "P:" and 23 "\folderNNNN" reach 255 units: listed, but the track's path passes 260.
    std::string deep;
    for (int i = 0; i < 23; ++i)
        deep += "folder" + std::to_string(1000 + i) + "/";
    ASSERT_TRUE(MakeHostPlayer(
        top, {"a.mp3", deep + "\xE9\x95\xBF\xE9\x95\xBF\xE9\x95\xBF.mp3", deep + "ddd/in.mp3"}));
    EXPECT_EQ(Run(), kMsgDone);
    auto db = ParseDatabase(ReadHostFile(top + "/iPod_Control/iTunes/iTunesSD"));
    ASSERT_TRUE(db);
    // The folder "ddd" (259 units) cannot be listed; the long track is listed, unrenamed.
    ASSERT_EQ(db->names.size(), 2u);
    EXPECT_TRUE(HasWideUnits(db->names[0]) || HasWideUnits(db->names[1]));
    EXPECT_EQ(ReadHostFile(top + "/" + deep + "ddd/in.mp3").size(), (deep + "ddd/in.mp3").size());
}

TEST_F(HostPlayer, RenamesNeverReplace) {
    for (auto rename : {RenameNoReplace, RenameCheckedFallback}) {
        ASSERT_TRUE(MakeHostPlayer(top, {"a", "b", "d1/x", "d2/y"}));
        EXPECT_FALSE(rename((top + "/a").c_str(), (top + "/b").c_str()));
        EXPECT_FALSE(rename((top + "/d1").c_str(), (top + "/d2").c_str()));
        EXPECT_FALSE(rename((top + "/a").c_str(), (top + "/d1").c_str()));
        EXPECT_EQ(HostFiles(top).size(), 5u);
        EXPECT_EQ(ReadHostFile(top + "/b"), HostBytes{'b'});
        EXPECT_TRUE(rename((top + "/a").c_str(), (top + "/c").c_str()));
        EXPECT_TRUE(rename((top + "/d1").c_str(), (top + "/d3").c_str()));
        EXPECT_EQ(ReadHostFile(top + "/d3/x"), (HostBytes{'d', '1', '/', 'x'}));
        RemoveTree(top);
        mkdir(top.c_str(), 0700);
    }
}

// A chain the drive's check saved is a song plus the rest of its last cluster: its identity over
// the song's length is the song's, one byte changed in the middle is another song's, and cutting
// it to that length gives the song back byte for byte.
TEST_F(HostPlayer, ASavedChainIsItsSongCutBack) {
    HostBytes song(50000);
    for (size_t i = 0; i < song.size(); ++i)
        song[i] = static_cast<uint8_t>(i * 7 + i / 251);
    HostBytes chain = song, other = song;
    chain.resize(53248, 0xF6);
    other[song.size() / 2] ^= 1;
    ASSERT_TRUE(WriteHostFile(top + "/a.mp3", song) && WriteHostFile(top + "/b.mp3", other) &&
                WriteHostFile(top + "/FILE0000.CHK", chain));
    ItemIdentity identity = IdentifyFile(fs, u"P:\\a.mp3");
    EXPECT_EQ(identity.kind, ItemIdentity::Kind::File);
    EXPECT_EQ(IdentifyFile(fs, u"P:\\FILE0000.CHK", song.size()), identity);
    EXPECT_FALSE(IdentifyFile(fs, u"P:\\b.mp3") == identity);
    EXPECT_TRUE(fs.SetSize(u"P:\\FILE0000.CHK", song.size()));
    EXPECT_EQ(ReadHostFile(top + "/FILE0000.CHK"), song);
}

// Room made for new names shows in no listing and takes no MP3 name; it clears a stand-in a cut
// left behind (empty), never a file of the user's.
TEST_F(HostPlayer, RoomForNewNamesLeavesTheFolderAsItWas) {
    const std::pair<std::u16string, std::u16string> stands[] = {
        {u"ST_FILE_12.mp3", u"~T_FILE_12.mp~"}, {u"ST_DIR_3", u"~T_DIR_3"}, {u"x.MP3", u"~.MP~"}};
    for (const auto& [name, stand] : stands)
        EXPECT_EQ(PlaceholderName(name), stand);
    ASSERT_TRUE(MakeHostPlayer(top, {"d/a.mp3", "d/~T_DIR_1"}));
    auto before = HostFiles(top);
    ASSERT_TRUE(WriteHostFile(top + "/d/~T_FILE_1.mp~", {}));
    EXPECT_TRUE(fs.PrepareNames(u"P:\\d", {u"ST_FILE_1.mp3", u"ST_DIR_1", u"ST_FILE_2.mp3"}));
    EXPECT_EQ(HostFiles(top), before);
    // The room itself, as on FAT: taken and freed, the taken name left alone.
    bool made = false;
    int error = 0;
    EXPECT_TRUE(MakeRoom({top + "/d/~T_FILE_2.mp~", top + "/d/~T_DIR_1"}, made, error));
    EXPECT_TRUE(made);
    EXPECT_EQ(HostFiles(top), before);
}

TEST_F(HostPlayer, OnlyWhatIsOnThePlayerIsReached) {
    ASSERT_TRUE(MakeHostPlayer(top, {"file.mp3"}));
    std::string host;
    ASSERT_TRUE(fs.HostPath(u"p:\\Music\\晴\xDCFF", host));
    EXPECT_EQ(host, top + "/Music/\xE6\x99\xB4\xFF");
    // Another drive, no separator, this system's separator or a way up inside a name, an empty
    // name, and 260 units: none may reach a file.
    for (const std::u16string& path :
         std::initializer_list<std::u16string>{u"Q:\\a", u"P:a", u"P:\\a/b", u"P:\\..\\etc",
                                               u"P:\\a\\\\b", u"P:\\" + std::u16string(257, u'a')})
        EXPECT_FALSE(fs.HostPath(path, host)) << host;
    EXPECT_EQ(fs.ListFolder(u"P:\\missing"), nullptr);
    EXPECT_EQ(fs.ListFolder(u"P:\\file.mp3"), nullptr);
    EXPECT_EQ(fs.CreateOutput(u"P:\\missing\\x"), nullptr);
    EXPECT_TRUE(fs.IsDirectory(u"P:\\iPod_Control") && fs.Exists(u"P:\\file.mp3"));
    EXPECT_FALSE(fs.IsDirectory(u"P:\\file.mp3") || fs.Exists(u"P:\\missing"));
    // A new folder, never over what is there; the room left, as the system counts it.
    EXPECT_TRUE(fs.CreateFolder(u"P:\\iPod_Control\\Speakable"));
    EXPECT_TRUE(fs.IsDirectory(u"P:\\iPod_Control\\Speakable"));
    EXPECT_FALSE(fs.CreateFolder(u"P:\\iPod_Control\\Speakable"));
    EXPECT_EQ(fs.LastError(), EEXIST);
    EXPECT_FALSE(fs.CreateFolder(u"P:\\missing\\Tracks"));
    EXPECT_FALSE(fs.CreateFolder(u"Q:\\x"));
    uint64_t free = 0;
    ASSERT_TRUE(fs.FreeSpace(u"P:\\", free));
    struct statvfs volume;
    ASSERT_EQ(statvfs(top.c_str(), &volume), 0);
    EXPECT_NEAR(double(free), double(volume.f_bavail) * volume.f_frsize, 64.0 * 1024 * 1024);
    EXPECT_FALSE(fs.FreeSpace(u"Q:\\", free));
}

TEST_F(HostPlayer, OneRunAtATime) {
    ASSERT_TRUE(MakeHostPlayer(top, {}));
    auto held = fs.LockPlayer(kDbPath);
    ASSERT_TRUE(held);
    EXPECT_FALSE(fs.LockPlayer(kDbPath));
    EXPECT_EQ(fs.LockPlayer(kDbPath).systemError, 0);  // held: busy, no error
    EXPECT_EQ(Run(), kMsgPlayerBusy);
    held.held.reset();
    EXPECT_TRUE(fs.LockPlayer(kDbPath));

    // A folder that cannot be opened is no other run's hold: the system's reason comes back.
    RemoveTree(top + "/iPod_Control/iTunes");
    auto none = fs.LockPlayer(kDbPath);
    EXPECT_FALSE(none);
    EXPECT_EQ(none.systemError, ENOENT);
}

}  // namespace
