// The program-wide module object: the program's instance, its main thread, and the message loop
// of each thread that runs one, so a window can find the loop that serves it.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <mutex>

class CMessageLoop;

class CAppModule {
public:
    // Records the instance and the calling thread as the main thread, and makes the loop
    // registry; E_OUTOFMEMORY when it cannot be made.
    HRESULT Init(HINSTANCE hInstance);
    // Frees the loop registry.
    void Term();

    // The registry's entry for the calling thread; FALSE before Init or when it already has one.
    BOOL AddMessageLoop(CMessageLoop* pMsgLoop);
    BOOL RemoveMessageLoop();
    // The loop of a thread (the calling one by default), or null.
    CMessageLoop* GetMessageLoop(DWORD dwThreadID = ::GetCurrentThreadId()) const;

    HINSTANCE GetModuleInstance() const { return m_hInst; }
    DWORD m_dwMainThreadID = 0;

private:
    HINSTANCE m_hInst = nullptr;
    mutable std::mutex m_lock;
    std::unique_ptr<std::map<DWORD, CMessageLoop*>> m_pMsgLoopMap;
};
