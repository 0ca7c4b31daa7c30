#!/usr/bin/env python3
"""Draws Zorbel's skin bitmap (skin.bmp) and application icon (app.ico) beside this script.

Standard library only. The shapes are signed distance fields, which gives anti-aliased edges;
only arithmetic and square roots are used, so every run writes the same bytes on every system.
"""

import math
import os
import struct

# The whole skin's size; skin.bmp holds its left part. The program knows the width as kSkinWidth
# (app/SkinCover.h).
SKIN_WIDTH, SKIN_HEIGHT = 389, 180
ICON_SIZES = (16, 32, 48, 64)

# The top of the skin is white; the bottom edge is this grey-blue.
SKY_TOP = (255, 255, 255)
SKY_BOTTOM = (176, 193, 217)

# Colours of the player. The icon's are a shade deeper so it reads on any desktop.
SKIN_LOOK = {
    "outline": (128, 142, 166), "body_face": (253, 253, 254), "body_edge": (214, 220, 231),
    "pad_face": (233, 237, 243), "pad_edge": (204, 212, 225), "pad_line": (160, 171, 191),
    "mark": (104, 118, 144), "cap_face": (240, 243, 248), "cap_edge": (200, 209, 223),
    "cord": (86, 112, 156), "cord_face": (128, 154, 196), "light": (126, 196, 120),
    "shadow": (44, 62, 92),
}
ICON_LOOK = dict(SKIN_LOOK, outline=(84, 102, 136), body_edge=(200, 208, 222),
                 pad_face=(221, 228, 239), pad_edge=(186, 197, 216), pad_line=(120, 135, 162),
                 mark=(62, 80, 114), cap_edge=(184, 195, 214))

# The player in its own units, y pointing down, origin at the middle of the top edge.
WIDTH, CORNER = 42.0, 10.0
PAD_Y, PAD_R, BUTTON_R = 31.0, 16.0, 6.2
CAP_GAP, CAP_LENGTH = 1.4, 23.6
CORD_BEND = [(0.0, -3.0), (0.2, 5.0), (-1.5, 12.0), (-6.0, 18.0), (-13.0, 22.5), (-22.0, 25.5),
             (-34.0, 27.0), (-48.0, 27.5)]


def clamp(v, lo=0.0, hi=1.0):
    return lo if v < lo else hi if v > hi else v


def smoothstep(e0, e1, x):
    t = clamp((x - e0) / (e1 - e0))
    return t * t * (3.0 - 2.0 * t)


def mix(a, b, t):
    return tuple(x + (y - x) * t for x, y in zip(a, b))


def sd_round_box(x, y, hw, hh, r_top, r_bottom=None):
    """Distance to a box centred on the origin; top and bottom corners may round differently."""
    r = r_top if r_bottom is None or y < 0 else r_bottom
    qx = abs(x) - hw + r
    qy = abs(y) - hh + r
    ox, oy = max(qx, 0.0), max(qy, 0.0)
    outside = math.sqrt(ox * ox + oy * oy)
    return outside + min(max(qx, qy), 0.0) - r


def sd_circle(x, y, r):
    return math.sqrt(x * x + y * y) - r


def sd_segment(x, y, ax, ay, bx, by):
    px, py = x - ax, y - ay
    dx, dy = bx - ax, by - ay
    h = clamp((px * dx + py * dy) / (dx * dx + dy * dy))
    ex, ey = px - dx * h, py - dy * h
    return math.sqrt(ex * ex + ey * ey)


def sd_polygon(x, y, pts):
    d = (x - pts[0][0]) * (x - pts[0][0]) + (y - pts[0][1]) * (y - pts[0][1])
    inside = False
    j = len(pts) - 1
    for i in range(len(pts)):
        (xi, yi), (xj, yj) = pts[i], pts[j]
        ex, ey = xj - xi, yj - yi
        wx, wy = x - xi, y - yi
        h = clamp((wx * ex + wy * ey) / (ex * ex + ey * ey))
        bx, by = wx - ex * h, wy - ey * h
        d = min(d, bx * bx + by * by)
        if (yi <= y) != (yj <= y) and x < xi + (y - yi) * ex / ey:
            inside = not inside
        j = i
    return -math.sqrt(d) if inside else math.sqrt(d)


class Layer:
    """One shape with its paint: `sdf(x, y)` in player units, `paint(depth_px)` gives the colour
    and opacity, where depth_px is how far inside the edge the point lies."""

    def __init__(self, sdf, paint, box, soft=0.0, offset=(0.0, 0.0)):
        self.sdf, self.paint, self.box = sdf, paint, box
        self.soft = soft  # blur radius in pixels; 0 for a crisp anti-aliased edge
        self.offset = offset  # shift on the canvas in pixels (for the shadow)


def flat(colour, alpha=1.0):
    return lambda depth: (colour, alpha)


def bevel(face, edge, width_px, alpha=1.0):
    """Darker towards the edge: reads as a rounded, slightly glossy surface."""
    return lambda depth: (mix(edge, face, smoothstep(0.0, width_px, depth)), alpha)


def stroke(sdf, width):
    return lambda x, y: abs(sdf(x, y)) - width / 2


def skip_mark(cx, cy, direction):
    """Two triangles and a bar: next (direction 1) or previous (direction -1)."""
    s = direction
    tri_a = [(cx - 3.2 * s, cy - 2.3), (cx - 0.2 * s, cy), (cx - 3.2 * s, cy + 2.3)]
    tri_b = [(cx - 0.2 * s, cy - 2.3), (cx + 2.8 * s, cy), (cx - 0.2 * s, cy + 2.3)]
    bar_x = cx + 3.5 * s

    def sdf(x, y):
        return min(sd_polygon(x, y, tri_a), sd_polygon(x, y, tri_b),
                   sd_round_box(x - bar_x, y - cy, 0.6, 2.3, 0.2))

    return sdf


def play_pause_mark(cx, cy):
    tri = [(cx - 2.9, cy - 2.1), (cx + 0.2, cy), (cx - 2.9, cy + 2.1)]

    def sdf(x, y):
        return min(sd_polygon(x, y, tri),
                   sd_round_box(x - (cx + 1.3), y - cy, 0.45, 2.0, 0.15),
                   sd_round_box(x - (cx + 2.8), y - cy, 0.45, 2.0, 0.15))

    return sdf


def plus_mark(cx, cy):
    return lambda x, y: min(sd_round_box(x - cx, y - cy, 2.4, 0.6, 0.2),
                            sd_round_box(x - cx, y - cy, 0.6, 2.4, 0.2))


def minus_mark(cx, cy):
    return lambda x, y: sd_round_box(x - cx, y - cy, 2.4, 0.6, 0.2)


class Player:
    """The little stick player: a rounded body with the control ring near its top, and
    optionally the cap over its plug with a cord hanging from it."""

    def __init__(self, body_length, with_cap=True, with_marks=True, with_cord=False):
        self.body_length = body_length
        self.with_cap, self.with_marks, self.with_cord = with_cap, with_marks, with_cord
        self.cap_top = body_length + CAP_GAP
        self.length = self.cap_top + CAP_LENGTH if with_cap else body_length
        self.cord_points = [(x, self.length + y) for x, y in CORD_BEND]

    def body(self, x, y):
        half = self.body_length / 2
        return sd_round_box(x, y - half, WIDTH / 2, half, CORNER)

    def cap(self, x, y):
        half = CAP_LENGTH / 2
        return sd_round_box(x, y - self.cap_top - half, WIDTH / 2, half, 2.5, CORNER)

    def silhouette(self, x, y):
        return min(self.body(x, y), self.cap(x, y)) if self.with_cap else self.body(x, y)

    def cord(self, x, y):
        p = self.cord_points
        return min(sd_segment(x, y, *p[i], *p[i + 1]) for i in range(len(p) - 1)) - 1.4

    def layers(self, px, look, shadow=None):
        """The player as layers, back to front. px is the size of one canvas pixel in player
        units, so lines keep their width in pixels whatever the scale."""
        outline = max(px, 0.9)
        half = WIDTH / 2 + 1
        layers = []
        if shadow:
            dx, dy, blur, alpha = shadow
            layers.append(Layer(self.silhouette, flat(look["shadow"], alpha),
                                (-half, -1, half, self.length + 1), soft=blur, offset=(dx, dy)))
        if self.with_cord:
            xs = [p[0] for p in self.cord_points]
            ys = [p[1] for p in self.cord_points]
            box = (min(xs) - 3, min(ys) - 3, max(xs) + 3, max(ys) + 3)
            layers.append(Layer(self.cord, bevel(look["cord_face"], look["cord"], 1.2 / px), box))
        if self.with_cap:
            box = (-half, self.cap_top - 1, half, self.length + 1)
            layers.append(Layer(self.cap, bevel(look["cap_face"], look["cap_edge"], 4.0 / px), box))
            layers.append(Layer(stroke(self.cap, outline), flat(look["outline"]), box))
        box = (-half, -1, half, self.body_length + 1)
        layers.append(Layer(self.body, bevel(look["body_face"], look["body_edge"], 6.0 / px), box))
        # A soft gloss down the left side of the body.
        gloss_half = (self.body_length - 24) / 2
        gloss = lambda x, y: sd_round_box(x + 13.5, y - 8 - gloss_half, 2.2, gloss_half, 2.2)
        layers.append(Layer(gloss, flat((255, 255, 255), 0.9),
                            (-18, 5, -9, self.body_length - 13), soft=2.0 / px))
        layers.append(Layer(stroke(self.body, outline), flat(look["outline"]), box))

        pad = lambda x, y: sd_circle(x, y - PAD_Y, PAD_R)
        button = lambda x, y: sd_circle(x, y - PAD_Y, BUTTON_R)
        box = (-PAD_R - 1, PAD_Y - PAD_R - 1, PAD_R + 1, PAD_Y + PAD_R + 1)
        layers.append(Layer(pad, bevel(look["pad_face"], look["pad_edge"], 3.0 / px), box))
        layers.append(Layer(stroke(pad, outline * 0.8), flat(look["pad_line"]), box))
        layers.append(Layer(button, bevel(look["body_face"], look["pad_face"], 2.5 / px), box))
        layers.append(Layer(stroke(button, outline * 0.8), flat(look["pad_line"]), box))
        if self.with_marks:
            ring = (PAD_R + BUTTON_R) / 2
            marks = [plus_mark(0, PAD_Y - ring), minus_mark(0, PAD_Y + ring),
                     skip_mark(-ring, PAD_Y, -1), skip_mark(ring, PAD_Y, 1),
                     play_pause_mark(0.1, PAD_Y)]
            for mark in marks:
                layers.append(Layer(mark, flat(look["mark"]), box))
        light = lambda x, y: sd_circle(x, y - 6.0, 1.4)
        layers.append(Layer(light, flat(look["light"]), (-3, 3, 3, 9)))
        return layers


class Canvas:
    """Premultiplied RGBA in floats: colour 0..255, alpha 0..1."""

    def __init__(self, width, height, fill=None):
        self.width, self.height = width, height
        n = width * height
        if fill is None:
            self.rgb = [[0.0, 0.0, 0.0] for _ in range(n)]
            self.alpha = [0.0] * n
        else:
            self.rgb = [list(fill(y)) for y in range(height) for _ in range(width)]
            self.alpha = [1.0] * n

    def blend(self, i, colour, a):
        dst = self.rgb[i]
        keep = 1.0 - a
        for k in range(3):
            dst[k] = colour[k] * a + dst[k] * keep
        self.alpha[i] = a + self.alpha[i] * keep

    def draw(self, layers, centre, scale, sin_tilt=0.0):
        """Puts the player's origin at `centre` (pixels), `scale` pixels per unit, turned
        clockwise by the angle whose sine is `sin_tilt`."""
        s = sin_tilt
        c = math.sqrt(1.0 - s * s)
        cx, cy = centre
        for layer in layers:
            ox, oy = layer.offset
            x0, y0, x1, y1 = layer.box
            corners = [(cx + ox + (x * c - y * s) * scale, cy + oy + (x * s + y * c) * scale)
                       for x in (x0, x1) for y in (y0, y1)]
            margin = layer.soft + 2
            left = max(0, int(min(p[0] for p in corners) - margin))
            right = min(self.width, int(max(p[0] for p in corners) + margin) + 1)
            top = max(0, int(min(p[1] for p in corners) - margin))
            bottom = min(self.height, int(max(p[1] for p in corners) + margin) + 1)
            for py in range(top, bottom):
                for px in range(left, right):
                    dx = px + 0.5 - cx - ox
                    dy = py + 0.5 - cy - oy
                    x = (dx * c + dy * s) / scale
                    y = (-dx * s + dy * c) / scale
                    d = layer.sdf(x, y) * scale
                    if layer.soft:
                        cover = 1.0 - smoothstep(-layer.soft, layer.soft, d)
                    else:
                        cover = clamp(0.5 - d)
                    if cover <= 0.0:
                        continue
                    colour, a = layer.paint(-d)
                    self.blend(py * self.width + px, colour, a * cover)

    def pixel(self, x, y):
        """Straight (not premultiplied) colour bytes and alpha byte at (x, y)."""
        i = y * self.width + x
        a = self.alpha[i]
        if a <= 0.0:
            return (0, 0, 0, 0)
        r, g, b = (int(clamp(v / a, 0.0, 255.0) + 0.5) for v in self.rgb[i])
        return (r, g, b, int(a * 255.0 + 0.5))


def sky(y):
    """White for the upper part, then an easy fade into grey-blue at the bottom edge."""
    t = y / (SKIN_HEIGHT - 1)
    return mix(SKY_TOP, SKY_BOTTOM, smoothstep(0.2, 1.0, t))


def draw_skin():
    """The player stands in the left third, leaning a little to the right; the dialog's texts
    lie on the plain right-hand part."""
    canvas = Canvas(SKIN_WIDTH, SKIN_HEIGHT, fill=sky)
    scale = 1.1
    layers = Player(104.0, with_cord=True).layers(1.0 / scale, SKIN_LOOK,
                                                  shadow=(5.0, 6.0, 5.0, 0.22))
    canvas.draw(layers, centre=(67.0, 16.0), scale=scale, sin_tilt=0.17)
    return canvas


def draw_icon(size):
    """The player lies along the diagonal, which gives it the most room. The smallest icon
    shows a stubby player upright, so that its ring stays large and its edges sharp."""
    canvas = Canvas(size, size)
    if size < 32:
        player, sin_tilt = Player(64.0, with_cap=False, with_marks=False), 0.0
    else:
        player, sin_tilt = Player(104.0, with_marks=False), math.sqrt(0.5)
    cos_tilt = math.sqrt(1.0 - sin_tilt * sin_tilt)
    shadow = (0.8, 1.2, 1.2, 0.3) if size >= 48 else None
    room = size - (3.5 if shadow else 1.0)
    across = player.length * sin_tilt + WIDTH * cos_tilt
    down = player.length * cos_tilt + WIDTH * sin_tilt
    scale = room / max(across, down)
    # Put the middle of the player's axis in the middle of the room.
    middle = player.length / 2 * scale
    centre = (room / 2 + middle * sin_tilt + 0.5, room / 2 - middle * cos_tilt + 0.5)
    canvas.draw(player.layers(1.0 / scale, ICON_LOOK, shadow), centre=centre, scale=scale,
                sin_tilt=sin_tilt)
    return canvas


def bitmap_info(width, height, bits, image_size):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, image_size, 3780, 3780, 0, 0)


def plain_from(canvas):
    """The first column from which each row is one colour to the right edge: the plain sky that
    the program repeats out to the skin's full width instead of storing it."""
    first = 1
    for y in range(canvas.height):
        sky = canvas.pixel(canvas.width - 1, y)
        x = canvas.width - 1
        while x > 0 and canvas.pixel(x - 1, y) == sky:
            x -= 1
        first = max(first, x)
    return first


def bmp_bytes(canvas, width):
    """The canvas's first `width` columns, 24 bits per pixel, uncompressed, bottom-up rows padded
    to four bytes."""
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in reversed(range(canvas.height)):
        row = bytearray()
        for x in range(width):
            r, g, b, _ = canvas.pixel(x, y)
            row += bytes((b, g, r))
        row += bytes(stride - len(row))
        rows.append(bytes(row))
    pixels = b"".join(rows)
    info = bitmap_info(width, canvas.height, 24, len(pixels))
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return header + info + pixels


def icon_image(canvas):
    """One icon entry: 32-bit colour with alpha, bottom-up, then the 1-bit AND mask."""
    size = canvas.width
    colour = bytearray()
    mask = bytearray()
    mask_stride = ((size + 31) // 32) * 4
    for y in reversed(range(size)):
        bits = bytearray(mask_stride)
        for x in range(size):
            r, g, b, a = canvas.pixel(x, y)
            colour += bytes((b, g, r, a))
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    # The header's height counts the colour image and the mask together.
    info = bitmap_info(size, 2 * size, 32, len(colour) + len(mask))
    return info + bytes(colour) + bytes(mask)


def ico_bytes(canvases):
    images = [icon_image(c) for c in canvases]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for canvas, image in zip(canvases, images):
        out += struct.pack("<BBBBHHII", canvas.width, canvas.height, 0, 0, 1, 32, len(image),
                           offset)
        offset += len(image)
    for image in images:
        out += image
    return bytes(out)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    # The skin up to and including its first column of plain sky: the program makes the rest
    # (app/Skin.cpp), which saves three quarters of its bytes.
    skin = draw_skin()
    with open(os.path.join(here, "skin.bmp"), "wb") as f:
        f.write(bmp_bytes(skin, plain_from(skin) + 1))
    with open(os.path.join(here, "app.ico"), "wb") as f:
        f.write(ico_bytes([draw_icon(size) for size in ICON_SIZES]))


if __name__ == "__main__":
    main()
