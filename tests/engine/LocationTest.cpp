// The location check: which outcome a program path and the two drive facts give, what the job
// keeps, and what the label shows afterwards.
#include <gtest/gtest.h>

#include "EngineFixture.h"
#include "run/Location.h"
#include "base/Messages.h"
#include "RunInvariants.h"

namespace {

using List = std::vector<std::u16string>;
using Outcome = LocationOutcome;

// LeftOverNew: no iTunesSD, only the iTunesSD.new that a replace cut short on Windows leaves.
enum class Db { Missing, File, Folder, LeftOverNew, NewFolder };

std::vector<std::string> Describe(const std::vector<RecordingStatusLabel::Event>& events) {
    std::vector<std::string> out;
    for (const auto& e : events) {
        switch (e.call) {
            case RecordingStatusLabel::Call::Invalidate:
                out.push_back("Invalidate");
                break;
            case RecordingStatusLabel::Call::SetPlain:
                out.push_back("SetPlain " + std::to_string(e.value));
                break;
            case RecordingStatusLabel::Call::SetLinkText:
                out.push_back("SetLinkText " + Printable(e.text) + " " + std::to_string(e.value));
                break;
        }
    }
    return out;
}

TEST(Location, Outcomes) {
    const std::u16string longFolder = u"E:\\" + std::u16string(245, u'a');
    const struct {
        std::u16string program;
        Db db;
        bool removable;
        Outcome outcome;
        std::u16string rootDir;
    } cases[] = {
        {u"E:\\Zorbel.exe", Db::File, true, Outcome::Ready, u"E:"},
        {u"E:\\Music\\Pop\\Zorbel.exe", Db::File, true, Outcome::Ready, u"E:\\Music\\Pop"},
        {u"E:\\Music\\Zorbel.exe", Db::Missing, true, Outcome::NotOnPlayer, u"E:\\Music"},
        {u"E:\\Zorbel.exe", Db::Folder, true, Outcome::Ready, u"E:"},
        {u"E:\\Zorbel.exe", Db::LeftOverNew, true, Outcome::Ready, u"E:"},
        {u"E:\\Zorbel.exe", Db::LeftOverNew, false, Outcome::NotOnPlayer, u"E:"},
        {u"E:\\Zorbel.exe", Db::NewFolder, true, Outcome::NotOnPlayer, u"E:"},
        {u"E:\\Zorbel.exe", Db::File, false, Outcome::NotOnPlayer, u"E:"},
        {u"F:\\Zorbel.exe", Db::File, true, Outcome::NotOnPlayer, u"F:"},  // database is on E:
        {u"E:\\\u4E2D\u6587\\Zorbel.exe", Db::File, true, Outcome::FolderNotSupported,
         u"E:\\\u4E2D\u6587"},
        {u"E:\\Music\\Pop\\\u4E2D\\Zorbel.exe", Db::File, true, Outcome::FolderNotSupported,
         u"E:\\Music\\Pop\\\u4E2D"},
        {u"E:\\Mus\u00E9e\\\u00FF\\Zorbel.exe", Db::File, true, Outcome::Ready,
         u"E:\\Mus\u00E9e\\\u00FF"},
        {u"E:\\Music\\\u4E2D\u6587.exe", Db::File, true, Outcome::Ready, u"E:\\Music"},
        // Both faults: the first message wins.
        {u"E:\\\u4E2D\\Zorbel.exe", Db::Missing, true, Outcome::NotOnPlayer, u"E:\\\u4E2D"},
        {u"E:\\\u4E2D\\Zorbel.exe", Db::File, false, Outcome::NotOnPlayer, u"E:\\\u4E2D"},
        {longFolder + u"\\Zorbel.exe", Db::File, true, Outcome::Ready, longFolder},  // 259 units
        {longFolder + u"a\\Zorbel.exe", Db::File, true, Outcome::NotOnPlayer, u""},  // did not fit
        {u"Zorbel.exe", Db::File, true, Outcome::NotOnPlayer, u""},
        {u"", Db::File, true, Outcome::NotOnPlayer, u""},
        {u"\\Zorbel.exe", Db::File, true, Outcome::NotOnPlayer, u""},  // no folder before it
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Printable(c.program));
        MemoryFileSystem fs;
        if (c.db == Db::File)
            fs.AddFile(kDb);
        else if (c.db == Db::Folder)
            fs.AddFolder(kDb);
        else if (c.db == Db::LeftOverNew)
            fs.AddFile(std::u16string(kDb) + u".new");
        else if (c.db == Db::NewFolder)
            fs.AddFolder(std::u16string(kDb) + u".new");
        RecordingStatusLabel label;
        CSyncJob job(fs);
        job.SetStatusLabel(&label);
        job.m_strDbPath = u"stale";
        FakeProbe probe(c.program, c.removable);
        bool ready = c.outcome == Outcome::Ready;

        EXPECT_EQ(job.CheckLocation(probe), ready ? 1 : 0);
        EXPECT_EQ(job.m_strRootDir, c.rootDir);
        EXPECT_EQ(job.m_strDbPath, ready ? kDb : u"");
        bool dbFound =
            c.db != Db::Missing && c.db != Db::NewFolder && c.rootDir.substr(0, 2) == u"E:";
        // The removable question is about the program's drive, and only once its database exists.
        EXPECT_EQ(probe.asked, dbFound ? List{c.rootDir.substr(0, 2) + u"\\"} : List{});

        const char16_t* message =
            c.outcome == Outcome::NotOnPlayer ? kMsgNotOnPlayer : kMsgFolderNotSupported;
        std::vector<std::string> shown =
            ready ? std::vector<std::string>{"SetLinkText " + Printable(kMsgStart) + " 100",
                                             "Invalidate", "SetPlain 0",
                                             "SetLinkText " + Printable(kMsgStart) + " 100"}
                  : std::vector<std::string>{"Invalidate", "SetPlain 1",
                                             "SetLinkText " + Printable(message) + " 0"};
        EXPECT_EQ(Describe(label.events), shown);
    }
}

TEST(Location, NetworkPathTakesTwoBackslashesForTheDrive) {
    List existsAsked, removableAsked;
    auto decision = DecideLocation(
        u"\\\\server\\share\\z.exe",
        [&](const std::u16string& path) {
            existsAsked.push_back(path);
            return true;
        },
        [&](const std::u16string& path) {
            existsAsked.push_back(path);
            return false;
        },
        [&](const std::u16string& root) {
            removableAsked.push_back(root);
            return true;
        });
    EXPECT_EQ(decision.rootDir, u"\\\\server\\share");
    EXPECT_EQ(existsAsked, List{u"\\\\\\iPod_Control\\iTunes\\iTunesSD"});
    EXPECT_EQ(removableAsked, List{u"\\\\\\"});
    EXPECT_EQ(decision.outcome, Outcome::Ready);
    EXPECT_EQ(decision.dbPath, u"\\\\\\iPod_Control\\iTunes\\iTunesSD");
}

TEST(Location, RefusedCheckLeavesNoRunToStart) {
    MemoryFileSystem fs;
    fs.AddFile(u"E:\\\u4E2D\\a.mp3");
    fs.AddFile(kDb, Bytes(3, 1));
    CSyncJob job(fs);
    FakeProbe probe(u"E:\\\u4E2D\\Zorbel.exe", true);
    EXPECT_EQ(job.CheckLocation(probe), 0);  // no label: nothing shown, nothing breaks
    EXPECT_EQ(job.m_strRootDir, u"E:\\\u4E2D");
    // The folder stays set, but no start is taken: it could be a folder on the hard disk.
    EXPECT_EQ(job.StartSync(), 0);
    job.WaitForRun();
    EXPECT_EQ(fs.Read(kDb), Bytes(3, 1));
    EXPECT_EQ(fs.Names(u"E:\\\u4E2D"), std::vector<std::u16string>{u"a.mp3"});
}

}  // namespace
