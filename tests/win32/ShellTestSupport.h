// Helpers for the tests of the shell's windows: a host window with static controls to take
// over, and a message pump.
#pragma once

#include <windows.h>

#include <string>

// Handles every queued message of this thread, then returns.
inline void PumpMessages() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

// Handles this thread's messages, timers included, for a while.
inline void PumpMessagesFor(DWORD milliseconds) {
    DWORD start = ::GetTickCount();
    do {
        PumpMessages();
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    } while (::GetTickCount() - start < milliseconds);
}

// Takes a posted message for a window out of the queue; false when there is none.
inline bool TakePosted(HWND hWnd, UINT message, MSG* msg) {
    return ::PeekMessageW(msg, hWnd, message, message, PM_REMOVE) != FALSE;
}

// A visible borderless top-level window at a known place on the screen, white, with static
// controls like the status line (SS_SIMPLE | SS_NOTIFY) in a large font of its own.
class TestHost {
public:
    static constexpr int kLeft = 100;
    static constexpr int kTop = 120;

    TestHost() {
        static ATOM atom = [] {
            WNDCLASSW wc = {};
            wc.lpfnWndProc = ::DefWindowProcW;
            wc.hInstance = ::GetModuleHandleW(nullptr);
            wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
            wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
            wc.lpszClassName = L"ShellTestHost";
            return ::RegisterClassW(&wc);
        }();
        m_hWnd =
            ::CreateWindowExW(0, MAKEINTATOM(atom), L"host", WS_POPUP | WS_VISIBLE, kLeft, kTop,
                              500, 120, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
        m_hFont = ::CreateFontW(-28, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                DEFAULT_PITCH, L"WenQuanYi Micro Hei");
    }
    ~TestHost() {
        if (::IsWindow(m_hWnd))
            ::DestroyWindow(m_hWnd);
        ::DeleteObject(m_hFont);
        PumpMessages();
    }
    TestHost(const TestHost&) = delete;
    TestHost& operator=(const TestHost&) = delete;

    // A static control at (x, y) of the host's client area, 300 x 40 pixels.
    HWND AddStatic(int id, int x = 10, int y = 10) {
        HWND hWnd =
            ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_SIMPLE | SS_NOTIFY, x,
                              y, 300, 40, m_hWnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                              ::GetModuleHandleW(nullptr), nullptr);
        ::SendMessageW(hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(m_hFont), FALSE);
        return hWnd;
    }

    // The width of a text in the controls' font, measured here independently of the label.
    int MeasuredWidth(const std::wstring& text) const {
        HDC hDC = ::GetDC(m_hWnd);
        HGDIOBJ previous = ::SelectObject(hDC, m_hFont);
        SIZE size = {};
        ::GetTextExtentPoint32W(hDC, text.c_str(), static_cast<int>(text.size()), &size);
        ::SelectObject(hDC, previous);
        ::ReleaseDC(m_hWnd, hDC);
        return size.cx;
    }

    HWND m_hWnd = nullptr;
    HFONT m_hFont = nullptr;
};
