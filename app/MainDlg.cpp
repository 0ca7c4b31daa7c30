#include "MainDlg.h"

#include "AboutDlg.h"
#include "CenterWindow.h"
#include "LocationProbe.h"
#include "Messages.h"
#include "Module.h"
#include "Strings.h"

namespace {

// The block copied at every erase: larger than the skin, so the whole client area is covered.
constexpr int kSkinBlockWidth = 503;
constexpr int kSkinBlockHeight = 230;

}  // namespace

BOOL CMainDlg::PreTranslateMessage(MSG* pMsg) {
    return ::IsDialogMessageW(m_hWnd, pMsg);
}

BOOL CMainDlg::OnIdle() {
    return FALSE;
}

BOOL CMainDlg::ProcessWindowMessage(HWND, UINT uMsg, WPARAM wParam, LPARAM, LRESULT& lResult) {
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
            lResult = OnCtlColorStatic(reinterpret_cast<HDC>(wParam));
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

BOOL CMainDlg::OnEraseBkgnd(HDC hDC) {
    if (!m_hSkinDC)
        return FALSE;  // no skin: the platform's own background
    ::BitBlt(hDC, 0, 0, kSkinBlockWidth, kSkinBlockHeight, m_hSkinDC, 0, 0, SRCCOPY);
    return TRUE;
}

// Both statics draw no background of their own, so the skin shows behind their text. Every
// text change therefore needs the window erased first, which the status callers do.
LRESULT CMainDlg::OnCtlColorStatic(HDC hDC) {
    ::SetBkMode(hDC, TRANSPARENT);
    ::SetTextColor(hDC, kLinkColour);
    return reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
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
// ended: a user who sees it go unplugs the player.
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

LRESULT CMainDlg::OnTimer(WPARAM) {
    if (m_job.IsRunning())
        return 0;
    ::KillTimer(m_hWnd, kCloseTimer);
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
    m_hSkin = ::LoadBitmapW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_SKIN));
    if (!m_hSkin)
        return;
    HDC hDC = ::GetDC(m_hWnd);
    m_hSkinDC = ::CreateCompatibleDC(hDC);
    ::ReleaseDC(m_hWnd, hDC);
    if (m_hSkinDC)
        m_hSkinPrevious = ::SelectObject(m_hSkinDC, m_hSkin);
}

void CMainDlg::FreeResources() {
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
