// The main window's skin, made whole from its stored part: skin.bmp holds the picture up to its
// first column of plain sky, and every column right of that one is the same, so it is not stored.
#pragma once

#include <windows.h>

// The whole skin (kSkinWidth wide) as a bitmap compatible with hDC; null when there is none.
HBITMAP MakeSkin(HINSTANCE hInst, HDC hDC);
