// The same player tree through Zorbel.exe under Wine and through the zorbel command natively:
// the same header and the same records byte for byte, and the same names on disk. Wine lists a
// folder sorted and this system in its own order, so the records are compared as multisets and
// each side's order is checked against a listing made on its own system. The tree's renames do
// not depend on the order: no folder holds two wide-named MP3 files or two such folders.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "database/Database.h"
#include "DatabaseFile.h"
#include "HostTree.h"

namespace {

const std::vector<std::string> kTree = {
    "Morning Walk.mp3",
    "\xE5\x8D\x8E\xE8\xAF\xAD/\xE6\x99\xB4\xE5\xA4\xA9.mp3",  // 华语/晴天.mp3
    "\xE5\x8D\x8E\xE8\xAF\xAD/Plain Song.mp3",
    "\xE5\x8D\x8E\xE8\xAF\xAD/\xE5\xB0\x81\xE9\x9D\xA2.jpg",
    "Mix/\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E/\xE3\x81\x95\xE3\x81\x8F\xE3\x82\x89.MP3",
    "Mix/Caf\xC3\xA9 del Mar.mp3",
    "Mix/song\xF0\x9F\x8E\xB5.mp3",
    "\xE5\xA4\x96/\xE5\x86\x85/\xE6\xB7\xB1\xE5\xA4\x84/\xE6\xB7\xB1.mp3",  // 外/内/深处/深.mp3
    "\xE5\xA4\x96/\xE5\x86\x85/flat.mp3",
    "\xE5\xA4\x96/text.txt",
    "Deep/1/2/3/\xF0\x9F\x8E\xA7/\xE9\x9F\xB3\xE4\xB9\x90.mp3",  // Deep/1/2/3/🎧/音乐.mp3
    "Music/a.mp3",
    "Music/b.MP3",
    "Music/Songmp3",
    "Music/e.mp4",
    "Music/Live/c.mp3",
    "Music/Empty/",
    "Podcasts/zz.mp3",
};

std::vector<HostBytes> SortedRecords(const HostBytes& db) {
    std::vector<HostBytes> records;
    for (size_t at = kDbHeaderSize; at + kDbRecordSize <= db.size(); at += kDbRecordSize)
        records.emplace_back(db.begin() + at, db.begin() + at + kDbRecordSize);
    std::sort(records.begin(), records.end());
    return records;
}

// Every file but the database, "path=bytes" each, sorted.
std::vector<std::string> SortedFiles(const std::string& top) {
    std::vector<std::string> files;
    for (const auto& [path, bytes] : HostFiles(top))
        if (path.rfind("iPod_Control/", 0) != 0)
            files.push_back(path + "=" +
                            (path == "Zorbel.exe" ? "" : std::string(bytes.begin(), bytes.end())));
    std::sort(files.begin(), files.end());
    return files;
}

TEST(ExeAndCommand, GiveTheSameDatabase) {
    const char* playerDir = std::getenv("ZORBEL_PLAYER_DIR");  // Wine's drive P:
    ASSERT_TRUE(playerDir && *playerDir) << "run under scripts/test: ZORBEL_PLAYER_DIR unset";
    const std::string win32 = ZORBEL_WIN32_BUILD, exe = win32 + "/app/Zorbel.exe";
    std::string wineTop = playerDir, nativeTop = MakeTempFolder();
    RemoveTree(wineTop);
    for (const auto& top : {wineTop, nativeTop}) {
        ASSERT_TRUE(MakeHostPlayer(top, kTree));
        ASSERT_TRUE(WriteHostFile(top + "/Zorbel.exe", ReadHostFile(exe)));
    }

    std::string out;
    ASSERT_EQ(
        RunProgram({"wine", win32 + "/tools/player_demo.exe", "P:\\Zorbel.exe", "P:\\"}, &out), 0)
        << out;
    EXPECT_EQ(RunProgram({"wine", win32 + "/tools/player_check.exe", "P:"}, &out), 0) << out;
    ASSERT_EQ(RunProgram({ZORBEL_COMMAND, nativeTop}, &out), 0) << out;

    const std::string db = "/iPod_Control/iTunes/iTunesSD";
    HostBytes wineDb = ReadHostFile(wineTop + db), nativeDb = ReadHostFile(nativeTop + db);
    auto parsed = ParseDatabase(nativeDb);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->names, HostTracks(nativeTop));  // this system's order
    EXPECT_EQ(parsed->count, 14u);
    ASSERT_EQ(wineDb.size(), nativeDb.size());
    EXPECT_TRUE(std::equal(wineDb.begin(), wineDb.begin() + kDbHeaderSize, nativeDb.begin()));
    EXPECT_EQ(SortedRecords(wineDb), SortedRecords(nativeDb));
    EXPECT_EQ(SortedFiles(wineTop), SortedFiles(nativeTop));
    RemoveTree(nativeTop);
}

}  // namespace
