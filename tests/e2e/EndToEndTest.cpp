// The real Zorbel.exe on a simulated player, driven through its window: one row of the table per
// situation a user meets, each checked on the screen, in the database and in the names on disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "AppDriver.h"
#include "DatabaseFile.h"
#include "MemoryFileSystem.h"
#include "PlayerDrive.h"
#include "record/RenameRecord.h"

namespace {

// The program's texts, written out here so that a changed text in the program shows.
const std::wstring kStart = L"开始";
const std::wstring kDone = L"完成";
const std::wstring kDbFailed = L"写入数据库失败，原数据库未改动。";
const std::wstring kNotOnPlayer = L"请把本程序拷贝到iPod里再运行。";
const std::wstring kChineseFolder = L"本程序不支持中文目录，您可以修改目录名。";
const std::wstring kBusy = L"另一个窗口正在更新iPod，请稍后点此重试。";
const std::wstring kNotice =
    L"注意：\n本程序会搜索当前文件夹里所有MP3文件\n对于中文的文件名或者文件夹名会自动重命名\n"
    L"本程序仅支持iPod Shuffle";

enum class Action {
    Run,             // click "开始", wait for the last text, close with Escape
    DoubleClick,     // a double click on "开始": still one run
    ClickAfterDone,  // a run, then a click on "完成" that must start nothing
    CloseMidRun,     // Escape right after the first progress text: the window stays until done
    CloseFailing,    // the same with iTunesSD held open: the window stays with the failure
    TwoPrograms,     // a second program on the same player clicked during the first one's run
    LockedDatabase,  // iTunesSD held open without sharing: unreadable, so nothing is changed
    HalfReplaced,    // no iTunesSD, only the iTunesSD.new a replace cut short on FAT leaves
    TwoNames,        // a song under two names, as a cut during an earlier run's rename leaves
    LostSong,        // a song with no name, as a cut on Windows' FAT driver leaves; then chkdsk
    Refused,         // the location check refuses; a click starts nothing
    Enter,           // closes at "开始"
    Escape,
    AltF4,
    CloseBox,
};

struct Case {
    const char* name;
    std::vector<std::wstring> tree;  // relative to the program's drive
    std::wstring folder;             // the program's folder below the drive; empty: top folder
    const wchar_t* drive;
    bool database;  // whether the program's drive has iPod_Control\iTunes\iTunesSD
    Action action;
    std::wstring status;  // the status line's last text
    DWORD exitCode;
    // Files expected under new names, relative to the drive: old path, new path.
    std::vector<std::pair<std::wstring, std::wstring>> renamed = {};
    int tracks = -1;  // number of records, where the row fixes it
    bool about = false;
    bool screenshots = false;
    // The display's DPI the row needs: rows "...At144Dpi" run in a prefix of their own (CTest).
    int dpi = 96;
    // The Windows that Wine reports to the program (winxp, win10), else its default. These rows
    // also check that no black shows in the window, before the run and after.
    const wchar_t* windows = nullptr;
    // A third or fourth generation player (its database "bdhs", listing no songs yet): VoiceOver
    // turned on, each song's spoken name's id, and, as Wine has no voice, no spoken name made.
    bool later = false;
};

const std::vector<std::wstring> kPlain = {
    L"Music\\a.mp3",       L"Music\\b.MP3",       L"Music\\cover.jpg",
    L"Music\\Live\\c.mp3", L"Music\\Live\\d.mp3", L"Music\\Empty\\",
    L"Music\\Songmp3",     L"Music\\e.mp4",       L"Podcasts\\outside.mp3"};

const std::vector<std::wstring> kWide = {
    L"ST_FILE_1.mp3",
    L"ST_DIR_1\\keep.mp3",
    L"晴天.mp3",
    L"plain.mp3",
    L"歌曲\\七里香.mp3",
    L"歌曲\\ascii.mp3",
    L"歌曲\\ST_FILE_1.mp3",
    L"歌曲\\封面.jpg",
    L"Mix\\日本語\\さくら.MP3",
    L"Mix\\日本語\\ST_DIR_1\\x.txt",
    L"Mix\\song🎵.mp3",
    L"Mix\\Café.mp3",
    L"外层\\内层\\深处\\深.mp3",
    L"外层\\内层\\flat.mp3",
    L"外层\\只有文本.txt",
    L"Deep\\1\\2\\3\\🎧\\音乐.mp3",
    L"Deep\\1\\2\\3\\🎧\\ST_FILE_1.mp3",
};

// A whole run in the top folder, for the look at a DPI and with a Windows version reported.
Case Look(const char* name, std::vector<std::wstring> tree, int dpi, const wchar_t* windows) {
    return {name, tree, L"", kPlayerDrive, true,     Action::Run, kDone,
            2,    {},   -1,  false,        dpi > 96, dpi,         windows};
}

std::vector<Case> Cases() {
    const wchar_t* P = kPlayerDrive;
    return {
        {"PlainTree", kPlain, L"Music", P, true, Action::Run, kDone, 2, {}, 5, true, true},
        {"WideNames", kWide, L"", P, true, Action::Run, kDone, 2},
        {"Collisions",
         {L"Music\\ST_FILE_1.mp3", L"Music\\晴天.mp3", L"Music\\ST_DIR_1\\a.mp3",
          L"Music\\歌曲\\b.mp3", L"Music\\歌曲\\歌词.txt"},
         L"Music",
         P,
         true,
         Action::Run,
         kDone,
         2,
         {{L"Music\\晴天.mp3", L"Music\\ST_FILE_2.mp3"},
          {L"Music\\歌曲\\b.mp3", L"Music\\ST_DIR_2\\b.mp3"},
          {L"Music\\歌曲\\歌词.txt", L"Music\\ST_DIR_2\\歌词.txt"}},
         4},
        {"NoTracks",
         {L"cover.jpg", L"歌词\\歌词.txt", L"Notes\\readme.txt", L"song.mp4", L"a.mp3.bak",
          L"Folder.mp3\\x.txt", L"mp\\"},
         L"",
         P,
         true,
         Action::Run,
         kDone,
         2,
         {},
         0},
        {"Tracks300",
         AlbumTree(300, L"Music\\"),
         L"Music",
         P,
         true,
         Action::Run,
         kDone,
         2,
         {},
         300},
        {"DeepFolder",
         {L"A\\外面.mp3", L"A\\B\\x.mp3", L"A\\B\\C\\D\\E\\F\\歌.mp3", L"A\\B\\C\\D\\E\\F\\y.mp3",
          L"A\\B\\C\\D\\E\\F\\G\\日本語\\z.mp3"},
         L"A\\B\\C\\D\\E\\F",
         P,
         true,
         Action::Run,
         kDone,
         2,
         {{L"A\\B\\C\\D\\E\\F\\歌.mp3", L"A\\B\\C\\D\\E\\F\\ST_FILE_1.mp3"},
          {L"A\\B\\C\\D\\E\\F\\G\\日本語\\z.mp3", L"A\\B\\C\\D\\E\\F\\G\\ST_DIR_1\\z.mp3"}},
         3},
        {"TopFolder",
         {L"歌.mp3", L"top.mp3", L"Sub\\a.mp3", L"Sub\\Inner\\b.mp3"},
         L"",
         P,
         true,
         Action::Run,
         kDone,
         2,
         {{L"歌.mp3", L"ST_FILE_1.mp3"}},
         4},
        {"NoDatabase", kPlain, L"Music", P, false, Action::Refused, kNotOnPlayer, 2},
        {"FixedDrive", kPlain, L"Zorbel", kFixedDrive, true, Action::Refused, kNotOnPlayer, 2},
        {"ChineseFolder",
         {L"音乐\\歌.mp3", L"音乐\\a.mp3"},
         L"音乐",
         P,
         true,
         Action::Refused,
         kChineseFolder,
         2,
         {},
         -1,
         false,
         true},
        {"EnterCloses", kWide, L"", P, true, Action::Enter, kStart, 1},
        {"EscapeCloses", kWide, L"", P, true, Action::Escape, kStart, 2},
        {"AltF4Closes", kWide, L"", P, true, Action::AltF4, kStart, 2},
        {"CloseBoxCloses", kWide, L"", P, true, Action::CloseBox, kStart, 2},
        {"ClickAfterDone", kWide, L"", P, true, Action::ClickAfterDone, kDone, 2},
        {"DoubleClick", kWide, L"", P, true, Action::DoubleClick, kDone, 2},
        {"CloseMidRun",
         AlbumTree(1500, L""),
         L"",
         P,
         true,
         Action::CloseMidRun,
         kDone,
         2,
         {},
         1500},
        {"LockedDatabase", kWide, L"", P, true, Action::LockedDatabase, kDbFailed, 2},
        {"HalfReplaced", kWide, L"", P, true, Action::HalfReplaced, kDone, 2},
        // Nothing is changed, and the window says which two names share one song.
        {"TwoNames",
         kWide,
         L"",
         P,
         true,
         Action::TwoNames,
         L"有歌曲留下两个名字，请先检查修复iPod。",
         2,
         {},
         -1,
         false,
         true},
        // The song is named lost and the rest played; once the drive's check has saved it, the
        // next run puts it back and ends on 完成.
        {"LostSong",
         kWide,
         L"",
         P,
         true,
         Action::LostSong,
         L"有歌曲在拔出时丢失，请检查修复iPod后再运行。",
         2,
         {},
         -1,
         false,
         true},
        // The run fails after the close was asked for: the failure stays to be read, and the next
        // close (Enter) closes with its own code. A tree large enough that the run is still going
        // when Escape arrives.
        {"CloseMidFailingRun",
         AlbumTree(3000, L""),
         L"",
         P,
         true,
         Action::CloseFailing,
         kDbFailed,
         1,
         {},
         3000},
        {"TwoPrograms",
         AlbumTree(1500, L""),
         L"",
         P,
         true,
         Action::TwoPrograms,
         kDone,
         2,
         {},
         1500},
        // No voice speaks under Wine: the run ends on 完成, and says after it how many songs have
        // no spoken name and why.
        {"LaterWithoutVoices",
         {L"晴天.mp3", L"Music\\Yesterday.mp3", L"歌曲\\七里香.mp3", L"Music\\cover.jpg"},
         L"",
         P,
         true,
         Action::Run,
         L"完成。本机没有语音，3首歌没有语音歌名。",
         2,
         {{L"晴天.mp3", L"ST_FILE_1.mp3"}},
         3,
         false,
         true,
         96,
         nullptr,
         true},
        Look("LookOnXp", AlbumTree(1500, L""), 96, L"winxp"),
        Look("LookOnXpAt144Dpi", kWide, 144, L"winxp"),
        Look("LookOnWin10At144Dpi", AlbumTree(1500, L""), 144, L"win10"),
    };
}

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

bool StartsWith(const std::wstring& text, const wchar_t* head) {
    return text.compare(0, wcslen(head), head) == 0;
}

bool IsProgress(const std::wstring& text) {
    return StartsWith(text, L"Search File: ") || StartsWith(text, L"File: ") ||
           StartsWith(text, L"Rename: ") || StartsWith(text, L"Speak: ");
}

// The DPI of this prefix's display.
int DisplayDpi() {
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

const wchar_t kAppDefaults[] = L"Software\\Wine\\AppDefaults\\Zorbel.exe";

class EndToEnd : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override {
        const Case& c = GetParam();
        ASSERT_EQ(DisplayDpi(), c.dpi) << "the row runs in the wrong Wine prefix";
        if (c.windows) {
            HKEY key;
            ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kAppDefaults, 0, nullptr, 0, KEY_SET_VALUE,
                                      nullptr, &key, nullptr),
                      ERROR_SUCCESS);
            LONG set =
                RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(c.windows),
                               DWORD(sizeof(wchar_t) * (wcslen(c.windows) + 1)));
            RegCloseKey(key);
            ASSERT_EQ(set, ERROR_SUCCESS);
        }
        ASSERT_TRUE(WipeDrive(kPlayerDrive, DRIVE_REMOVABLE)) << "P: is not the removable drive";
        ASSERT_TRUE(WipeDrive(kFixedDrive, DRIVE_FIXED)) << "F: is not the fixed drive";
        drive = c.drive;
        folder = c.folder.empty() ? drive : drive + L"\\" + c.folder;
        if (c.database) {
            bool half = c.action == Action::HalfReplaced;
            ASSERT_TRUE(WriteBytes(DatabasePath(drive) + (half ? L".new" : L""),
                                   c.later ? Bytes{'b', 'd', 'h', 's'} : OldDatabase()));
        }
        ASSERT_TRUE(CreateTree(drive, c.tree));
        if (c.action == Action::TwoNames) {
            // The song's second name (one file, as two entries of one chain are on FAT), and the
            // record of the rename the cut run was making.
            ASSERT_TRUE(CreateHardLinkW((drive + L"\\ST_FILE_2.mp3").c_str(),
                                        (drive + L"\\晴天.mp3").c_str(), nullptr));
            ASSERT_TRUE(
                WriteBytes(DatabasePath(drive) + L".renames",
                           EncodeRenameRecord({{u"P:\\晴天.mp3", u"P:\\ST_FILE_2.mp3", {}}})));
        }
        if (c.action == Action::LostSong) {
            // The record of the rename the cut run was making, then the song's name gone: its
            // bytes wait, nameless, for the drive's check.
            lost = ReadBytes(drive + L"\\晴天.mp3");
            MemoryFileSystem bytes;
            bytes.AddFile(u"E:\\song", lost);
            RecordEntry entry{u"P:\\晴天.mp3", u"P:\\ST_FILE_2.mp3",
                              IdentifyFile(bytes, u"E:\\song")};
            ASSERT_TRUE(WriteBytes(DatabasePath(drive) + L".renames", EncodeRenameRecord({entry})));
            ASSERT_TRUE(DeleteFileW((drive + L"\\晴天.mp3").c_str()));
        }
        exe = InstallProgram(folder);
        ASSERT_FALSE(exe.empty()) << "cannot copy " << Utf8(ProgramUnderTest());
        before = ListTree(drive);
    }

    // Checks what a finished run left: the renames, the database, the texts on the way.
    void CheckRunResult(const Case& c) {
        ASSERT_TRUE(WaitForRunsToEnd(drive)) << "a run still holds the player";
        Tree after = ListTree(drive);
        // A database that cannot be read cannot be written over: the run changes nothing.
        EXPECT_EQ(c.action == Action::LockedDatabase ? CheckUnchanged(before, after)
                                                     : CheckRenamed(before, after, folder),
                  "");
        std::map<std::wstring, Bytes> now(after.begin(), after.end()),
            then(before.begin(), before.end());
        for (const auto& [from, to] : c.renamed) {
            auto moved = now.find(drive + L"\\" + to);
            EXPECT_TRUE(!now.count(drive + L"\\" + from) && moved != now.end() &&
                        moved->second == then[drive + L"\\" + from])
                << Utf8(from) << " did not become " << Utf8(to);
        }
        if (c.action == Action::LockedDatabase || c.action == Action::CloseFailing) {
            EXPECT_EQ(ReadBytes(DatabasePath(drive)), OldDatabase()) << "old iTunesSD changed";
            EXPECT_EQ(GetFileAttributesW((DatabasePath(drive) + L".new").c_str()),
                      INVALID_FILE_ATTRIBUTES);
        } else {
            EXPECT_EQ(CheckDatabase(drive, folder), "");
        }
        if (c.tracks >= 0) {
            EXPECT_EQ(ExpectedTracks(folder).size(), size_t(c.tracks));
        }
        if (c.later) {
            auto db = ParseDatabase(ReadBytes(DatabasePath(drive)));
            ASSERT_TRUE(db && db->later);
            EXPECT_EQ(db->header[29], 1) << "VoiceOver not turned on";
            for (const auto& record : db->records)
                EXPECT_TRUE(std::any_of(record.begin() + 328, record.begin() + 336, [](uint8_t b) {
                    return b != 0;
                })) << "a song without its spoken name's id";
            EXPECT_EQ(GetFileAttributesW((drive + L"\\iPod_Control\\Speakable").c_str()),
                      INVALID_FILE_ATTRIBUTES)
                << "spoken names where no voice speaks";
        }
        for (const std::wstring& text : app.Seen()) {
            EXPECT_TRUE(text == kStart || text == c.status || IsProgress(text))
                << "unexpected text " << Utf8(text);
        }
    }

    void TearDown() override {
        if (GetParam().windows)
            RegDeleteKeyW(HKEY_CURRENT_USER, kAppDefaults);
        // The Wine tests that use P: after this one expect a player of the first generations.
        if (GetParam().later)
            WipeDrive(kPlayerDrive, DRIVE_REMOVABLE);
        if (HasFailure())
            printf("what the driver saw:\n%s", app.Report().c_str());
    }

    std::wstring drive, folder, exe;
    Tree before;
    Bytes lost;  // LostSong: the nameless song's bytes
    AppDriver app;
};

TEST_P(EndToEnd, Case) {
    const Case& c = GetParam();
    std::wstring shot(c.name, c.name + strlen(c.name));
    ASSERT_TRUE(app.Start(exe, folder + L"\\")) << "CreateProcessW failed " << GetLastError();
    ASSERT_TRUE(app.FindMainWindow()) << app.Report();
    std::wstring first = c.action == Action::Refused ? c.status : kStart;
    ASSERT_TRUE(app.WaitForStatus(first, 10000)) << app.Report();
    EXPECT_EQ(app.Notice(), kNotice);
    EXPECT_TRUE(app.NoticeVisible());
    if (c.screenshots) {
        EXPECT_NE(app.Screenshot(shot + L"-start"), L"");
    }
    if (c.windows) {
        EXPECT_EQ(app.BlackShare(), 0.0) << "black in the window before the run";
    }
    if (c.about) {
        std::string why;
        EXPECT_TRUE(app.OpenAndCloseAbout(&why)) << why;
        EXPECT_EQ(app.Status(), kStart);
    }

    HANDLE hold = INVALID_HANDLE_VALUE;
    switch (c.action) {
        case Action::Enter:
        case Action::Escape:
        case Action::AltF4:
        case Action::CloseBox:
            ASSERT_TRUE(c.action == Action::CloseBox
                            ? app.PressCloseBox()
                            : app.PressKey(c.action == Action::Enter    ? VK_RETURN
                                           : c.action == Action::Escape ? VK_ESCAPE
                                                                        : VK_F4,
                                           c.action == Action::AltF4));
            ASSERT_TRUE(app.WaitForExit(10000)) << app.Report();
            EXPECT_EQ(CheckUnchanged(before, ListTree(drive)), "");
            break;

        case Action::Refused:
            ASSERT_TRUE(app.ClickStatus());
            Sleep(700);
            EXPECT_EQ(app.Status(), c.status);
            EXPECT_EQ(app.Seen().size(), 1u) << app.Report();
            EXPECT_TRUE(app.NoticeVisible());
            if (c.screenshots) {
                EXPECT_NE(app.Screenshot(shot + L"-refused"), L"");
            }
            EXPECT_EQ(CheckUnchanged(before, ListTree(drive)), "");
            ASSERT_TRUE(app.PressKey(VK_ESCAPE));
            ASSERT_TRUE(app.WaitForExit(10000)) << app.Report();
            break;

        case Action::TwoNames:
            ASSERT_TRUE(app.ClickStatus());
            ASSERT_TRUE(app.WaitForStatus(c.status, 20000)) << app.Report();
            if (c.screenshots) {
                EXPECT_NE(app.Screenshot(shot + L"-repair"), L"");
            }
            ASSERT_TRUE(WaitForRunsToEnd(drive)) << app.Report();
            EXPECT_EQ(CheckUnchanged(before, ListTree(drive)), "");
            ASSERT_TRUE(app.PressKey(VK_ESCAPE));
            ASSERT_TRUE(app.WaitForExit(10000)) << app.Report();
            break;

        case Action::LostSong: {
            ASSERT_TRUE(app.ClickStatus());
            ASSERT_TRUE(app.WaitForStatus(c.status, 20000)) << app.Report();
            if (c.screenshots) {
                EXPECT_NE(app.Screenshot(shot + L"-lost"), L"");
            }
            EXPECT_EQ(CheckDatabase(drive, folder, true), "");
            ASSERT_TRUE(app.PressKey(VK_ESCAPE));
            ASSERT_TRUE(app.WaitForExit(10000)) << app.Report();
            // chkdsk saves the chain whole clusters long; the next run puts the song back.
            Bytes chain = lost;
            chain.resize((chain.size() / 4096 + 1) * 4096, 0xF6);
            ASSERT_TRUE(WriteBytes(drive + L"\\FOUND.000\\FILE0000.CHK", chain));
            AppDriver next;
            ASSERT_TRUE(next.Start(exe, folder + L"\\") && next.FindMainWindow());
            ASSERT_TRUE(next.WaitForStatus(kStart, 10000)) << next.Report();
            ASSERT_TRUE(next.ClickStatus());
            ASSERT_TRUE(next.WaitForStatus(kDone, 20000)) << next.Report();
            EXPECT_EQ(ReadBytes(drive + L"\\ST_FILE_2.mp3"), lost);
            EXPECT_EQ(GetFileAttributesW((drive + L"\\FOUND.000\\FILE0000.CHK").c_str()),
                      INVALID_FILE_ATTRIBUTES);
            EXPECT_EQ(CheckDatabase(drive, folder), "");
            ASSERT_TRUE(next.PressKey(VK_ESCAPE) && next.WaitForExit(10000));
            break;
        }

        case Action::CloseMidRun: {
            ASSERT_TRUE(app.ClickStatus());
            ASSERT_TRUE(app.WaitForStatus(IsProgress, 20000)) << app.Report();
            ASSERT_TRUE(app.PressKey(VK_ESCAPE));
            DWORD start = GetTickCount();
            while (app.WindowAlive() && GetTickCount() - start < 60000)
                Sleep(2);
            // The window may only go once the player is safe: the new database is in place.
            EXPECT_NE(ReadBytes(DatabasePath(drive)), OldDatabase()) << "window gone mid-run";
            printf("[ closed at \"%s\": window gone %lu ms after Escape, with the run ]\n",
                   Utf8(app.Seen().back()).c_str(), GetTickCount() - start);
            ASSERT_TRUE(app.WaitForExit(10000)) << app.Report();
            CheckRunResult(c);
            break;
        }

        case Action::CloseFailing: {
            // Readable, so the run goes on; not to be replaced, so its last step fails.
            hold = CreateFileW(DatabasePath(drive).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, 0, nullptr);
            ASSERT_NE(hold, INVALID_HANDLE_VALUE);
            ASSERT_TRUE(app.ClickStatus());
            ASSERT_TRUE(app.WaitForStatus(IsProgress, 20000)) << app.Report();
            ASSERT_TRUE(app.PressKey(VK_ESCAPE));
            bool ended = app.WaitForStatus(c.status, 60000);
            CloseHandle(hold);
            ASSERT_TRUE(ended) << app.Report();
            Sleep(700);  // longer than the window takes to close after a run that is done
            EXPECT_TRUE(app.WindowAlive()) << "the window closed over a failed run";
            EXPECT_EQ(app.Status(), c.status);
            CheckRunResult(c);
            ASSERT_TRUE(app.PressKey(VK_RETURN));
            ASSERT_TRUE(app.WaitForExit(10000)) << app.Report();
            break;
        }

        case Action::TwoPrograms: {
            // The first program is stopped while its run holds the player, so the second is
            // clicked during that run however fast it is. A run that ended before it could be
            // stopped is made again on the player put back as it was.
            AppDriver second;
            for (int attempt = 1;; ++attempt) {
                // Both windows are up before either is clicked, as after a double-click twice.
                ASSERT_TRUE(second.Start(exe, folder + L"\\") && second.FindMainWindow());
                ASSERT_TRUE(second.WaitForStatus(kStart, 10000)) << second.Report();
                RECT rc;  // side by side, as the user would drag them, so each click hits its own
                GetWindowRect(second.Window(), &rc);
                SetWindowPos(second.Window(), nullptr, rc.left, rc.bottom + 8, 0, 0,
                             SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
                ASSERT_TRUE(app.ClickStatus());
                ASSERT_TRUE(app.WaitForStatus(IsProgress, 20000)) << app.Report();
                ASSERT_TRUE(app.Suspend());
                if (PlayerHeld(drive))
                    break;
                ASSERT_TRUE(app.Resume());
                printf("[ attempt %d: the first run ended before it was stopped ]\n", attempt);
                ASSERT_LT(attempt, 3) << "the first run always ended before it could be stopped";
                ASSERT_TRUE(app.WaitForStatus(kDone, 60000)) << app.Report();
                ASSERT_TRUE(WaitForRunsToEnd(drive));
                ASSERT_TRUE(app.PressKey(VK_ESCAPE) && app.WaitForExit(10000)) << app.Report();
                ASSERT_TRUE(second.PressKey(VK_ESCAPE) && second.WaitForExit(10000));
                ASSERT_TRUE(RestoreTree(drive, before));
                ASSERT_TRUE(app.Start(exe, folder + L"\\") && app.FindMainWindow());
                ASSERT_TRUE(app.WaitForStatus(kStart, 10000)) << app.Report();
            }
            bool clicked = second.ClickStatus();
            auto settled = [](const std::wstring& t) { return t == kBusy || t == kDone; };
            bool waited = clicked && second.WaitForStatus(settled, 60000);
            ASSERT_TRUE(app.Resume());
            ASSERT_TRUE(waited) << second.Report();
            ASSERT_TRUE(app.WaitForStatus(kDone, 60000)) << app.Report();
            EXPECT_EQ(second.Seen().back(), kBusy) << "the second run did not wait its turn";
            EXPECT_NE(second.Screenshot(L"TwoPrograms-busy"), L"");
            CheckRunResult(c);
            // Once the first run has ended, the second window's link runs: nothing left to do.
            Tree done = ListTree(drive);
            ASSERT_TRUE(second.ClickStatus());
            ASSERT_TRUE(second.WaitForStatus(kDone, 60000)) << second.Report();
            ASSERT_TRUE(WaitForRunsToEnd(drive)) << second.Report();
            EXPECT_EQ(CheckUnchanged(done, ListTree(drive)), "");
            EXPECT_EQ(CheckDatabase(drive, folder), "");
            ASSERT_TRUE(second.PressKey(VK_ESCAPE) && second.WaitForExit(10000));
            // The close box's command goes to the window itself, whichever window the keyboard
            // went to as the two programs traded it (an Escape was once lost here).
            ASSERT_TRUE(app.PressCloseBox());
            ASSERT_TRUE(app.WaitForExit(10000)) << app.Report();
            break;
        }

        default: {
            if (c.action == Action::LockedDatabase) {
                hold = CreateFileW(DatabasePath(drive).c_str(), GENERIC_READ, 0, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
                ASSERT_NE(hold, INVALID_HANDLE_VALUE);
            }
            EXPECT_TRUE(app.ClickStatus(c.action == Action::DoubleClick ? 2 : 1));
            // Every text of a run has words: a look that finds none saw the line blank.
            int blank = 0;
            bool ended = app.WaitForStatus(
                [&](const std::wstring& text) { return text == c.status; }, 60000, &blank);
            if (hold != INVALID_HANDLE_VALUE)
                CloseHandle(hold);
            ASSERT_TRUE(ended) << app.Report();
            EXPECT_EQ(blank, 0) << "the status line was seen blank during the run";
            EXPECT_FALSE(app.NoticeVisible());
            EXPECT_EQ(app.DarkPixels(kNoticeId), 0) << "text of the hidden notice stayed";
            // Anything a second run would show comes after this pause.
            Sleep(c.action == Action::Run ? 0 : 700);
            EXPECT_EQ(app.Status(), c.status) << app.Report();
            if (c.screenshots) {
                EXPECT_NE(app.Screenshot(shot + L"-done"), L"");
            }
            if (c.windows) {
                EXPECT_EQ(app.BlackShare(), 0.0) << "black in the window after the run";
            }
            CheckRunResult(c);
            if (c.action == Action::DoubleClick) {
                std::set<std::wstring> renames;
                for (const std::wstring& text : app.Seen()) {
                    EXPECT_TRUE(!StartsWith(text, L"Rename: ") || renames.insert(text).second)
                        << "renamed twice: " << Utf8(text);
                }
                EXPECT_EQ(std::count(app.Seen().begin(), app.Seen().end(), c.status), 1)
                    << app.Report();
            }
            if (c.action == Action::ClickAfterDone) {
                Tree done = ListTree(drive);
                size_t texts = app.Seen().size();
                ASSERT_TRUE(app.ClickStatus());
                Sleep(700);
                EXPECT_EQ(app.Status(), kDone);
                EXPECT_EQ(app.Seen().size(), texts) << app.Report();
                EXPECT_EQ(CheckUnchanged(done, ListTree(drive)), "");
            }
            ASSERT_TRUE(app.PressKey(VK_ESCAPE));
            ASSERT_TRUE(app.WaitForExit(30000)) << app.Report();
            break;
        }
    }
    EXPECT_FALSE(app.WindowAlive());
    EXPECT_EQ(app.ExitCode(), c.exitCode) << app.Report();
}

INSTANTIATE_TEST_SUITE_P(Player, EndToEnd, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
