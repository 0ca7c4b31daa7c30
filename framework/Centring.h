// Where a window goes when it is centred: over a reference rectangle, kept inside its bounds.
// Plain rectangles in, a point out, so the rule is tested without any window.
#pragma once

struct CentringRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

struct CentringPoint {
    int x = 0;
    int y = 0;
};

struct CentringInput {
    CentringRect window;  // the window's own outer rectangle; only its size counts
    bool child = false;   // a child window is centred inside its parent's client area
    // The reference window, if any: for a child its client area in the parent's coordinates
    // (with no reference given, the parent's client area), else its outer rectangle.
    bool haveReference = false;
    bool referenceShown = true;  // visible and not minimised; a top-level window drops it if not
    CentringRect reference;
    CentringRect parentClient;  // a child's bounds
    CentringRect workArea;      // a top-level window's bounds, and its reference when it has none
};

// The window's new top-left corner: centred on the reference (each half truncated toward zero),
// then pushed back inside the bounds, left and top edge winning.
CentringPoint CentredPosition(const CentringInput& in);
