#!/usr/bin/env python3
"""Writes the bundled PDF label: the same 4 x 6 inch shipping label as
shipping-label.png, drawn with the printer's own fonts and a scannable
Code 128 barcode, with nothing but the standard library.

The page is laid out in 203 dpi dots, top down, as the PNG is, so that at
the printer's usual resolution every rule and bar falls on whole dots."""
import sys

DPI = 203
WIDTH, HEIGHT = 812, 1218  # dots; 288 x 432 pt

# Bar and space widths of the Code 128 symbols, by value; 106 is the stop.
CODE128 = (
    "212222 222122 222221 121223 121322 131222 122213 122312 132212 221213 "
    "221312 231212 112232 122132 122231 113222 123122 123221 223211 221132 "
    "221231 213212 223112 312131 311222 321122 321221 312212 322112 322211 "
    "212123 212321 232121 111323 131123 131321 112313 132113 132311 211313 "
    "231113 231311 112133 112331 132131 113123 113321 133121 313121 211331 "
    "231131 213113 213311 213131 311123 311321 331121 312113 312311 332111 "
    "314111 221411 431111 111224 111422 121124 121421 141122 141221 112214 "
    "112412 122114 122411 142112 142211 241211 221114 413111 241112 134111 "
    "111242 121142 121241 114212 124112 124211 411212 421112 421211 212141 "
    "214121 412121 111143 111341 131141 114113 114311 411113 411311 113141 "
    "114131 311141 411131 211412 211214 211232 2331112"
).split()
START_B, CODE_C, STOP = 104, 99, 106


def code128(data):
    """Symbol values for `data`: set B, switching to set C for a trailing run
    of an even number of digits, which halves its width."""
    digits = len(data) - len(data.rstrip("0123456789"))
    digits -= digits % 2
    head, tail = data[: len(data) - digits], data[len(data) - digits :]
    values = [START_B] + [ord(c) - 32 for c in head]
    if tail:
        values.append(CODE_C)
        values += [int(tail[i : i + 2]) for i in range(0, len(tail), 2)]
    check = values[0] + sum(i * v for i, v in enumerate(values[1:], 1))
    return values + [check % 103, STOP]


class Page:
    """Content stream operators, in dots from the top left of the label."""

    def __init__(self):
        self.ops = []

    def box(self, x0, y0, x1, y1):
        self.ops.append(f"{x0} {y0} {x1 - x0} {y1 - y0} re f")

    def frame(self, x0, y0, x1, y1, t):
        self.box(x0, y0, x1, y0 + t)
        self.box(x0, y1 - t, x1, y1)
        self.box(x0, y0 + t, x0 + t, y1 - t)
        self.box(x1 - t, y0 + t, x1, y1 - t)

    def write(self, x, baseline, text, font, size):
        # The page's matrix turns y downwards; the text matrix turns glyphs
        # back upright.
        quoted = text.replace("\\", "\\\\").replace("(", "\\(").replace(")", "\\)")
        self.ops.append(f"BT /{font} {size} Tf 1 0 0 -1 {x} {baseline} Tm ({quoted}) Tj ET")

    def barcode(self, x, y, height, module, data):
        for value in code128(data):
            for i, width in enumerate(CODE128[value]):
                span = int(width) * module
                if i % 2 == 0:
                    self.box(x, y, x + span, y + height)
                x += span
        return x


page = Page()
page.frame(10, 10, WIDTH - 10, HEIGHT - 10, 6)
page.write(40, 61, "FROM", "F1", 29)
page.write(40, 103, "LABEL WORKS", "F2", 39)
page.write(40, 143, "12 HARBOUR ROAD", "F1", 39)
page.box(10, 170, WIDTH - 10, 176)
page.write(40, 228, "SHIP TO", "F2", 39)
page.write(40, 299, "MARTA OKONKWO", "F2", 68)
page.write(40, 369, "48 ELM STREET", "F2", 68)
page.write(40, 439, "SPRINGFIELD 90210", "F2", 68)
page.box(10, 470, WIDTH - 10, 476)
# 3 dots a module: the narrowest bar a 203 dpi head prints cleanly.
tracking = "LW999AA10123456784"
module = 3
span = sum(int(w) for v in code128(tracking) for w in CODE128[v]) * module
page.barcode((WIDTH - span) // 2, 520, 260, module, tracking)
page.write(171, 830, "LW 999 AA1 0123 4567 84", "F1", 39)
page.box(10, 860, WIDTH - 10, 866)
page.write(40, 935, "WEIGHT 2,5 KG", "F1", 49)
page.write(40, 995, "PARCEL 1 OF 1", "F1", 49)
page.frame(560, 890, 770, 1100, 8)
page.write(588, 1040, "P1", "F2", 117)

scale = 72 / DPI
content = f"q {scale:.6f} 0 0 {-scale:.6f} 0 432 cm\n" + "\n".join(page.ops) + "\nQ\n"

font = "<< /Type /Font /Subtype /Type1 /BaseFont /{} /Encoding /WinAnsiEncoding >>"
objects = [
    "<< /Type /Catalog /Pages 2 0 R >>",
    "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
    "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 288 432] "
    "/Resources << /Font << /F1 5 0 R /F2 6 0 R >> >> /Contents 4 0 R >>",
    f"<< /Length {len(content)} >>\nstream\n{content}endstream",
    font.format("Helvetica"),
    font.format("Helvetica-Bold"),
]

pdf = bytearray(b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n")
offsets = []
for number, body in enumerate(objects, 1):
    offsets.append(len(pdf))
    pdf += f"{number} 0 obj\n{body}\nendobj\n".encode("latin-1")
xref = len(pdf)
pdf += f"xref\n0 {len(objects) + 1}\n0000000000 65535 f \n".encode()
for offset in offsets:
    pdf += f"{offset:010d} 00000 n \n".encode()
pdf += f"trailer\n<< /Size {len(objects) + 1} /Root 1 0 R >>\nstartxref\n{xref}\n%%EOF\n".encode()

with open(sys.argv[1] if len(sys.argv) > 1 else "shipping-label.pdf", "wb") as out:
    out.write(pdf)
