// The centring rule: centred over the reference, truncated toward zero, kept inside the bounds.
#include <gtest/gtest.h>

#include "Centring.h"

namespace {

constexpr CentringRect kWorkArea{0, 0, 1024, 738};

CentringInput TopLevel(CentringRect window) {
    CentringInput in;
    in.window = window;
    in.workArea = kWorkArea;
    return in;
}

CentringInput OwnedBy(CentringRect window, CentringRect owner, bool shown = true) {
    CentringInput in = TopLevel(window);
    in.haveReference = true;
    in.referenceShown = shown;
    in.reference = owner;
    return in;
}

CentringInput ChildOf(CentringRect window, CentringRect parentClient) {
    CentringInput in;
    in.window = window;
    in.child = true;
    in.parentClient = parentClient;
    in.workArea = kWorkArea;
    return in;
}

struct Case {
    const char* name;
    CentringInput in;
    CentringPoint expected;
};

TEST(Centring, Table) {
    CentringInput childWithReference = ChildOf({0, 0, 40, 20}, {0, 0, 300, 200});
    childWithReference.haveReference = true;
    childWithReference.reference = {10, 20, 110, 80};
    // A child ignores the top-level rule about hidden references: it is centred regardless.
    CentringInput childHiddenReference = childWithReference;
    childHiddenReference.referenceShown = false;
    CentringInput childClamped = childWithReference;
    childClamped.reference = {280, 190, 300, 200};

    const Case cases[] = {
        // (0 + 1024) / 2 - 400 / 2 = 312; (0 + 738) / 2 - 300 / 2 = 219.
        {"no reference: the work area", TopLevel({0, 0, 400, 300}), {312, 219}},
        {"the window's own place does not matter", TopLevel({-50, 900, 350, 1200}), {312, 219}},
        {"over a visible owner", OwnedBy({0, 0, 200, 100}, {100, 100, 500, 400}), {200, 200}},
        {"hidden owner dropped",
         OwnedBy({0, 0, 200, 100}, {100, 100, 500, 400}, false),
         {412, 319}},
        {"clamped at the left", OwnedBy({0, 0, 200, 100}, {-300, 300, -100, 400}), {0, 300}},
        {"clamped at the right", OwnedBy({0, 0, 200, 100}, {900, 300, 1100, 400}), {824, 300}},
        {"clamped at the top", OwnedBy({0, 0, 200, 100}, {300, -200, 500, -100}), {300, 0}},
        {"clamped at the bottom", OwnedBy({0, 0, 200, 100}, {300, 700, 500, 800}), {300, 638}},
        {"wider than the bounds: the left edge wins", TopLevel({0, 0, 1100, 100}), {0, 319}},
        {"taller than the bounds: the top edge wins", TopLevel({0, 0, 100, 800}), {462, 0}},
        // Odd sizes: (101 + 200) / 2 = 150, 51 / 2 = 25; (11 + 20) / 2 = 15, 7 / 2 = 3.
        {"odd sizes truncate", OwnedBy({0, 0, 51, 7}, {101, 11, 200, 20}), {125, 12}},
        // Negative sums truncate toward zero: (-301 + 0) / 2 = -150, not -151.
        {"negative coordinates truncate toward zero",
         [] {
             CentringInput in = OwnedBy({0, 0, 11, 11}, {-301, -101, 0, 0});
             in.workArea = {-1000, -1000, 1000, 1000};
             return in;
         }(),
         {-155, -55}},
        {"work area not at the origin",
         [] {
             CentringInput in = TopLevel({0, 0, 100, 100});
             in.workArea = {0, 30, 800, 600};
             return in;
         }(),
         {350, 265}},
        {"child centred in its parent's client area",
         ChildOf({0, 0, 40, 20}, {0, 0, 300, 200}),
         {130, 90}},
        {"child over a sibling reference", childWithReference, {40, 40}},
        {"child keeps a hidden reference", childHiddenReference, {40, 40}},
        {"child clamped to the parent, not the work area", childClamped, {260, 180}},
    };
    for (const Case& c : cases) {
        CentringPoint p = CentredPosition(c.in);
        EXPECT_EQ(p.x, c.expected.x) << c.name;
        EXPECT_EQ(p.y, c.expected.y) << c.name;
    }
}

}  // namespace
