#!/usr/bin/env python3
"""Writes the navigation pictures and the program icon as SVG files under resources/images.

Each navigation button has three looks (normal, hover, pressed) and, for the buttons that need a
drive, a set for "no drive" (muted) and one for "drive connected" (in colour). Run it after
changing the drawings; the SVG files are committed.
"""
import os

OUT = os.path.join(os.path.dirname(__file__), "..", "resources", "images")
W, H = 106, 85

# Pictograms drawn in a 40 x 40 box; {c} is the pictogram colour.
GLYPHS = {
    "communication": """
      <rect x="4" y="14" width="14" height="12" rx="2" fill="none" stroke="{c}" stroke-width="3"/>
      <path d="M18 20 H26 M22 14 V8 M22 26 V32" stroke="{c}" stroke-width="3" stroke-linecap="round"/>
      <rect x="26" y="12" width="10" height="16" rx="2" fill="{c}"/>""",
    "parameters": """
      <path d="M6 8 H34 M6 20 H34 M6 32 H34" stroke="{c}" stroke-width="3" stroke-linecap="round"/>
      <circle cx="14" cy="8" r="4.5" fill="#fff" stroke="{c}" stroke-width="3"/>
      <circle cx="27" cy="20" r="4.5" fill="#fff" stroke="{c}" stroke-width="3"/>
      <circle cx="18" cy="32" r="4.5" fill="#fff" stroke="{c}" stroke-width="3"/>""",
    "motion": """
      <rect x="2" y="4" width="36" height="32" rx="3" fill="none" stroke="{c}" stroke-width="2.5"/>
      <path d="M5 28 L12 28 L16 12 L22 12 L26 28 L35 28" fill="none" stroke="{c}" stroke-width="3"
            stroke-linejoin="round"/>""",
    "alarms": """
      <path d="M20 4 L37 34 H3 Z" fill="none" stroke="{c}" stroke-width="3" stroke-linejoin="round"/>
      <path d="M20 14 V24" stroke="{c}" stroke-width="3.5" stroke-linecap="round"/>
      <circle cx="20" cy="29.5" r="2.2" fill="{c}"/>""",
    "help": """
      <circle cx="20" cy="20" r="16" fill="none" stroke="{c}" stroke-width="3"/>
      <path d="M14 15 Q14 9 20 9 Q26 9 26 15 Q26 19 20 21 V24" fill="none" stroke="{c}"
            stroke-width="3" stroke-linecap="round"/>
      <circle cx="20" cy="30" r="2.2" fill="{c}"/>""",
    "write": """
      <rect x="8" y="20" width="24" height="16" rx="2" fill="none" stroke="{c}" stroke-width="3"/>
      <path d="M12 36 V39 M20 36 V39 M28 36 V39" stroke="{c}" stroke-width="2.5"/>
      <path d="M20 2 V15 M14 10 L20 16 L26 10" fill="none" stroke="{c}" stroke-width="3"
            stroke-linecap="round" stroke-linejoin="round"/>""",
}

LOOKS = {
    # look: (top, bottom, border, text colour, offset)
    "normal": ("#f4f6f8", "#d9dee4", "#a9b1ba", "#2b3440", 0),
    "hover": ("#e8f2fc", "#bcd8f3", "#5f95c9", "#123a63", 0),
    "pressed": ("#a9cbee", "#cfe3f7", "#3d74aa", "#0d2c4d", 1),
}

MUTED = "#8a939d"
COLOURS = {
    "communication": "#1f6fb2",
    "parameters": "#2f8a4c",
    "motion": "#c46a12",
    "alarms": "#c23b32",
    "help": "#5a4fb0",
    "write": "#1f6fb2",
}

LABELS = {
    "communication": "Communication",
    "parameters": "Parameters",
    "motion": "Motion Test",
    "alarms": "Alarms",
    "help": "Help",
    "write": "Write to Drive",
}

# (glyph, coloured?, (normal id, hover id, pressed id))
SETS = [
    ("communication", True, (1007, 1009, 1008)),
    ("parameters", False, (1010, 1011, 1012)),
    ("parameters", True, (210, 211, 209)),
    ("motion", False, (1013, 1017, 1018)),
    ("motion", True, (214, 213, 212)),
    ("alarms", False, (1023, 1022, 1021)),
    ("alarms", True, (208, 207, 206)),
    ("help", True, (1014, 1019, 1020)),
    ("write", False, (192, 191, 190)),
    ("write", True, (217, 216, 215)),
]


def button(glyph, coloured, look):
    top, bottom, border, text, off = LOOKS[look]
    colour = COLOURS[glyph] if coloured else MUTED
    ink = text if coloured else MUTED
    body = GLYPHS[glyph].format(c=colour)
    return f"""<svg xmlns="http://www.w3.org/2000/svg" width="{W}" height="{H}" viewBox="0 0 {W} {H}">
  <defs>
    <linearGradient id="g" x1="0" y1="0" x2="0" y2="1">
      <stop offset="0" stop-color="{top}"/>
      <stop offset="1" stop-color="{bottom}"/>
    </linearGradient>
  </defs>
  <rect width="{W}" height="{H}" fill="#d7d7d7"/>
  <rect x="1" y="1" width="{W - 2}" height="{H - 2}" rx="7" fill="url(#g)" stroke="{border}" stroke-width="1.5"/>
  <g transform="translate({33 + off} {8 + off})">{body}
  </g>
  <text x="{W / 2 + off}" y="{72 + off}" text-anchor="middle" font-family="DejaVu Sans, Verdana, sans-serif"
        font-size="11" font-weight="bold" fill="{ink}">{LABELS[glyph]}</text>
</svg>
"""


ICON = """<svg xmlns="http://www.w3.org/2000/svg" width="64" height="64" viewBox="0 0 64 64">
  <defs>
    <linearGradient id="g" x1="0" y1="0" x2="0" y2="1">
      <stop offset="0" stop-color="#2a7fc4"/>
      <stop offset="1" stop-color="#174f80"/>
    </linearGradient>
  </defs>
  <rect x="2" y="2" width="60" height="60" rx="12" fill="url(#g)"/>
  <circle cx="32" cy="32" r="19" fill="none" stroke="#ffffff" stroke-width="4"/>
  <path d="M32 32 L44 20" stroke="#ffd34d" stroke-width="5" stroke-linecap="round"/>
  <circle cx="32" cy="32" r="4.5" fill="#ffffff"/>
  <path d="M12 52 C20 44 26 56 34 48 S48 44 52 50" fill="none" stroke="#9fd3ff" stroke-width="3"
        stroke-linecap="round"/>
</svg>
"""

DRIVE = """<svg xmlns="http://www.w3.org/2000/svg" width="240" height="150" viewBox="0 0 240 150">
  <defs>
    <linearGradient id="body" x1="0" y1="0" x2="1" y2="0">
      <stop offset="0" stop-color="#3c4652"/>
      <stop offset="1" stop-color="#252c35"/>
    </linearGradient>
    <linearGradient id="fins" x1="0" y1="0" x2="0" y2="1">
      <stop offset="0" stop-color="#b9c1ca"/>
      <stop offset="1" stop-color="#8d969f"/>
    </linearGradient>
  </defs>
  <rect x="20" y="10" width="120" height="130" rx="6" fill="url(#body)"/>
  <rect x="140" y="16" width="80" height="118" rx="3" fill="url(#fins)"/>
  <path d="M148 24 H212 M148 36 H212 M148 48 H212 M148 60 H212 M148 72 H212 M148 84 H212 M148 96 H212 M148 108 H212 M148 120 H212"
        stroke="#6f7882" stroke-width="3"/>
  <rect x="32" y="22" width="96" height="26" rx="3" fill="#1b2128"/>
  <text x="80" y="40" text-anchor="middle" font-family="DejaVu Sans, sans-serif" font-size="13"
        font-weight="bold" fill="#7fc3ff">KESTOVA</text>
  <circle cx="42" cy="64" r="5" fill="#38d36b"/>
  <circle cx="58" cy="64" r="5" fill="#e0463c" opacity="0.35"/>
  <text x="70" y="68" font-family="DejaVu Sans, sans-serif" font-size="10" fill="#c9d1da">RUN  ALM</text>
  <rect x="32" y="82" width="40" height="22" rx="2" fill="#11161b"/>
  <rect x="80" y="82" width="48" height="22" rx="2" fill="#11161b"/>
  <g fill="#c9a13a">
    <rect x="36" y="88" width="6" height="10"/><rect x="46" y="88" width="6" height="10"/>
    <rect x="56" y="88" width="6" height="10"/><rect x="84" y="88" width="6" height="10"/>
    <rect x="94" y="88" width="6" height="10"/><rect x="104" y="88" width="6" height="10"/>
    <rect x="114" y="88" width="6" height="10"/>
  </g>
  <rect x="32" y="112" width="96" height="18" rx="2" fill="#11161b"/>
  <text x="80" y="125" text-anchor="middle" font-family="DejaVu Sans, sans-serif" font-size="7.5"
        fill="#8e99a5">RS-485  MODBUS RTU</text>
</svg>
"""


def main():
    os.makedirs(os.path.join(OUT, "nav"), exist_ok=True)
    for glyph, coloured, ids in SETS:
        for look, rid in zip(("normal", "hover", "pressed"), ids):
            with open(os.path.join(OUT, "nav", f"{rid}.svg"), "w") as f:
                f.write(button(glyph, coloured, look))
    with open(os.path.join(OUT, "icon157.svg"), "w") as f:
        f.write(ICON)
    with open(os.path.join(OUT, "drive.svg"), "w") as f:
        f.write(DRIVE)


if __name__ == "__main__":
    main()
