// Window base for the window classes: per-object message dispatch, and taking over an existing
// control (subclassing). The object is found through a window property, so no executable memory
// is needed; messages it does not handle go to the control's former procedure.
#pragma once

#include <windows.h>

// The dispatch every window class implements: TRUE when it handled the message, with its result
// in lResult.
class CMessageMap {
public:
    virtual BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam,
                                      LRESULT& lResult) = 0;

protected:
    ~CMessageMap() = default;
};

class CWindowImplBase : public CMessageMap {
public:
    CWindowImplBase() = default;
    // An object that still holds its window gives the control back its former procedure.
    virtual ~CWindowImplBase();
    CWindowImplBase(const CWindowImplBase&) = delete;
    CWindowImplBase& operator=(const CWindowImplBase&) = delete;

    // Installs our procedure on an existing window of this thread, keeping the former one.
    BOOL SubclassWindow(HWND hWnd);
    // The former procedure's handling of a message.
    LRESULT DefaultProc(UINT uMsg, WPARAM wParam, LPARAM lParam);
    // Called once the window is gone and the object has let go of it.
    virtual void OnFinalMessage(HWND) {}

    // The object that has taken over the window, or null.
    static CWindowImplBase* FromHandle(HWND hWnd);

    HWND m_hWnd = nullptr;

protected:
    static LRESULT CALLBACK WindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

private:
    LRESULT LetGo(HWND hWnd, WPARAM wParam, LPARAM lParam);
    void Release();

    WNDPROC m_pfnSuperWindowProc = ::DefWindowProcW;
};

template <class T>
class CWindowImpl : public CWindowImplBase {
public:
    static T* FromHandle(HWND hWnd) { return static_cast<T*>(CWindowImplBase::FromHandle(hWnd)); }
};
