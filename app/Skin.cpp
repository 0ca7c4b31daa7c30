#include "Skin.h"

#include "SkinCover.h"
#include "resource.h"

namespace {

// The stored part at the left, its last column repeated to the right edge: stretched from one
// column without averaging, each row keeps its colour exactly.
bool Compose(HDC hSkinDC, HDC hPartDC, const BITMAP& part) {
    if (!::BitBlt(hSkinDC, 0, 0, part.bmWidth, part.bmHeight, hPartDC, 0, 0, SRCCOPY))
        return false;
    if (part.bmWidth == kSkinWidth)
        return true;
    ::SetStretchBltMode(hSkinDC, COLORONCOLOR);
    return ::StretchBlt(hSkinDC, part.bmWidth, 0, kSkinWidth - part.bmWidth, part.bmHeight, hPartDC,
                        part.bmWidth - 1, 0, 1, part.bmHeight, SRCCOPY) != FALSE;
}

}  // namespace

HBITMAP MakeSkin(HINSTANCE hInst, HDC hDC) {
    HBITMAP hPart = ::LoadBitmapW(hInst, MAKEINTRESOURCEW(IDB_SKIN));
    BITMAP part = {};
    if (!hPart || !::GetObjectW(hPart, sizeof(part), &part) || part.bmWidth > kSkinWidth) {
        if (hPart)
            ::DeleteObject(hPart);
        return nullptr;
    }
    HDC hPartDC = ::CreateCompatibleDC(hDC);
    HDC hSkinDC = ::CreateCompatibleDC(hDC);
    HBITMAP hSkin =
        hPartDC && hSkinDC ? ::CreateCompatibleBitmap(hDC, kSkinWidth, part.bmHeight) : nullptr;
    if (hSkin) {
        HGDIOBJ previousPart = ::SelectObject(hPartDC, hPart);
        HGDIOBJ previousSkin = ::SelectObject(hSkinDC, hSkin);
        bool made = previousPart && previousSkin && Compose(hSkinDC, hPartDC, part);
        ::SelectObject(hPartDC, previousPart);
        ::SelectObject(hSkinDC, previousSkin);
        if (!made) {
            ::DeleteObject(hSkin);
            hSkin = nullptr;
        }
    }
    if (hPartDC)
        ::DeleteDC(hPartDC);
    if (hSkinDC)
        ::DeleteDC(hSkinDC);
    ::DeleteObject(hPart);
    return hSkin;
}
