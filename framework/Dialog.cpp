#include "Dialog.h"

namespace {

// The object whose dialog this thread is creating; taken by that dialog's first message.
thread_local CDialogImplBase* t_pCreating = nullptr;

// Messages whose dialog-procedure return value is the result itself, not a handled flag.
bool ReturnsResultDirectly(UINT uMsg) {
    switch (uMsg) {
        case WM_INITDIALOG:
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
        case WM_COMPAREITEM:
        case WM_VKEYTOITEM:
        case WM_CHARTOITEM:
        case WM_QUERYDRAGICON:
            return true;
        default:
            return false;
    }
}

// Templates come from the program file itself.
HINSTANCE ResourceInstance() {
    return ::GetModuleHandleW(nullptr);
}

}  // namespace

CDialogImplBase::~CDialogImplBase() {
    if (!m_hWnd)
        return;
    // Without a procedure the window can neither reach this object nor claim another's slot.
    ::SetWindowLongPtrW(m_hWnd, DWLP_DLGPROC, 0);
    ::SetWindowLongPtrW(m_hWnd, DWLP_USER, 0);
}

BOOL CDialogImplBase::EndDialog(INT_PTR nRetCode) {
    return ::EndDialog(m_hWnd, nRetCode);
}

CDialogImplBase* CDialogImplBase::FromHandle(HWND hWnd) {
    return reinterpret_cast<CDialogImplBase*>(::GetWindowLongPtrW(hWnd, DWLP_USER));
}

HWND CDialogImplBase::CreateFromTemplate(HWND hWndParent, LPCWSTR lpTemplate, LPARAM dwInitParam) {
    if (m_hWnd)
        return nullptr;
    t_pCreating = this;
    HWND hWnd =
        ::CreateDialogParamW(ResourceInstance(), lpTemplate, hWndParent, DialogProc, dwInitParam);
    t_pCreating = nullptr;  // a template that failed to load never took it
    return hWnd;
}

INT_PTR CDialogImplBase::DoModalFromTemplate(HWND hWndParent, LPCWSTR lpTemplate,
                                             LPARAM dwInitParam) {
    if (m_hWnd)
        return -1;
    t_pCreating = this;
    INT_PTR result =
        ::DialogBoxParamW(ResourceInstance(), lpTemplate, hWndParent, DialogProc, dwInitParam);
    t_pCreating = nullptr;
    return result;
}

INT_PTR CALLBACK CDialogImplBase::DialogProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    CDialogImplBase* self = FromHandle(hWnd);
    if (!self) {
        // The first message of a new dialog (WM_SETFONT before WM_INITDIALOG) claims the slot.
        self = t_pCreating;
        if (!self)
            return FALSE;
        t_pCreating = nullptr;
        self->m_hWnd = hWnd;
        ::SetWindowLongPtrW(hWnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
    }
    if (uMsg == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hWnd, DWLP_USER, 0);
        self->m_hWnd = nullptr;
        self->OnFinalMessage(hWnd);
        return FALSE;
    }
    LRESULT lResult = 0;
    if (!self->ProcessWindowMessage(hWnd, uMsg, wParam, lParam, lResult))
        return FALSE;
    if (ReturnsResultDirectly(uMsg))
        return static_cast<INT_PTR>(lResult);
    ::SetWindowLongPtrW(hWnd, DWLP_MSGRESULT, lResult);
    return TRUE;
}
