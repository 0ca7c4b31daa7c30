// The main window and the About box on their real templates, and the location check through the
// Win32 probe on the removable drive P: and the fixed drive F: of the test prefix.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "AboutDlg.h"
#include "LinkStatic.h"
#include "LocationProbe.h"
#include "MainDlg.h"
#include "base/Messages.h"
#include "Module.h"
#include "ShellTestSupport.h"
#include "Skin.h"
#include "SkinCover.h"
#include "Strings.h"
#include "run/SyncJob.h"
#include "WideText.h"
#include "Win32FileSystem.h"

namespace {

std::wstring WindowText(HWND hWnd) {
    wchar_t buffer[512] = {};
    ::GetWindowTextW(hWnd, buffer, 512);
    return buffer;
}

std::u16string U16(const wchar_t* text) {
    return FromWide(text);
}

RECT WorkArea() {
    RECT rc;
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &rc, 0);
    return rc;
}

// Where a window of this size lands when centred over a rectangle that needs no clamping.
POINT CentredOver(const RECT& reference, const RECT& window) {
    return {(reference.left + reference.right) / 2 - (window.right - window.left) / 2,
            (reference.top + reference.bottom) / 2 - (window.bottom - window.top) / 2};
}

// A loop whose filter and idle lists the tests can see.
class VisibleLoop : public CMessageLoop {
public:
    size_t Filters() const { return m_aMsgFilter.size(); }
    size_t IdleHandlers() const { return m_aIdleHandler.size(); }
};

// The Win32 probe with the program placed on a drive of the test prefix.
class PlacedProbe : public CLocationProbe {
public:
    explicit PlacedProbe(std::u16string path) : m_path(std::move(path)) {}
    std::u16string ProgramPath() override { return m_path; }

private:
    std::u16string m_path;
};

// Makes <drive>\iPod_Control\iTunes\iTunesSD if missing, and removes what it made.
class DatabaseOnDrive {
public:
    explicit DatabaseOnDrive(const std::u16string& drive) {
        for (const char16_t* part : {u"\\iPod_Control", u"\\iPod_Control\\iTunes"}) {
            std::u16string folder = drive + part;
            if (::CreateDirectoryW(AsWide(folder), nullptr))
                m_made.push_back(folder);
        }
        std::u16string db = drive + u"\\iPod_Control\\iTunes\\iTunesSD";
        HANDLE file = ::CreateFileW(AsWide(db), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            ::CloseHandle(file);
            m_made.push_back(db);
        }
        m_exists = ::GetFileAttributesW(AsWide(db)) != INVALID_FILE_ATTRIBUTES;
    }
    ~DatabaseOnDrive() {
        for (auto it = m_made.rbegin(); it != m_made.rend(); ++it)
            ::DeleteFileW(AsWide(*it)) || ::RemoveDirectoryW(AsWide(*it));
    }
    bool m_exists = false;

private:
    std::vector<std::u16string> m_made;
};

class MainDlgTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { _Module.Init(::GetModuleHandleW(nullptr)); }
    static void TearDownTestSuite() { _Module.Term(); }

    void SetUp() override {
        ASSERT_TRUE(_Module.AddMessageLoop(&m_loop));
        m_hWnd = m_dlg.Create(nullptr);
        ASSERT_NE(m_hWnd, nullptr);
    }
    void TearDown() override {
        if (::IsWindow(m_hWnd))
            ::DestroyWindow(m_hWnd);
        _Module.RemoveMessageLoop();
        PumpMessages();
        MSG msg;
        ::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    }

    HWND Item(int id) { return ::GetDlgItem(m_hWnd, id); }

    VisibleLoop m_loop;
    CMainDlg m_dlg;
    HWND m_hWnd = nullptr;
};

TEST_F(MainDlgTest, InitialisationShowsTheCentredWindowWithItsIconsLabelAndNotice) {
    EXPECT_TRUE(::IsWindowVisible(m_hWnd));
    RECT rc;
    ::GetWindowRect(m_hWnd, &rc);
    POINT expected = CentredOver(WorkArea(), rc);
    EXPECT_EQ(rc.left, expected.x);
    EXPECT_EQ(rc.top, expected.y);

    EXPECT_NE(::SendMessageW(m_hWnd, WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_NE(::SendMessageW(m_hWnd, WM_GETICON, ICON_SMALL, 0), 0);
    EXPECT_EQ(m_loop.Filters(), 1u);
    EXPECT_EQ(m_loop.IdleHandlers(), 1u);

    EXPECT_EQ(CLinkStatic::FromHandle(Item(IDC_STATUS)), &m_dlg.m_wndStatus);
    EXPECT_EQ(::SendMessageW(Item(IDC_STATUS), WM_GETFONT, 0, 0),
              ::SendMessageW(m_hWnd, WM_GETFONT, 0, 0));
    EXPECT_EQ(m_dlg.m_job.m_pStatus, &m_dlg.m_wndStatus);
    EXPECT_EQ(WindowText(Item(IDC_NOTICE)), kNoticeText);
}

TEST_F(MainDlgTest, TheLocationCheckRanAndRefusedAProgramOffThePlayer) {
    // The tests run from the build folder, which is no player.
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::u16string folder = FromWide(path);
    folder.resize(folder.rfind(u'\\'));
    EXPECT_EQ(m_dlg.m_job.m_strRootDir, folder);
    EXPECT_TRUE(m_dlg.m_job.m_strDbPath.empty());
    EXPECT_EQ(FromWide(WindowText(Item(IDC_STATUS)).c_str()), kMsgNotOnPlayer);
    EXPECT_EQ(m_dlg.m_wndStatus.m_bPlain, 1);
    EXPECT_EQ(m_dlg.m_wndStatus.m_nCommand, 0);
}

// A bitmap's pixels, top row first; empty when they cannot be read.
std::vector<RGBQUAD> Pixels(HBITMAP bitmap, SIZE* size) {
    BITMAP bm = {};
    if (!::GetObjectW(bitmap, sizeof(bm), &bm))
        return {};
    *size = {bm.bmWidth, bm.bmHeight};
    BITMAPINFOHEADER info = {};
    info.biSize = sizeof(info);
    info.biWidth = bm.bmWidth;
    info.biHeight = -bm.bmHeight;  // top row first
    info.biPlanes = 1;
    info.biBitCount = 32;
    info.biCompression = BI_RGB;
    std::vector<RGBQUAD> pixels(size_t(bm.bmWidth) * bm.bmHeight);
    HDC hScreen = ::GetDC(nullptr);
    int rows = ::GetDIBits(hScreen, bitmap, 0, bm.bmHeight, pixels.data(),
                           reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    ::ReleaseDC(nullptr, hScreen);
    return rows == bm.bmHeight ? pixels : std::vector<RGBQUAD>();
}

// The whole skin is the stored part at the left, then that part's last column, plain sky,
// repeated out to the skin's width: every pixel as the drawing has it.
TEST(Skin, MadeWholeFromItsStoredPart) {
    HDC hScreen = ::GetDC(nullptr);
    HBITMAP skin = MakeSkin(::GetModuleHandleW(nullptr), hScreen);
    ::ReleaseDC(nullptr, hScreen);
    HBITMAP part = ::LoadBitmapW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_SKIN));
    ASSERT_NE(skin, nullptr);
    ASSERT_NE(part, nullptr);
    SIZE skinSize = {}, partSize = {};
    std::vector<RGBQUAD> whole = Pixels(skin, &skinSize), stored = Pixels(part, &partSize);
    ::DeleteObject(skin);
    ::DeleteObject(part);
    ASSERT_FALSE(whole.empty());
    ASSERT_FALSE(stored.empty());
    EXPECT_EQ(skinSize.cx, kSkinWidth);
    EXPECT_EQ(skinSize.cy, partSize.cy);
    EXPECT_LT(partSize.cx, kSkinWidth / 2);
    int wrong = 0;
    for (int y = 0; y < skinSize.cy; ++y) {
        for (int x = 0; x < skinSize.cx; ++x) {
            RGBQUAD is = whole[size_t(y) * skinSize.cx + x];
            RGBQUAD was = stored[size_t(y) * partSize.cx + std::min<LONG>(x, partSize.cx - 1)];
            wrong +=
                is.rgbRed != was.rgbRed || is.rgbGreen != was.rgbGreen || is.rgbBlue != was.rgbBlue;
        }
    }
    EXPECT_EQ(wrong, 0);
}

// At 96 DPI the skin covers the client area: it is copied pixel for pixel, up to the corner,
// and each static fills its background with the skin as it lies under the static.
TEST_F(MainDlgTest, TheSkinIsCopiedAtEveryEraseAndUnderEachStatic) {
    RECT rc;
    ::GetClientRect(m_hWnd, &rc);
    HDC hScreen = ::GetDC(nullptr);
    HBITMAP skin = MakeSkin(::GetModuleHandleW(nullptr), hScreen);
    ASSERT_NE(skin, nullptr);
    HDC hSkinDC = ::CreateCompatibleDC(nullptr);
    HGDIOBJ previousSkin = ::SelectObject(hSkinDC, skin);

    HDC hTarget = ::CreateCompatibleDC(hScreen);
    HBITMAP target = ::CreateCompatibleBitmap(hScreen, 503, 230);
    ::ReleaseDC(nullptr, hScreen);
    HGDIOBJ previousTarget = ::SelectObject(hTarget, target);

    for (int round = 0; round < 2; ++round) {
        ::PatBlt(hTarget, 0, 0, 503, 230, BLACKNESS);
        EXPECT_EQ(::SendMessageW(m_hWnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(hTarget), 0), 1);
        const POINT points[] = {{0, 0},    {10, 170},         {120, 60},
                                {300, 20}, {rc.right - 1, 5}, {rc.right - 1, rc.bottom - 1}};
        for (POINT p : points)
            EXPECT_EQ(::GetPixel(hTarget, p.x, p.y), ::GetPixel(hSkinDC, p.x, p.y))
                << p.x << "," << p.y;
    }
    for (int id : {IDC_STATUS, IDC_NOTICE}) {
        ::GetClientRect(Item(id), &rc);
        POINT at = {0, 0};
        ::MapWindowPoints(Item(id), m_hWnd, &at, 1);
        ::PatBlt(hTarget, 0, 0, 503, 230, BLACKNESS);
        auto brush = reinterpret_cast<HBRUSH>(::SendMessageW(m_hWnd, WM_CTLCOLORSTATIC,
                                                             reinterpret_cast<WPARAM>(hTarget),
                                                             reinterpret_cast<LPARAM>(Item(id))));
        EXPECT_EQ(::GetBkMode(hTarget), TRANSPARENT);
        EXPECT_EQ(::GetTextColor(hTarget), kLinkColour);
        ::FillRect(hTarget, &rc, brush);
        for (POINT p : {POINT{0, 0}, POINT{rc.right / 2, rc.bottom - 1}, POINT{rc.right - 1, 3}})
            EXPECT_EQ(::GetPixel(hTarget, p.x, p.y), ::GetPixel(hSkinDC, at.x + p.x, at.y + p.y))
                << id << ": " << p.x << "," << p.y;
    }
    ::SelectObject(hTarget, previousTarget);
    ::DeleteObject(target);
    ::DeleteDC(hTarget);
    ::SelectObject(hSkinDC, previousSkin);
    ::DeleteDC(hSkinDC);
    ::DeleteObject(skin);
}

TEST_F(MainDlgTest, ClicksWithAnyOtherCodeChangeNothing) {
    for (WPARAM code : {WPARAM(0), static_cast<WPARAM>(-1), WPARAM(101)})
        ::SendMessageW(m_hWnd, WM_LINKCLICK, code, 0);
    EXPECT_TRUE(::IsWindowVisible(Item(IDC_NOTICE)));
    EXPECT_EQ(FromWide(WindowText(Item(IDC_STATUS)).c_str()), kMsgNotOnPlayer);
}

TEST_F(MainDlgTest, StartHidesTheNoticeAndTheRunEndsOnDone) {
    // A run in a folder of its own on the player drive, which the check must accept first.
    DatabaseOnDrive db(u"P:");
    ASSERT_TRUE(db.m_exists);
    std::u16string root =
        u"P:\\zorbel-shell-" + FromWide(std::to_wstring(::GetCurrentProcessId()).c_str());
    ASSERT_TRUE(::CreateDirectoryW(AsWide(root), nullptr));
    std::u16string song = root + u"\\歌.mp3";
    HANDLE file = ::CreateFileW(AsWide(song), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ::CloseHandle(file);
    PlacedProbe probe(root + u"\\Zorbel.exe");
    ASSERT_EQ(m_dlg.m_job.CheckLocation(probe), 1);

    ::SendMessageW(m_hWnd, WM_LINKCLICK, ID_START, 0);
    EXPECT_FALSE(::IsWindowVisible(Item(IDC_NOTICE)));
    m_dlg.WaitForRun();
    PumpMessagesFor(4 * CLinkStatic::kApplyPauseMs);
    EXPECT_EQ(FromWide(WindowText(Item(IDC_STATUS)).c_str()), kMsgDone);
    EXPECT_EQ(m_dlg.m_wndStatus.m_nCommand, 0);
    EXPECT_EQ(m_dlg.m_wndStatus.m_bPlain, 1);
    EXPECT_EQ(::GetFileAttributesW(AsWide(song)), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(::GetFileAttributesW(AsWide(root + u"\\ST_FILE_1.mp3")), INVALID_FILE_ATTRIBUTES);

    // No second run: the click now carries code 0.
    ::SendMessageW(Item(IDC_STATUS), WM_LBUTTONUP, 0, 0);
    MSG msg;
    ASSERT_TRUE(TakePosted(m_hWnd, WM_LINKCLICK, &msg));
    EXPECT_EQ(msg.wParam, 0u);

    ::DeleteFileW(AsWide(root + u"\\ST_FILE_1.mp3"));
    ::RemoveDirectoryW(AsWide(root));
}

TEST_F(MainDlgTest, OkAndCancelDestroyTheWindowAndQuitWithTheirIds) {
    for (WORD id : {WORD(IDOK), WORD(IDCANCEL)}) {
        if (!::IsWindow(m_hWnd)) {
            _Module.RemoveMessageLoop();
            ASSERT_TRUE(_Module.AddMessageLoop(&m_loop));
            m_hWnd = m_dlg.Create(nullptr);
            ASSERT_NE(m_hWnd, nullptr);
        }
        // The notification code and the sender do not matter.
        ::SendMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
        EXPECT_FALSE(::IsWindow(m_hWnd));
        EXPECT_EQ(m_dlg.m_hWnd, nullptr);
        EXPECT_EQ(m_dlg.m_wndStatus.m_hWnd, nullptr);
        EXPECT_EQ(m_loop.Filters(), 0u);
        EXPECT_EQ(m_loop.IdleHandlers(), 0u);
        MSG msg;
        ASSERT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
        EXPECT_EQ(msg.wParam, id);
    }
}

TEST_F(MainDlgTest, EnterAndEscapeReachTheWindowThroughItsFilter) {
    for (auto [key, code] : {std::pair<WPARAM, int>{VK_RETURN, IDOK}, {VK_ESCAPE, IDCANCEL}}) {
        if (!::IsWindow(m_hWnd)) {
            _Module.RemoveMessageLoop();
            ASSERT_TRUE(_Module.AddMessageLoop(&m_loop));
            m_hWnd = m_dlg.Create(nullptr);
            ASSERT_NE(m_hWnd, nullptr);
        }
        ::PostMessageW(m_hWnd, WM_KEYDOWN, key, 0);
        EXPECT_EQ(m_loop.Run(), code);
        EXPECT_FALSE(::IsWindow(m_hWnd));
    }
}

// What the About box looked like while it was up; it is then closed with a key.
struct AboutSeen {
    HWND hWnd = nullptr;
    HWND hOwner = nullptr;
    bool ownerEnabled = true;
    RECT rect = {};
};
AboutSeen g_seen;
WPARAM g_closeKey = VK_ESCAPE;

BOOL CALLBACK FindAbout(HWND hWnd, LPARAM found) {
    wchar_t cls[32] = {};
    ::GetClassNameW(hWnd, cls, 32);
    if (std::wstring(cls) == L"#32770" && WindowText(hWnd) == L"About" && ::IsWindowVisible(hWnd)) {
        *reinterpret_cast<HWND*>(found) = hWnd;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK CloseAbout(HWND, UINT, UINT_PTR id, DWORD) {
    HWND hAbout = nullptr;
    ::EnumThreadWindows(::GetCurrentThreadId(), FindAbout, reinterpret_cast<LPARAM>(&hAbout));
    if (!hAbout)
        return;
    ::KillTimer(nullptr, id);
    g_seen.hWnd = hAbout;
    g_seen.hOwner = ::GetWindow(hAbout, GW_OWNER);
    g_seen.ownerEnabled = g_seen.hOwner && ::IsWindowEnabled(g_seen.hOwner);
    ::GetWindowRect(hAbout, &g_seen.rect);
    ::PostMessageW(hAbout, WM_KEYDOWN, g_closeKey, 0);
}

INT_PTR RunAbout(HWND hOwner, WPARAM closeKey) {
    g_seen = {};
    g_closeKey = closeKey;
    ::SetTimer(nullptr, 0, 20, CloseAbout);
    CAboutDlg dlg;
    return dlg.DoModal(hOwner);
}

TEST(AboutDlg, CentredOverAVisibleOwnerWhichIsDisabledMeanwhile) {
    TestHost owner;
    EXPECT_EQ(RunAbout(owner.m_hWnd, VK_ESCAPE), IDCANCEL);
    EXPECT_EQ(g_seen.hOwner, owner.m_hWnd);
    EXPECT_FALSE(g_seen.ownerEnabled);
    EXPECT_TRUE(::IsWindowEnabled(owner.m_hWnd));
    RECT rcOwner;
    ::GetWindowRect(owner.m_hWnd, &rcOwner);
    POINT expected = CentredOver(rcOwner, g_seen.rect);
    EXPECT_EQ(g_seen.rect.left, expected.x);
    EXPECT_EQ(g_seen.rect.top, expected.y);
}

TEST(AboutDlg, CentredOnTheWorkAreaWithoutAShownOwner) {
    EXPECT_EQ(RunAbout(nullptr, VK_RETURN), IDOK);
    POINT expected = CentredOver(WorkArea(), g_seen.rect);
    EXPECT_EQ(g_seen.rect.left, expected.x);
    EXPECT_EQ(g_seen.rect.top, expected.y);

    for (int show : {SW_MINIMIZE, SW_HIDE}) {
        TestHost owner;
        ::ShowWindow(owner.m_hWnd, show);
        EXPECT_EQ(RunAbout(owner.m_hWnd, VK_RETURN), IDOK);
        expected = CentredOver(WorkArea(), g_seen.rect);
        EXPECT_EQ(g_seen.rect.left, expected.x) << show;
        EXPECT_EQ(g_seen.rect.top, expected.y) << show;
    }
}

TEST_F(MainDlgTest, TheAboutCommandOpensTheBoxOverTheActiveWindow) {
    HWND hActive = ::GetActiveWindow();
    g_seen = {};
    g_closeKey = VK_ESCAPE;
    ::SetTimer(nullptr, 0, 20, CloseAbout);
    ::SendMessageW(m_hWnd, WM_COMMAND, ID_ABOUT, 0);
    ASSERT_NE(g_seen.hWnd, nullptr);
    EXPECT_EQ(g_seen.hOwner, hActive);
    EXPECT_TRUE(::IsWindow(m_hWnd));  // the box's Escape is not the main window's
}

TEST(LocationProbe, DriveTypesOfTheTestPrefix) {
    CLocationProbe probe;
    EXPECT_TRUE(probe.IsRemovableDrive(u"P:\\")) << "drive P: must be the removable test drive";
    EXPECT_FALSE(probe.IsRemovableDrive(u"F:\\"));
    EXPECT_FALSE(probe.IsRemovableDrive(u"C:\\"));

    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::u16string own = probe.ProgramPath();
    EXPECT_EQ(own, U16(path));
    EXPECT_NE(own.find(u"win32_tests.exe"), std::u16string::npos);
}

class CheckLocationTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_label.SubclassWindow(m_host.AddStatic(1001)));
        m_job.SetStatusLabel(&m_label);
    }

    TestHost m_host;
    CLinkStatic m_label;
    Win32FileSystem m_fs;
    CSyncJob m_job{m_fs};
};

TEST_F(CheckLocationTest, OnTheRemovablePlayerTheStartLinkIsOffered) {
    DatabaseOnDrive db(u"P:");
    ASSERT_TRUE(db.m_exists);
    PlacedProbe probe(u"P:\\Music\\Zorbel.exe");
    EXPECT_EQ(m_job.CheckLocation(probe), 1);
    EXPECT_EQ(m_job.m_strRootDir, u"P:\\Music");
    EXPECT_EQ(m_job.m_strDbPath, u"P:\\iPod_Control\\iTunes\\iTunesSD");
    EXPECT_EQ(FromWide(WindowText(m_label.m_hWnd).c_str()), kMsgStart);
    EXPECT_EQ(m_label.m_nCommand, ID_START);
    EXPECT_EQ(m_label.m_bPlain, 0);
    EXPECT_EQ(m_label.m_rcText.right, m_host.MeasuredWidth(L"开始"));

    PlacedProbe top(u"P:\\Zorbel.exe");
    EXPECT_EQ(m_job.CheckLocation(top), 1);
    EXPECT_EQ(m_job.m_strRootDir, u"P:");
}

TEST_F(CheckLocationTest, OnAFixedDriveTheCheckRefuses) {
    DatabaseOnDrive db(u"F:");
    ASSERT_TRUE(db.m_exists);
    PlacedProbe probe(u"F:\\Zorbel.exe");
    EXPECT_EQ(m_job.CheckLocation(probe), 0);
    EXPECT_EQ(m_job.m_strRootDir, u"F:");
    EXPECT_TRUE(m_job.m_strDbPath.empty());
    EXPECT_EQ(FromWide(WindowText(m_label.m_hWnd).c_str()), kMsgNotOnPlayer);
    EXPECT_EQ(m_label.m_nCommand, 0);
    EXPECT_EQ(m_label.m_bPlain, 1);
}

TEST_F(CheckLocationTest, AWideFolderOnThePlayerIsNotSupported) {
    DatabaseOnDrive db(u"P:");
    ASSERT_TRUE(db.m_exists);
    PlacedProbe probe(u"P:\\音乐\\Zorbel.exe");
    EXPECT_EQ(m_job.CheckLocation(probe), 0);
    EXPECT_EQ(m_job.m_strRootDir, u"P:\\音乐");
    EXPECT_EQ(FromWide(WindowText(m_label.m_hWnd).c_str()), kMsgFolderNotSupported);
    EXPECT_EQ(m_label.m_nCommand, 0);
}

}  // namespace
