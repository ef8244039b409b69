#!/usr/bin/env python3
"""Writes the SVG sources of the two scan animations (art/NFC/N.svg, art/Barcode/N.svg).

Every frame is one self-contained 480 x 536 drawing on a transparent ground, so the
window's background shows through. The artwork keeps clear of the top-right corner
(the hint text sits there) and of the bottom-left corner (the switch button on the
single-animation pages covers it).
"""
import math
import os

W, H = 480, 536
HERE = os.path.dirname(os.path.abspath(__file__))
ACCENT = "#00ADD7"
GREEN = "#36C478"


def ease(t):
    return t * t * (3 - 2 * t)


def lerp(a, b, t):
    return a + (b - a) * t


def svg(body, defs=""):
    return ('<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" viewBox="0 0 %d %d">\n'
            '  <defs>\n%s  </defs>\n%s</svg>\n' % (W, H, W, H, defs, body))


COMMON_DEFS = """    <filter id="shadow" x="-30%" y="-30%" width="160%" height="160%">
      <feGaussianBlur in="SourceAlpha" stdDeviation="9"/>
      <feOffset dx="6" dy="12" result="blur"/>
      <feComponentTransfer><feFuncA type="linear" slope="0.55"/></feComponentTransfer>
      <feMerge><feMergeNode/><feMergeNode in="SourceGraphic"/></feMerge>
    </filter>
    <filter id="soft" x="-50%" y="-50%" width="200%" height="200%">
      <feGaussianBlur stdDeviation="6"/>
    </filter>
    <radialGradient id="halo">
      <stop offset="0" stop-color="#00ADD7" stop-opacity="0.35"/>
      <stop offset="0.7" stop-color="#00ADD7" stop-opacity="0.08"/>
      <stop offset="1" stop-color="#00ADD7" stop-opacity="0"/>
    </radialGradient>
"""

# --- card-tap animation -------------------------------------------------------

CARD_DEFS = COMMON_DEFS + """    <linearGradient id="cardFace" x1="0" y1="0" x2="1" y2="1">
      <stop offset="0" stop-color="#1ec8ef"/>
      <stop offset="0.55" stop-color="#0a86c9"/>
      <stop offset="1" stop-color="#1a4fb0"/>
    </linearGradient>
    <linearGradient id="chip" x1="0" y1="0" x2="1" y2="1">
      <stop offset="0" stop-color="#f3dc8e"/>
      <stop offset="1" stop-color="#c9a448"/>
    </linearGradient>
    <radialGradient id="pad">
      <stop offset="0" stop-color="#0d2d55"/>
      <stop offset="1" stop-color="#06162f"/>
    </radialGradient>
"""

TARGET = (225, 300)


def waves(cx, cy, scale, colour, width, opacity=1.0):
    """The contactless symbol: four concentric arcs opening to the right, centred on (cx, cy)."""
    a = math.radians(48)
    ox = cx - scale * 1.2
    out = []
    for i in range(4):
        r = scale * (0.45 + 0.42 * i)
        out.append('<path d="M%.1f %.1f A%.1f %.1f 0 0 1 %.1f %.1f" fill="none" stroke="%s" '
                   'stroke-width="%.1f" stroke-linecap="round" opacity="%.2f"/>'
                   % (ox + r * math.cos(a), cy - r * math.sin(a), r, r,
                      ox + r * math.cos(a), cy + r * math.sin(a), colour, width, opacity))
    return "\n    ".join(out)


def reader(pulse):
    cx, cy = TARGET
    parts = ['  <circle cx="%d" cy="%d" r="170" fill="url(#halo)" opacity="%.2f"/>' % (cx, cy, 0.55 + 0.45 * pulse)]
    # expanding rings while the card is read
    for k, r in enumerate((118, 138, 158)):
        op = max(0.0, pulse - k * 0.3)
        if op > 0:
            parts.append('  <circle cx="%d" cy="%d" r="%d" fill="none" stroke="%s" stroke-width="%d" opacity="%.2f"/>'
                         % (cx, cy, r, ACCENT, 5 - k, op * (0.9 - 0.2 * k)))
    parts.append('  <circle cx="%d" cy="%d" r="100" fill="url(#pad)" stroke="%s" stroke-width="6"/>' % (cx, cy, ACCENT))
    parts.append('  <circle cx="%d" cy="%d" r="86" fill="none" stroke="%s" stroke-width="2" stroke-dasharray="4 10" opacity="0.6"/>'
                 % (cx, cy, ACCENT))
    parts.append('  <g>\n    %s\n  </g>' % waves(cx + 6, cy, 34, "#ffffff", 9, 0.9))
    return "\n".join(parts)


def card(cx, cy, angle, scale):
    w, h = 200, 126
    body = [
        '<rect x="%d" y="%d" width="%d" height="%d" rx="14" fill="url(#cardFace)"/>' % (-w / 2, -h / 2, w, h),
        '<path d="M%d %d h%d v%d Z" fill="#ffffff" opacity="0.08"/>' % (-w / 2 + 60, -h / 2, w - 60 - 14, h - 30),
        '<rect x="-78" y="-30" width="36" height="28" rx="5" fill="url(#chip)"/>',
        '<path d="M-78 -16 H-42 M-60 -30 V-2 M-66 -23 H-54 V-9 H-66 Z" fill="none" stroke="#8a6d25" stroke-width="1.4"/>',
        '<g transform="translate(58 -18)">%s</g>' % waves(0, 0, 9, "#ffffff", 3),
        '<rect x="-78" y="16" width="96" height="9" rx="4.5" fill="#ffffff" opacity="0.85"/>',
        '<rect x="-78" y="33" width="56" height="7" rx="3.5" fill="#ffffff" opacity="0.55"/>',
        '<rect x="40" y="30" width="38" height="14" rx="7" fill="#ffffff" opacity="0.35"/>',
    ]
    return ('  <g transform="translate(%.1f %.1f) rotate(%.1f) scale(%.3f)" filter="url(#shadow)">\n    %s\n  </g>'
            % (cx, cy, angle, scale, "\n    ".join(body)))


def card_frames():
    far = (120.0, 112.0, -24.0, 0.92)
    near = (TARGET[0] + 4, TARGET[1] - 16, -4.0, 1.1)
    # (position along the path 0..1, read pulse 0..1) for frames 0..5; frame 6 repeats frame 0
    keys = [(0.0, 0.0), (0.45, 0.0), (0.85, 0.0), (1.0, 0.45), (1.0, 1.0), (0.6, 0.35)]
    frames = []
    for t, pulse in keys:
        e = ease(t)
        x, y, a, s = (lerp(far[i], near[i], e) for i in range(4))
        trail = ""
        if 0 < t < 1 and pulse == 0:
            # motion streaks behind an approaching card
            trail = ('  <g stroke="%s" stroke-linecap="round" stroke-width="4" opacity="0.45">\n'
                     '    <path d="M%.0f %.0f l-38 -34"/>\n    <path d="M%.0f %.0f l-30 -27"/>\n  </g>'
                     % (ACCENT, x - 110, y - 20, x - 70, y - 66))
        frames.append(svg("\n".join(x for x in (reader(pulse), trail, card(x, y, a, s)) if x) + "\n", CARD_DEFS))
    frames.append(frames[0])
    return frames


# --- ticket-scan animation ----------------------------------------------------

BAR_DEFS = COMMON_DEFS + """    <linearGradient id="beam" x1="0" y1="1" x2="0" y2="0">
      <stop offset="0" stop-color="#00ADD7" stop-opacity="0.45"/>
      <stop offset="1" stop-color="#00ADD7" stop-opacity="0"/>
    </linearGradient>
    <linearGradient id="glass" x1="0" y1="0" x2="0" y2="1">
      <stop offset="0" stop-color="#123a66"/>
      <stop offset="1" stop-color="#07182f"/>
    </linearGradient>
    <linearGradient id="phoneBody" x1="0" y1="0" x2="1" y2="1">
      <stop offset="0" stop-color="#3b4a66"/>
      <stop offset="1" stop-color="#1b2438"/>
    </linearGradient>
"""

PHONE_X = 200
PHONE_W, PHONE_H = 186, 316
QR_N = 21
QR_SIZE = 134


def qr_modules():
    """A fixed, code-like pattern (three finder squares plus scattered modules); it encodes nothing."""
    cells = set()
    for ox, oy in ((0, 0), (QR_N - 7, 0), (0, QR_N - 7)):
        for i in range(7):
            for j in range(7):
                ring = max(abs(i - 3), abs(j - 3))
                if ring != 2:
                    cells.add((ox + i, oy + j))
    seed = 0x5EED
    for y in range(QR_N):
        for x in range(QR_N):
            in_finder = (x < 8 and y < 8) or (x >= QR_N - 8 and y < 8) or (x < 8 and y >= QR_N - 8)
            if in_finder:
                continue
            seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
            if (seed >> 16) % 100 < 46:
                cells.add((x, y))
    for k in range(8, QR_N - 8):
        if k % 2 == 0:
            cells.add((k, 6))
            cells.add((6, k))
    return sorted(cells)


QR = qr_modules()


def phone(cy, beam_pos, found):
    x0 = PHONE_X - PHONE_W / 2
    y0 = cy - PHONE_H / 2
    m = QR_SIZE / QR_N
    qx = PHONE_X - QR_SIZE / 2
    qy = y0 + 92
    qr = "".join('M%.1f %.1fh%.2fv%.2fh-%.2fZ' % (qx + x * m, qy + y * m, m + 0.2, m + 0.2, m + 0.2) for x, y in QR)
    bracket = GREEN if found else ACCENT
    pad = 12
    bx0, by0, bx1, by1 = qx - pad, qy - pad, qx + QR_SIZE + pad, qy + QR_SIZE + pad
    L = 22
    brackets = ('M%.1f %.1f v-%d h%d M%.1f %.1f h%d v%d M%.1f %.1f v%d h-%d M%.1f %.1f h-%d v-%d'
                % (bx0, by0 + L, L, L, bx1 - L, by0, L, L, bx1, by1 - L, L, L, bx0 + L, by1, L, L))
    parts = [
        '  <g filter="url(#shadow)">',
        '    <rect x="%.1f" y="%.1f" width="%d" height="%d" rx="26" fill="url(#phoneBody)"/>' % (x0, y0, PHONE_W, PHONE_H),
        '    <rect x="%.1f" y="%.1f" width="%d" height="%d" rx="16" fill="#f4f7fb"/>' % (x0 + 9, y0 + 14, PHONE_W - 18, PHONE_H - 28),
        '  </g>',
        '  <rect x="%.1f" y="%.1f" width="44" height="6" rx="3" fill="#1b2438"/>' % (PHONE_X - 22, y0 + 22),
        '  <rect x="%.1f" y="%.1f" width="%d" height="28" rx="6" fill="%s"/>' % (x0 + 22, y0 + 40, PHONE_W - 44, ACCENT),
        '  <rect x="%.1f" y="%.1f" width="70" height="8" rx="4" fill="#ffffff" opacity="0.9"/>' % (x0 + 32, y0 + 50),
        '  <path d="%s" fill="#0b1220"/>' % qr,
        '  <path d="%s" fill="none" stroke="%s" stroke-width="5" stroke-linecap="round" stroke-linejoin="round"/>' % (brackets, bracket),
        '  <rect x="%.1f" y="%.1f" width="%d" height="10" rx="5" fill="#c9d2de"/>' % (x0 + 28, qy + QR_SIZE + 26, PHONE_W - 56),
        '  <rect x="%.1f" y="%.1f" width="%d" height="8" rx="4" fill="#dde3ea"/>' % (x0 + 44, qy + QR_SIZE + 44, PHONE_W - 88),
    ]
    if found:
        parts.insert(0, '  <rect x="%.1f" y="%.1f" width="%d" height="%d" rx="30" fill="none" stroke="%s" stroke-width="10" opacity="0.55" filter="url(#soft)"/>'
                     % (x0 - 6, y0 - 6, PHONE_W + 12, PHONE_H + 12, GREEN))
    if beam_pos is not None:
        ly = qy - 6 + (QR_SIZE + 12) * beam_pos
        parts.append('  <rect x="%.1f" y="%.1f" width="%d" height="14" fill="#ff3b4e" opacity="0.35" filter="url(#soft)"/>'
                     % (qx - 18, ly - 7, QR_SIZE + 36))
        parts.append('  <rect x="%.1f" y="%.1f" width="%d" height="3" rx="1.5" fill="#ff4d5e"/>' % (qx - 18, ly - 1.5, QR_SIZE + 36))
    return "\n".join(parts)


def scanner(active):
    # the reader window under the phone, seen from the front, with its light fan while reading
    wx, wy, ww, wh = PHONE_X - 120, 404, 240, 44
    parts = []
    if active:
        parts.append('  <path d="M%.1f %.1f L%.1f %.1f L%.1f %.1f L%.1f %.1f Z" fill="url(#beam)"/>'
                     % (wx + 20, wy, wx + ww - 20, wy, wx + ww + 20, wy - 330, wx - 20, wy - 330))
    parts += [
        '  <rect x="%d" y="%d" width="%d" height="%d" rx="14" fill="url(#glass)" stroke="%s" stroke-width="5"/>' % (wx, wy, ww, wh, ACCENT),
        '  <rect x="%d" y="%d" width="%d" height="6" rx="3" fill="%s" opacity="%.2f"/>' % (wx + 30, wy + 19, ww - 60, "#ff4d5e" if active else ACCENT, 0.95 if active else 0.5),
    ]
    return "\n".join(parts)


def barcode_frames():
    # (phone centre y, scan line position 0..1 or None, code found)
    keys = [(160, None, False), (200, None, False), (230, None, False),
            (232, 0.0, False), (232, 0.33, False), (232, 0.66, False), (232, 1.0, False),
            (232, None, True), (196, None, False)]
    frames = []
    for cy, beam, found in keys:
        body = "\n".join((scanner(beam is not None), phone(cy, beam, found))) + "\n"
        frames.append(svg(body, BAR_DEFS))
    return frames


def write(folder, frames):
    path = os.path.join(HERE, folder)
    os.makedirs(path, exist_ok=True)
    for i, text in enumerate(frames):
        with open(os.path.join(path, "%d.svg" % i), "w") as f:
            f.write(text)


if __name__ == "__main__":
    write("NFC", card_frames())
    write("Barcode", barcode_frames())
