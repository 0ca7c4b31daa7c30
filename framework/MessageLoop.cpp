#include "MessageLoop.h"

#include <algorithm>

#include "IdleRule.h"

namespace {

template <class T>
BOOL Add(std::vector<T*>& list, T* item) {
    if (!item)
        return FALSE;
    list.push_back(item);
    return TRUE;
}

template <class T>
BOOL Remove(std::vector<T*>& list, T* item) {
    auto found = std::find(list.begin(), list.end(), item);
    if (found == list.end())
        return FALSE;
    list.erase(found);
    return TRUE;
}

}  // namespace

BOOL CMessageLoop::AddMessageFilter(CMessageFilter* pMessageFilter) {
    return Add(m_aMsgFilter, pMessageFilter);
}

BOOL CMessageLoop::RemoveMessageFilter(CMessageFilter* pMessageFilter) {
    return Remove(m_aMsgFilter, pMessageFilter);
}

BOOL CMessageLoop::AddIdleHandler(CIdleHandler* pIdleHandler) {
    return Add(m_aIdleHandler, pIdleHandler);
}

BOOL CMessageLoop::RemoveIdleHandler(CIdleHandler* pIdleHandler) {
    return Remove(m_aIdleHandler, pIdleHandler);
}

int CMessageLoop::Run() {
    BOOL bDoIdle = TRUE;
    int nIdleCount = 0;
    for (;;) {
        while (bDoIdle && !::PeekMessageW(&m_msg, nullptr, 0, 0, PM_NOREMOVE)) {
            if (!OnIdle(nIdleCount++))
                bDoIdle = FALSE;
        }
        BOOL bRet = ::GetMessageW(&m_msg, nullptr, 0, 0);
        if (bRet == -1)
            continue;
        if (!bRet)
            break;
        if (!PreTranslateMessage(&m_msg)) {
            ::TranslateMessage(&m_msg);
            ::DispatchMessageW(&m_msg);
        }
        if (RestartsIdle(m_msg.message)) {
            bDoIdle = TRUE;
            nIdleCount = 0;
        }
    }
    return static_cast<int>(m_msg.wParam);
}

BOOL CMessageLoop::PreTranslateMessage(MSG* pMsg) {
    // By index, since a filter may remove itself while it runs (a dialog closed by Enter).
    for (size_t i = m_aMsgFilter.size(); i-- > 0;) {
        if (i >= m_aMsgFilter.size())
            continue;
        if (m_aMsgFilter[i]->PreTranslateMessage(pMsg))
            return TRUE;
    }
    return FALSE;
}

BOOL CMessageLoop::OnIdle(int /*nIdleCount*/) {
    for (size_t i = 0; i < m_aIdleHandler.size(); ++i)
        m_aIdleHandler[i]->OnIdle();
    return FALSE;
}
