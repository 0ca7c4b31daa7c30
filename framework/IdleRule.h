// The message loop's idle rule, kept free of <windows.h> so it is tested natively.
#pragma once

// False for the messages that come endlessly while nothing happens, so that they never start a
// new idle period: WM_PAINT, WM_NCMOUSEMOVE, WM_MOUSEMOVE and 0x0118, the caret-blink timer.
inline bool RestartsIdle(unsigned message) {
    switch (message) {
        case 0x000F:
        case 0x00A0:
        case 0x0200:
        case 0x0118:
            return false;
        default:
            return true;
    }
}
