#include "CenterWindow.h"

#include "Centring.h"

namespace {

CentringRect FromRect(const RECT& rc) {
    return {rc.left, rc.top, rc.right, rc.bottom};
}

}  // namespace

BOOL CenterWindow(HWND hWnd, HWND hWndCenter) {
    CentringInput in;
    RECT rc;
    if (!::GetWindowRect(hWnd, &rc))
        return FALSE;
    in.window = FromRect(rc);
    in.child = (::GetWindowLongW(hWnd, GWL_STYLE) & WS_CHILD) != 0;
    HWND hWndParent = in.child ? ::GetParent(hWnd) : nullptr;
    if (!hWndCenter)
        hWndCenter = in.child ? hWndParent : ::GetWindow(hWnd, GW_OWNER);

    if (in.child) {
        ::GetClientRect(hWndParent, &rc);
        in.parentClient = FromRect(rc);
        if (hWndCenter && ::GetClientRect(hWndCenter, &rc)) {
            ::MapWindowPoints(hWndCenter, hWndParent, reinterpret_cast<POINT*>(&rc), 2);
            in.haveReference = true;
            in.reference = FromRect(rc);
        }
    } else {
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &rc, 0);
        in.workArea = FromRect(rc);
        if (hWndCenter && ::GetWindowRect(hWndCenter, &rc)) {
            LONG style = ::GetWindowLongW(hWndCenter, GWL_STYLE);
            in.haveReference = true;
            in.referenceShown = (style & WS_VISIBLE) && !(style & WS_MINIMIZE);
            in.reference = FromRect(rc);
        }
    }
    CentringPoint p = CentredPosition(in);
    return ::SetWindowPos(hWnd, nullptr, p.x, p.y, -1, -1,
                          SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
