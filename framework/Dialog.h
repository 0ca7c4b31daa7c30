// Dialog base for the dialog classes: modeless and modal dialogs from a template in the program's
// resources, with per-object message dispatch. The object reaches its window through a per-thread
// "being created" slot read by the first message, and is then kept in the window's DWLP_USER.
#pragma once

#include <windows.h>

#include "Window.h"

class CDialogImplBase : public CMessageMap {
public:
    CDialogImplBase() = default;
    // An object that still holds its window unhooks itself, so the window never reaches it again.
    virtual ~CDialogImplBase();
    CDialogImplBase(const CDialogImplBase&) = delete;
    CDialogImplBase& operator=(const CDialogImplBase&) = delete;

    // Ends a modal dialog with this result.
    BOOL EndDialog(INT_PTR nRetCode);
    // Called once the window is gone and the object has let go of it.
    virtual void OnFinalMessage(HWND) {}

    static CDialogImplBase* FromHandle(HWND hWnd);

    HWND m_hWnd = nullptr;

protected:
    HWND CreateFromTemplate(HWND hWndParent, LPCWSTR lpTemplate, LPARAM dwInitParam);
    INT_PTR DoModalFromTemplate(HWND hWndParent, LPCWSTR lpTemplate, LPARAM dwInitParam);

private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
};

// T names its template: enum { IDD = ... }.
template <class T>
class CDialogImpl : public CDialogImplBase {
public:
    // A modeless dialog; WM_INITDIALOG has been handled when this returns.
    HWND Create(HWND hWndParent, LPARAM dwInitParam = 0) {
        return CreateFromTemplate(hWndParent, MAKEINTRESOURCEW(T::IDD), dwInitParam);
    }
    // Runs the dialog modally over its owner; the result given to EndDialog, or -1.
    INT_PTR DoModal(HWND hWndParent = ::GetActiveWindow(), LPARAM dwInitParam = 0) {
        return DoModalFromTemplate(hWndParent, MAKEINTRESOURCEW(T::IDD), dwInitParam);
    }
    static T* FromHandle(HWND hWnd) { return static_cast<T*>(CDialogImplBase::FromHandle(hWnd)); }
};
