// The size the main window draws its skin at: the skin as it is while that covers the client
// area (96 DPI), else scaled up evenly until it covers it (the dialog grows with its font at
// higher DPI, the bitmap does not). A plain function without <windows.h>, tested natively.
#pragma once

struct SkinSize {
    int width;
    int height;
};

// The skin's whole width, as res/make_art.py draws it (SKIN_WIDTH): skin.bmp holds only its left
// part, and the window repeats that part's last column, plain sky, out to this width.
inline constexpr int kSkinWidth = 389;

// Scaled by the larger of the two ratios, rounded up, so neither side falls short by a pixel;
// what sticks out beyond the client area is cut off at the right and at the bottom.
constexpr SkinSize SkinCover(SkinSize client, SkinSize skin) {
    if (skin.width <= 0 || skin.height <= 0 ||
        (client.width <= skin.width && client.height <= skin.height))
        return skin;
    long long byWidth = static_cast<long long>(client.width) * skin.height;
    long long byHeight = static_cast<long long>(client.height) * skin.width;
    if (byWidth >= byHeight)
        return {client.width, static_cast<int>((byWidth + skin.width - 1) / skin.width)};
    return {static_cast<int>((byHeight + skin.height - 1) / skin.height), client.height};
}
