// The program's one window: the skin, the notice and the status line. It wires the status label
// to the sync job, checks where the program was started, starts the run on the Start link, and
// ends the program when it is closed.
#pragma once

#include <windows.h>

#include "Dialog.h"
#include "LinkStatic.h"
#include "MessageLoop.h"
#include "SapiVoice.h"
#include "run/SyncJob.h"
#include "Win32FileSystem.h"
#include "resource.h"

class CMainDlg : public CDialogImpl<CMainDlg>, public CMessageFilter, public CIdleHandler {
public:
    enum { IDD = IDD_MAIN };

    CMainDlg() : m_job(m_fs) {}
    ~CMainDlg() override { FreeResources(); }

    BOOL PreTranslateMessage(MSG* pMsg) override;
    BOOL OnIdle() override;
    BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam,
                              LRESULT& lResult) override;
    void OnFinalMessage(HWND hWnd) override;

    // Waits until a run still going has finished; the window may be gone already.
    void WaitForRun() { m_job.WaitForRun(); }

    Win32FileSystem m_fs;  // before m_job, which works on them
    CSapiVoice m_voice;
    CLinkStatic m_wndStatus;
    CSyncJob m_job;

private:
    LRESULT OnInitDialog();
    LRESULT OnDestroy();
    BOOL OnEraseBkgnd(HDC hDC);
    LRESULT OnCtlColorStatic(HDC hDC, HWND hWndCtl);
    LRESULT OnLinkClick(WPARAM wParam);
    LRESULT OnAbout();
    LRESULT OnClose(int nExitCode);
    LRESULT OnTimer(WPARAM wParam);

    void SetIcons();
    void LoadSkin();
    bool PrepareBackground();
    void FreeBackground();
    void FreeResources();

    // A close asked for during a run waits for its end, polled by this timer.
    static constexpr UINT_PTR kCloseTimer = 0x434C;
    static constexpr UINT kClosePollMs = 50;
    int m_nPendingExit = 0;

    HICON m_hIconBig = nullptr;
    HICON m_hIconSmall = nullptr;
    // The skin is loaded once and kept selected in a memory context.
    HDC m_hSkinDC = nullptr;
    HBITMAP m_hSkin = nullptr;
    HGDIOBJ m_hSkinPrevious = nullptr;
    SIZE m_sizeSkin = {};
    // The skin at the client area's size, made once per size: copied at every erase, and the
    // statics' background brush.
    HDC m_hBackDC = nullptr;
    HBITMAP m_hBack = nullptr;
    HGDIOBJ m_hBackPrevious = nullptr;
    HBRUSH m_hBackBrush = nullptr;
    SIZE m_sizeBack = {};
};
