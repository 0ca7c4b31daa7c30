#include "MainDlg.h"

#include "AboutDlg.h"
#include "CenterWindow.h"
#include "LocationProbe.h"
#include "base/Messages.h"
#include "Module.h"
#include "Skin.h"
#include "SkinCover.h"
#include "Strings.h"

BOOL CMainDlg::PreTranslateMessage(MSG* pMsg) {
    return ::IsDialogMessageW(m_hWnd, pMsg);
}

BOOL CMainDlg::OnIdle() {
    return FALSE;
}

BOOL CMainDlg::ProcessWindowMessage(HWND, UINT uMsg, WPARAM wParam, LPARAM lParam,
                                    LRESULT& lResult) {
    switch (uMsg) {
        case WM_INITDIALOG:
            lResult = OnInitDialog();
            return TRUE;
        case WM_DESTROY:
            lResult = OnDestroy();
            return TRUE;
        case WM_ERASEBKGND:
            lResult = 1;
            return OnEraseBkgnd(reinterpret_cast<HDC>(wParam));
        case WM_CTLCOLORSTATIC:
            lResult =
                OnCtlColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
            return TRUE;
        case WM_LINKCLICK:
            lResult = OnLinkClick(wParam);
            return TRUE;
        case WM_TIMER:
            if (wParam != kCloseTimer)
                return FALSE;
            lResult = OnTimer(wParam);
            return TRUE;
        case WM_COMMAND:
            // Only the command id counts, never the notification code or the sender.
            switch (LOWORD(wParam)) {
                case ID_ABOUT:
                    lResult = OnAbout();
                    return TRUE;
                case IDOK:
                case IDCANCEL:
                    lResult = OnClose(LOWORD(wParam));
                    return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

void CMainDlg::OnFinalMessage(HWND) {
    FreeResources();
}

LRESULT CMainDlg::OnInitDialog() {
    CenterWindow(m_hWnd);
    SetIcons();
    if (CMessageLoop* pLoop = _Module.GetMessageLoop()) {
        pLoop->AddMessageFilter(this);
        pLoop->AddIdleHandler(this);
    }
    // No UI-update registration: the window has no menu, toolbar or state to keep updated.
    LoadSkin();
    ::ShowWindow(m_hWnd, SW_SHOW);

    // Without the control the label has no window: no status and no Start link, only closing.
    m_wndStatus.SubclassWindow(::GetDlgItem(m_hWnd, IDC_STATUS));
    WPARAM font = static_cast<WPARAM>(::SendMessageW(m_hWnd, WM_GETFONT, 0, 0));
    ::SendDlgItemMessageW(m_hWnd, IDC_STATUS, WM_SETFONT, font, TRUE);
    m_job.SetStatusLabel(&m_wndStatus);
    m_job.SetVoice(&m_voice);
    CLocationProbe probe;
    m_job.CheckLocation(probe);  // it shows its own outcome on the label
    ::SetDlgItemTextW(m_hWnd, IDC_NOTICE, kNoticeText);
    return 1;
}

LRESULT CMainDlg::OnDestroy() {
    if (CMessageLoop* pLoop = _Module.GetMessageLoop()) {
        pLoop->RemoveMessageFilter(this);
        pLoop->RemoveIdleHandler(this);
    }
    return 0;
}

// The window clips its children (WS_CLIPCHILDREN), so an erase never paints over the status
// line's text: the statics paint the skin behind their text themselves.
BOOL CMainDlg::OnEraseBkgnd(HDC hDC) {
    if (!PrepareBackground())
        return FALSE;  // no skin: the platform's own background
    ::BitBlt(hDC, 0, 0, m_sizeBack.cx, m_sizeBack.cy, m_hBackDC, 0, 0, SRCCOPY);
    return TRUE;
}

// Both statics fill their background with the skin as it lies under them: the brush is the
// client-sized skin, its origin moved to the window's client origin. The text goes over it
// transparently.
LRESULT CMainDlg::OnCtlColorStatic(HDC hDC, HWND hWndCtl) {
    ::SetBkMode(hDC, TRANSPARENT);
    ::SetTextColor(hDC, kLinkColour);
    // Without the skin the window shows the system's dialog background, and so do the statics:
    // the status line paints into a fresh bitmap, which a null brush would leave black.
    if (!PrepareBackground())
        return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
    POINT at = {0, 0};
    ::MapWindowPoints(hWndCtl, m_hWnd, &at, 1);
    // A brush origin is taken modulo the pattern's size; kept non-negative for older systems.
    ::SetBrushOrgEx(hDC, (m_sizeBack.cx - at.x % m_sizeBack.cx) % m_sizeBack.cx,
                    (m_sizeBack.cy - at.y % m_sizeBack.cy) % m_sizeBack.cy, nullptr);
    return reinterpret_cast<LRESULT>(m_hBackBrush);
}

// Every other code (0 after any status, -1 before any text) is deliberately ignored.
LRESULT CMainDlg::OnLinkClick(WPARAM wParam) {
    if (static_cast<int>(wParam) != ID_START)
        return 0;
    ::ShowWindow(::GetDlgItem(m_hWnd, IDC_NOTICE), SW_HIDE);
    m_job.StartSync();  // a refused start still leaves the notice hidden
    return 0;
}

LRESULT CMainDlg::OnAbout() {
    CAboutDlg dlg;
    dlg.DoModal(::GetActiveWindow());
    return 0;
}

// During a run the window stays, showing the run's texts, and closes itself when the run has
// written the new database: a user who sees it go unplugs the player.
LRESULT CMainDlg::OnClose(int nExitCode) {
    if (m_job.IsRunning()) {
        m_nPendingExit = nExitCode;
        if (::SetTimer(m_hWnd, kCloseTimer, kClosePollMs, nullptr))
            return 0;
        // Without a timer nothing would close it later: the start-up routine waits instead.
    }
    ::DestroyWindow(m_hWnd);
    ::PostQuitMessage(nExitCode);
    return 0;
}

// A run that ended any other way stays on screen with its text, which the user must see: the
// next close closes, with its own exit code.
LRESULT CMainDlg::OnTimer(WPARAM) {
    if (m_job.IsRunning())
        return 0;
    ::KillTimer(m_hWnd, kCloseTimer);
    if (m_job.Outcome() != RunOutcome::Done)
        return 0;
    return OnClose(m_nPendingExit);
}

void CMainDlg::SetIcons() {
    HINSTANCE hInst = ::GetModuleHandleW(nullptr);
    m_hIconBig = static_cast<HICON>(::LoadImageW(hInst, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON,
                                                 ::GetSystemMetrics(SM_CXICON),
                                                 ::GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR));
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIconBig));
    m_hIconSmall = static_cast<HICON>(
        ::LoadImageW(hInst, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
                     ::GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIconSmall));
}

void CMainDlg::LoadSkin() {
    HDC hDC = ::GetDC(m_hWnd);
    m_hSkin = MakeSkin(::GetModuleHandleW(nullptr), hDC);
    BITMAP bm = {};
    if (m_hSkin && ::GetObjectW(m_hSkin, sizeof(bm), &bm)) {
        m_sizeSkin = {bm.bmWidth, bm.bmHeight};
        m_hSkinDC = ::CreateCompatibleDC(hDC);
    }
    ::ReleaseDC(m_hWnd, hDC);
    if (m_hSkinDC)
        m_hSkinPrevious = ::SelectObject(m_hSkinDC, m_hSkin);
}

// Makes the skin at the client area's size when that size is new. At 96 DPI the skin covers the
// client area and is copied pixel for pixel; at higher DPI the dialog has grown with its font
// and the skin is stretched evenly to cover it, halftoned (averaged) so it stays smooth.
bool CMainDlg::PrepareBackground() {
    RECT rc = {};
    if (!m_hSkinDC || !::GetClientRect(m_hWnd, &rc))
        return false;
    if (rc.right <= 0 || rc.bottom <= 0)
        return m_hBackBrush != nullptr;  // minimised: the last background serves again
    if (m_hBackBrush && rc.right == m_sizeBack.cx && rc.bottom == m_sizeBack.cy)
        return true;
    FreeBackground();
    HDC hDC = ::GetDC(m_hWnd);
    m_hBackDC = ::CreateCompatibleDC(hDC);
    m_hBack = ::CreateCompatibleBitmap(hDC, rc.right, rc.bottom);
    ::ReleaseDC(m_hWnd, hDC);
    if (!m_hBackDC || !m_hBack) {
        FreeBackground();
        return false;
    }
    m_hBackPrevious = ::SelectObject(m_hBackDC, m_hBack);
    SkinSize size = SkinCover({rc.right, rc.bottom}, {m_sizeSkin.cx, m_sizeSkin.cy});
    if (size.width == m_sizeSkin.cx && size.height == m_sizeSkin.cy) {
        ::BitBlt(m_hBackDC, 0, 0, size.width, size.height, m_hSkinDC, 0, 0, SRCCOPY);
    } else {
        // HALFTONE needs the brush origin set again after it is chosen.
        ::SetStretchBltMode(m_hBackDC, HALFTONE);
        ::SetBrushOrgEx(m_hBackDC, 0, 0, nullptr);
        ::StretchBlt(m_hBackDC, 0, 0, size.width, size.height, m_hSkinDC, 0, 0, m_sizeSkin.cx,
                     m_sizeSkin.cy, SRCCOPY);
    }
    m_hBackBrush = ::CreatePatternBrush(m_hBack);
    if (!m_hBackBrush) {
        FreeBackground();
        return false;
    }
    m_sizeBack = {rc.right, rc.bottom};
    return true;
}

void CMainDlg::FreeBackground() {
    if (m_hBackBrush) {
        ::DeleteObject(m_hBackBrush);
        m_hBackBrush = nullptr;
    }
    if (m_hBackDC) {
        if (m_hBackPrevious)
            ::SelectObject(m_hBackDC, m_hBackPrevious);
        ::DeleteDC(m_hBackDC);
        m_hBackDC = nullptr;
    }
    m_hBackPrevious = nullptr;
    if (m_hBack) {
        ::DeleteObject(m_hBack);
        m_hBack = nullptr;
    }
    m_sizeBack = {};
}

void CMainDlg::FreeResources() {
    FreeBackground();
    if (m_hSkinDC) {
        ::SelectObject(m_hSkinDC, m_hSkinPrevious);
        ::DeleteDC(m_hSkinDC);
        m_hSkinDC = nullptr;
    }
    if (m_hSkin) {
        ::DeleteObject(m_hSkin);
        m_hSkin = nullptr;
    }
    for (HICON* icon : {&m_hIconBig, &m_hIconSmall}) {
        if (*icon)
            ::DestroyIcon(*icon);
        *icon = nullptr;
    }
}
