// The thread's message loop: message filters that see each message before it is dispatched, and
// idle handlers that run once whenever the queue has run empty.
#pragma once

#include <windows.h>

#include <vector>

class CMessageFilter {
public:
    // TRUE when the filter has handled the message: it is then neither translated nor dispatched.
    virtual BOOL PreTranslateMessage(MSG* pMsg) = 0;

protected:
    ~CMessageFilter() = default;
};

class CIdleHandler {
public:
    // Called when the queue is empty; the loop does not use the result.
    virtual BOOL OnIdle() = 0;

protected:
    ~CIdleHandler() = default;
};

class CMessageLoop {
public:
    virtual ~CMessageLoop() = default;

    BOOL AddMessageFilter(CMessageFilter* pMessageFilter);
    BOOL RemoveMessageFilter(CMessageFilter* pMessageFilter);
    BOOL AddIdleHandler(CIdleHandler* pIdleHandler);
    BOOL RemoveIdleHandler(CIdleHandler* pIdleHandler);

    // Runs until WM_QUIT and returns its parameter.
    int Run();

    // Offers the message to the filters, the last added first; TRUE when one handled it.
    virtual BOOL PreTranslateMessage(MSG* pMsg);
    // Calls every idle handler once, in the order added; FALSE: no more idle calls wanted.
    virtual BOOL OnIdle(int nIdleCount);

protected:
    std::vector<CMessageFilter*> m_aMsgFilter;
    std::vector<CIdleHandler*> m_aIdleHandler;
    MSG m_msg = {};
};
