#include "Window.h"

namespace {

// Where a taken-over window keeps its object.
constexpr wchar_t kObjectProperty[] = L"framework.window.object";

}  // namespace

CWindowImplBase::~CWindowImplBase() {
    if (m_hWnd)
        Release();
}

BOOL CWindowImplBase::SubclassWindow(HWND hWnd) {
    if (m_hWnd || !::IsWindow(hWnd) || ::GetPropW(hWnd, kObjectProperty))
        return FALSE;
    DWORD owner = ::GetWindowThreadProcessId(hWnd, nullptr);
    if (owner != ::GetCurrentThreadId())
        return FALSE;
    auto former = reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(hWnd, GWLP_WNDPROC));
    if (!former || !::SetPropW(hWnd, kObjectProperty, this))
        return FALSE;
    m_pfnSuperWindowProc = former;
    m_hWnd = hWnd;
    if (!::SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WindowProc))) {
        ::RemovePropW(hWnd, kObjectProperty);
        m_hWnd = nullptr;
        m_pfnSuperWindowProc = ::DefWindowProcW;
        return FALSE;
    }
    return TRUE;
}

LRESULT CWindowImplBase::DefaultProc(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    return ::CallWindowProcW(m_pfnSuperWindowProc, m_hWnd, uMsg, wParam, lParam);
}

CWindowImplBase* CWindowImplBase::FromHandle(HWND hWnd) {
    return static_cast<CWindowImplBase*>(::GetPropW(hWnd, kObjectProperty));
}

LRESULT CALLBACK CWindowImplBase::WindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    CWindowImplBase* self = FromHandle(hWnd);
    if (!self)
        return ::DefWindowProcW(hWnd, uMsg, wParam, lParam);
    if (uMsg == WM_NCDESTROY)
        return self->LetGo(hWnd, wParam, lParam);
    LRESULT lResult = 0;
    if (self->ProcessWindowMessage(hWnd, uMsg, wParam, lParam, lResult))
        return lResult;
    return self->DefaultProc(uMsg, wParam, lParam);
}

// The window's last message: the control finishes with it, then the object lets go.
LRESULT CWindowImplBase::LetGo(HWND hWnd, WPARAM wParam, LPARAM lParam) {
    LRESULT lResult = ::CallWindowProcW(m_pfnSuperWindowProc, hWnd, WM_NCDESTROY, wParam, lParam);
    Release();
    OnFinalMessage(hWnd);
    return lResult;
}

void CWindowImplBase::Release() {
    // Someone who subclassed the window after us still has our procedure chained: leave theirs.
    if (::GetWindowLongPtrW(m_hWnd, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(WindowProc))
        ::SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuperWindowProc));
    ::RemovePropW(m_hWnd, kObjectProperty);
    m_hWnd = nullptr;
    m_pfnSuperWindowProc = ::DefWindowProcW;
}
