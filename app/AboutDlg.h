// The modal About box: icon, name and version, and an OK button.
#pragma once

#include <windows.h>

#include "Dialog.h"
#include "resource.h"

class CAboutDlg : public CDialogImpl<CAboutDlg> {
public:
    enum { IDD = IDD_ABOUT };

    BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam,
                              LRESULT& lResult) override;
};
