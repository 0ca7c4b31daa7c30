// The status label on real static controls: measuring, the click, the pointer, the underline,
// texts from a worker thread, and letting go of a destroyed control.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

#include "LinkStatic.h"
#include "ShellTestSupport.h"

namespace {

std::wstring WindowText(HWND hWnd) {
    wchar_t buffer[256] = {};
    ::GetWindowTextW(hWnd, buffer, 256);
    return buffer;
}

class LinkStaticTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_hStatic = m_host.AddStatic(1001);
        ASSERT_TRUE(m_label.SubclassWindow(m_hStatic));
        PumpMessages();
    }

    // The command of the WM_LINKCLICK the label posted, or a failure when it posted none.
    WPARAM PostedCommand() {
        MSG msg;
        EXPECT_TRUE(TakePosted(m_host.m_hWnd, WM_LINKCLICK, &msg));
        EXPECT_EQ(msg.lParam, 0);
        return msg.wParam;
    }

    // Repaints host and label at once, then reads one pixel of the label's client area.
    COLORREF PixelAfterPaint(int x, int y) {
        ::RedrawWindow(m_host.m_hWnd, nullptr, nullptr,
                       RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        HDC hDC = ::GetDC(m_hStatic);
        COLORREF pixel = ::GetPixel(hDC, x, y);
        ::ReleaseDC(m_hStatic, hDC);
        return pixel;
    }

    // Sends WM_SETCURSOR with the pointer at a point of the label's client area.
    HCURSOR CursorAt(int x, int y) {
        POINT pt = {x, y};
        ::ClientToScreen(m_hStatic, &pt);
        ::SetCursorPos(pt.x, pt.y);
        ::SetCursor(nullptr);
        ::SendMessageW(m_hStatic, WM_SETCURSOR, reinterpret_cast<WPARAM>(m_hStatic),
                       MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        return ::GetCursor();
    }

    TestHost m_host;
    HWND m_hStatic = nullptr;
    CLinkStatic m_label;
};

TEST_F(LinkStaticTest, StartsPlainWithNoCommandAndAnEmptyTextRectangle) {
    EXPECT_EQ(m_label.m_bPlain, 1);
    EXPECT_EQ(m_label.m_nCommand, -1);
    EXPECT_TRUE(::IsRectEmpty(&m_label.m_rcText));
    EXPECT_EQ(CLinkStatic::FromHandle(m_hStatic), &m_label);
}

TEST_F(LinkStaticTest, EveryTextChangeIsMeasuredInTheControlsFont) {
    RECT client;
    ::GetClientRect(m_hStatic, &client);
    const std::wstring texts[] = {L"开始", L"File: P:\\Music\\a.mp3", L"x", L""};
    for (const std::wstring& text : texts) {
        m_label.SetLinkText(std::u16string(text.begin(), text.end()), 0);
        EXPECT_EQ(WindowText(m_hStatic), text);
        EXPECT_EQ(m_label.m_rcText.left, 0);
        EXPECT_EQ(m_label.m_rcText.top, 0);
        EXPECT_EQ(m_label.m_rcText.right, m_host.MeasuredWidth(text))
            << "text size " << text.size();
        EXPECT_EQ(m_label.m_rcText.bottom, client.bottom);
    }
    // A text set around the label is measured too, and a wide font gives a wide rectangle.
    ::SetWindowTextW(m_hStatic, L"WWWW");
    EXPECT_EQ(m_label.m_rcText.right, m_host.MeasuredWidth(L"WWWW"));
    EXPECT_GT(m_label.m_rcText.right, 40);
}

TEST_F(LinkStaticTest, ReleaseOfTheButtonPostsTheCurrentCommandToTheParent) {
    ::SendMessageW(m_hStatic, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    EXPECT_EQ(PostedCommand(), static_cast<WPARAM>(-1));

    m_label.SetLinkText(u"开始", 100);
    ::SendMessageW(m_hStatic, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    EXPECT_EQ(PostedCommand(), 100u);

    // Right of the text and in plain look alike: the parent, not the label, judges the code.
    m_label.SetPlain(1);
    ::SendMessageW(m_hStatic, WM_LBUTTONUP, 0, MAKELPARAM(290, 2));
    EXPECT_EQ(PostedCommand(), 100u);

    m_label.SetLinkText(u"File: a.mp3", 0);
    ::SendMessageW(m_hStatic, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    EXPECT_EQ(PostedCommand(), 0u);
}

TEST_F(LinkStaticTest, HandOverTheTextInLinkLookOnlyElseTheArrow) {
    const HCURSOR hand = ::LoadCursorW(nullptr, IDC_HAND);
    const HCURSOR arrow = ::LoadCursorW(nullptr, IDC_ARROW);
    m_label.SetLinkText(u"开始", 100);
    int width = m_label.m_rcText.right;
    ASSERT_GT(width, 10);

    m_label.SetPlain(0);  // the pointer follows the look at once, without a repaint
    EXPECT_EQ(CursorAt(2, 5), hand);
    EXPECT_EQ(CursorAt(width - 1, 5), hand);
    EXPECT_EQ(CursorAt(width, 5), arrow);  // the right edge is outside
    EXPECT_EQ(CursorAt(width + 40, 5), arrow);

    m_label.SetPlain(1);
    EXPECT_EQ(CursorAt(2, 5), arrow);

    m_label.SetPlain(0);
    m_label.SetLinkText(u"", 100);  // no text, no hand
    EXPECT_EQ(CursorAt(0, 0), arrow);
}

TEST_F(LinkStaticTest, UnderlineAlongTheBottomRowOfTheTextInLinkLookOnly) {
    m_label.SetLinkText(u"开始", 100);
    const RECT text = m_label.m_rcText;
    ASSERT_GT(text.right, 20);
    const int row = text.bottom - 1;

    m_label.SetPlain(0);
    EXPECT_EQ(PixelAfterPaint(0, row), kLinkColour);
    EXPECT_EQ(PixelAfterPaint(text.right / 2, row), kLinkColour);
    EXPECT_EQ(PixelAfterPaint(text.right - 1, row), kLinkColour);
    EXPECT_NE(PixelAfterPaint(text.right + 2, row), kLinkColour);      // only as long as the text
    EXPECT_NE(PixelAfterPaint(text.right / 2, row - 1), kLinkColour);  // one pixel high

    m_label.SetPlain(1);
    EXPECT_NE(PixelAfterPaint(0, row), kLinkColour);
    EXPECT_NE(PixelAfterPaint(text.right / 2, row), kLinkColour);
}

TEST_F(LinkStaticTest, WorkerTextsWaitForTheUiThreadAndOnlyTheNewestIsShown) {
    m_label.SetLinkText(u"开始", 100);
    const int appliedBefore = m_label.TextsApplied();
    ::ValidateRect(m_host.m_hWnd, nullptr);

    std::thread worker([this] {
        for (int i = 0; i < 500; ++i) {
            m_label.InvalidateParent();
            m_label.SetPlain(1);
            m_label.SetLinkText(u"File: " + std::u16string(1, u'a' + i % 26), i);
        }
        m_label.SetLinkText(u"完成", 0);
    });
    worker.join();  // the worker never waited for this thread, which pumped nothing meanwhile

    // Look and command are there at once; text and repaint wait for the UI thread.
    EXPECT_EQ(m_label.m_nCommand, 0);
    EXPECT_EQ(m_label.m_bPlain, 1);
    EXPECT_EQ(WindowText(m_hStatic), L"开始");
    EXPECT_FALSE(::GetUpdateRect(m_host.m_hWnd, nullptr, FALSE));

    // One posted message carries the whole run; it repaints the parent, then sets the text.
    MSG msg;
    ASSERT_TRUE(TakePosted(m_hStatic, CLinkStatic::WM_APPLYSTATUS, &msg));
    EXPECT_FALSE(TakePosted(m_hStatic, CLinkStatic::WM_APPLYSTATUS, &msg));
    ::DispatchMessageW(&msg);
    EXPECT_TRUE(::GetUpdateRect(m_host.m_hWnd, nullptr, FALSE));
    EXPECT_EQ(WindowText(m_hStatic), L"完成");
    EXPECT_EQ(m_label.m_rcText.right, m_host.MeasuredWidth(L"完成"));
    EXPECT_EQ(m_label.TextsApplied(), appliedBefore + 1);

    // A text that comes during the pause after a hand-over posts nothing: the pause takes it.
    std::thread late([this] { m_label.SetLinkText(u"later", 0); });
    late.join();
    EXPECT_FALSE(TakePosted(m_hStatic, CLinkStatic::WM_APPLYSTATUS, &msg));
    PumpMessagesFor(4 * CLinkStatic::kApplyPauseMs);
    EXPECT_EQ(WindowText(m_hStatic), L"later");
    EXPECT_EQ(m_label.TextsApplied(), appliedBefore + 2);

    // Once a pause found nothing to do, the next text posts again.
    std::thread next([this] { m_label.SetLinkText(u"next", 0); });
    next.join();
    EXPECT_TRUE(TakePosted(m_hStatic, CLinkStatic::WM_APPLYSTATUS, &msg));
}

// During the pause after a hand-over only the text after an outcome, the one that ends a run, is
// handed over at once; once shown, the texts after it are paced again.
TEST_F(LinkStaticTest, DuringThePauseOnlyTheTextThatEndsARunIsHandedOverAtOnce) {
    struct Row {
        const char* what;
        bool outcomeFirst;
        RunOutcome outcome;
        bool atOnce;
    };
    const Row rows[] = {
        {"a progress text", false, RunOutcome::Done, false},
        {"done", true, RunOutcome::Done, true},
        {"a failure", true, RunOutcome::DatabaseNotWritten, true},
        {"the player busy", true, RunOutcome::PlayerBusy, true},
    };
    MSG msg;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        PumpMessagesFor(4 * CLinkStatic::kApplyPauseMs);  // no pause under way
        std::thread([this] { m_label.SetLinkText(u"writing", 0); }).join();
        ASSERT_TRUE(TakePosted(m_hStatic, CLinkStatic::WM_APPLYSTATUS, &msg));
        ::DispatchMessageW(&msg);  // the pause begins
        ASSERT_EQ(WindowText(m_hStatic), L"writing");

        std::thread([this, &row] {
            if (row.outcomeFirst)
                m_label.SetOutcome(row.outcome, 0);
            m_label.InvalidateParent();
            m_label.SetLinkText(u"last", 0);
        }).join();
        bool posted = TakePosted(m_hStatic, CLinkStatic::WM_APPLYSTATUS, &msg);
        EXPECT_EQ(posted, row.atOnce);
        if (posted)
            ::DispatchMessageW(&msg);
        EXPECT_EQ(WindowText(m_hStatic) == L"last", row.atOnce);

        // The outcome counts for one text: the next one waits for the pause again.
        std::thread([this] { m_label.SetLinkText(u"again", 0); }).join();
        EXPECT_FALSE(TakePosted(m_hStatic, CLinkStatic::WM_APPLYSTATUS, &msg));
        PumpMessagesFor(4 * CLinkStatic::kApplyPauseMs);
        EXPECT_EQ(WindowText(m_hStatic), L"again");
    }
}

TEST_F(LinkStaticTest, WorkerTextsThatArriveWhileTheUiThreadPumpsAllEndOnTheNewest) {
    std::atomic<bool> done{false};
    std::thread worker([this, &done] {
        for (int i = 0; i < 2000; ++i)
            m_label.SetLinkText(u"Search File: " + std::u16string(1, u'0' + i % 10), 0);
        m_label.SetLinkText(u"完成", 0);
        done = true;
    });
    // Pump while the worker reports, the way the message loop does.
    while (!done)
        PumpMessages();
    worker.join();
    PumpMessagesFor(4 * CLinkStatic::kApplyPauseMs);
    EXPECT_EQ(WindowText(m_hStatic), L"完成");
    EXPECT_GE(m_label.TextsApplied(), 1);
    EXPECT_LE(m_label.TextsApplied(), 2001);
}

TEST_F(LinkStaticTest, UiThreadTextReplacesAWorkerTextNotYetShown) {
    std::thread worker([this] { m_label.SetLinkText(u"older", 5); });
    worker.join();
    m_label.SetLinkText(u"newer", 7);
    PumpMessages();
    EXPECT_EQ(WindowText(m_hStatic), L"newer");
    EXPECT_EQ(m_label.m_nCommand, 7);
}

TEST_F(LinkStaticTest, LetsGoOfItsDestroyedControlAndThenIgnoresCalls) {
    m_label.SetLinkText(u"开始", 100);
    const int applied = m_label.TextsApplied();
    ::DestroyWindow(m_hStatic);
    EXPECT_EQ(m_label.m_hWnd, nullptr);

    EXPECT_EQ(m_label.SetLinkText(u"完成", 0), 1);
    m_label.InvalidateParent();
    std::thread worker([this] {
        m_label.InvalidateParent();
        m_label.SetPlain(1);
        m_label.SetLinkText(u"File: a.mp3", 0);
    });
    worker.join();
    MSG msg;
    EXPECT_FALSE(::PeekMessageW(&msg, nullptr, CLinkStatic::WM_APPLYSTATUS,
                                CLinkStatic::WM_APPLYSTATUS, PM_REMOVE));
    EXPECT_EQ(m_label.TextsApplied(), applied);

    // The object can take over another control afterwards.
    HWND hOther = m_host.AddStatic(1003, 10, 60);
    EXPECT_TRUE(m_label.SubclassWindow(hOther));
    m_label.SetLinkText(u"again", 1);
    EXPECT_EQ(WindowText(hOther), L"again");
}

TEST(LinkStaticPair, TwoLabelsOnTwoControlsKeepTheirOwnState) {
    TestHost host;
    HWND hFirst = host.AddStatic(1001, 10, 10);
    HWND hSecond = host.AddStatic(1002, 10, 60);
    CLinkStatic first;
    CLinkStatic second;
    ASSERT_TRUE(first.SubclassWindow(hFirst));
    ASSERT_TRUE(second.SubclassWindow(hSecond));
    EXPECT_FALSE(second.SubclassWindow(hFirst));  // one object per window

    first.SetLinkText(u"开始", 100);
    second.SetLinkText(u"File: P:\\a long name.mp3", 0);
    EXPECT_EQ(CLinkStatic::FromHandle(hFirst), &first);
    EXPECT_EQ(CLinkStatic::FromHandle(hSecond), &second);
    EXPECT_EQ(first.m_rcText.right, host.MeasuredWidth(L"开始"));
    EXPECT_EQ(second.m_rcText.right, host.MeasuredWidth(L"File: P:\\a long name.mp3"));

    MSG msg;
    ::SendMessageW(hSecond, WM_LBUTTONUP, 0, 0);
    ASSERT_TRUE(TakePosted(host.m_hWnd, WM_LINKCLICK, &msg));
    EXPECT_EQ(msg.wParam, 0u);
    ::SendMessageW(hFirst, WM_LBUTTONUP, 0, 0);
    ASSERT_TRUE(TakePosted(host.m_hWnd, WM_LINKCLICK, &msg));
    EXPECT_EQ(msg.wParam, 100u);

    // Destroying one leaves the other working.
    ::DestroyWindow(hFirst);
    EXPECT_EQ(first.m_hWnd, nullptr);
    second.SetLinkText(u"完成", 0);
    EXPECT_EQ(second.m_rcText.right, host.MeasuredWidth(L"完成"));
    EXPECT_EQ(CLinkStatic::FromHandle(hSecond), &second);
}

}  // namespace
