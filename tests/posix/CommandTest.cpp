// The zorbel command as a user runs it: one row per situation, each checked in its exit code, its
// output and on disk; and the pieces of its progress line.
#include <gtest/gtest.h>

#include <cstdio>

#include "DatabaseFile.h"
#include "HostTree.h"
#include "PosixFileSystem.h"
#include "Progress.h"
#include "Version.h"

namespace {

const std::string kMusic[] = {"Music/a.mp3", "Music/\xE6\x99\xB4.mp3", "Music/cover.jpg",
                              "\xE4\xB8\xAD/b.mp3", "c.mp3"};

std::string Fill(std::string text, const std::string& top) {
    for (size_t at; (at = text.find("{top}")) != std::string::npos;)
        text.replace(at, 5, top);
    for (size_t at; (at = text.find("{cmd}")) != std::string::npos;)
        text.replace(at, 5, ZORBEL_COMMAND);
    return text;
}

struct CommandCase {
    const char* name;
    std::vector<std::string> args;  // after the command; {top}: the player's top folder
    bool player;                    // whether the folder holds iPod_Control/iTunes/iTunesSD
    int code;
    std::string out, err;  // a line each must hold
    std::string below;     // the folder whose tracks the new database lists; "-": none written
    std::string setup;     // a shell command run first, to bring the player into its state
};

TEST(Command, EachSituation) {
    const CommandCase cases[] = {
        {"help", {"--help"}, true, 0, "Usage: zorbel [FOLDER]", "", "-", ""},
        {"version", {"--version"}, true, 0, "zorbel " ZORBEL_VERSION "\n", "", "-", ""},
        {"bad option", {"--all"}, true, 2, "", "unknown option '--all'", "-", ""},
        {"two folders", {"{top}", "{top}"}, true, 2, "", "one folder at most", "-", ""},
        {"no folder", {"{top}/none"}, true, 2, "", "{top}/none: no such folder", "-", ""},
        {"a file", {"{top}/c.mp3"}, true, 2, "", "no such folder", "-", ""},
        {"not a player", {"{top}/Music"}, false, 2, "", "no iPod Shuffle here", "-", ""},
        {"wide folder", {"{top}/\xE4\xB8\xAD"}, true, 2, "", "non-Latin characters", "-", ""},
        {"top folder",
         {"{top}"},
         true,
         0,
         "4 tracks written, 1 file and 1 folder renamed",
         "",
         "",
         ""},
        {"folder below",
         {"--", "{top}/Music"},
         true,
         0,
         "done: 2 tracks written, 1 file and 0 folders renamed",
         "",
         "Music",
         ""},
        {"current folder",
         {"sh", "-c", "cd '{top}/Music' && exec '{cmd}'"},
         true,
         0,
         "Rename: {top}/Music/\xE6\x99\xB4.mp3 to {top}/Music/ST_FILE_1.mp3",
         "",
         "Music",
         ""},
        {"check a fresh player",
         {"--check", "{top}"},
         true,
         1,
         "names the player cannot show: a run would rename 2 (new name after the arrow)\n"
         "  {top}/Music/\xE6\x99\xB4.mp3 -> ST_FILE_1.mp3\n"
         "  {top}/\xE4\xB8\xAD -> ST_DIR_1\n"
         "the player will play 0 tracks; a run would add 4, drop 0 and rename 2\n",
         "",
         "-",
         ""},
        {"check after a run",
         {"--check", "{top}"},
         true,
         0,
         "database: 4 tracks, 2250 bytes, complete and as Zorbel writes it\n"
         "up to date: the player will play 4 tracks\n",
         "",
         "-",
         "'{cmd}' '{top}'"},
        {"check a missing file",
         {"--check", "{top}/Music"},
         true,
         1,
         "not on the player: 1 of the database's 2 tracks\n  {top}/Music/a.mp3\n"
         "the player will play 1 track; a run would add 0, drop 1 and rename 0\n",
         "",
         "-",
         "'{cmd}' '{top}/Music' && rm '{top}/Music/a.mp3'"},
        {"check a torn database",
         {"--check", "{top}"},
         true,
         1,
         "database: torn: 1000 bytes where its header's 4 tracks take 2250",
         "",
         "-",
         "'{cmd}' '{top}' && truncate -s 1000 '{top}/iPod_Control/iTunes/iTunesSD'"},
        {"check a left-over temporary database",
         {"--check", "{top}"},
         true,
         1,
         "left-over iTunesSD.new: a run was cut off",
         "",
         "-",
         "'{cmd}' '{top}' && echo > '{top}/iPod_Control/iTunes/iTunesSD.new'"},
        {"check a Chinese name",
         {"--check", "{top}"},
         true,
         1,
         "not in the database: 1 MP3 file under {top}\n  {top}/\xE9\x9B\xA8.mp3\n"
         "names the player cannot show: a run would rename 1 (new name after the arrow)\n"
         "  {top}/\xE9\x9B\xA8.mp3 -> ST_FILE_1.mp3\n"
         "the player will play 4 tracks; a run would add 1, drop 0 and rename 1\n",
         "",
         "-",
         "'{cmd}' '{top}' && echo > '{top}/\xE9\x9B\xA8.mp3'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string top = MakeTempFolder();
        ASSERT_TRUE(
            MakeHostPlayer(top, std::vector<std::string>(std::begin(kMusic), std::end(kMusic))));
        if (!c.player)
            RemoveTree(top + "/iPod_Control");
        if (!c.setup.empty()) {
            ASSERT_EQ(RunProgram({"sh", "-c", Fill(c.setup, top) + " >/dev/null"}), 0);
        }
        auto before = HostFiles(top);
        auto times = HostTimes(top);
        std::vector<std::string> args = {ZORBEL_COMMAND};
        if (c.args.size() == 3 && c.args[0] == "sh")
            args.clear();
        for (const auto& arg : c.args)
            args.push_back(Fill(arg, top));
        std::string out, err;
        EXPECT_EQ(RunProgram(args, &out, &err), c.code) << out << err;
        EXPECT_NE(out.find(Fill(c.out, top)), std::string::npos) << out;
        EXPECT_NE(err.find(Fill(c.err, top)), std::string::npos) << err;
        if (c.below == "-") {
            EXPECT_EQ(HostFiles(top), before);
            EXPECT_EQ(HostTimes(top), times);
        } else {
            auto db = ParseDatabase(ReadHostFile(top + "/iPod_Control/iTunes/iTunesSD"));
            ASSERT_TRUE(db);
            EXPECT_EQ(db->names, HostTracks(top, c.below));
        }
        RemoveTree(top);
    }
}

TEST(Command, FailedRunsKeepTheOldDatabase) {
    std::string top = MakeTempFolder();
    ASSERT_TRUE(MakeHostPlayer(top, {"a.mp3"}));
    std::string db = top + "/iPod_Control/iTunes/iTunesSD", err;
    {
        PosixFileSystem fs(top, u"P:");
        auto held = fs.LockPlayer(u"P:\\iPod_Control\\iTunes\\iTunesSD");
        EXPECT_EQ(RunProgram({ZORBEL_COMMAND, top}, nullptr, &err), 1);
        EXPECT_NE(err.find("another run is updating this player"), std::string::npos) << err;
    }
    if (SetImmutable(db, true)) {
        EXPECT_EQ(RunProgram({ZORBEL_COMMAND, top}, nullptr, &err), 1);
        SetImmutable(db, false);
        EXPECT_NE(err.find("the old one is kept"), std::string::npos) << err;
    }
    EXPECT_EQ(ReadHostFile(db), OldDatabaseBytes());
    RemoveTree(top);
}

TEST(Progress, TextsShowRealPathsAndFitTheTerminal) {
    UseTerminalLocale();
    EXPECT_EQ(DisplayText(u"Rename: P:\\x\\晴.mp3 to P:\\x\\ST_FILE_1.mp3", u"P:", "/m"),
              "Rename: /m/x/\xE6\x99\xB4.mp3 to /m/x/ST_FILE_1.mp3");
    EXPECT_EQ(DisplayText(u"File: P:\\bad\xDCFF.mp3", u"P:", "/"), "File: /bad\xFF.mp3");
    const std::tuple<std::string, size_t, std::string> fits[] = {
        {"abc", 3, "abc"},
        {"abcdef", 5, "...ef"},
        {"\xE6\x99\xB4\xE6\x99\xB4\xE5\xA4\xA9.mp3", 9, "...\xE5\xA4\xA9.mp3"},  // wide: 2 columns
        {"abcdef", 2, ".."},
        {"e\xCC\x81t\xC3\xA9.mp3", 7, "e\xCC\x81t\xC3\xA9.mp3"},  // a combining accent: none
    };
    for (const auto& [text, columns, expected] : fits) {
        EXPECT_EQ(FitColumns(text, columns), expected);
        EXPECT_LE(Columns(FitColumns(text, columns)), columns);
    }

    // On a terminal: one line rewritten, throttled, and a last line that stays.
    std::FILE* out = std::tmpfile();
    Progress progress(out, 30, u"P:", "/m");
    progress.SetLinkText(u"Search File: 晴天.mp3", 0);
    progress.SetLinkText(u"File: P:\\晴", 0);  // collected for renaming: still searching
    progress.SetLinkText(u"Rename: P:\\晴天.mp3 to P:\\ST_FILE_1.mp3", 0);
    for (int i = 0; i < 1000; ++i)
        progress.SetLinkText(u"File: P:\\Music\\long folder name\\song.mp3", 0);
    progress.SetLinkText(u"完成", 0);
    progress.Finish();
    std::string written(static_cast<size_t>(std::ftell(out)), '\0');
    std::rewind(out);
    ASSERT_EQ(std::fread(written.data(), 1, written.size(), out), written.size());
    std::fclose(out);
    EXPECT_EQ(std::count(written.begin(), written.end(), '\r'), 2);  // first text, last line
    EXPECT_EQ(written.back(), '\n');
    std::string last = written.substr(written.rfind('\r') + 1);
    EXPECT_EQ(last, "listing tracks 1000: ...g.mp3\x1b[K\n");
    EXPECT_EQ(progress.Count(Progress::kSearching), 1u);
    EXPECT_EQ(progress.Count(Progress::kRenaming), 1u);
    EXPECT_EQ(progress.Count(Progress::kListing), 1000u);
    EXPECT_EQ(progress.LastText(), u"完成");
}

}  // namespace
