// The window framework on real windows: the message loop's filter order and idle rule, dialogs
// mapped to their own objects, and the application module's loop registry.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "AppModule.h"
#include "Dialog.h"
#include "MessageLoop.h"
#include "ShellTestSupport.h"
#include "resource.h"

namespace {

// What the loop did, in order: "idle:<name>", "filter:<name>:<message>", "dispatch:<message>".
std::vector<std::string> g_log;

LRESULT CALLBACK RecordingProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg >= WM_USER || uMsg == WM_TIMER || uMsg == WM_PAINT || uMsg == WM_MOUSEMOVE ||
        uMsg == WM_NCMOUSEMOVE || uMsg == 0x0118) {
        g_log.push_back("dispatch:" + std::to_string(uMsg));
        return 0;
    }
    return ::DefWindowProcW(hWnd, uMsg, wParam, lParam);
}

// A message-only window whose procedure records what reaches it.
HWND CreateRecordingWindow() {
    static ATOM atom = [] {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = RecordingProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"ShellTestRecorder";
        return ::RegisterClassW(&wc);
    }();
    return ::CreateWindowExW(0, MAKEINTATOM(atom), L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             ::GetModuleHandleW(nullptr), nullptr);
}

class RecordingFilter : public CMessageFilter {
public:
    RecordingFilter(std::string name, bool handles) : m_name(std::move(name)), m_handles(handles) {}
    BOOL PreTranslateMessage(MSG* pMsg) override {
        g_log.push_back("filter:" + m_name + ":" + std::to_string(pMsg->message));
        return m_handles;
    }

private:
    std::string m_name;
    bool m_handles;
};

class IdleStep : public CIdleHandler {
public:
    IdleStep(std::string name, std::function<void(int)> action = {})
        : m_name(std::move(name)), m_action(std::move(action)) {}
    BOOL OnIdle() override {
        g_log.push_back("idle:" + m_name);
        if (m_action)
            m_action(++m_calls);
        return TRUE;  // asks for more, which the loop deliberately does not give
    }

private:
    std::string m_name;
    std::function<void(int)> m_action;
    int m_calls = 0;
};

class MessageLoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        PumpMessages();
        g_log.clear();
        m_hWnd = CreateRecordingWindow();
        ASSERT_NE(m_hWnd, nullptr);
    }
    void TearDown() override { ::DestroyWindow(m_hWnd); }

    std::string Dispatched(UINT message) { return "dispatch:" + std::to_string(message); }
    std::string Filtered(const char* name, UINT message) {
        return std::string("filter:") + name + ":" + std::to_string(message);
    }

    HWND m_hWnd = nullptr;
    CMessageLoop m_loop;
};

TEST_F(MessageLoopTest, FiltersSeeAMessageLastAddedFirstThenItIsDispatched) {
    RecordingFilter first("first", false);
    RecordingFilter second("second", false);
    m_loop.AddMessageFilter(&first);
    m_loop.AddMessageFilter(&second);
    ::PostMessageW(m_hWnd, WM_APP + 1, 0, 0);
    ::PostQuitMessage(5);

    EXPECT_EQ(m_loop.Run(), 5);
    std::vector<std::string> expected = {Filtered("second", WM_APP + 1),
                                         Filtered("first", WM_APP + 1), Dispatched(WM_APP + 1)};
    EXPECT_EQ(g_log, expected);
}

TEST_F(MessageLoopTest, AFilterThatHandlesTheMessageEndsTheOfferAndTheDispatch) {
    RecordingFilter first("first", false);
    RecordingFilter second("second", true);
    m_loop.AddMessageFilter(&first);
    m_loop.AddMessageFilter(&second);
    ::PostMessageW(m_hWnd, WM_APP + 1, 0, 0);
    ::PostQuitMessage(6);

    EXPECT_EQ(m_loop.Run(), 6);
    std::vector<std::string> expected = {Filtered("second", WM_APP + 1)};
    EXPECT_EQ(g_log, expected);

    // A removed filter is asked no more.
    g_log.clear();
    EXPECT_TRUE(m_loop.RemoveMessageFilter(&second));
    EXPECT_FALSE(m_loop.RemoveMessageFilter(&second));
    ::PostMessageW(m_hWnd, WM_APP + 2, 0, 0);
    ::PostQuitMessage(7);
    EXPECT_EQ(m_loop.Run(), 7);
    expected = {Filtered("first", WM_APP + 2), Dispatched(WM_APP + 2)};
    EXPECT_EQ(g_log, expected);
}

TEST_F(MessageLoopTest, PaintAndMouseMovesDoNotStartANewIdlePeriodOtherMessagesDo) {
    const UINT quiet[] = {WM_MOUSEMOVE, WM_NCMOUSEMOVE, 0x0118, WM_PAINT};
    HWND hWnd = m_hWnd;
    IdleStep a("a", [&](int call) {
        if (call == 1) {
            for (UINT message : quiet)
                ::PostMessageW(hWnd, message, 0, 0);
            // The timer's message is the first that starts a new idle period.
            ::SetTimer(hWnd, 1, 30, nullptr);
        } else {
            ::KillTimer(hWnd, 1);
            ::PostQuitMessage(call);
        }
    });
    IdleStep b("b");
    m_loop.AddIdleHandler(&a);
    m_loop.AddIdleHandler(&b);

    EXPECT_EQ(m_loop.Run(), 2);
    std::vector<std::string> expected = {"idle:a", "idle:b"};
    for (UINT message : quiet)
        expected.push_back(Dispatched(message));
    expected.push_back(Dispatched(WM_TIMER));
    expected.push_back("idle:a");
    expected.push_back("idle:b");
    EXPECT_EQ(g_log, expected);
}

TEST_F(MessageLoopTest, QueuedMessagesComeBeforeIdleAndTheQuitCodeIsReturned) {
    IdleStep a("a", [](int) { ::PostQuitMessage(-3); });
    m_loop.AddIdleHandler(&a);
    ::PostMessageW(m_hWnd, WM_APP + 3, 0, 0);
    EXPECT_EQ(m_loop.Run(), -3);
    std::vector<std::string> expected = {Dispatched(WM_APP + 3), "idle:a"};
    EXPECT_EQ(g_log, expected);
}

TEST(AppModule, KeepsOneLoopPerThreadBetweenInitAndTerm) {
    CAppModule module;
    CMessageLoop loop;
    EXPECT_FALSE(module.AddMessageLoop(&loop));  // no registry before Init
    ASSERT_EQ(module.Init(::GetModuleHandleW(nullptr)), S_OK);
    EXPECT_EQ(module.m_dwMainThreadID, ::GetCurrentThreadId());
    EXPECT_EQ(module.GetModuleInstance(), ::GetModuleHandleW(nullptr));
    EXPECT_EQ(module.GetMessageLoop(), nullptr);

    EXPECT_TRUE(module.AddMessageLoop(&loop));
    EXPECT_FALSE(module.AddMessageLoop(&loop));
    EXPECT_EQ(module.GetMessageLoop(), &loop);
    CMessageLoop* seenByOther = &loop;
    std::thread other([&] { seenByOther = module.GetMessageLoop(); });
    other.join();
    EXPECT_EQ(seenByOther, nullptr);  // another thread has no loop of its own

    EXPECT_TRUE(module.RemoveMessageLoop());
    EXPECT_EQ(module.GetMessageLoop(), nullptr);
    EXPECT_TRUE(module.AddMessageLoop(&loop));
    module.Term();
    EXPECT_EQ(module.GetMessageLoop(), nullptr);
    EXPECT_FALSE(module.RemoveMessageLoop());
}

// A dialog from the About template that answers a private message with its own number, and
// ends itself when modal.
class NumberDlg : public CDialogImpl<NumberDlg> {
public:
    enum { IDD = IDD_ABOUT };
    static constexpr UINT WM_ASKNUMBER = WM_APP + 10;
    static constexpr UINT WM_FINISH = WM_APP + 11;

    explicit NumberDlg(int number) : m_number(number) {}

    BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam,
                              LRESULT& lResult) override {
        switch (uMsg) {
            case WM_INITDIALOG:
                m_initHandle = hWnd;
                m_initParam = lParam;
                if (m_endWhenModal)
                    ::PostMessageW(hWnd, WM_FINISH, 0, 0);
                lResult = TRUE;
                return TRUE;
            case WM_ASKNUMBER:
                lResult = m_number;
                return TRUE;
            case WM_FINISH:
                EndDialog(m_number + static_cast<int>(wParam));
                return TRUE;
            default:
                return FALSE;
        }
    }
    void OnFinalMessage(HWND) override { ++m_finalMessages; }

    int m_number;
    bool m_endWhenModal = false;
    HWND m_initHandle = nullptr;
    LPARAM m_initParam = 0;
    int m_finalMessages = 0;
};

TEST(Dialog, TwoLiveDialogsOfOneClassEachReachTheirOwnObject) {
    NumberDlg first(11);
    NumberDlg second(22);
    HWND hFirst = first.Create(nullptr, 1234);
    HWND hSecond = second.Create(nullptr);
    ASSERT_NE(hFirst, nullptr);
    ASSERT_NE(hSecond, nullptr);
    EXPECT_EQ(first.m_hWnd, hFirst);
    EXPECT_EQ(first.m_initHandle, hFirst);
    EXPECT_EQ(first.m_initParam, 1234);
    EXPECT_EQ(second.m_initHandle, hSecond);
    EXPECT_EQ(NumberDlg::FromHandle(hFirst), &first);
    EXPECT_EQ(NumberDlg::FromHandle(hSecond), &second);

    // A handled message's result travels back through the dialog's message result.
    EXPECT_EQ(::SendMessageW(hFirst, NumberDlg::WM_ASKNUMBER, 0, 0), 11);
    EXPECT_EQ(::SendMessageW(hSecond, NumberDlg::WM_ASKNUMBER, 0, 0), 22);

    ::DestroyWindow(hFirst);
    EXPECT_EQ(first.m_hWnd, nullptr);
    EXPECT_EQ(first.m_finalMessages, 1);
    EXPECT_EQ(::SendMessageW(hSecond, NumberDlg::WM_ASKNUMBER, 0, 0), 22);
    // The object can make a new window once the old one is gone.
    HWND hAgain = first.Create(nullptr);
    ASSERT_NE(hAgain, nullptr);
    EXPECT_EQ(NumberDlg::FromHandle(hAgain), &first);
    EXPECT_EQ(::SendMessageW(hAgain, NumberDlg::WM_ASKNUMBER, 0, 0), 11);
    ::DestroyWindow(hAgain);
    ::DestroyWindow(hSecond);
    EXPECT_EQ(second.m_finalMessages, 1);
}

TEST(Dialog, ModalDialogReturnsWhatItEndedWith) {
    NumberDlg modal(40);
    modal.m_endWhenModal = true;
    EXPECT_EQ(modal.DoModal(nullptr, 2), 40);
    EXPECT_EQ(modal.m_initParam, 2);
    EXPECT_EQ(modal.m_hWnd, nullptr);
    EXPECT_EQ(modal.m_finalMessages, 1);

    // The slot is free again: a second dialog gets its own object, not the first one.
    NumberDlg other(50);
    other.m_endWhenModal = true;
    EXPECT_EQ(other.DoModal(nullptr), 50);
    EXPECT_EQ(modal.m_finalMessages, 1);
}

TEST(Dialog, AnObjectDestroyedBeforeItsWindowIsNeverReachedAgain) {
    HWND hWnd;
    {
        NumberDlg shortLived(7);
        hWnd = shortLived.Create(nullptr);
        ASSERT_NE(hWnd, nullptr);
    }
    EXPECT_EQ(NumberDlg::FromHandle(hWnd), nullptr);
    EXPECT_EQ(::SendMessageW(hWnd, NumberDlg::WM_ASKNUMBER, 0, 0), 0);
    NumberDlg next(8);
    HWND hNext = next.Create(nullptr);
    EXPECT_EQ(next.m_initHandle, hNext);  // the orphan did not claim the slot
    ::DestroyWindow(hWnd);
    ::DestroyWindow(hNext);
    EXPECT_EQ(next.m_finalMessages, 1);
}

}  // namespace
