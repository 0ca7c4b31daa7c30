// The status line: takes over a static control and shows it either as plain text or as an
// underlined link with a hand pointer; a click posts the label's command to the parent window.
// It paints itself whole, off screen, on the background its parent gives statics, so it never
// shows blank between two texts. The worker's status texts are handed to the UI thread by a
// posted message, never waited for; paced so the window gets painted between them, except the
// text that ends a run, which is shown at once.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>

#include "base/StatusLabel.h"
#include "Window.h"

// Posted to the label's parent on a click: wParam is the label's command, lParam 0.
constexpr UINT WM_LINKCLICK = WM_USER + 100;
// The colour of the main window's texts and of the link's underline.
constexpr COLORREF kLinkColour = RGB(38, 68, 122);

class CLinkStatic : public CWindowImpl<CLinkStatic>, public IStatusLabel {
public:
    // Carries the texts and repaints another thread asked for over to the UI thread.
    static constexpr UINT WM_APPLYSTATUS = WM_APP + 1;
    // The pause after each hand-over, so that the window is painted between two texts. The text
    // after an outcome ends the run and does not wait it out: no text comes to paint over it.
    static constexpr UINT_PTR kApplyTimer = 0x4C53;
    static constexpr UINT kApplyPauseMs = 30;

    CLinkStatic();

    // Takes over the control; from then on its thread is the label's UI thread.
    BOOL SubclassWindow(HWND hWnd);

    BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam,
                              LRESULT& lResult) override;
    void OnFinalMessage(HWND hWnd) override;

    // On the UI thread these act at once. From another thread the look and the command are
    // stored at once, while the text and the repaint wait for the UI thread, the newest text
    // replacing one not yet shown.
    int SetLinkText(std::u16string_view text, int command) override;
    int SetPlain(int plain) override;
    void InvalidateParent() override;
    // The window shows the texts alone; the main window asks the job how a run ended. An
    // outcome only marks the next text as the run's last.
    void SetProgress(RunPhase, size_t, std::u16string_view) override {}
    void SetOutcome(RunOutcome outcome, int systemError) override;

    // How many texts have reached the control; for tests.
    int TextsApplied() const { return m_nTextsApplied; }

    RECT m_rcText = {};  // what the current text covers, in client pixels (UI thread only)
    std::atomic<int> m_bPlain{1};
    std::atomic<int> m_nCommand{-1};

private:
    bool OnUiThread() const;
    LRESULT OnPaint();
    void Draw(HDC hDC, const RECT& rcClient);
    LRESULT OnLButtonUp();
    LRESULT OnSetCursor();
    LRESULT OnSetText(WPARAM wParam, LPARAM lParam);
    LRESULT OnApplyStatus();
    void PostApplyLocked();
    void PostLastTextLocked();
    void ApplyText(std::u16string_view text);

    std::atomic<DWORD> m_dwUiThread{0};
    std::atomic<int> m_nTextsApplied{0};

    std::mutex m_lock;  // guards the hand-over from another thread, below
    HWND m_hWndPost = nullptr;
    // Room for any status text is kept, so a text from a worker out of memory still gets here.
    std::u16string m_strPendingText;
    bool m_bTextPending = false;
    bool m_bInvalidatePending = false;
    bool m_bPosted = false;
    bool m_bLastTextNext = false;  // an outcome was given: the next text ends the run
};
