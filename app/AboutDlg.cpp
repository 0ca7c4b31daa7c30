#include "AboutDlg.h"

#include "CenterWindow.h"

BOOL CAboutDlg::ProcessWindowMessage(HWND, UINT uMsg, WPARAM wParam, LPARAM, LRESULT& lResult) {
    switch (uMsg) {
        case WM_INITDIALOG:
            // Over the owner; a hidden or minimised owner, or none, gives the work area.
            CenterWindow(m_hWnd);
            lResult = 1;
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) != IDOK && LOWORD(wParam) != IDCANCEL)
                return FALSE;
            EndDialog(LOWORD(wParam));
            lResult = 0;
            return TRUE;
        default:
            return FALSE;
    }
}
