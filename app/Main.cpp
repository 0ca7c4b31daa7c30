// The program's entry: the platform libraries, the application module, the main window and the
// message loop, and the exit code the window's closing gave.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "MainDlg.h"
#include "MessageLoop.h"
#include "Module.h"

namespace {

int RunMainWindow(int nCmdShow) {
    CMessageLoop theLoop;
    _Module.AddMessageLoop(&theLoop);
    CMainDlg dlgMain;
    if (!dlgMain.Create(nullptr)) {
        _Module.RemoveMessageLoop();
        return 0;
    }
    // The window showed itself normally while it initialised; the start-up state comes after.
    ::ShowWindow(dlgMain.m_hWnd, nCmdShow);
    int nRet = theLoop.Run();
    _Module.RemoveMessageLoop();
    // The window is gone, but a run still going finishes before its job is destroyed, so the
    // player never keeps a database that does not match its files.
    dlgMain.WaitForRun();
    return nRet;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, LPWSTR, int nCmdShow) {
    // The results of the three initialisations are deliberately ignored: nothing uses them.
    ::CoInitialize(nullptr);
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_BAR_CLASSES};
    ::InitCommonControlsEx(&icc);
    _Module.Init(hInstance);
    int nRet = RunMainWindow(nCmdShow);
    _Module.Term();
    ::CoUninitialize();
    return nRet;
}
