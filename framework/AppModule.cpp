#include "AppModule.h"

#include <new>

HRESULT CAppModule::Init(HINSTANCE hInstance) {
    m_hInst = hInstance;
    m_dwMainThreadID = ::GetCurrentThreadId();
    std::lock_guard<std::mutex> guard(m_lock);
    m_pMsgLoopMap.reset(new (std::nothrow) std::map<DWORD, CMessageLoop*>);
    return m_pMsgLoopMap ? S_OK : E_OUTOFMEMORY;
}

void CAppModule::Term() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_pMsgLoopMap.reset();
}

BOOL CAppModule::AddMessageLoop(CMessageLoop* pMsgLoop) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_pMsgLoopMap || !pMsgLoop)
        return FALSE;
    try {
        return m_pMsgLoopMap->emplace(::GetCurrentThreadId(), pMsgLoop).second ? TRUE : FALSE;
    } catch (const std::bad_alloc&) {
        return FALSE;
    }
}

BOOL CAppModule::RemoveMessageLoop() {
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_pMsgLoopMap)
        return FALSE;
    return m_pMsgLoopMap->erase(::GetCurrentThreadId()) ? TRUE : FALSE;
}

CMessageLoop* CAppModule::GetMessageLoop(DWORD dwThreadID) const {
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_pMsgLoopMap)
        return nullptr;
    auto found = m_pMsgLoopMap->find(dwThreadID);
    return found == m_pMsgLoopMap->end() ? nullptr : found->second;
}
