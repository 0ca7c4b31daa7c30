#include "Centring.h"

CentringPoint CentredPosition(const CentringInput& in) {
    CentringRect bounds = in.child ? in.parentClient : in.workArea;
    CentringRect reference = bounds;
    if (in.haveReference && (in.child || in.referenceShown))
        reference = in.reference;

    int w = in.window.right - in.window.left;
    int h = in.window.bottom - in.window.top;
    // C++ integer division truncates toward zero, as the rule asks for odd sizes and negatives.
    CentringPoint p;
    p.x = (reference.left + reference.right) / 2 - w / 2;
    p.y = (reference.top + reference.bottom) / 2 - h / 2;

    if (p.x < bounds.left)
        p.x = bounds.left;
    else if (p.x + w > bounds.right)
        p.x = bounds.right - w;
    if (p.y < bounds.top)
        p.y = bounds.top;
    else if (p.y + h > bounds.bottom)
        p.y = bounds.bottom - h;
    return p;
}
