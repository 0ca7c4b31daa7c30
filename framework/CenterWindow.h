// Centres a window over a reference window (by default its parent or owner), inside the parent's
// client area or the desktop work area.
#pragma once

#include <windows.h>

BOOL CenterWindow(HWND hWnd, HWND hWndCenter = nullptr);
