// The track scan: which entries are tracks, their player paths and order, and what it shows.
#include <gtest/gtest.h>

#include "EngineFixture.h"
#include "base/Messages.h"
#include "RunInvariants.h"

namespace {

using TrackScan = EngineFixture;
using List = std::vector<std::u16string>;

TEST_F(TrackScan, ListingOrderDepthFirstNeverSorted) {
    fs.AddFile(u"E:\\z.mp3");
    fs.AddFile(u"E:\\A\\c.mp3");
    fs.AddFile(u"E:\\b.mp3");
    fs.AddFile(u"E:\\A\\B\\d.mp3");
    fs.AddFile(u"E:\\A\\a.mp3");
    EXPECT_EQ(job.ScanTracks(u"E:"), 1);
    EXPECT_EQ(Paths(), (List{u"/z.mp3", u"/A/c.mp3", u"/A/B/d.mp3", u"/A/a.mp3", u"/b.mp3"}));
}

TEST_F(TrackScan, PlayerPathsKeepEveryUnit) {
    fs.AddFile(u"E:\\a.mp3");
    fs.AddFile(u"E:\\x\\y\\b.MP3");
    fs.AddFile(u"E:\\\u4E2D \u00E9.d\\ c.mP3");
    job.ScanTracks(u"E:");
    EXPECT_EQ(Paths(), (List{u"/a.mp3", u"/x/y/b.MP3", u"/\u4E2D \u00E9.d/ c.mP3"}));
    job.m_lstPaths.Clear();
    job.ScanTracks(u"E:\\x");
    EXPECT_EQ(Paths(), List{u"/x/y/b.MP3"});
}

TEST_F(TrackScan, WhichNamesAreTracks) {
    const struct {
        const char16_t* name;
        bool folder;
        bool track;
    } cases[] = {{u"a.mp3", false, true},       {u"a.MP3", false, true},  {u"a.Mp3", false, true},
                 {u"Songmp3", false, true},     {u"mp3", false, true},    {u".mp3", false, true},
                 {u"a.mp3.bak", false, false},  {u"a.mp4", false, false}, {u"a.mp", false, false},
                 {u"a.wav", false, false},      {u"p3", false, false},    {u"3", false, false},
                 {u"a.\uFF4Dp3", false, false}, {u"x.mp3", true, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(Printable(c.name));
        MemoryFileSystem tree;
        CSyncJob scan(tree);
        std::u16string path = std::u16string(u"E:\\R\\") + c.name;
        c.folder ? tree.AddFolder(path) : tree.AddFile(path);
        scan.ScanTracks(u"E:\\R");
        EXPECT_EQ(scan.m_lstPaths.Count(), c.track ? 1u : 0u);
    }
}

TEST_F(TrackScan, ShowsFullPathOfEachTrack) {
    fs.AddFile(u"E:\\x\\y\\b.MP3");
    fs.AddFile(u"E:\\x\\notes.txt");
    job.ScanTracks(u"E:");
    using Call = RecordingStatusLabel::Call;
    ASSERT_EQ(label.events.size(), 3u);
    EXPECT_EQ(label.events[0].call, Call::Invalidate);
    EXPECT_EQ(label.events[1].call, Call::SetPlain);
    EXPECT_EQ(label.events[1].value, 1);
    EXPECT_EQ(label.events[2].call, Call::SetLinkText);
    EXPECT_EQ(label.events[2].text, u"File: E:\\x\\y\\b.MP3");
    EXPECT_EQ(label.events[2].value, 0);
}

TEST_F(TrackScan, AddTrackConvertsOnlyWhenAsked) {
    const struct {
        const char16_t* path;
        int convert;
        const char16_t* stored;
    } cases[] = {{u"E:\\a.mp3", 1, u"/a.mp3"},
                 {u"E:\\a\\b.mp3", 0, u"E:\\a\\b.mp3"},
                 {u"E:", 1, u""},
                 {u"E", 1, u""}};
    for (const auto& c : cases)
        EXPECT_EQ(job.AddTrack(c.path, c.convert), 1);
    ASSERT_EQ(Paths().size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(Paths()[i], cases[i].stored);
        EXPECT_EQ(label.Texts()[i], std::u16string(u"File: ") + cases[i].path);
    }
}

// A folder closed to us (access denied) is passed over; one the medium fails to read is the
// fault-injection tests' business.
TEST_F(TrackScan, UnlistableFolderIsPassedOver) {
    fs.AddFile(u"E:\\A\\a.mp3");
    fs.AddFile(u"E:\\B\\b.mp3");
    fs.AddFile(u"E:\\c.mp3");
    fs.SetClosed(u"E:\\A");
    EXPECT_EQ(job.ScanTracks(u"E:"), 1);
    EXPECT_EQ(Paths(), (List{u"/B/b.mp3", u"/c.mp3"}));

    job.m_lstPaths.Clear();
    label.events.clear();
    EXPECT_EQ(job.ScanTracks(u"E:\\A"), 0);
    EXPECT_EQ(job.ScanTracks(u"E:\\missing"), 0);
    EXPECT_TRUE(Paths().empty());
    EXPECT_TRUE(label.events.empty());
}

// The listing says what is a folder; a folder is never taken for a track, even one whose
// path a directory test would refuse.
TEST_F(TrackScan, FolderNamedLikeATrackIsWalkedNeverListed) {
    fs.AddFile(u"E:\\x.mp3\\in.mp3");
    fs.failWhen = [](FsOp op, const std::u16string&) { return op == FsOp::IsDirectory; };
    job.ScanTracks(u"E:");
    EXPECT_EQ(Paths(), List{u"/x.mp3/in.mp3"});
}

TEST_F(TrackScan, LinkedFolderIsNeverWalked) {
    fs.AddLink(u"E:\\L");
    fs.AddFile(u"E:\\L\\in.mp3");
    fs.AddFile(u"E:\\out.mp3");
    std::vector<std::u16string> listed;
    fs.failWhen = [&](FsOp op, const std::u16string& path) {
        if (op == FsOp::List)
            listed.push_back(path);
        return false;
    };
    job.ScanTracks(u"E:");
    EXPECT_EQ(Paths(), List{u"/out.mp3"});
    EXPECT_EQ(listed, List{u"E:"});
}

TEST_F(TrackScan, EmptyTreeOrNoTracksLeavesListEmpty) {
    fs.AddFolder(u"E:\\empty");
    fs.AddFile(u"E:\\docs\\a.txt");
    job.ScanTracks(u"E:");
    EXPECT_TRUE(Paths().empty());
    EXPECT_TRUE(label.events.empty());
}

}  // namespace
