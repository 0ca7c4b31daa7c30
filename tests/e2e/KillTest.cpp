// Ends the real program with TerminateProcess at moments spread over a run (the scan, the renames,
// the database write) and checks that the player is never left broken: the old iTunesSD or a
// complete new one, every file under its old or new name, and a later run that finishes the job.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "AppDriver.h"
#include "PlayerDrive.h"

namespace {

const std::wstring kStart = L"开始";
const std::wstring kDone = L"完成";

// When to kill, counted from the click on "开始".
struct Moment {
    enum Kind { kTime, kText, kTempFile } kind;
    std::string label;
    double fraction = 0;      // kTime: this fraction of a full run's duration
    std::wstring head = L"";  // kText: a status text starting with this (or "完成") has shown
    DWORD delayMs = 0;        // kText, kTempFile: then wait this long
};

class KillMidRun : public ::testing::Test {
protected:
    // The player: the old database, 2100 tracks (some wide-named), the program in the top folder.
    void SetUp() override {
        ASSERT_TRUE(WipeDrive(kPlayerDrive, DRIVE_REMOVABLE)) << "P: is not the removable drive";
        ASSERT_TRUE(WriteBytes(DatabasePath(kPlayerDrive), OldDatabase()));
        ASSERT_TRUE(CreateTree(kPlayerDrive, AlbumTree(2100, L"")));
        exe = InstallProgram(kPlayerDrive);
        ASSERT_FALSE(exe.empty());
        before = ListTree(kPlayerDrive);
    }

    // Starts the program and clicks "开始"; returns the tick count of the click.
    DWORD StartRun(AppDriver& app) {
        EXPECT_TRUE(app.Start(exe, L"P:\\"));
        EXPECT_TRUE(app.FindMainWindow()) << app.Report();
        EXPECT_TRUE(app.WaitForStatus(kStart, 10000)) << app.Report();
        EXPECT_TRUE(app.ClickStatus());
        return GetTickCount();
    }

    // A whole run to "完成"; returns its duration from the click. Closing normally costs Wine two
    // seconds of window teardown, so only the first run does; the others end once "完成" shows.
    DWORD CompleteRun(bool close) {
        AppDriver app;
        DWORD click = StartRun(app);
        EXPECT_TRUE(app.WaitForStatus(kDone, 120000)) << app.Report();
        DWORD took = GetTickCount() - click;
        EXPECT_TRUE(WaitForRunsToEnd(kPlayerDrive)) << app.Report();
        if (close) {
            EXPECT_TRUE(app.PressKey(VK_ESCAPE));
            EXPECT_TRUE(app.WaitForExit(30000)) << app.Report();
            EXPECT_EQ(app.ExitCode(), 2u);
        }
        EXPECT_EQ(CheckRenamed(before, ListTree(kPlayerDrive), kPlayerDrive), "");
        EXPECT_EQ(CheckDatabase(kPlayerDrive, kPlayerDrive), "");
        return took;
    }

    std::wstring exe;
    Tree before;
};

TEST_F(KillMidRun, PlayerStaysSound) {
    // A run's length varies from one to the next; the longer of two sets the moments.
    DWORD full = CompleteRun(true);
    ASSERT_TRUE(RestoreTree(kPlayerDrive, before));
    full = std::max(full, CompleteRun(false));
    // The status line shows a text at most every few ms and may skip any of them, so the
    // database write is found on disk instead: its temporary file beside iTunesSD.
    const std::wstring temp = DatabasePath(kPlayerDrive) + L".new";
    std::vector<Moment> moments;
    for (double f : {0.0, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 1.0, 1.25, 1.5})
        moments.push_back({Moment::kTime, "at " + std::to_string(int(f * 100 + 0.5)) + "%", f});
    for (DWORD delay : {0, 15})
        moments.push_back({Moment::kText, "Rename shown + " + std::to_string(delay) + "ms", 0,
                           L"Rename: ", delay});
    for (DWORD delay : {0, 1, 2, 4, 8, 16})
        moments.push_back(
            {Moment::kTempFile, "db write + " + std::to_string(delay) + "ms", 0, L"", delay});

    int oldKept = 0, newWritten = 0, tempLeft = 0;
    DWORD began = GetTickCount();
    for (const Moment& moment : moments) {
        SCOPED_TRACE(moment.label);
        ASSERT_TRUE(RestoreTree(kPlayerDrive, before)) << "cannot make the player fresh again";
        std::wstring lastSeen;
        {
            AppDriver app;
            DWORD click = StartRun(app);
            if (moment.kind == Moment::kTempFile) {
                // A tight loop: the write takes only a few ms.
                while (GetFileAttributesW(temp.c_str()) == INVALID_FILE_ATTRIBUTES &&
                       GetTickCount() - click < 4 * full + 5000) {
                }
            } else {
                // Watching the status line meanwhile, so the report says where the run stood.
                app.WaitForStatus(
                    [&](const std::wstring& text) {
                        if (moment.kind == Moment::kTime)
                            return GetTickCount() - click >= DWORD(moment.fraction * full);
                        return text.compare(0, moment.head.size(), moment.head) == 0 ||
                               text == kDone;
                    },
                    120000);
            }
            Sleep(moment.delayMs);
            app.Terminate();
            lastSeen = moment.kind == Moment::kTempFile ? L"(not watched)" : app.Seen().back();
        }
        bool leftTemp = GetFileAttributesW(temp.c_str()) != INVALID_FILE_ATTRIBUTES;
        tempLeft += leftTemp;
        bool old = ReadBytes(DatabasePath(kPlayerDrive)) == OldDatabase();
        (old ? oldKept : newWritten)++;
        EXPECT_EQ(CheckRenamed(before, ListTree(kPlayerDrive), kPlayerDrive, false), "");
        // A new database is written only after every rename: it lists exactly what is on disk.
        if (!old) {
            EXPECT_EQ(CheckDatabase(kPlayerDrive, kPlayerDrive, true), "");
        }
        printf("[ kill %-18s last text \"%.40s\" -> %s database%s ]\n", moment.label.c_str(),
               Utf8(lastSeen).c_str(), old ? "old" : "new",
               leftTemp ? ", temporary file left" : "");
        CompleteRun(false);
    }
    printf(
        "[ full run %lu ms; kills: %zu, old database kept: %d, new database: %d, temporary "
        "file left: %d; %lu s ]\n",
        full, moments.size(), oldKept, newWritten, tempLeft, (GetTickCount() - began) / 1000);
    EXPECT_EQ(oldKept + newWritten, int(moments.size()));
}

}  // namespace
