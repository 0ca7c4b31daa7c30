#include "LinkStatic.h"

#include <utility>
#include <vector>

#include "WideText.h"

namespace {

constexpr size_t kPendingTextUnits = 1024;  // a status text holds at most two paths

}  // namespace

CLinkStatic::CLinkStatic() {
    m_strPendingText.reserve(kPendingTextUnits);
}

BOOL CLinkStatic::SubclassWindow(HWND hWnd) {
    if (!CWindowImpl<CLinkStatic>::SubclassWindow(hWnd))
        return FALSE;
    std::lock_guard<std::mutex> guard(m_lock);
    m_hWndPost = hWnd;
    m_dwUiThread = ::GetCurrentThreadId();
    return TRUE;
}

BOOL CLinkStatic::ProcessWindowMessage(HWND, UINT uMsg, WPARAM wParam, LPARAM lParam,
                                       LRESULT& lResult) {
    switch (uMsg) {
        case WM_ERASEBKGND:
            lResult = 1;  // the paint covers every pixel
            return TRUE;
        case WM_PAINT:
            lResult = OnPaint();
            return TRUE;
        case WM_LBUTTONUP:
            lResult = OnLButtonUp();
            return TRUE;
        case WM_SETCURSOR:
            lResult = OnSetCursor();
            return TRUE;
        case WM_SETTEXT:
            lResult = OnSetText(wParam, lParam);
            return TRUE;
        case WM_APPLYSTATUS:
            lResult = OnApplyStatus();
            return TRUE;
        case WM_TIMER:
            if (wParam != kApplyTimer)
                return FALSE;
            lResult = OnApplyStatus();
            return TRUE;
        default:
            return FALSE;
    }
}

void CLinkStatic::OnFinalMessage(HWND) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_hWndPost = nullptr;
    m_dwUiThread = 0;
    m_strPendingText.clear();
    m_bTextPending = m_bInvalidatePending = m_bPosted = m_bLastTextNext = false;
}

int CLinkStatic::SetLinkText(std::u16string_view text, int command) {
    if (OnUiThread()) {
        {
            // A text from another thread not yet shown is older than this one.
            std::lock_guard<std::mutex> guard(m_lock);
            m_bTextPending = false;
            m_bLastTextNext = false;
            m_strPendingText.clear();
        }
        ApplyText(text);
        m_nCommand = command;
        return 1;
    }
    std::lock_guard<std::mutex> guard(m_lock);
    bool last = std::exchange(m_bLastTextNext, false);
    if (m_hWndPost) {
        m_strPendingText.assign(text.data(), text.size());  // within the kept room: no allocation
        m_bTextPending = true;
    }
    m_nCommand = command;
    if (last)
        PostLastTextLocked();
    else
        PostApplyLocked();
    return 1;
}

void CLinkStatic::SetOutcome(RunOutcome, int) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_bLastTextNext = true;
}

int CLinkStatic::SetPlain(int plain) {
    m_bPlain = plain;
    return 1;
}

void CLinkStatic::InvalidateParent() {
    if (OnUiThread()) {
        // Never a null window: that would repaint the whole desktop. The parent clips its
        // children, so the label is repainted in its own right.
        if (HWND hWndParent = ::GetParent(m_hWnd)) {
            ::InvalidateRect(hWndParent, nullptr, TRUE);
            ::InvalidateRect(m_hWnd, nullptr, FALSE);
        }
        return;
    }
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_hWndPost)
        m_bInvalidatePending = true;
    PostApplyLocked();
}

bool CLinkStatic::OnUiThread() const {
    DWORD ui = m_dwUiThread;
    return ui != 0 && ui == ::GetCurrentThreadId();
}

// Everything is drawn into a bitmap first and copied onto the screen in one go.
LRESULT CLinkStatic::OnPaint() {
    PAINTSTRUCT ps;
    HDC hDC = ::BeginPaint(m_hWnd, &ps);
    if (!hDC)
        return 0;
    RECT rc = {};
    ::GetClientRect(m_hWnd, &rc);
    HDC hMemDC = ::CreateCompatibleDC(hDC);
    HBITMAP hBitmap = hMemDC ? ::CreateCompatibleBitmap(hDC, rc.right, rc.bottom) : nullptr;
    if (hBitmap) {
        HGDIOBJ previous = ::SelectObject(hMemDC, hBitmap);
        Draw(hMemDC, rc);
        ::BitBlt(hDC, 0, 0, rc.right, rc.bottom, hMemDC, 0, 0, SRCCOPY);
        ::SelectObject(hMemDC, previous);
        ::DeleteObject(hBitmap);
    } else {
        Draw(hDC, rc);  // no memory for the bitmap: straight onto the screen
    }
    if (hMemDC)
        ::DeleteDC(hMemDC);
    ::EndPaint(m_hWnd, &ps);
    return 0;
}

// As a static draws itself: the background brush and text colour its parent answers to
// WM_CTLCOLORSTATIC, the text in one line from the top left; then in link look the underline
// along the bottom row of the text.
void CLinkStatic::Draw(HDC hDC, const RECT& rcClient) {
    HWND hWndParent = ::GetParent(m_hWnd);
    auto brush = reinterpret_cast<HBRUSH>(::SendMessageW(hWndParent, WM_CTLCOLORSTATIC,
                                                         reinterpret_cast<WPARAM>(hDC),
                                                         reinterpret_cast<LPARAM>(m_hWnd)));
    if (!brush) {
        brush = reinterpret_cast<HBRUSH>(::DefWindowProcW(hWndParent, WM_CTLCOLORSTATIC,
                                                          reinterpret_cast<WPARAM>(hDC),
                                                          reinterpret_cast<LPARAM>(m_hWnd)));
    }
    ::FillRect(hDC, &rcClient, brush);

    auto font = reinterpret_cast<HFONT>(::SendMessageW(m_hWnd, WM_GETFONT, 0, 0));
    HGDIOBJ previousFont = font ? ::SelectObject(hDC, font) : nullptr;
    // Not a std::wstring: that alone would link the runtime's whole wide string (35 KB).
    std::vector<wchar_t> text(static_cast<size_t>(::GetWindowTextLengthW(m_hWnd)) + 1);
    int length = ::GetWindowTextW(m_hWnd, text.data(), static_cast<int>(text.size()));
    RECT rcText = rcClient;
    ::DrawTextW(hDC, text.data(), length, &rcText, DT_LEFT | DT_SINGLELINE);
    if (previousFont)
        ::SelectObject(hDC, previousFont);

    if (m_bPlain != 0)
        return;
    COLORREF previous = ::SetBkColor(hDC, kLinkColour);
    if (previous != CLR_INVALID) {
        RECT line = {m_rcText.left, m_rcText.bottom - 1, m_rcText.right, m_rcText.bottom};
        ::ExtTextOutW(hDC, 0, 0, ETO_OPAQUE, &line, nullptr, 0, nullptr);
        ::SetBkColor(hDC, previous);
    }
}

// Deliberately no test of look, place or where the button went down: the parent judges the code.
LRESULT CLinkStatic::OnLButtonUp() {
    ::PostMessageW(::GetParent(m_hWnd), WM_LINKCLICK, static_cast<WPARAM>(m_nCommand.load()), 0);
    return 0;
}

LRESULT CLinkStatic::OnSetCursor() {
    POINT pt = {};
    ::GetCursorPos(&pt);
    ::ScreenToClient(m_hWnd, &pt);
    bool hand = m_bPlain == 0 && ::PtInRect(&m_rcText, pt);
    ::SetCursor(::LoadCursorW(nullptr, hand ? IDC_HAND : IDC_ARROW));
    return 1;
}

// Measures the new text once, so painting and pointer queries measure nothing; then stores and
// paints it. A context or measurement that can't be had keeps the old rectangle.
LRESULT CLinkStatic::OnSetText(WPARAM wParam, LPARAM lParam) {
    auto text = reinterpret_cast<const wchar_t*>(lParam);
    if (HDC hDC = ::GetDC(m_hWnd)) {
        RECT rcClient = {};
        ::GetClientRect(m_hWnd, &rcClient);
        auto font = reinterpret_cast<HFONT>(::SendMessageW(m_hWnd, WM_GETFONT, 0, 0));
        HGDIOBJ previous = font ? ::SelectObject(hDC, font) : nullptr;
        SIZE size = {};
        BOOL measured =
            ::GetTextExtentPoint32W(hDC, text ? text : L"", text ? lstrlenW(text) : 0, &size);
        if (previous)
            ::SelectObject(hDC, previous);
        ::ReleaseDC(m_hWnd, hDC);
        if (measured)
            m_rcText = {0, 0, size.cx, rcClient.bottom};
    }
    // Stored past the control's own handling, which may draw the text at once in its own way,
    // over the old one without a background; the label paints it whole instead.
    LRESULT result = ::DefWindowProcW(m_hWnd, WM_SETTEXT, wParam, lParam);
    ::InvalidateRect(m_hWnd, nullptr, FALSE);
    ::UpdateWindow(m_hWnd);
    return result;
}

// Applies what another thread left, then waits a little before the next: posted messages come
// before painting, so without the pause a busy run would starve the repaints and leave texts
// drawn over each other. The pause keeps the worker from posting; a tick with nothing pending
// lets it post again.
LRESULT CLinkStatic::OnApplyStatus() {
    std::u16string text;
    bool textPending;
    bool invalidate;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_bTextPending)
            text = m_strPendingText;  // a copy: the pending text keeps its room
        m_strPendingText.clear();
        textPending = m_bTextPending;
        invalidate = m_bInvalidatePending;
        m_bTextPending = m_bInvalidatePending = false;
        if (!textPending && !invalidate)
            m_bPosted = false;
    }
    if (!textPending && !invalidate) {
        ::KillTimer(m_hWnd, kApplyTimer);
        return 0;
    }
    if (invalidate)
        InvalidateParent();
    if (textPending)
        ApplyText(text);
    if (!::SetTimer(m_hWnd, kApplyTimer, kApplyPauseMs, nullptr)) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_bPosted = false;
        PostApplyLocked();
    }
    return 0;
}

// One message at a time is enough: it takes whatever is pending when the UI thread gets to it.
void CLinkStatic::PostApplyLocked() {
    if (!m_hWndPost || m_bPosted || !(m_bTextPending || m_bInvalidatePending))
        return;
    m_bPosted = ::PostMessageW(m_hWndPost, WM_APPLYSTATUS, 0, 0) != FALSE;
}

// Posted even during the pause or beside a message already posted: whichever comes first shows
// the last text, and the other finds nothing pending and ends the pacing.
void CLinkStatic::PostLastTextLocked() {
    if (!m_hWndPost || !m_bTextPending)
        return;
    if (::PostMessageW(m_hWndPost, WM_APPLYSTATUS, 0, 0))
        m_bPosted = true;
}

void CLinkStatic::ApplyText(std::u16string_view text) {
    if (!m_hWnd)
        return;
    ::SetWindowTextW(m_hWnd, AsWide(std::u16string(text)));
    ++m_nTextsApplied;
}
